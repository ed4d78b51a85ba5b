// The persistence format between the text and a recordset's row store: the
// values' texts for each field type and the pending changes as row kinds.
#include "persist_rowset.h"

#include <charconv>
#include <cstring>
#include <new>
#include <set>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bstr_arena.h"
#include "persist_read.h"
#include "persist_write.h"
#include "qv_platform/datetime.h"
#include "qv_platform/unicode.h"

namespace qvp::data {
namespace {

using persist::Column;
using persist::Document;
using persist::RowKind;

bool IsTextType(DataTypeEnum t) {
  switch (t) {
    case adBSTR: case adChar: case adWChar: case adVarChar: case adVarWChar: case adLongVarChar: case adLongVarWChar:
      return true;
    default: return false;
  }
}
bool IsDateType(DataTypeEnum t) {
  return t == adDate || t == adDBDate || t == adDBTime || t == adDBTimeStamp || t == adFileTime;
}

char* Put2(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10 % 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

using persist::write::Claim;
using persist::write::Unclaim;

template <typename Out>
bool DateToText(DataTypeEnum type, double date, Out& out) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) return false;
  constexpr std::size_t kRoom = 19;  // "YYYY-MM-DDTHH:MM:SS"
  char* const buf = Claim(out, kRoom);
  char* p = buf;
  if (type != adDBTime) {
    p = Put2(p, st.wYear / 100);
    p = Put2(p, st.wYear % 100);
    *p++ = '-';
    p = Put2(p, st.wMonth);
    *p++ = '-';
    p = Put2(p, st.wDay);
    if (type == adDBDate) {
      Unclaim(out, kRoom - static_cast<std::size_t>(p - buf));
      return true;
    }
    *p++ = 'T';
  }
  p = Put2(p, st.wHour);
  *p++ = ':';
  p = Put2(p, st.wMinute);
  *p++ = ':';
  p = Put2(p, st.wSecond);
  Unclaim(out, kRoom - static_cast<std::size_t>(p - buf));
  return true;
}

// An OLE date from the parts of a date or time text. The fraction of a
// second is kept in the date.
bool DateFromParts(DataTypeEnum type, const persist::detail::DateTimeText& t, double& out) {
  if (type != adDBTime && t.year < 100) return false;  // the platform's two-digit years would move it
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  double fraction = 0, scale = 0.1;
  for (char c : t.fraction) {
    fraction += (c - '0') * scale;
    scale /= 10;
  }
  if (!SystemTimeToVariantTime(&st, &out)) return false;
  const double add = fraction / 86400.0;
  out += out < 0 ? -add : add;
  return true;
}

std::size_t DigitCount(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += c >= '0' && c <= '9';
  return n;
}

// DecimalFromText on UTF-8 (the short ASCII texts of the format widened on
// the stack).
bool DecimalFromUtf8(std::string_view text, DECIMAL& out) {
  char16_t wide[64];
  if (text.size() > std::size(wide)) return DecimalFromText(Utf8ToUtf16(text), out);
  for (std::size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<unsigned char>(text[i]);
  return DecimalFromText(std::u16string_view(wide, text.size()), out);
}

template <typename T>
bool ParseNumber(std::string_view s, T& v) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size();
}

template <typename Out, typename T>
void AppendNumber(Out& out, T v) {
  constexpr std::size_t kRoom = 64;  // the longest shortest form of a double is 24
  char* const buf = Claim(out, kRoom);
  auto [p, ec] = std::to_chars(buf, buf + kRoom, v);
  Unclaim(out, kRoom - (ec == std::errc() ? static_cast<std::size_t>(p - buf) : 0));
}

// A GUID as the format writes it: braces, upper-case hex digits. Puts the
// text at `dst` (room for in.size() + 2) and returns its length; a
// character beyond ASCII becomes '?', which no GUID holds.
template <typename Char>
std::size_t PutGuid(std::basic_string_view<Char> in, char* dst) {
  char* p = dst;
  const bool braced = !in.empty() && in.front() == '{';
  if (!braced) *p++ = '{';
  std::size_t i = 0;
#if defined(__SSE2__)
  if constexpr (sizeof(Char) == 2) {
    // Eight units a step, the last step overlapping the one before (each
    // unit maps alone, so writing one twice writes the same). The
    // comparisons are signed: a unit from 0x8000 up is below zero.
    const __m128i ascii = _mm_set1_epi16(0x7f), zero = _mm_setzero_si128(), fromA = _mm_set1_epi16('a' - 1),
                  toF = _mm_set1_epi16('f' + 1), upper = _mm_set1_epi16(32), question = _mm_set1_epi16('?');
    const std::size_t n = in.size();
    for (std::size_t at = 0; n >= 8; at += 8) {
      at = std::min(at, n - 8);
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in.data() + at));
      const __m128i wide = _mm_or_si128(_mm_cmpgt_epi16(c, ascii), _mm_cmpgt_epi16(zero, c));
      const __m128i lower = _mm_and_si128(_mm_cmpgt_epi16(c, fromA), _mm_cmplt_epi16(c, toF));
      const __m128i cased = _mm_sub_epi16(c, _mm_and_si128(lower, upper));
      const __m128i mapped = _mm_or_si128(_mm_and_si128(wide, question), _mm_andnot_si128(wide, cased));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p + at), _mm_packus_epi16(mapped, mapped));
      if (at + 8 == n) {
        i = n;
        break;
      }
    }
  }
