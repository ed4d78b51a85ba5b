// The reading side of the XML persistence format, shared by the document
// model's reader (persist::Read) and the recordset's direct reader: parsing
// and the schema, then one walk over the data that checks every row and
// hands each value's text to a sink. The walk owns the order of the checks
// and their descriptions, so both readers refuse a document the same way.
#pragma once

#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/data/persist.h"
#include "qv_platform/xml_scan.h"
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

// AsUtf8 gives `bytes` as UTF-8 text: UTF-16 with its byte-order mark
// converted into `converted`, a UTF-8 byte-order mark skipped.
std::string_view AsUtf8(std::string_view bytes, std::string& converted);

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

// The parts of a date or time value's text; a time alone keeps the
// platform's day zero, 1899-12-30.
struct DateTimeText {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  std::string_view fraction;  // the digits after the seconds' point
};
// SplitDateTime reads the text of a value of a date or time type
// ("YYYY-MM-DD", "HH:MM:SS[.f]" or both joined by 'T', as the type has it);
// false when the text is not one. ValueValid's rule for those types.
bool SplitDateTime(AdoNS::DataTypeEnum type, std::string_view text, DateTimeText& out);

// The description of a value that is not of its field's type.
std::string InvalidValue(std::size_t rowNo, const Column& c, std::string_view text);

// The Walker reads the records of the data from its elements, given in
// document order: Start for each element inside rs:data (depth 1 for the
// data's own children), End when it closes. For each record it calls, in
// order:
//   sink.Begin(kind)
//   sink.Value(part, column, text) for each value (text valid for its type),
//     or, when the sink has it, sink.Read(part, column, text), which checks
//     the text as ValueValid does and returns false to refuse it
//   sink.End(part, named)          once per part, named[i] as above
// (a modified row has its Original part, then its Changes part). Throws
// Fail with the description of the first fault, after the records before it
// were handed over. Walk feeds it the data of a loaded document; a scan of
// the text (xml_scan.h) feeds it without one.
class Walker {
 public:
  explicit Walker(const Parsed& p);

  template <typename Sink>
  void Walk(Sink& sink);
  template <typename Sink>
  void Start(Sink& sink, std::size_t depth, std::string_view name, std::span<const XmlScanAttribute> attributes);
  template <typename Sink>
  void End(Sink& sink, std::size_t depth);

 private:
  // The column a row attribute names; throws for an unknown name.
  std::size_t Find(std::string_view name, std::size_t rowNo) const;
  std::string_view Clean(const Column& c, std::string_view v);
  template <typename Sink>
  void Cells(std::span<const XmlScanAttribute> attributes, Sink& sink, Part part, bool full, std::size_t rowNo);
  template <typename Sink>
  void Feed(Sink& sink, const XmlNode& parent, std::size_t depth);

  // A row of an update, kept until the update closes (its last original
  // row and its last new row count).
  struct KeptRow {
    std::vector<std::string> texts;  // name, value, name, value, ...
    std::vector<XmlScanAttribute> views;
    bool seen = false;
    void Keep(std::span<const XmlScanAttribute> attributes);
  };

  enum class Top { None, Other, Insert, Delete, Update };

  const Parsed& p_;
  std::vector<bool> plain_;  // column names that are no special attribute's
  std::vector<unsigned char> named_;
  std::string scratch_;
  std::size_t rows_ = 0;
  Top top_ = Top::None;
  bool inOriginal_ = false;
  KeptRow original_, now_;
  std::vector<XmlScanAttribute> feed_;
};

std::string_view LocalName(std::string_view name);
[[noreturn]] void MissingField(std::size_t rowNo, const Column& c);
[[noreturn]] void UnknownForceNull(std::size_t rowNo, std::string_view name);
[[noreturn]] void UnexpectedElement(std::string_view name);
[[noreturn]] void BrokenUpdate(std::size_t rowNo);

