// The reading side of the XML persistence format, shared by the document
// model's reader (persist::Read) and the recordset's direct reader: parsing
// and the schema, then one walk over the data that checks every row and
// hands each value's text to a sink. The walk owns the order of the checks
// and their descriptions, so both readers refuse a document the same way.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/data/persist.h"
#include "qv_platform/xmldom.h"

namespace qvp::persist::detail {

// A refusal with its one-line description.
struct Fail {
  std::string what;
};

// A parsed document with its schema read.
struct Parsed {
  XmlDocument xml;
  XmlNode data;        // rs:data; null when the document has none
  Document doc;        // properties, columns and skippedChildren (no rows)
  std::map<std::string, std::size_t, std::less<>> index;  // XML name -> column
};

// Open decodes `bytes` (UTF-8, or UTF-16 with its byte-order mark), parses
// them and reads the schema into `out`. Returns false with the description
// in `error` (malformed XML with line and column, missing schema, a bad
// field declaration).
bool Open(std::string_view bytes, Parsed& out, std::string& error);

// Which list of a record a value belongs to: the row's values (a plain,
// inserted or deleted row), a modified row's original values, or the
// changes on its new row.
enum class Part { Values, Original, Changes };

// What a row said about a field: nothing (null in a full row, unchanged in
// changes), a value, or only its name in rs:forcenull.
enum Named : unsigned char { kAbsent = 0, kValue = 1, kForcedNull = 2 };

// The description of a value that is not of its field's type.
std::string InvalidValue(std::size_t rowNo, const Column& c, std::string_view text);

// Walk reads `data` row by row. For each record it calls, in order:
//   sink.Begin(kind)
//   sink.Value(part, column, text) for each value (text valid for its type)
//   sink.End(part, named)          once per part, named[i] as above
// (a modified row has its Original part, then its Changes part). Throws
// Fail with the description of the first fault, after the records before it
// were handed over.
class Walker {
 public:
  explicit Walker(const Parsed& p) : p_(p) {}

  template <typename Sink>
  void Walk(Sink& sink);

 private:
  // The column a row attribute names, trying the one after `hint` first
  // (rows name their fields in schema order); throws for an unknown name.
  std::size_t Find(std::string_view name, std::size_t hint, std::size_t rowNo) const;
  std::string_view Clean(const Column& c, std::string_view v);
  template <typename Sink>
  void Cells(const XmlNode& z, Sink& sink, Part part, bool full, std::size_t rowNo);

  const Parsed& p_;
  std::vector<unsigned char> named_;
  std::string scratch_;
  std::size_t rows_ = 0;
};

bool IsRowElement(const XmlNode& n);
std::string_view LocalName(std::string_view name);
[[noreturn]] void MissingField(std::size_t rowNo, const Column& c);
[[noreturn]] void UnknownForceNull(std::size_t rowNo, std::string_view name);
[[noreturn]] void UnexpectedElement(std::string_view name);
[[noreturn]] void BrokenUpdate(std::size_t rowNo);

template <typename Sink>
void Walker::Cells(const XmlNode& z, Sink& sink, Part part, bool full, std::size_t rowNo) {
  const auto& cols = p_.doc.columns;
  named_.assign(cols.size(), kAbsent);
  std::size_t hint = cols.size() - 1;  // so that the first guess is column 0
  for (XmlAttribute a = z.FirstAttribute(); a; a = a.Next()) {
    const std::string_view name = a.NameUtf8();
    if (name == "rs:forcenull") {
      std::string_view list = a.ValueUtf8();
      while (!list.empty()) {
        const auto sp = list.find_first_of(" \t\r\n");
        const auto item = list.substr(0, sp);
        if (!item.empty()) {
          const auto it = p_.index.find(item);
          if (it == p_.index.end()) UnknownForceNull(rowNo, item);
          if (named_[it->second] == kAbsent) named_[it->second] = kForcedNull;
        }
        if (sp == std::string_view::npos) break;
        list.remove_prefix(sp + 1);
      }
      continue;
    }
    if (name.starts_with("xmlns")) continue;
    const std::size_t col = Find(name, hint, rowNo);
    hint = col;
    const Column& c = cols[col];
    const std::string_view v = Clean(c, a.ValueUtf8());
    if (!ValueValid(c, v)) throw Fail{InvalidValue(rowNo, c, v)};
    named_[col] = kValue;
    sink.Value(part, col, v);
  }
  if (full)
    for (std::size_t i = 0; i < cols.size(); ++i)
      if (named_[i] != kValue && !cols[i].nullable) MissingField(rowNo, cols[i]);
  sink.End(part, named_);
}

template <typename Sink>
void Walker::Walk(Sink& sink) {
  if (!p_.data) return;
  for (XmlNode n = p_.data.FirstChild(); n; n = n.NextSibling()) {
    if (n.Type() != XmlNodeType::Element) continue;
    const std::string_view local = LocalName(n.NodeNameUtf8());
    if (local == "row") {
      sink.Begin(RowKind::Unchanged);
      Cells(n, sink, Part::Values, true, ++rows_);
    } else if (local == "insert" || local == "delete") {
      const RowKind kind = local == "insert" ? RowKind::Inserted : RowKind::Deleted;
      for (XmlNode z = n.FirstChild(); z; z = z.NextSibling()) {
        if (!IsRowElement(z)) continue;
        sink.Begin(kind);
        Cells(z, sink, Part::Values, true, ++rows_);
      }
    } else if (local == "update") {
      XmlNode orig, now;
      for (XmlNode z = n.FirstChild(); z; z = z.NextSibling()) {
        if (z.Type() != XmlNodeType::Element) continue;
        if (LocalName(z.NodeNameUtf8()) == "original") {
          for (XmlNode o = z.FirstChild(); o; o = o.NextSibling())
            if (IsRowElement(o)) orig = o;
        } else if (IsRowElement(z)) {
          now = z;
        }
      }
      const std::size_t no = ++rows_;
      if (!orig || !now) BrokenUpdate(no);
      sink.Begin(RowKind::Modified);
      Cells(orig, sink, Part::Original, true, no);
      Cells(now, sink, Part::Changes, false, no);
    } else {
      UnexpectedElement(n.NodeNameUtf8());
    }
  }
}

}  // namespace qvp::persist::detail