#endif
  for (; i < in.size(); ++i) {
    const auto c = static_cast<std::uint32_t>(in[i]);
    p[i] = c >= 0x80 ? '?' : c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : static_cast<char>(c);
  }
  p += in.size();
  if (!braced) *p++ = '}';
  return static_cast<std::size_t>(p - dst);
}

// A 96-bit decimal's digits (the value times 10^scale) and its sign.
std::string_view DecimalDigits(const DECIMAL& d, char (&buf)[40]) {
  // One 128-bit division at most: the mantissa as high * 10^19 + low.
  constexpr std::uint64_t kTen19 = 10000000000000000000ull;
  if (d.Hi32 == 0) return {buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, d.Lo64).ptr - buf)};
  const unsigned __int128 m = (static_cast<unsigned __int128>(d.Hi32) << 64) | d.Lo64;
  const auto high = static_cast<std::uint64_t>(m / kTen19), low = static_cast<std::uint64_t>(m % kTen19);
  if (high == 0) return {buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, low).ptr - buf)};
  char* p = std::to_chars(buf, buf + 20, high).ptr;
  char* end = std::to_chars(p, p + 19, low).ptr;
  const auto lowDigits = static_cast<std::size_t>(end - p);
  std::memmove(p + (19 - lowDigits), p, lowDigits);
  std::memset(p, '0', 19 - lowDigits);
  return {buf, static_cast<std::size_t>(p + 19 - buf)};
}

// An XML name usable as a row attribute without an alias.
bool PlainName(std::string_view n) {
  return !n.empty() && n.find(':') == std::string_view::npos && persist::RowNameValid(n);
}

Column ColumnOf(const RowSet& rs, std::size_t i, std::set<std::string>& used) {
  const FieldDef& f = rs.fields[i];
  Column c;
  const std::string name = Utf16ToUtf8(f.name);
  if (PlainName(name) && used.insert(name).second) {
    c.name = name;
  } else {
    // Names rows cannot carry get an alias; the field keeps its own name in
    // rs:name.
    std::string alias = "c";
    alias += std::to_string(i);
    while (!used.insert(alias).second) alias += '_';
    c.name = alias;
    c.alias = name;
  }
  c.number = static_cast<long>(i + 1);
  c.type = f.type;
  persist::TypeText t{};
  if (!persist::TypeToText(f.type, t))
    Raise(adErrFeatureNotAvailable, u"The field '" + f.name + u"' has a type the XML format cannot hold.");
  c.maxLength = t.fixedSize ? t.fixedSize : static_cast<std::uint64_t>(f.defined_size < 0 ? 0 : f.defined_size);
  const bool scaled = f.type == adDecimal || f.type == adNumeric;
  c.precision = scaled ? f.precision : 0;
  c.hasScale = scaled || f.type == adDBTimeStamp;
  c.scale = c.hasScale ? f.scale : 0;
  c.nullable = (f.attributes & adFldIsNullable) != 0;
  c.write = (f.attributes & adFldUpdatable) != 0;
  c.fixedLength = (f.attributes & adFldFixed) != 0;
  c.isLong = (f.attributes & adFldLong) != 0;
  c.keyColumn = (f.attributes & adFldKeyColumn) != 0;
  if (!f.base_column.empty() && !rs.base_table.empty()) {
    c.baseTable = Utf16ToUtf8(rs.base_table);
    c.baseColumn = Utf16ToUtf8(f.base_column);
  }
  return c;
}

