// Opening a recordset from the XML persistence format: the parsed rows go
// straight into the row store, each attribute's text converted into its
// cell (text cut from one arena), without the document model in between.
#include <new>

#include "bstr_arena.h"
#include "persist_read.h"
#include "persist_rowset.h"

namespace qvp::data {
namespace {

using persist::Column;
using persist::RowKind;
using persist::detail::Part;

// A value the walk accepted that its field's type cannot hold: the model's
// reader then words the refusal.
struct Unconvertible {};

bool IsTextField(DataTypeEnum t) {
  switch (t) {
    case adBSTR: case adChar: case adWChar: case adVarChar: case adVarWChar: case adLongVarChar: case adLongVarWChar:
      return true;
    default: return false;
  }
}

// Fills the rows of a row store that already has its fields.
class RowSink {
 public:
  RowSink(RowSet& rs, const std::vector<Column>& columns) : rs_(rs), columns_(columns), w_(columns.size()) {
    text_.reserve(w_);
    for (const Column& c : columns_) text_.push_back(IsTextField(c.type));
  }

  void Begin(RowKind kind) {
    at_ = rs_.AppendRow();
    Row& row = rs_.rows[at_];
    switch (kind) {
      case RowKind::Unchanged: row.status = adRecUnmodified; break;
      case RowKind::Inserted: row.status = adRecNew; break;
      case RowKind::Deleted: row.status = adRecDeleted; break;
      case RowKind::Modified:
        row.status = adRecModified;
        row.original = std::make_unique<_variant_t[]>(w_);
        break;
    }
  }

  void Value(Part part, std::size_t col, std::string_view text) {
    _variant_t& v = part == Part::Original ? rs_.rows[at_].original[col] : rs_.row_cells(at_)[col];
    if (text_[col]) {
      BSTR b = arena_.AllocUtf8(text);
      if (!b) throw std::bad_alloc();
      v = _variant_t::AttachBstr(b);
    } else if (!CellValue(columns_[col], text, v)) {
      throw Unconvertible{};
    }
  }

  void End(Part part, const std::vector<unsigned char>& named) {
    _variant_t* cells = rs_.row_cells(at_);
    switch (part) {
      case Part::Values:
        for (std::size_t i = 0; i < w_; ++i)
          if (named[i] != persist::detail::kValue) cells[i] = _variant_t::Null();
        break;
      case Part::Original: {
        _variant_t* orig = rs_.rows[at_].original.get();
        for (std::size_t i = 0; i < w_; ++i) {
          if (named[i] != persist::detail::kValue) orig[i] = _variant_t::Null();
          cells[i] = orig[i];
        }
        break;
      }
      case Part::Changes:
        for (std::size_t i = 0; i < w_; ++i)
          if (named[i] == persist::detail::kForcedNull) cells[i] = _variant_t::Null();
        break;
    }
  }

 private:
  RowSet& rs_;
  const std::vector<Column>& columns_;
  const std::size_t w_;
  std::vector<bool> text_;
  BstrArena arena_;
  std::size_t at_ = 0;
};

[[noreturn]] void RaiseInvalid(const std::string& error) {
  Raise(E_FAIL, ("Recordset cannot be created. Source XML is incomplete or invalid: " + error).c_str());
}

// How many records the data holds at most (for reserving the store).
std::size_t RecordsIn(const XmlNode& data) {
  std::size_t n = 0;
  for (XmlNode c = data ? data.FirstChild() : XmlNode(); c; c = c.NextSibling())
    if (c.Type() == XmlNodeType::Element) ++n;
  return n;
}

// The model's path: it words every refusal past the schema (a value that
// does not convert, child rowsets) and is the reference the direct path
// agrees with.
std::shared_ptr<RowSet> LoadThroughModel(std::string_view bytes) {
  persist::Document doc;
  std::string error;
  if (!persist::Read(bytes, doc, error)) RaiseInvalid(error);
  if (!doc.skippedChildren.empty()) {
    std::string names;
    for (const auto& n : doc.skippedChildren) names += (names.empty() ? "'" : ", '") + n + "'";
    Raise(adErrFeatureNotAvailable,
          ("Hierarchical recordsets are not supported: the document's child rowsets " + names +
           " cannot be opened; only flat recordsets open from XML.")
              .c_str());
  }
  return FromDocument(doc);
}

}  // namespace

std::shared_ptr<RowSet> LoadText(std::string_view bytes) {
  std::shared_ptr<RowSet> rs;
  {
    persist::detail::Parsed p;
    std::string error;
    if (!persist::detail::Open(bytes, p, error)) RaiseInvalid(error);
    if (!p.doc.skippedChildren.empty()) return LoadThroughModel(bytes);
    try {
      rs = FromDocument(p.doc);  // the fields (the document has no rows yet)
      const std::size_t records = RecordsIn(p.data);
      rs->rows.reserve(records);
      rs->cells.reserve(records * rs->width());
      RowSink sink(*rs, p.doc.columns);
      persist::detail::Walker(p).Walk(sink);
    } catch (const persist::detail::Fail& f) {
      RaiseInvalid(f.what);
    } catch (const Unconvertible&) {
      rs.reset();
    } catch (const ComError&) {
      rs.reset();
    } catch (const std::bad_alloc&) {
      rs.reset();
    }
  }
  return rs ? rs : LoadThroughModel(bytes);
}

}  // namespace qvp::data
