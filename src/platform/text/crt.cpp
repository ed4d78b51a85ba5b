// The Windows C runtime's wide number conversions. One engine reads every
// integer and one every floating-point number, so the library's readers
// cannot drift apart; the names below are thin fronts over them.
//
// The rules are those of the current Windows runtime (ucrtbase). They were
// checked against Wine 8.0 (tests/winprobes/crt/crt_numbers.c, its results
// in tests/data/winprobes/crt_numbers.tsv, compared case by case in
// tests/platform/crt_probe_test.cpp). Wine's msvcrt.dll, which the probe
// runs on, parts from Windows in a few places, where this engine follows
// Windows: Wine's _wtoi64 reads ASCII digits only and wraps on overflow (the
// runtime reads it as _wcstoi64); its _wtof is the old runtime's (no
// hexadecimal, infinity or NaN, a 'd' exponent); its wcstod does not skip
// U+3000; its swscanf reads ASCII digits only and clamps, where the runtime
// reads with the wcstol digit reader and keeps the low bits; its wcstoul
// narrows a 64-bit result of a negative overflow instead of giving
// ULONG_MAX. Whether U+0085 is a blank is left to the character classes
// (qvp::IsWideSpace): Wine says no.
#include "qv_platform/crt.h"

#include <locale.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <limits>
#include <string>

#include "qv_platform/chartype.h"