long AttributesOf(const Column& c) {
  long a = 0;
  if (c.write) a |= adFldUpdatable;
  if (c.nullable) a |= adFldIsNullable | adFldMayBeNull;
  if (c.fixedLength) a |= adFldFixed;
  if (c.isLong) a |= adFldLong;
  if (c.keyColumn) a |= adFldKeyColumn;
  return a;
}

[[noreturn]] void RaiseValue(const Column& c, std::size_t row, std::string_view text) {
  Raise(adErrDataConversion, ("row " + std::to_string(row) + ": field '" + c.FieldName() + "': '" +
                              std::string(text.substr(0, 64)) + "' does not convert to the field's type")
                                 .c_str());
}

}  // namespace

bool CellText(const Column& column, const _variant_t& value, std::string& text) {
  text.clear();
  return AppendCellText(column, value, text);
}

namespace {

// The text of a value of another variant type, converted first.
template <typename Out>
bool AppendConverted(const Column& column, const _variant_t& value, VARTYPE want, Out& text) {
  const _variant_t* v = &value;
  _variant_t converted;
  if (want != VT_EMPTY && value.vt() != want && !(IsDateType(column.type) && value.vt() == VT_DATE)) {
    if (FAILED(VariantChangeType(&converted, &value, 0, want))) return false;
    v = &converted;
  }
  if (column.type == adFileTime && v->vt() != VT_DATE) {
    if (FAILED(VariantChangeType(&converted, &value, 0, VT_DATE))) return false;
    v = &converted;
  }
  return AppendExactText(column, *v, text);
}

}  // namespace

template <typename Out>
bool AppendCellText(const Column& column, const _variant_t& value, Out& text) {
  const VARTYPE want = VarTypeOf(column.type);
  const VARTYPE vt = value.vt();
  if ((want != VT_EMPTY && vt != want && !(IsDateType(column.type) && vt == VT_DATE)) ||
      (column.type == adFileTime && vt != VT_DATE))
    return AppendConverted(column, value, want, text);
  return AppendExactText(column, value, text);
}

template <typename Out>
bool AppendExactText(const Column& column, const _variant_t& value, Out& text) {
  const _variant_t* v = &value;
  switch (column.type) {
    case adTinyInt: case adSmallInt: case adInteger: case adBigInt: AppendNumber(text, v->llVal()); return true;
    case adUnsignedTinyInt: case adUnsignedSmallInt: case adUnsignedInt: case adUnsignedBigInt:
      AppendNumber(text, v->ullVal());
      return true;
    case adSingle: AppendNumber(text, v->fltVal()); return true;
    case adDouble: AppendNumber(text, v->dblVal()); return true;
    case adCurrency: {
      const std::int64_t cy = v->cyVal();
      const std::uint64_t mag = cy < 0 ? 0 - static_cast<std::uint64_t>(cy) : static_cast<std::uint64_t>(cy);
      char buf[24];
      const auto end = std::to_chars(buf, buf + sizeof buf, mag).ptr;
      persist::write::AppendScaled(text, cy < 0, std::string_view(buf, static_cast<std::size_t>(end - buf)), 4, false);
      return true;
    }
    case adDecimal: case adNumeric: {
      const DECIMAL d = v->decVal();
      char buf[40];
      std::string_view digits = DecimalDigits(d, buf);
      const bool negative = (d.sign & DECIMAL_NEG) != 0;
      if (column.type == adDecimal) {
        persist::write::AppendScaled(text, negative, digits, d.scale, false);
        return true;
      }
      // Numeric: exactly the field's scale, further digits cut.
      const std::size_t want_scale = static_cast<std::size_t>(column.scale);
      if (want_scale < d.scale) {
        const std::size_t cut = d.scale - want_scale;
        digits = digits.size() > cut ? digits.substr(0, digits.size() - cut) : std::string_view("0");
        persist::write::AppendScaled(text, negative, digits, column.scale, true);
      } else if (want_scale == d.scale) {
        persist::write::AppendScaled(text, negative, digits, column.scale, true);
      } else {
        std::string padded(digits);
        padded.append(want_scale - d.scale, '0');
        persist::write::AppendScaled(text, negative, padded, column.scale, true);
      }
      return true;
    }
    case adBoolean: text += v->boolVal() ? "True" : "False"; return true;
    case adGUID: {
      const std::u16string_view in = v->bstrView();
      if (in.size() > 38) return false;  // longer than any GUID text
      char* g = Claim(text, in.size() + 2);
      const std::size_t n = PutGuid(in, g);
      Unclaim(text, in.size() + 2 - n);
      return persist::write::GuidText(std::string_view(g, n));
    }
    case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: case adFileTime:
      return DateToText(column.type, v->date(), text);
    case adBinary: case adVarBinary: case adLongVarBinary: {
      SAFEARRAY* a = v->parray();
      if (!a) return false;
      persist::write::PutHex(static_cast<const unsigned char*>(a->pvData), a->cElements,
                             Claim(text, std::size_t{a->cElements} * 2));
      return true;
    }
    default:
      if (!IsTextType(column.type)) return false;
      if constexpr (std::is_same_v<Out, std::string>) {
        AppendUtf16AsUtf8(text, v->bstrView());
      } else {
        text += Utf16ToUtf8(v->bstrView());
      }
      return true;
  }
}

