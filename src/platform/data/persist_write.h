// The writer's rules of the XML persistence format in append-to-buffer
// form, shared by the neutral model's writer (persist::Write) and the
// recordset's direct writer so that each rule is written once.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "qv_platform/data/persist.h"
#include "qv_platform/unicode.h"

namespace qvp::persist::write {

// An output buffer written through a pointer: appends are inline copies
// into room made ahead (Reserve), not calls into the string. The writer's
// helpers below take it or a std::string.
//
// The string's capacity is reserved ahead (Plan) but its length only grows
// a chunk at a time: std::string zero-fills what it grows by, and a chunk
// zero-filled just before it is written is still in the cache, where the
// whole planned text zero-filled at once would be a second pass over memory.
class RawOut {
 public:
  explicit RawOut(std::size_t room) { Plan(room); }
  // Room for at least `room` more characters, written in place.
  void Reserve(std::size_t room) {
    if (room > static_cast<std::size_t>(end_ - p_)) Grow(room);
  }
  // Capacity for `room` more characters, without making them writable yet:
  // the text is not copied again while it stays within the plan.
  void Plan(std::size_t room) {
    const std::size_t used = size();
    if (used + room <= buf_.capacity()) return;
    buf_.resize(used);
    buf_.reserve(used + room);
    Point(used);
  }
  void append(const char* s, std::size_t n) {
    Reserve(n);
    if (n <= 16) {  // most appends are short: cheaper than a call
      for (std::size_t i = 0; i < n; ++i) p_[i] = s[i];
    } else {
      std::memcpy(p_, s, n);
    }
    p_ += n;
  }
  // Room for n characters written in place; Unclaim gives back the tail
  // left unwritten.
  char* Claim(std::size_t n) {
    Reserve(n);
    char* at = p_;
    p_ += n;
    return at;
  }
  void Unclaim(std::size_t n) { p_ -= n; }
  void append(std::string_view s) { append(s.data(), s.size()); }
  // Appends `s`, whose storage is readable for kPadded bytes from its start
  // even when it is shorter: a short one is copied as one block.
  static constexpr std::size_t kPadded = 16;
  void AppendPadded(std::string_view s) {
    if (s.size() > kPadded) return append(s);
    Reserve(kPadded);
    std::memcpy(p_, s.data(), kPadded);
    p_ += s.size();
  }
  void append(std::size_t n, char c) {
    Reserve(n);
    std::memset(p_, c, n);
    p_ += n;
  }
  RawOut& operator+=(std::string_view s) {
    append(s);
    return *this;
  }
  RawOut& operator+=(char c) {
    Reserve(1);
    *p_++ = c;
    return *this;
  }
  const char* data() const { return buf_.data(); }
  std::size_t size() const { return p_ ? static_cast<std::size_t>(p_ - buf_.data()) : 0; }
  // The text written; the buffer is left empty.
  std::string Take() {
    buf_.resize(size());
    p_ = end_ = nullptr;
    return std::move(buf_);
  }

 private:
  static constexpr std::size_t kChunk = 16 * 1024;

  void Grow(std::size_t room) {
    const std::size_t used = size();
    if (used + room > buf_.capacity()) Plan(std::max(buf_.capacity(), room + 4096));
    buf_.resize(std::min(buf_.capacity(), std::max(used + room, buf_.size() + kChunk)));
    Point(used);
  }
  void Point(std::size_t used) {
    p_ = buf_.data() + used;
    end_ = buf_.data() + buf_.size();
  }
  std::string buf_;
  char* p_ = nullptr;
  char* end_ = nullptr;
};

// Room for `n` characters at the end of `out`, written in place through
// the pointer returned; Unclaim gives back the `n` last ones unwritten.
// The same for either output, so a value rule writes once for both.
inline char* Claim(RawOut& out, std::size_t n) { return out.Claim(n); }
inline void Unclaim(RawOut& out, std::size_t n) { out.Unclaim(n); }
inline char* Claim(std::string& out, std::size_t n) {
  const std::size_t at = out.size();
  out.resize(at + n);
  return out.data() + at;
}
inline void Unclaim(std::string& out, std::size_t n) { out.resize(out.size() - n); }

// Puts `n` bytes as 2n lower-case hex digits at `dst`, a digit pair a byte.
inline void PutHex(const unsigned char* bytes, std::size_t n, char* dst) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Eight bytes a step: their nibbles interleaved, '0' added, and the gap
  // from '9' to 'a' added to those above 9.
  const __m128i low4 = _mm_set1_epi8(0x0f), nine = _mm_set1_epi8(9), zero = _mm_set1_epi8('0'),
                gap = _mm_set1_epi8('a' - '0' - 10);
  for (; i + 8 <= n; i += 8) {
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i nibbles = _mm_unpacklo_epi8(_mm_and_si128(_mm_srli_epi16(b, 4), low4), _mm_and_si128(b, low4));
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), gap);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), _mm_add_epi8(_mm_add_epi8(nibbles, zero), letters));
  }
