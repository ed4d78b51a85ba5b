// The wide printf engine. Integers and strings are laid out here; finite
// doubles under %e/%f/%g go through the C library's snprintf with the same
// flags, width and precision, whose output matches the current Windows
// runtime (two-digit minimum exponent; exact ties rounded to even, as that
// runtime does since Windows 10 2004). Infinities and NaNs and %a are laid
// out here, in the Windows runtime's spellings.
#include "qv_platform/format.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>

#include "qv_platform/unicode.h"

namespace qvp {

namespace {

struct FieldFormat {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  enum class Size { Default, Char, Short, Long, LongLong, Wide, Narrow } size = Size::Default;
};

void Pad(std::u16string& out, int count, char16_t ch) {
  if (count > 0) out.append(static_cast<std::size_t>(count), ch);
}

void EmitField(std::u16string& out, const FieldFormat& field, std::u16string_view body, bool allow_zero_pad) {
  const int fill = field.width - static_cast<int>(body.size());
  if (field.left) {
    out += body;
    Pad(out, fill, u' ');
  } else {
    Pad(out, fill, allow_zero_pad && field.zero ? u'0' : u' ');
    out += body;
  }
}

// Reads an integer argument at the width the format asks for.
unsigned long long TakeBits(const FormatArg& a, FieldFormat::Size size, bool is_signed, bool* negative) {
  unsigned long long raw = a.kind == FormatArg::Kind::Double ? 0 : a.u;
  if (a.kind == FormatArg::Kind::Ptr) raw = reinterpret_cast<std::uintptr_t>(a.p);
  *negative = false;
  switch (size) {
    case FieldFormat::Size::Char:
      if (is_signed) {
        auto v = static_cast<signed char>(raw);
        *negative = v < 0;
        return *negative ? 0ull - static_cast<unsigned long long>(static_cast<long long>(v)) : static_cast<unsigned long long>(v);
      }
      return static_cast<unsigned char>(raw);
    case FieldFormat::Size::Short:
      if (is_signed) {
        auto v = static_cast<short>(raw);
        *negative = v < 0;
        return *negative ? 0ull - static_cast<unsigned long long>(static_cast<long long>(v)) : static_cast<unsigned long long>(v);
      }
      return static_cast<unsigned short>(raw);
    case FieldFormat::Size::LongLong:
      if (is_signed) {
        auto v = static_cast<long long>(raw);
        *negative = v < 0;
        return *negative ? 0ull - raw : raw;
      }
      return raw;
    default:
      if (is_signed) {
        auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
        *negative = v < 0;
        return *negative ? 0ull - static_cast<unsigned long long>(static_cast<long long>(v)) : static_cast<unsigned long long>(v);
      }
      return static_cast<std::uint32_t>(raw);
  }
}

void FormatInteger(std::u16string& out, const FieldFormat& field, char conv, const FormatArg& a) {
  const bool is_signed = conv == 'd' || conv == 'i';
  bool negative = false;
  unsigned long long v = TakeBits(a, field.size, is_signed, &negative);
  const unsigned base = (conv == 'o') ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
  const char* digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string num;
  if (!(v == 0 && field.precision == 0)) {
    do {
      num.insert(num.begin(), static_cast<char16_t>(digits[v % base]));
      v /= base;
    } while (v);
  }
  if (field.precision >= 0 && static_cast<int>(num.size()) < field.precision)
    num.insert(0, static_cast<std::size_t>(field.precision) - num.size(), u'0');
  if (field.alt && base == 8 && (num.empty() || num[0] != u'0')) num.insert(num.begin(), u'0');
  std::u16string prefix;
  if (negative) prefix = u"-";
  else if (is_signed && field.plus) prefix = u"+";
  else if (is_signed && field.space) prefix = u" ";
  if (field.alt && base == 16 && !num.empty() && num.find_first_not_of(u'0') != std::u16string::npos)
    prefix += conv == 'X' ? u"0X" : u"0x";
  const bool zero_pad = field.zero && !field.left && field.precision < 0;
  if (zero_pad) {
    const int fill = field.width - static_cast<int>(prefix.size() + num.size());
    out += prefix;
    Pad(out, fill, u'0');
    out += num;
  } else {
    FieldFormat s = field;
    s.zero = false;
    EmitField(out, s, prefix + num, false);
  }
}

std::u16string Widen(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// SignOf is the sign a number's text starts with.
std::string SignOf(bool negative, const FieldFormat& field) {
  return negative ? "-" : field.plus ? "+" : field.space ? " " : "";
}

// FormatNonFinite spells an infinity or NaN as the Windows runtime does:
// "inf", "nan", "nan(snan)" for a signalling NaN and "nan(ind)" for the
// indefinite NaN (sign set, no payload: what 0/0 gives); upper case for the
// upper-case conversions; padded with blanks only.
void FormatNonFinite(std::u16string& out, const FieldFormat& field, char conv, std::uint64_t bits) {
  const bool negative = (bits >> 63) != 0;
  const std::uint64_t mantissa = bits & 0xFFFFFFFFFFFFFull;
  constexpr std::uint64_t kQuiet = 0x8000000000000ull;
  std::string text = mantissa == 0                           ? "inf"
                     : (mantissa & kQuiet) == 0               ? "nan(snan)"
                     : negative && mantissa == kQuiet ? "nan(ind)"
                                                              : "nan";
  if (conv >= 'A' && conv <= 'Z') {
    for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  FieldFormat blanks = field;
  blanks.zero = false;
  EmitField(out, blanks, Widen(SignOf(negative, field) + text), false);
}

// FormatHexDouble is %a / %A: "0x1.<13 hex digits>p+E" for a normal number,
// "0x0.<digits>p-1022" for a subnormal one, the digits rounded (half up) to
// the precision, which is 13 unless given. The leading digit takes a carry
// ("0x2p+0" for 1.5 at precision 0), as the Windows runtime prints it.
void FormatHexDouble(std::u16string& out, const FieldFormat& field, char conv, std::uint64_t bits) {
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & 0xFFFFFFFFFFFFFull;
  unsigned lead = biased == 0 ? 0 : 1;
  const int exponent = biased == 0 ? (mantissa == 0 ? 0 : -1022) : biased - 1023;
  const int precision = field.precision < 0 ? 13 : field.precision;
  if (precision < 13) {
    const int drop = 4 * (13 - precision);
    const std::uint64_t half = 1ull << (drop - 1);
    const std::uint64_t rest = mantissa & ((1ull << drop) - 1);
    mantissa >>= drop;
    if (rest >= half) {
      ++mantissa;
      if (mantissa >> (4 * precision)) {  // carried into the leading digit
        mantissa &= (1ull << (4 * precision)) - 1;
        ++lead;
      }
    }
  }
  const char* digits = conv == 'A' ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string body = conv == 'A' ? "0X" : "0x";
  const std::size_t prefix = SignOf(negative, field).size() + body.size();
  body += digits[lead];
  if (precision > 0 || field.alt) body += '.';
  for (int i = 0; i < precision; ++i) {
    const int shift = 4 * (std::min(precision, 13) - 1 - i);
    body += i < 13 ? digits[(mantissa >> shift) & 0xF] : '0';
  }
  body += conv == 'A' ? 'P' : 'p';
  body += exponent < 0 ? '-' : '+';
  body += std::to_string(exponent < 0 ? -exponent : exponent);
  std::string text = SignOf(negative, field) + body;
  if (field.zero && !field.left && field.width > static_cast<int>(text.size())) {
    text.insert(prefix, static_cast<std::size_t>(field.width) - text.size(), '0');
  }
  EmitField(out, field, Widen(text), false);
}

void FormatDouble(std::u16string& out, const FieldFormat& field, char conv, const FormatArg& a) {
  double d = a.kind == FormatArg::Kind::Double ? a.d
             : a.kind == FormatArg::Kind::Int  ? static_cast<double>(a.i)
             : a.kind == FormatArg::Kind::UInt ? static_cast<double>(a.u)
                                               : 0.0;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &d, sizeof bits);
  if (((bits >> 52) & 0x7FF) == 0x7FF) return FormatNonFinite(out, field, conv, bits);
  if (conv == 'a' || conv == 'A') return FormatHexDouble(out, field, conv, bits);
  std::string f = "%";
  if (field.left) f += '-';
  if (field.plus) f += '+';
  if (field.space) f += ' ';
  if (field.alt) f += '#';
  if (field.zero) f += '0';
  if (field.width > 0) f += std::to_string(field.width);
  if (field.precision >= 0) {
    f += '.';
    f += std::to_string(field.precision);
  }
  f += conv;
  char small[128];
  int n = std::snprintf(small, sizeof small, f.c_str(), d);
  if (n < 0) return;
  // Widen byte by byte: the digits are ASCII.
  auto widen = [&out](const char* text, int count) {
    for (int k = 0; k < count; ++k) out.push_back(static_cast<unsigned char>(text[k]));
  };
  if (static_cast<std::size_t>(n) < sizeof small) {
    widen(small, n);
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), f.c_str(), d);
  widen(big.data(), n);
}

void FormatString(std::u16string& out, const FieldFormat& field, bool wide, const FormatArg& a) {
  std::u16string text;
  if (a.kind == FormatArg::Kind::WStr) {
    wide = true;
  } else if (a.kind == FormatArg::Kind::Str) {
    wide = false;
  }
  if (wide) {
    const char16_t* s = a.kind == FormatArg::Kind::WStr ? a.ws : nullptr;
    if (!s) {
      text = u"(null)";
    } else {
      std::size_t n = 0;
      while (s[n] && (field.precision < 0 || n < static_cast<std::size_t>(field.precision))) ++n;
      text.assign(s, n);
    }
  } else {
    const char* s = a.kind == FormatArg::Kind::Str ? a.s : nullptr;
    if (!s) {
      text = u"(null)";
    } else {
      std::size_t n = 0;
      while (s[n]) ++n;
      text = Utf8ToUtf16(std::string_view(s, n));
      if (field.precision >= 0 && text.size() > static_cast<std::size_t>(field.precision))
        text.resize(static_cast<std::size_t>(field.precision));
    }
  }
  if (field.precision >= 0 && text.size() > static_cast<std::size_t>(field.precision))
    text.resize(static_cast<std::size_t>(field.precision));
  EmitField(out, field, text, true);
}

}  // namespace

int CopyFormatted(std::u16string_view text, char16_t* buffer, std::size_t count, bool legacy) noexcept {
  if (!buffer || count == 0) return -1;
  if (text.size() < count) {
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return static_cast<int>(text.size());
  }
  if (legacy) {  // as much as fits, no NUL; the exact fit still counts
    text.copy(buffer, count);
    return text.size() == count ? static_cast<int>(count) : -1;
  }
  text.copy(buffer, count - 1);
  buffer[count - 1] = 0;
  return -1;
}

std::u16string FormatV(std::u16string_view fmt, const FormatArg* args, std::size_t count) {
  std::u16string out;
  out.reserve(fmt.size() + 16);
  std::size_t next = 0;
  const FormatArg none;
  auto take = [&]() -> const FormatArg& { return next < count ? args[next++] : (++next, none); };
  auto take_int = [&]() -> long long {
    const FormatArg& a = take();
    return a.kind == FormatArg::Kind::UInt ? static_cast<long long>(a.u) : a.i;
  };

  const std::size_t n = fmt.size();
  std::size_t i = 0;
  while (i < n) {
    const char16_t c = fmt[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::size_t start = i++;
    if (i < n && fmt[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    FieldFormat field;
    for (; i < n; ++i) {
      const char16_t f = fmt[i];
      if (f == u'-') field.left = true;
      else if (f == u'+') field.plus = true;
      else if (f == u' ') field.space = true;
      else if (f == u'#') field.alt = true;
      else if (f == u'0') field.zero = true;
      else break;
    }
    if (i < n && fmt[i] == u'*') {
      long long w = take_int();
      if (w < 0) {
        field.left = true;
        w = -w;
      }
      field.width = static_cast<int>(w > 1 << 20 ? 1 << 20 : w);
      ++i;
    } else {
      while (i < n && fmt[i] >= u'0' && fmt[i] <= u'9') {
        field.width = field.width * 10 + (fmt[i] - u'0');
        if (field.width > 1 << 20) field.width = 1 << 20;
        ++i;
      }
    }
    if (i < n && fmt[i] == u'.') {
      ++i;
      field.precision = 0;
      if (i < n && fmt[i] == u'*') {
        long long p = take_int();
        field.precision = p < 0 ? -1 : static_cast<int>(p > 1 << 20 ? 1 << 20 : p);
        ++i;
      } else {
        while (i < n && fmt[i] >= u'0' && fmt[i] <= u'9') {
          field.precision = field.precision * 10 + (fmt[i] - u'0');
          if (field.precision > 1 << 20) field.precision = 1 << 20;
          ++i;
        }
      }
    }
    // Size prefixes, Windows spellings included.
    auto at = [&](std::u16string_view s) { return fmt.substr(i, s.size()) == s; };
    if (at(u"I64")) { field.size = FieldFormat::Size::LongLong; i += 3; }
    else if (at(u"I32")) { field.size = FieldFormat::Size::Default; i += 3; }
    else if (at(u"hh")) { field.size = FieldFormat::Size::Char; i += 2; }
    else if (at(u"ll")) { field.size = FieldFormat::Size::LongLong; i += 2; }
    else if (i < n) {
      switch (fmt[i]) {
        case u'h': field.size = FieldFormat::Size::Short; ++i; break;
        case u'l': field.size = FieldFormat::Size::Long; ++i; break;
        case u'w': field.size = FieldFormat::Size::Wide; ++i; break;
        case u'I': case u'z': case u'j': case u't': field.size = FieldFormat::Size::LongLong; ++i; break;
        case u'L': ++i; break;
        default: break;
      }
    }
    if (i >= n) {
      out.append(fmt.substr(start));
      break;
    }
    const char16_t conv = fmt[i++];
    switch (conv) {
      case u'd': case u'i': case u'u': case u'o': case u'x': case u'X': {
        FieldFormat s = field;
        if (s.size == FieldFormat::Size::Long || s.size == FieldFormat::Size::Wide || s.size == FieldFormat::Size::Narrow)
          s.size = FieldFormat::Size::Default;
        FormatInteger(out, s, static_cast<char>(conv), take());
        break;
      }
      case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
        FormatDouble(out, field, static_cast<char>(conv), take());
        break;
      case u'c': case u'C': {
        const FormatArg& a = take();
        char16_t ch = static_cast<char16_t>(a.kind == FormatArg::Kind::Int ? static_cast<unsigned long long>(a.i) : a.u);
        const bool narrow = field.size == FieldFormat::Size::Short || (conv == u'C' && field.size != FieldFormat::Size::Long && field.size != FieldFormat::Size::Wide);
        if (narrow) ch = static_cast<unsigned char>(ch);
        FieldFormat s = field;
        s.precision = -1;
        EmitField(out, s, std::u16string_view(&ch, 1), true);
        break;
      }
      case u's': case u'S': {
        const bool wide = conv == u's' ? field.size != FieldFormat::Size::Short
                                       : (field.size == FieldFormat::Size::Long || field.size == FieldFormat::Size::Wide);
        FormatString(out, field, wide, take());
        break;
      }
      case u'p': {
        FieldFormat s = field;
        s.precision = 16;
        s.size = FieldFormat::Size::LongLong;
        s.alt = false;
        FormatInteger(out, s, 'X', take());
        break;
      }
      case u'n':
        take();
        break;
      default:
        // An unknown conversion is copied as written.
        out.append(fmt.substr(start, i - start));
        break;
    }
  }
  return out;
}

}  // namespace qvp
