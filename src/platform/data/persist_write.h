// The writer's rules of the XML persistence format in append-to-buffer
// form, shared by the neutral model's writer (persist::Write) and the
// recordset's direct writer so that each rule is written once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/data/persist.h"

namespace qvp::persist::write {

// Appends `v` (UTF-8) with ' < > & " and characters below U+0020 as hex
// character references.
void AppendEscaped(std::string& out, std::string_view v);
// The same for UTF-16 text, converted as Utf16ToUtf8 converts it.
void AppendEscaped(std::string& out, std::u16string_view v);

// Appends what FormatScaled returns.
void AppendScaled(std::string& out, bool negative, std::string_view digits, int scale, bool numericStyle);

// Appends everything before the first row: the root, the schema with the
// properties and columns, "<rs:data>" and its line end.
void AppendHead(std::string& out, const Document& doc);
inline constexpr std::string_view kTail = "</rs:data>\r\n</xml>";

// The column (tabs count one) at which the next character of `out` lands.
inline std::size_t LineColumn(const std::string& out) {
  const void* nl = memrchr(out.data(), '\n', out.size());
  return nl ? out.size() - static_cast<std::size_t>(static_cast<const char*>(nl) - out.data()) - 1 : out.size();
}

inline bool IsBinary(AdoNS::DataTypeEnum t) {
  return t == AdoNS::adBinary || t == AdoNS::adVarBinary || t == AdoNS::adLongVarBinary;
}

// Appends a hex value of `digits` digits on a row indented by `tabs`: the
// first line takes digit pairs while it stays within column 108, every
// further line holds the row's indentation plus one tab and 110 digits.
// emit(out, from, n) appends digits [from, from + n); `from` and `n` are
// even for an even `digits`.
template <typename Emit>
void AppendWrappedHex(std::string& out, std::size_t digits, std::size_t tabs, Emit&& emit) {
  constexpr std::size_t kFirstWidth = 108, kLineDigits = 110;
  const std::size_t col = LineColumn(out);
  std::size_t first = col + 2 <= kFirstWidth ? (kFirstWidth - col) / 2 * 2 : 0;
  first = std::min(first, digits);
  if (first) emit(out, std::size_t{0}, first);
  for (std::size_t i = first; i < digits;) {
    out += "\r\n";
    out.append(tabs + 1, '\t');
    const std::size_t n = std::min(kLineDigits, digits - i);
    emit(out, i, n);
    i += n;
  }
}

// What a row writes before each column's value: " name='".
inline std::vector<std::string> AttributeStarts(const std::vector<Column>& columns) {
  std::vector<std::string> starts;
  starts.reserve(columns.size());
  for (const Column& c : columns) starts.push_back(" " + c.name + "='");
  return starts;
}

// One z:row of `width` cells: the cells `only` marks (all when null),
// non-null ones as attributes in field order, null ones left out or, with
// forceNull, named in rs:forcenull. `starts` is AttributeStarts(columns);
// isNull(i) tells a null cell; value(out, i) appends cell i's value.
template <typename IsNull, typename Value>
void AppendRow(std::string& out, const std::vector<Column>& columns, const std::vector<std::string>& starts,
               std::size_t width, const std::vector<bool>* only, bool forceNull, std::size_t tabs, IsNull&& isNull,
               Value&& value) {
  static constexpr std::string_view kOpen = "\t\t\t<z:row";
  out.append(tabs <= 3 ? kOpen.substr(3 - tabs) : std::string(tabs, '\t') + "<z:row");
  std::string nulls;
  for (std::size_t i = 0; i < columns.size() && i < width; ++i) {
    if (only && !(i < only->size() && (*only)[i])) continue;
    if (isNull(i)) {
      if (forceNull) {
        if (!nulls.empty()) nulls += ' ';
        AppendEscaped(nulls, columns[i].name);
      }
      continue;
    }
    out += starts[i];
    value(out, i);
    out += '\'';
  }
  if (!nulls.empty()) {
    out += " rs:forcenull='";
    out += nulls;
    out += '\'';
  }
  out += "/>\r\n";
}

// What a row is written as within the data.
enum class Part { Whole, Original, Changes };

// Appends the rows of the data: `count` rows, kind(r) the RowKind of row
// r, row(out, r, part, tabs) appending one z:row line. A modified row is an
// update holding its original and its changes; consecutive new or deleted
// rows share one insert or delete element.
template <typename Kind, typename RowFn>
void AppendRows(std::string& out, std::size_t count, Kind&& kind, RowFn&& row) {
  for (std::size_t i = 0; i < count; ++i) {
    const RowKind k = kind(i);
    switch (k) {
      case RowKind::Unchanged: row(out, i, Part::Whole, 1); break;
      case RowKind::Modified:
        out += "\t<rs:update>\r\n\t\t<rs:original>\r\n";
        row(out, i, Part::Original, 3);
        out += "\t\t</rs:original>\r\n";
        row(out, i, Part::Changes, 2);
        out += "\t</rs:update>\r\n";
        break;
      case RowKind::Inserted:
      case RowKind::Deleted: {
        const bool ins = k == RowKind::Inserted;
        out += ins ? "\t<rs:insert>\r\n" : "\t<rs:delete>\r\n";
        for (; i < count && kind(i) == k; ++i) row(out, i, Part::Whole, 2);
        --i;
        out += ins ? "\t</rs:insert>\r\n" : "\t</rs:delete>\r\n";
        break;
      }
    }
  }
}

}  // namespace qvp::persist::write