template <typename Sink>
void Walker::Cells(std::span<const XmlScanAttribute> attributes, Sink& sink, Part part, bool full, std::size_t rowNo) {
  const auto& cols = p_.doc.columns;
  named_.assign(cols.size(), kAbsent);
  std::size_t hint = cols.size() - 1;  // so that the first guess is column 0
  for (const XmlScanAttribute& a : attributes) {
    const std::string_view name = a.name;
    // Rows name their fields in schema order: the field after the last one
    // is tried first.
    std::size_t col = hint + 1 < cols.size() ? hint + 1 : 0;
    if (col < cols.size() && plain_[col] && cols[col].name == name) {
      hint = col;
    } else if (name == "rs:forcenull") {
      std::string_view list = a.value;
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
    } else if (name.starts_with("xmlns")) {
      continue;
    } else {
      hint = col = Find(name, rowNo);
    }
    const Column& c = cols[col];
    if constexpr (requires { sink.Read(part, col, name); }) {
      // A sink that converts checks the text in the same step; wrapped hex
      // is read again without its line breaks.
      if (!sink.Read(part, col, a.value)) {
        const std::string_view v = Clean(c, a.value);
        if (v.size() == a.value.size() || !sink.Read(part, col, v)) throw Fail{InvalidValue(rowNo, c, v)};
      }
    } else {
      const std::string_view v = Clean(c, a.value);
      if (!ValueValid(c, v)) throw Fail{InvalidValue(rowNo, c, v)};
      sink.Value(part, col, v);
    }
    named_[col] = kValue;
  }
  if (full)
    for (std::size_t i = 0; i < cols.size(); ++i)
      if (named_[i] != kValue && !cols[i].nullable) MissingField(rowNo, cols[i]);
  sink.End(part, named_);
}

// The data's children are rows, or insert and delete elements holding rows,
// or updates holding an original (with the old row) and the new row;
// anything deeper is no part of a record.
template <typename Sink>
void Walker::Start(Sink& sink, std::size_t depth, std::string_view name, std::span<const XmlScanAttribute> attributes) {
  const std::string_view local = LocalName(name);
  if (depth == 1) {
    top_ = Top::Other;
    if (local == "row") {
      sink.Begin(RowKind::Unchanged);
      Cells(attributes, sink, Part::Values, true, ++rows_);
    } else if (local == "insert") {
      top_ = Top::Insert;
    } else if (local == "delete") {
      top_ = Top::Delete;
    } else if (local == "update") {
      top_ = Top::Update;
      original_.seen = now_.seen = false;
    } else {
      UnexpectedElement(name);
    }
  } else if (depth == 2) {
    if ((top_ == Top::Insert || top_ == Top::Delete) && local == "row") {
      sink.Begin(top_ == Top::Insert ? RowKind::Inserted : RowKind::Deleted);
      Cells(attributes, sink, Part::Values, true, ++rows_);
    } else if (top_ == Top::Update) {
      if (local == "original") inOriginal_ = true;
      else if (local == "row") now_.Keep(attributes);
    }
  } else if (depth == 3 && top_ == Top::Update && inOriginal_ && local == "row") {
    original_.Keep(attributes);
  }
}

template <typename Sink>
void Walker::End(Sink& sink, std::size_t depth) {
  if (depth == 2) {
    inOriginal_ = false;
  } else if (depth == 1) {
    if (top_ == Top::Update) {
      const std::size_t no = ++rows_;
      if (!original_.seen || !now_.seen) BrokenUpdate(no);
      sink.Begin(RowKind::Modified);
      Cells(original_.views, sink, Part::Original, true, no);
      Cells(now_.views, sink, Part::Changes, false, no);
    }
    top_ = Top::None;
  }
}

template <typename Sink>
void Walker::Feed(Sink& sink, const XmlNode& parent, std::size_t depth) {
  for (XmlNode n = parent.FirstChild(); n; n = n.NextSibling()) {
    if (n.Type() != XmlNodeType::Element) continue;
    feed_.clear();
    for (XmlAttribute a = n.FirstAttribute(); a; a = a.Next()) feed_.push_back({a.NameUtf8(), a.ValueUtf8()});
    Start(sink, depth, n.NodeNameUtf8(), feed_);
    if (depth < 3) Feed(sink, n, depth + 1);  // deeper elements hold no record
    End(sink, depth);
  }
}

template <typename Sink>
void Walker::Walk(Sink& sink) {
  if (p_.data) Feed(sink, p_.data, 1);
}

}  // namespace qvp::persist::detail