template bool AppendCellText(const Column&, const _variant_t&, std::string&);
template bool AppendCellText(const Column&, const _variant_t&, persist::write::RawOut&);
template bool AppendExactText(const Column&, const _variant_t&, std::string&);
template bool AppendExactText(const Column&, const _variant_t&, persist::write::RawOut&);

namespace {

template <typename T>
CellRead ReadInteger(std::string_view text, VARTYPE vt, _variant_t& value) {
  T n{};
  if (!ParseNumber(text, n)) return CellRead::Invalid;
  if constexpr (std::is_signed_v<T>)
    value = _variant_t(static_cast<std::int64_t>(n), vt);
  else
    value = _variant_t(static_cast<std::int64_t>(static_cast<std::uint64_t>(n)), vt);
  return CellRead::Ok;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const int lower = c | 0x20;
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// A text value from UTF-8, cut from `arena` when there is one.
_variant_t TextValue(std::string_view text, BstrArena* arena) {
  if (!arena) return _variant_t(std::u16string_view(Utf8ToUtf16(text)));
  BSTR b = arena->AllocUtf8(text);
  if (!b) throw std::bad_alloc();
  return _variant_t::AttachBstr(b);
}

}  // namespace

CellRead ReadCell(const Column& column, std::string_view text, _variant_t& value, BstrArena* arena) {
  const VARTYPE vt = VarTypeOf(column.type);
  // Most types check their text while converting it; currency, decimal and
  // numeric texts are checked first.
  switch (column.type) {
    case adTinyInt: return ReadInteger<std::int8_t>(text, vt, value);
    case adSmallInt: return ReadInteger<std::int16_t>(text, vt, value);
    case adInteger: return ReadInteger<std::int32_t>(text, vt, value);
    case adBigInt: return ReadInteger<std::int64_t>(text, vt, value);
    case adUnsignedTinyInt: return ReadInteger<std::uint8_t>(text, vt, value);
    case adUnsignedSmallInt: return ReadInteger<std::uint16_t>(text, vt, value);
    case adUnsignedInt: return ReadInteger<std::uint32_t>(text, vt, value);
    case adUnsignedBigInt: return ReadInteger<std::uint64_t>(text, vt, value);
    case adSingle: {
      // Any text of a double is valid; a float holds fewer of them.
      double d = 0;
      if (!ParseNumber(text, d)) return CellRead::Invalid;
      float f = 0;
      if (!ParseNumber(text, f)) return CellRead::Unconvertible;
      value = _variant_t(f);
      return CellRead::Ok;
    }
    case adDouble: {
      double d = 0;
      if (!ParseNumber(text, d)) return CellRead::Invalid;
      value = _variant_t(d);
      return CellRead::Ok;
    }
    case adBoolean:
      if (!persist::ValueValid(column, text)) return CellRead::Invalid;
      value = _variant_t(text == "True" || text == "true" || text == "1");
      return CellRead::Ok;
    case adGUID: {
      if (!persist::ValueValid(column, text)) return CellRead::Invalid;
      char g[40];  // a valid GUID text has at most 38 characters
      value = TextValue(std::string_view(g, PutGuid(text, g)), arena);
      return CellRead::Ok;
    }
    case adBinary: case adVarBinary: case adLongVarBinary: {
      if (text.size() % 2) return CellRead::Invalid;
      SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<std::uint32_t>(text.size() / 2));
      if (!a) throw std::bad_alloc();
      auto* bytes = static_cast<unsigned char*>(a->pvData);
      for (std::size_t i = 0; i < text.size() / 2; ++i) {
        const int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
          SafeArrayDestroy(a);
          return CellRead::Invalid;
        }
        bytes[i] = static_cast<unsigned char>(hi << 4 | lo);
      }
      value = _variant_t::Attach(a);
      return CellRead::Ok;
    }
    case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: case adFileTime: {
      persist::detail::DateTimeText parts;
      if (!persist::detail::SplitDateTime(column.type, text, parts)) return CellRead::Invalid;
      double date = 0;
      if (!DateFromParts(column.type, parts, date)) return CellRead::Unconvertible;
      value = _variant_t::Date(date);
      return CellRead::Ok;
    }
    case adCurrency: case adDecimal: case adNumeric:
      if (!persist::ValueValid(column, text)) return CellRead::Invalid;
      break;
    default:
      value = TextValue(text, arena);
      return CellRead::Ok;
  }
  switch (column.type) {
    case adCurrency: {
      // Ten-thousandths, exactly (a double would lose the last digits of
      // the widest values); further fraction digits are dropped.
      std::string_view s = text;
      const bool negative = s.starts_with('-');
      if (negative) s.remove_prefix(1);
      const auto dot = s.find('.');
      std::string digits(s.substr(0, dot));
      std::string fraction(dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1));
      fraction.resize(4, '0');
      digits += fraction;
      unsigned __int128 mag = 0;
      for (char c : digits) {
        if (c < '0' || c > '9') return CellRead::Unconvertible;
        mag = mag * 10 + static_cast<unsigned>(c - '0');
        if (mag > (static_cast<unsigned __int128>(1) << 63)) return CellRead::Unconvertible;
      }
      if (!negative && mag == (static_cast<unsigned __int128>(1) << 63)) return CellRead::Unconvertible;
      const auto cy = negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(mag))
                               : static_cast<std::int64_t>(mag);
      value = _variant_t::Currency(cy);
      return CellRead::Ok;
    }
    case adDecimal: case adNumeric: {
      DECIMAL d;
      if (!DecimalFromUtf8(text, d)) return CellRead::Unconvertible;
      // A numeric value is written with all of the field's scale digits:
      // it opens only when that text reads back. A text that already has
      // the field's scale and at most 28 digits (so none was dropped) is
      // written back as the same digits and needs no trial.
      _variant_t converted = _variant_t::Decimal(d);
      if (column.type == adNumeric && !(d.scale == column.scale && DigitCount(text) <= 28)) {
        std::string written;
        DECIMAL back;
        if (!CellText(column, converted, written) || !persist::ValueValid(column, written) ||
            !DecimalFromText(Utf8ToUtf16(written), back))
          return CellRead::Unconvertible;
      }
      value = std::move(converted);
      return CellRead::Ok;
    }
    default: return CellRead::Unconvertible;  // not reached: the types checked first are above
  }
}