namespace qvp {
namespace {

// The zero of every block of ten decimal digits that the runtime's wide
// digit reader counts besides ASCII, in ascending order.
constexpr char16_t kDigitZeros[] = {0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66, 0x0CE6,
                                    0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};

// The digit value of `ch` in a base up to 36, or -1.
int DigitInBase(char16_t ch, int base) noexcept {
  int d = WideDigitValue(ch);
  if (d < 0) {
    if (ch >= u'a' && ch <= u'z') d = ch - u'a' + 10;
    else if (ch >= u'A' && ch <= u'Z') d = ch - u'A' + 10;
  }
  return d >= 0 && d < base ? d : -1;
}

locale_t CLocale() noexcept {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

bool StartsNoCase(std::u16string_view text, std::size_t at, std::string_view word) noexcept {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char16_t c = text[at + i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != static_cast<unsigned char>(word[i])) return false;
  }
  return true;
}

// ScanStopsInsideFloat: scanf reads a floating-point field one character
// at a time and cannot give back more than one, so a field that starts a
// longer form and breaks off inside it ("0x" without a hex digit,
// "infinit") is a matching failure there, where wcstod would read a
// shorter number ("0", "inf") and stop. Recorded so under Wine; the
// standard reads it the same way.
bool ScanStopsInsideFloat(std::u16string_view f) noexcept {
  std::size_t i = (!f.empty() && (f[0] == u'+' || f[0] == u'-')) ? 1 : 0;
  if (i + 2 <= f.size() && f[i] == u'0' && (f[i + 1] == u'x' || f[i + 1] == u'X')) {
    std::size_t k = i + 2;
    if (k < f.size() && f[k] == u'.') ++k;
    return k >= f.size() || DigitInBase(f[k], 16) < 0;
  }
  if (StartsNoCase(f, i, "inf") && !StartsNoCase(f, i, "infinity")) {
    static constexpr std::string_view kRest = "inity";
    std::size_t n = 0;
    while (n < kRest.size() && i + 3 + n < f.size() &&
           (f[i + 3 + n] | 0x20) == static_cast<unsigned char>(kRest[n]))
      ++n;
    return n > 0;
  }
  return false;
}

template <typename T>
T SignedFromResult(const WideIntegerResult& r) noexcept {
  using U = std::make_unsigned_t<T>;
  if (r.overflow) return r.negative ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
  return r.negative ? static_cast<T>(U{0} - static_cast<U>(r.magnitude)) : static_cast<T>(r.magnitude);
}

std::u16string_view Terminated(const char16_t* text) noexcept {
  return text ? std::u16string_view(text) : std::u16string_view();
}

template <typename T>
T ReadSigned(const char16_t* text, char16_t** end, int base) noexcept {
  if (!text) {
    errno = EINVAL;
    if (end) *end = nullptr;
    return 0;
  }
  using U = std::make_unsigned_t<T>;
  // The magnitude may reach one more than the maximum for a negative text.
  const auto r = ParseWideInteger(Terminated(text), base, static_cast<std::uint64_t>(std::numeric_limits<T>::max()) + 1);
  if (end) *end = const_cast<char16_t*>(text + r.used);
  if (r.bad_base) errno = EINVAL;
  WideIntegerResult fixed = r;
  if (!r.negative && r.magnitude > static_cast<U>(std::numeric_limits<T>::max())) fixed.overflow = true;
  if (fixed.overflow) errno = ERANGE;
  return SignedFromResult<T>(fixed);
}

template <typename U>
U ReadUnsigned(const char16_t* text, char16_t** end, int base) noexcept {
  if (!text) {
    errno = EINVAL;
    if (end) *end = nullptr;
    return 0;
  }
  const auto r = ParseWideInteger(Terminated(text), base, std::numeric_limits<U>::max());
  if (end) *end = const_cast<char16_t*>(text + r.used);
  if (r.bad_base) errno = EINVAL;
  if (r.overflow) {
    errno = ERANGE;
    return std::numeric_limits<U>::max();
  }
  const U m = static_cast<U>(r.magnitude);
  return r.negative ? static_cast<U>(U{0} - m) : m;
}

}  // namespace

int WideDigitValue(char16_t ch) noexcept {
  if (ch < u'0') return -1;
  if (ch <= u'9') return ch - u'0';
  for (char16_t zero : kDigitZeros) {
    if (ch < zero) return -1;
    if (ch < zero + 10) return ch - zero;
  }
  return -1;
}

WideIntegerResult ParseWideInteger(std::u16string_view text, int base, std::uint64_t limit) noexcept {
  WideIntegerResult r;
  if (base != 0 && (base < 2 || base > 36)) {
    r.bad_base = true;
    return r;
  }
  std::size_t i = 0;
  while (i < text.size() && IsWideSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) r.negative = text[i++] == u'-';
  // "0x" is a prefix in base 16 and, with base 0, chooses 16; a lone "0"
  // with base 0 chooses octal. When no hex digit follows the "0x", nothing
  // is read at all (0, end at the start), as the Windows runtime does (the
  // probe recorded under Wine agrees); glibc would read the "0".
  const bool zero_x = i + 1 < text.size() && WideDigitValue(text[i]) == 0 && (text[i + 1] == u'x' || text[i + 1] == u'X');
  if ((base == 0 || base == 16) && zero_x) {
    if (i + 2 >= text.size() || DigitInBase(text[i + 2], 16) < 0) return WideIntegerResult{};
    i += 2;
    base = 16;
  } else if (base == 0) {
    base = i < text.size() && WideDigitValue(text[i]) == 0 ? 8 : 10;
  }
  const std::size_t first = i;
  std::uint64_t value = 0;
  for (int d; i < text.size() && (d = DigitInBase(text[i], base)) >= 0; ++i) {
    if (r.overflow) continue;
    if (value > (limit - static_cast<unsigned>(d)) / static_cast<unsigned>(base)) {
      r.overflow = true;
      continue;
    }
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
  }
  if (i == first) return WideIntegerResult{0, false, false, false, 0};
  r.magnitude = r.overflow ? limit : value;
  r.used = i;
  return r;
}

double ParseWideDouble(std::u16string_view text, std::size_t* used) noexcept {
  if (used) *used = 0;
  std::size_t i = 0;
  while (i < text.size() && IsWideSpace(text[i])) ++i;
  std::string ascii;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ascii += static_cast<char>(text[i++]);
  const std::size_t body = i;
  // Infinity and NaN spellings.
  if (StartsNoCase(text, i, "inf") || StartsNoCase(text, i, "nan")) {
    const bool inf = StartsNoCase(text, i, "inf");
    std::size_t n = i + 3;
    if (inf && StartsNoCase(text, i, "infinity")) n = i + 8;
    if (!inf && n < text.size() && text[n] == u'(') {
      std::size_t k = n + 1;
      while (k < text.size() && (DigitInBase(text[k], 36) >= 0 || text[k] == u'_') && text[k] < 0x80) ++k;
      if (k < text.size() && text[k] == u')') n = k + 1;
    }
    if (used) *used = n;
    const double v = inf ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    return ascii == "-" ? -v : v;
  }
  // Copy the longest prefix that can form a number as ASCII and let the C
  // library's correctly rounded reader do the arithmetic in the "C" locale.
  const bool hex = i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X');
  if (hex) {
    ascii += "0x";
    i += 2;
  }
  auto is_digit = [&](char16_t c) { return c < 0x80 && (hex ? DigitInBase(c, 16) >= 0 : (c >= u'0' && c <= u'9')); };
  while (i < text.size() && is_digit(text[i])) ascii += static_cast<char>(text[i++]);
  if (i < text.size() && text[i] == u'.') {
    ascii += '.';
    ++i;
    while (i < text.size() && is_digit(text[i])) ascii += static_cast<char>(text[i++]);
  }
  if (i < text.size()) {
    const char16_t e = text[i];
    if ((!hex && (e == u'e' || e == u'E')) || (hex && (e == u'p' || e == u'P'))) {
      std::size_t k = i + 1;
      std::string exponent(1, static_cast<char>(e));
      if (k < text.size() && (text[k] == u'+' || text[k] == u'-')) exponent += static_cast<char>(text[k++]);
      if (k < text.size() && text[k] >= u'0' && text[k] <= u'9') {
        while (k < text.size() && text[k] >= u'0' && text[k] <= u'9') exponent += static_cast<char>(text[k++]);
        ascii += exponent;
      }
    }
  }
  char* stop = nullptr;
  const double v = strtod_l(ascii.c_str(), &stop, CLocale());
  const std::size_t consumed = static_cast<std::size_t>(stop - ascii.c_str());
  const std::size_t sign = (ascii.size() && (ascii[0] == '+' || ascii[0] == '-')) ? 1 : 0;
  if (consumed <= sign) return 0.0;
  // Every ASCII character copied stands for one unit of the text, so the
  // count read maps straight back.
  if (used) *used = body + (consumed - sign);
  return v;
}

}  // namespace qvp