#endif
  static constexpr auto kPairs = [] {
    constexpr char kHex[] = "0123456789abcdef";
    std::array<char, 512> t{};
    for (unsigned b = 0; b < 256; ++b) {
      t[2 * b] = kHex[b >> 4];
      t[2 * b + 1] = kHex[b & 15];
    }
    return t;
  }();
  for (; i < n; ++i) std::memcpy(dst + 2 * i, &kPairs[2 * std::size_t{bytes[i]}], 2);
}

constexpr bool HexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A GUID's text as the format accepts it (ValueValid for adGUID): 36
// characters, hex digits with dashes after the 8th, 12th, 16th and 20th
// digit, in braces or not. Inline and checked a block at a time: each save
// checks every GUID it writes.
inline bool GuidText(std::string_view s) {
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36) return false;
#if defined(__SSE2__)
  // Three blocks of 16, the last overlapping the middle one: the hex
  // digits and the dashes of each as bit masks, held to the form's. The
  // comparisons are signed: a byte from 0x80 up is neither.
  const auto masks = [&](std::size_t at, int dashes) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at));
    const __m128i lowered = _mm_or_si128(c, _mm_set1_epi8(0x20));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lowered, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lowered, _mm_set1_epi8('f' + 1)));
    const int hex = _mm_movemask_epi8(_mm_or_si128(digit, letter));
    const int dash = _mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8('-')));
    return static_cast<int>(hex == (~dashes & 0xffff) && dash == dashes);
  };
  return (masks(0, 1 << 8 | 1 << 13) & masks(16, 1 << 2 | 1 << 7) & masks(20, 1 << 3)) != 0;
#else
  static constexpr auto kHex = [] {
    std::array<unsigned char, 256> t{};
    for (unsigned c = 0; c < 256; ++c) t[c] = HexDigit(static_cast<char>(c));
    return t;
  }();
  static constexpr std::array<unsigned char, 32> kDigitAt = {0,  1,  2,  3,  4,  5,  6,  7,  9,  10, 11,
                                                             12, 14, 15, 16, 17, 19, 20, 21, 22, 24, 25,
                                                             26, 27, 28, 29, 30, 31, 32, 33, 34, 35};
  unsigned ok = (s[8] == '-') & (s[13] == '-') & (s[18] == '-') & (s[23] == '-');
  for (const unsigned char at : kDigitAt) ok &= kHex[static_cast<unsigned char>(s[at])];
  return ok != 0;
#endif
}

// Characters written as hex character references: ' < > & " and those
// below U+0020 (so that quotes and line ends survive); the rest of ASCII
// is written as is.
inline constexpr auto kReferenced = [] {
  std::array<bool, 128> t{};
  for (unsigned c = 0; c < 128; ++c) t[c] = c < 0x20 || c == '\'' || c == '<' || c == '>' || c == '&' || c == '"';
  return t;
}();

template <typename Out>
void AppendReference(Out& out, unsigned c) {
  static constexpr char kHex[] = "0123456789abcdef";
  char* ref = Claim(out, 6);
  ref[0] = '&';
  ref[1] = '#';
  ref[2] = 'x';
  std::size_t n = 3;
  if (c >= 16) ref[n++] = kHex[c >> 4];
  ref[n++] = kHex[c & 15];
  ref[n++] = ';';
  Unclaim(out, 6 - n);
}

// Appends `v` (UTF-8) with the referenced characters as references.
template <typename Out>
void AppendEscaped(Out& out, std::string_view v) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const auto c = static_cast<unsigned char>(v[i]);
    if (c >= 0x80 || !kReferenced[c]) continue;
    out.append(v.data() + start, i - start);
    AppendReference(out, c);
    start = i + 1;
  }
  out.append(v.data() + start, v.size() - start);
}