bool CellValue(const Column& column, std::string_view text, _variant_t& value) {
  return ReadCell(column, text, value, nullptr) == CellRead::Ok;
}

Document SchemaOf(const RowSet& rs, bool updatable) {
  Document doc;
  if (!updatable) doc.properties.clear();
  std::set<std::string> used;
  doc.columns.reserve(rs.width());
  for (std::size_t i = 0; i < rs.width(); ++i) doc.columns.push_back(ColumnOf(rs, i, used));
  return doc;
}

Document ToDocument(const RowSet& rs, bool updatable) {
  Document doc = SchemaOf(rs, updatable);
  const std::size_t w = rs.width();
  auto cells = [&](const _variant_t* row, std::vector<persist::Cell>& out) {
    out.resize(w);
    for (std::size_t i = 0; i < w; ++i) {
      out[i].null = row[i].IsNullOrEmpty();
      if (out[i].null) {
        out[i].text.clear();
      } else if (!CellText(doc.columns[i], row[i], out[i].text)) {
        Raise(adErrDataConversion, u"The field '" + rs.fields[i].name + u"' holds a value its type cannot write.");
      }
    }
  };
  std::vector<std::size_t> deleted;
  doc.rows.reserve(rs.rows.size());
  for (std::size_t r = 0; r < rs.rows.size(); ++r) {
    const Row& row = rs.rows[r];
    if (row.gone) continue;
    const bool fresh = (row.status & adRecNew) != 0;
    if (row.status & adRecDeleted) {
      if (!fresh) deleted.push_back(r);
      continue;
    }
    persist::Row out;
    cells(rs.row_cells(r), out.values);
    if (fresh) {
      out.kind = RowKind::Inserted;
    } else if ((row.status & adRecModified) && row.original) {
      out.kind = RowKind::Modified;
      cells(row.original.get(), out.original);
      out.changed.resize(w);
      for (std::size_t i = 0; i < w; ++i) out.changed[i] = !(out.values[i] == out.original[i]);
    }
    doc.rows.push_back(std::move(out));
  }
  for (std::size_t r : deleted) {
    persist::Row out;
    out.kind = RowKind::Deleted;
    const Row& row = rs.rows[r];
    cells(row.original ? row.original.get() : rs.row_cells(r), out.values);
    doc.rows.push_back(std::move(out));
  }
  return doc;
}