int _wtoi(const char16_t* text) noexcept { return qvp::ReadSigned<LONG>(text, nullptr, 10); }
LONG _wtol(const char16_t* text) noexcept { return qvp::ReadSigned<LONG>(text, nullptr, 10); }
LONGLONG _wtoi64(const char16_t* text) noexcept { return qvp::ReadSigned<LONGLONG>(text, nullptr, 10); }
double _wtof(const char16_t* text) noexcept { return wcstod(text, nullptr); }

LONG wcstol(const char16_t* text, char16_t** end, int base) noexcept { return qvp::ReadSigned<LONG>(text, end, base); }
ULONG wcstoul(const char16_t* text, char16_t** end, int base) noexcept {
  return qvp::ReadUnsigned<ULONG>(text, end, base);
}
LONGLONG _wcstoi64(const char16_t* text, char16_t** end, int base) noexcept {
  return qvp::ReadSigned<LONGLONG>(text, end, base);
}
ULONGLONG _wcstoui64(const char16_t* text, char16_t** end, int base) noexcept {
  return qvp::ReadUnsigned<ULONGLONG>(text, end, base);
}

double wcstod(const char16_t* text, char16_t** end) noexcept {
  if (!text) {
    errno = EINVAL;
    if (end) *end = nullptr;
    return 0.0;
  }
  std::size_t used = 0;
  const double v = qvp::ParseWideDouble(std::u16string_view(text), &used);
  if (end) *end = const_cast<char16_t*>(text + used);
  return v;
}

