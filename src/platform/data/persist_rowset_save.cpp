// Saving a row store in the XML persistence format directly: the values go
// from the cells into one output buffer, without the neutral model's text
// per cell. The value texts, escapes, hex wrapping and the layout of rows
// are the writer's own (persist_write.h, AppendCellText), so the text is
// the one persist::Write(ToDocument(...)) gives.
#include <cstdint>
#include <vector>

#include "persist_rowset.h"
#include "persist_write.h"

namespace qvp::data {
namespace {

using persist::Column;
using persist::RowKind;
namespace write = persist::write;

// How a field's values reach the text.
enum class Path : std::uint8_t { Text, Binary, Other };

Path PathOf(DataTypeEnum t) {
  if (write::IsBinary(t)) return Path::Binary;
  switch (t) {
    case adBSTR: case adChar: case adWChar: case adVarChar: case adVarWChar: case adLongVarChar: case adLongVarWChar:
      return Path::Text;
    default: return Path::Other;
  }
}

struct Saved {
  std::uint32_t row;
  RowKind kind;
};

class DirectWriter {
 public:
  DirectWriter(const RowSet& rs, const persist::Document& schema)
      : rs_(rs), columns_(schema.columns), starts_(columns_) {
    paths_.reserve(columns_.size());
    wanted_.reserve(columns_.size());
    for (const Column& c : columns_) {
      paths_.push_back(PathOf(c.type));
      wanted_.push_back(VarTypeOf(c.type));
    }
  }

  // Rows in the order they are written: every row not gone, deleted rows
  // (other than new rows deleted again) after all others.
  std::vector<Saved> Order() const {
    std::vector<Saved> order;
    std::vector<std::uint32_t> deleted;
    order.reserve(rs_.rows.size());
    for (std::size_t r = 0; r < rs_.rows.size(); ++r) {
      const Row& row = rs_.rows[r];
      if (row.gone) continue;
      const bool fresh = (row.status & adRecNew) != 0;
      const auto at = static_cast<std::uint32_t>(r);
      if (row.status & adRecDeleted) {
        if (!fresh) deleted.push_back(at);
      } else if (fresh) {
        order.push_back({at, RowKind::Inserted});
      } else if ((row.status & adRecModified) && row.original) {
        order.push_back({at, RowKind::Modified});
      } else {
        order.push_back({at, RowKind::Unchanged});
      }
    }
    for (std::uint32_t r : deleted) order.push_back({r, RowKind::Deleted});
    return order;
  }

  // The values a row is written with for `part`.
  const _variant_t* CellsOf(const Saved& s, write::Part part) const {
    const Row& row = rs_.rows[s.row];
    if (part == write::Part::Original || (s.kind == RowKind::Deleted && row.original)) return row.original.get();
    return rs_.row_cells(s.row);
  }

  // Fields whose text differs between a modified row and its original
  // (null against a value, or other texts).
  void Changed(const _variant_t* now, const _variant_t* was) {
    changed_.assign(columns_.size(), false);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const bool a = now[i].IsNullOrEmpty(), b = was[i].IsNullOrEmpty();
      if (!a) Text(i, now[i], left_);
      if (!b) Text(i, was[i], right_);
      changed_[i] = a != b || (!a && left_ != right_);
    }
  }

  void WriteRow(write::RawOut& out, const Saved& s, write::Part part, std::size_t tabs) {
    const _variant_t* cells = CellsOf(s, part);
    const bool changes = part == write::Part::Changes;
    if (changes) Changed(cells, rs_.rows[s.row].original.get());
    lineStart_ = out.size();  // every row starts a line
    write::AppendRow(
        out, columns_, starts_, columns_.size(), changes ? &changed_ : nullptr, changes || s.kind == RowKind::Inserted, tabs,
        [&](std::size_t i) { return cells[i].IsNullOrEmpty(); },
        [&](write::RawOut& o, std::size_t i) { Value(o, i, cells[i], tabs); });
  }

 private:
  [[noreturn]] void Fail(std::size_t i) const {
    Raise(adErrDataConversion, u"The field '" + rs_.fields[i].name + u"' holds a value its type cannot write.");
  }

  void Text(std::size_t i, const _variant_t& v, std::string& text) const {
    if (!CellText(columns_[i], v, text)) Fail(i);
  }

  void Value(write::RawOut& out, std::size_t i, const _variant_t& v, std::size_t tabs) {
    const bool exact = v.vt() == wanted_[i];
    switch (paths_[i]) {
      case Path::Text:
        if (exact) return write::AppendEscaped(out, v.bstrView());
        break;
      case Path::Binary:
        if (const SAFEARRAY* a = exact ? v.parray() : nullptr) {
          const auto* bytes = static_cast<const unsigned char*>(a->pvData);
          lineStart_ = write::AppendWrappedHex(out, lineStart_, std::size_t{a->cElements} * 2, tabs,
                                  [bytes](write::RawOut& o, std::size_t from, std::size_t n) {
                                    write::PutHex(bytes + from / 2, n / 2, o.Claim(n));
                                  });
          return;
        }
        break;
      case Path::Other:
        // Numbers, dates, GUIDs and booleans never hold a character that
        // needs a reference: their text goes straight in.
        if (!(exact ? AppendExactText(columns_[i], v, out) : AppendCellText(columns_[i], v, out))) Fail(i);
        return;
    }
    // A value of another variant type: converted through its text.
    Text(i, v, left_);
    if (paths_[i] == Path::Binary)
      lineStart_ = write::AppendWrappedHex(out, lineStart_, left_.size(), tabs,
                              [this](write::RawOut& o, std::size_t from, std::size_t n) {
                                o.append(std::string_view(left_).substr(from, n));
                              });
    else
      write::AppendEscaped(out, left_);
  }

  const RowSet& rs_;
  const std::vector<Column>& columns_;
  const write::AttributeStarts starts_;
  std::vector<Path> paths_;
  std::vector<VARTYPE> wanted_;
  std::vector<bool> changed_;
  std::string left_, right_;  // scratch texts, reused
  std::size_t lineStart_ = 0;  // where the line being written starts in the output
};

}  // namespace

std::string SaveText(const RowSet& rs, bool updatable) {
  const persist::Document schema = SchemaOf(rs, updatable);
  DirectWriter writer(rs, schema);
  const std::vector<Saved> order = writer.Order();
  std::string head;
  write::AppendHead(head, schema);
  write::RawOut out(head.size() + 64 * 1024);
  out.append(head);
  // The buffer is sized once, from the first rows' length.
  constexpr std::size_t kSample = 64;
  bool sized = false;
  write::AppendRows(
      out, order.size(), [&](std::size_t r) { return order[r].kind; },
      [&](write::RawOut& o, std::size_t r, write::Part part, std::size_t tabs) {
        if (!sized && r >= kSample) {
          const std::size_t perRow = (o.size() - head.size()) / r + 1;
          o.Plan(perRow * (order.size() - r) / 8 * 9 + 1024);
          sized = true;
        }
        writer.WriteRow(o, order[r], part, tabs);
      });
  out += write::kTail;
  return out.Take();
}

}  // namespace qvp::data