std::shared_ptr<RowSet> FromDocument(const Document& doc) {
  auto rs = std::make_shared<RowSet>();
  const std::size_t w = doc.columns.size();
  rs->fields.reserve(w);
  for (std::size_t i = 0; i < w; ++i) {
    const Column& c = doc.columns[i];
    FieldDef f;
    f.name = Utf8ToUtf16(c.FieldName());
    f.type = c.type;
    persist::TypeText t{};
    const std::uint64_t size = c.maxLength ? c.maxLength : (persist::TypeToText(c.type, t) ? t.fixedSize : 0);
    f.defined_size = static_cast<long>(size);
    f.precision = static_cast<unsigned char>(c.precision);
    f.scale = static_cast<unsigned char>(c.scale);
    f.attributes = AttributesOf(c);
    f.base_column = Utf8ToUtf16(c.baseColumn);
    if (rs->base_table.empty() && !c.baseTable.empty()) rs->base_table = Utf8ToUtf16(c.baseTable);
    if (c.keyColumn) rs->key_columns.push_back(static_cast<int>(i));
    rs->fields.push_back(std::move(f));
  }
  rs->cells.reserve(doc.rows.size() * w);
  rs->rows.reserve(doc.rows.size());
  auto fill = [&](const std::vector<persist::Cell>& in, _variant_t* out, std::size_t rowNo) {
    for (std::size_t i = 0; i < w; ++i) {
      if (i >= in.size() || in[i].null) {
        out[i] = _variant_t::Null();
      } else if (!CellValue(doc.columns[i], in[i].text, out[i])) {
        RaiseValue(doc.columns[i], rowNo, in[i].text);
      }
    }
  };
  for (std::size_t r = 0; r < doc.rows.size(); ++r) {
    const persist::Row& in = doc.rows[r];
    const std::size_t at = AppendRowOf(*rs, in.kind);
    fill(in.values, rs->row_cells(at), r + 1);
    if (in.kind == RowKind::Modified) fill(in.original, rs->rows[at].original.get(), r + 1);
  }
  return rs;
}

std::size_t AppendRowOf(RowSet& rs, RowKind kind) {
  const std::size_t at = rs.AppendRow();
  Row& row = rs.rows[at];
  switch (kind) {
    case RowKind::Unchanged: row.status = adRecUnmodified; break;
    case RowKind::Inserted: row.status = adRecNew; break;
    case RowKind::Deleted: row.status = adRecDeleted; break;
    case RowKind::Modified:
      row.status = adRecModified;
      row.original = std::make_unique<_variant_t[]>(rs.width());
      break;
  }
  return at;
}

}  // namespace qvp::data
