// Opening a recordset from the XML persistence format: the rows go from one
// scan of the text straight into the row store, each attribute's text
// converted into its cell (text cut from one arena), without a loaded
// document or the document model in between.
#include <new>
#include <optional>

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

// Fills the rows of a row store that already has its fields.
class RowSink {
 public:
  RowSink(RowSet& rs, const std::vector<Column>& columns) : rs_(rs), columns_(columns), w_(columns.size()) {}

  void Begin(RowKind kind) { at_ = AppendRowOf(rs_, kind); }

  // Converts a value's text into its cell; false for a text its field's
  // type refuses (the walk words that refusal).
  bool Read(Part part, std::size_t col, std::string_view text) {
    _variant_t& v = part == Part::Original ? rs_.rows[at_].original[col] : rs_.row_cells(at_)[col];
    switch (ReadCell(columns_[col], text, v, &arena_)) {
      case CellRead::Ok: return true;
      case CellRead::Invalid: return false;
      case CellRead::Unconvertible: break;
    }
    throw Unconvertible{};
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
  BstrArena arena_;
  std::size_t at_ = 0;
};

[[noreturn]] void RaiseInvalid(const std::string& error) {
  Raise(E_FAIL, ("Recordset cannot be created. Source XML is incomplete or invalid: " + error).c_str());
}

// Reads a document in one scan of its text: the schema, which comes first,
// through a loaded document of the text before the data; the rows from the
// scan straight into the row store. Stops at anything that is not a plain
// persisted recordset (a fault, a schema after the data, child rowsets):
// the document model's path then reads the document and words the refusal.
class ScanLoad final : public XmlScanHandler {
 public:
  explicit ScanLoad(std::string_view text) : text_(text) {}

  bool StartElement(std::string_view name, std::span<const XmlScanAttribute> attributes,
                    std::size_t offset) override {
    ++depth_;
    try {
      if (depth_ == 1) {
        root_ = name;
      } else if (inData_) {
        walker_->Start(*sink_, depth_ - 2, name, attributes);
        if (depth_ == 3) Reserve(offset);
      } else if (depth_ == 2 && !data_) {
        const std::string_view local = persist::detail::LocalName(name);
        if (local == "Schema") schema_ = true;
        if (local == "data") return BeginData(offset);
      }
      return true;
    } catch (...) {
      return false;
    }
  }

  bool EndElement(std::string_view) override {
    const std::size_t depth = depth_--;
    if (!inData_) return true;
    if (depth == 2) {
      inData_ = false;
      return true;
    }
    try {
      walker_->End(*sink_, depth - 2);
      return true;
    } catch (...) {
      return false;
    }
  }

  // The rows, when the scan read the whole data.
  std::shared_ptr<RowSet> Take() { return data_ && !inData_ ? std::move(rs_) : nullptr; }

 private:
  bool BeginData(std::size_t offset) {
    if (!schema_) return false;
    data_ = true;
    std::string head(text_.substr(0, offset));
    head += "</";
    head += root_;
    head += '>';
    std::string error;
    if (!persist::detail::Open(head, parsed_, error) || !parsed_.doc.skippedChildren.empty()) return false;
    rs_ = FromDocument(parsed_.doc);  // the fields (the document has no rows yet)
    sink_.emplace(*rs_, parsed_.doc.columns);
    walker_.emplace(parsed_);
    inData_ = true;
    dataAt_ = offset;
    return true;
  }

  // Sizes the store once, from the length of the first rows.
  void Reserve(std::size_t offset) {
    constexpr std::size_t kSample = 64;
    if (reserved_ || rs_->rows.size() < kSample) return;
    reserved_ = true;
    const std::size_t perRow = (offset - dataAt_) / rs_->rows.size() + 1;
    const std::size_t rows = (text_.size() - dataAt_) / perRow / 16 * 17 + kSample;
    rs_->rows.reserve(rows);
    rs_->cells.reserve(rows * rs_->width());
  }

  const std::string_view text_;
  std::size_t depth_ = 0;
  std::string_view root_;
  bool schema_ = false, data_ = false, inData_ = false, reserved_ = false;
  std::size_t dataAt_ = 0;
  persist::detail::Parsed parsed_;
  std::shared_ptr<RowSet> rs_;
  std::optional<RowSink> sink_;
  std::optional<persist::detail::Walker> walker_;
};

// The model's path: it words every refusal (a fault of the XML or of the
// schema, a value that does not convert, child rowsets) and is the
// reference the scan agrees with.
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
  std::string converted;
  std::string_view text = persist::detail::AsUtf8(bytes, converted);
  // Offsets of the scan count from after a byte-order mark, as loads skip
  // a second one too.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  {
    ScanLoad scan(text);
    if (ScanXmlUtf8(text, scan))
      if (std::shared_ptr<RowSet> rs = scan.Take()) return rs;
  }
  return LoadThroughModel(bytes);
}

}  // namespace qvp::data