int swscanf(const char16_t* buffer, const char16_t* format, ...) noexcept {
  if (!buffer || !format) {
    errno = EINVAL;
    return -1;
  }
  const std::u16string_view in(buffer);
  std::size_t pos = 0;
  int assigned = 0;
  bool converted = false;  // a conversion was attempted (decides EOF against 0)
  va_list args;
  va_start(args, format);
  auto skip_blanks = [&] {
    while (pos < in.size() && qvp::IsWideSpace(in[pos])) ++pos;
  };
  const char16_t* f = format;
  while (*f) {
    if (qvp::IsWideSpace(*f)) {
      while (qvp::IsWideSpace(*f)) ++f;
      skip_blanks();
      continue;
    }
    if (*f != u'%' || f[1] == u'%') {
      if (*f == u'%') ++f;  // "%%" matches one '%'
      if (pos >= in.size()) {
        if (!converted) {
          va_end(args);
          return -1;
        }
        break;
      }
      if (in[pos] != *f) break;
      ++pos;
      ++f;
      continue;
    }
    ++f;
    const bool skip = *f == u'*';
    if (skip) ++f;
    std::size_t width = 0;
    while (*f >= u'0' && *f <= u'9') width = width * 10 + static_cast<std::size_t>(*f++ - u'0');
    enum { kInt, kLong, kLongLong } size = kInt;
    bool wide_float = false;
    if (f[0] == u'I' && f[1] == u'6' && f[2] == u'4') {
      size = kLongLong;
      f += 3;
    } else if (f[0] == u'l' && f[1] == u'l') {
      size = kLongLong;
      f += 2;
    } else if (*f == u'l') {
      size = kLong;
      wide_float = true;
      ++f;
    } else if (*f == u'h') {
      ++f;
    }
    const char16_t conv = *f;
    if (conv == 0) break;
    ++f;
    if (conv != u'c') skip_blanks();
    if (pos >= in.size()) {
      if (!converted) {
        va_end(args);
        return -1;
      }
      break;
    }
    converted = true;
    std::u16string_view field = in.substr(pos);
    if (width > 0 && width < field.size()) field = field.substr(0, width);
    if (conv == u'd' || conv == u'i' || conv == u'u' || conv == u'x' || conv == u'o') {
      const int base = conv == u'd' || conv == u'u' ? 10 : conv == u'x' ? 16 : conv == u'o' ? 8 : 0;
      const auto r = qvp::ParseWideInteger(field, base, std::numeric_limits<std::uint64_t>::max());
      if (r.used == 0) break;
      pos += r.used;
      if (skip) continue;
      const std::uint64_t bits = r.negative ? std::uint64_t{0} - r.magnitude : r.magnitude;
      if (size == kLongLong) *va_arg(args, std::uint64_t*) = bits;
      else *va_arg(args, std::uint32_t*) = static_cast<std::uint32_t>(bits);
      ++assigned;
    } else if (conv == u'f' || conv == u'e' || conv == u'g' || conv == u'E' || conv == u'G') {
      if (qvp::ScanStopsInsideFloat(field)) break;
      std::size_t used = 0;
      const double v = qvp::ParseWideDouble(field, &used);
      if (used == 0) break;
      pos += used;
      if (skip) continue;
      if (wide_float) *va_arg(args, double*) = v;
      else *va_arg(args, float*) = static_cast<float>(v);
      ++assigned;
    } else if (conv == u's') {
      std::size_t n = 0;
      while (n < field.size() && !qvp::IsWideSpace(field[n])) ++n;
      if (!skip) {
        char16_t* out = va_arg(args, char16_t*);
        field.copy(out, n);
        out[n] = 0;
        ++assigned;
      }
      pos += n;
    } else if (conv == u'c') {
      const std::size_t n = width ? field.size() : 1;
      if (!skip) {
        char16_t* out = va_arg(args, char16_t*);
        field.copy(out, n);
        ++assigned;
      }
      pos += n;
    } else {
      break;  // a conversion this reader does not know ends the scan
    }
  }
  va_end(args);
  return assigned;
}