// Copies src[0, n) narrowed to `dst` up to the first character that is
// not written as is (beyond ASCII, or referenced); returns how many were
// copied. `dst` has room for n; what lies past the count is unspecified.
inline std::size_t NarrowPlain(const char16_t* src, std::size_t n, char* dst) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Eight characters a step. The comparisons are signed: a unit from
  // 0x8000 up counts as below 0x20, which refuses it too.
  const __m128i below = _mm_set1_epi16(0x20), above = _mm_set1_epi16(0x7f), quote = _mm_set1_epi16('\''),
                lt = _mm_set1_epi16('<'), gt = _mm_set1_epi16('>'), amp = _mm_set1_epi16('&'),
                dquote = _mm_set1_epi16('"');
  // Narrows the eight units at `at` and returns the mask of those that stop.
  const auto block = [&](std::size_t at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at));
    __m128i stop = _mm_or_si128(_mm_cmplt_epi16(v, below), _mm_cmpgt_epi16(v, above));
    stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, lt)));
    stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi16(v, gt), _mm_cmpeq_epi16(v, amp)));
    stop = _mm_or_si128(stop, _mm_cmpeq_epi16(v, dquote));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + at), _mm_packus_epi16(v, v));
    return static_cast<unsigned>(_mm_movemask_epi8(stop));
  };
  for (; i + 8 <= n; i += 8)
    if (const unsigned mask = block(i)) return i + __builtin_ctz(mask) / 2;
  // A tail after whole blocks is one more block ending at n: the units
  // before i in it were plain, and are written again as they were.
  if (i < n && n >= 8) {
    const unsigned mask = block(n - 8);
    return mask ? n - 8 + __builtin_ctz(mask) / 2 : n;
  }
#endif
  for (; i < n && src[i] < 0x80 && !kReferenced[src[i]]; ++i) dst[i] = static_cast<char>(src[i]);
  return i;
}

// The same for UTF-16 text, converted as Utf16ToUtf8 converts it.
template <typename Out>
void AppendEscaped(Out& out, std::u16string_view v) {
  const std::size_t n = v.size();
  std::size_t i = 0;
  while (i < n) {
    if constexpr (std::is_same_v<Out, RawOut>) {  // narrowed in place, in one pass
      const std::size_t m = NarrowPlain(v.data() + i, n - i, out.Claim(n - i));
      out.Unclaim(n - i - m);
      i += m;
    } else {  // narrowed through a small buffer: one append a chunk
      char chunk[256];
      const std::size_t len = std::min(n - i, sizeof chunk);
      const std::size_t m = NarrowPlain(v.data() + i, len, chunk);
      out.append(chunk, m);
      i += m;
      if (m == len) continue;
    }
    if (i == n) break;
    if (v[i] < 0x80) {
      AppendReference(out, v[i++]);
      continue;
    }
    // Characters beyond ASCII never need a reference: a run of them (pairs
    // of surrogates stay together) goes through the one converter.
    std::size_t j = i;
    while (j < n && v[j] >= 0x80) ++j;
    if constexpr (std::is_same_v<Out, std::string>) {
      AppendUtf16AsUtf8(out, v.substr(i, j - i));
    } else {
      std::string run;
      AppendUtf16AsUtf8(run, v.substr(i, j - i));
      out.append(run);
    }
    i = j;
  }
}

// Appends what FormatScaled returns.
template <typename Out>
void AppendScaled(Out& out, bool negative, std::string_view digits, int scale, bool numericStyle) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.empty()) digits = "0";
  const std::size_t sc = scale > 0 ? static_cast<std::size_t>(scale) : 0;
  // The digits as if padded with leading zeros to sc + 1: the integer part,
  // then the fraction as `zeros` zeros followed by `tail`.
  std::string_view ip = digits.size() > sc ? digits.substr(0, digits.size() - sc) : std::string_view("0");
  std::string_view tail = digits.size() > sc ? digits.substr(digits.size() - sc) : digits;
  std::size_t zeros = sc > digits.size() ? sc - digits.size() : 0;
  const bool zero = digits == "0";  // the leading zeros are gone
  if (!numericStyle) {
    while (!tail.empty() && tail.back() == '0') tail.remove_suffix(1);
    if (tail.empty()) zeros = 0;
  } else if (sc > 0 && ip == "0") {
    ip = {};
  }
  // Written in place, in one claim.
  const bool sign = negative && !zero, point = zeros + tail.size() != 0;
  char* p = Claim(out, sign + ip.size() + point + zeros + tail.size());
  if (sign) *p++ = '-';
  p = std::copy(ip.begin(), ip.end(), p);
  if (point) {
    *p++ = '.';
    p = std::fill_n(p, zeros, '0');
    std::copy(tail.begin(), tail.end(), p);
  }
}

// Appends everything before the first row: the root, the schema with the
// properties and columns, "<rs:data>" and its line end.
void AppendHead(std::string& out, const Document& doc);
inline constexpr std::string_view kTail = "</rs:data>\r\n</xml>";

// The column (tabs count one) at which the next character of `out` lands.
template <typename Out>
std::size_t LineColumn(const Out& out) {
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
//
// A writer that knows where the current line of `out` starts (the offset
// just past its last '\n') passes it as `lineStart` and gets back where the
// line the value ends on starts, which spares looking for it.
template <typename Out, typename Emit>
std::size_t AppendWrappedHex(Out& out, std::size_t lineStart, std::size_t digits, std::size_t tabs, Emit&& emit) {
  constexpr std::size_t kFirstWidth = 108, kLineDigits = 110;
  const std::size_t col = out.size() - lineStart;
  std::size_t first = col + 2 <= kFirstWidth ? (kFirstWidth - col) / 2 * 2 : 0;
  first = std::min(first, digits);
  if (first) emit(out, std::size_t{0}, first);
  for (std::size_t i = first; i < digits;) {
    out += "\r\n";
    lineStart = out.size();
    out.append(tabs + 1, '\t');
    const std::size_t n = std::min(kLineDigits, digits - i);
    emit(out, i, n);
    i += n;
  }
  return lineStart;
}
template <typename Out, typename Emit>
void AppendWrappedHex(Out& out, std::size_t digits, std::size_t tabs, Emit&& emit) {
  AppendWrappedHex(out, out.size() - LineColumn(out), digits, tabs, std::forward<Emit>(emit));
}

// What a row writes before each column's value: " name='", or with the
// quote that closes the value before it, "' name='". They sit in one
// buffer with RawOut::kPadded bytes after the last, so that a RawOut
// copies a short one as one block.
class AttributeStarts {
 public:
  explicit AttributeStarts(const std::vector<Column>& columns) {
    at_.reserve(columns.size() + 1);
    for (const Column& c : columns) {
      at_.push_back(text_.size());
      text_ += "' ";
      text_ += c.name;
      text_ += "='";
    }
    at_.push_back(text_.size());
    text_.append(RawOut::kPadded, '\0');
  }
  std::string_view operator[](std::size_t i) const { return Closing(i).substr(1); }
  std::string_view Closing(std::size_t i) const { return {text_.data() + at_[i], at_[i + 1] - at_[i]}; }

 private:
  std::string text_;
  std::vector<std::size_t> at_;
};

// One z:row of `width` cells: the cells `only` marks (all when null),
// non-null ones as attributes in field order, null ones left out or, with
// forceNull, named in rs:forcenull. `starts` is AttributeStarts(columns);
// isNull(i) tells a null cell; value(out, i) appends cell i's value.
template <typename Out, typename IsNull, typename Value>
void AppendRow(Out& out, const std::vector<Column>& columns, const AttributeStarts& starts,
               std::size_t width, const std::vector<bool>* only, bool forceNull, std::size_t tabs, IsNull&& isNull,
               Value&& value) {
  static constexpr std::string_view kOpen = "\t\t\t<z:row";
  if (tabs <= 3) {
    out.append(kOpen.substr(3 - tabs));
  } else {
    out.append(tabs, '\t');
    out.append(kOpen.substr(3));
  }
  std::string nulls;
  bool open = false;  // a value's closing quote is still to come
  for (std::size_t i = 0; i < columns.size() && i < width; ++i) {
    if (only && !(i < only->size() && (*only)[i])) continue;
    if (isNull(i)) {
      if (forceNull) {
        if (!nulls.empty()) nulls += ' ';
        AppendEscaped(nulls, columns[i].name);
      }
      continue;
    }
    const std::string_view start = open ? starts.Closing(i) : starts[i];
    if constexpr (std::is_same_v<Out, RawOut>) {
      out.AppendPadded(start);
    } else {
      out += start;
    }
    value(out, i);
    open = true;
  }
  if (open) out += '\'';
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
template <typename Out, typename Kind, typename RowFn>
void AppendRows(Out& out, std::size_t count, Kind&& kind, RowFn&& row) {
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
