// The C runtime's number conversions on wide text, under the names code
// written for Windows calls them by, with the Windows runtime's rules. Every
// number the library reads from text (settings, XML attributes, list files,
// time code fields, SQL values) goes through these, so a text reads as the
// same number everywhere and as it does on the Windows clients.
//
// Wide text is UTF-16 (char16_t), and `long` is the Windows 32-bit LONG, so
// the limits and wrap-around match Windows, not the LP64 Linux runtime.
//
// The rules shared by every integer reader:
//   - leading white space is skipped with the runtime's iswspace (the
//     Windows class table, qvp::IsWideSpace), not glibc's;
//   - an optional '+' or '-';
//   - digits: ASCII 0-9 and the decimal digits of the other scripts that the
//     runtime's digit reader counts (full-width U+FF10.., Arabic-Indic,
//     Devanagari, Thai, ...; qvp::WideDigitValue); for bases above 10 the
//     ASCII letters a-z/A-Z as 10..35;
//   - overflow clamps to the type's limit in the text's direction and sets
//     errno to ERANGE; the unsigned readers negate a leading '-' in the
//     unsigned type ("-1" is 0xFFFFFFFF) and clamp to the maximum on
//     overflow;
//   - no digits: 0, and the end pointer is the start of the text (not the
//     position after the blanks or the sign);
//   - a base other than 0 or 2..36: 0 with errno EINVAL.
//
// The floating-point reader takes white space, a sign, then one of
// "inf"/"infinity", "nan", "nan(chars)" (any case), a hexadecimal float
// "0x1.8p3", or decimal digits with an optional '.' fraction and an
// 'e'/'E' exponent; the decimal point is always '.', whatever the locale.
// Out of range: +-HUGE_VAL (or 0 / a subnormal) with errno ERANGE.
#pragma once

#include <cstdint>
#include <string_view>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

namespace qvp {

// WideDigitValue is the runtime's wide digit reader: 0..9 for a decimal
// digit of any script it counts, -1 for anything else.
QVP_API int WideDigitValue(char16_t ch) noexcept;

// ParseWideInteger is the engine under every integer reader: it reads
// `text` (not necessarily terminated) with the rules above in `base`, into
// a 64-bit magnitude with the given limits, and reports how many units it
// used (0 when there were no digits) and whether it clamped.
struct WideIntegerResult {
  std::uint64_t magnitude = 0;  // before the sign is applied
  bool negative = false;
  bool overflow = false;
  bool bad_base = false;
  std::size_t used = 0;
};
QVP_API WideIntegerResult ParseWideInteger(std::u16string_view text, int base, std::uint64_t limit) noexcept;

// ParseWideDouble reads `text` with the floating-point rules above; `used`
// is 0 when nothing was a number. Sets errno to ERANGE on overflow and
// underflow.
QVP_API double ParseWideDouble(std::u16string_view text, std::size_t* used) noexcept;

}  // namespace qvp

// _wtoi, _wtol: the 32-bit readers in base 10 (they clamp; errno ERANGE).
// _wtoi64: the 64-bit reader. _wtof: the floating-point reader. A null
// pointer gives 0 (with errno EINVAL), as the runtime's parameter check.
QVP_API int _wtoi(const char16_t* text) noexcept;
QVP_API LONG _wtol(const char16_t* text) noexcept;
QVP_API LONGLONG _wtoi64(const char16_t* text) noexcept;
QVP_API double _wtof(const char16_t* text) noexcept;

// wcstol, wcstoul, _wcstoi64, _wcstoui64, wcstod: the same readers with an
// end pointer (may be null) and, for integers, a base.
QVP_API LONG wcstol(const char16_t* text, char16_t** end, int base) noexcept;
QVP_API ULONG wcstoul(const char16_t* text, char16_t** end, int base) noexcept;
QVP_API LONGLONG _wcstoi64(const char16_t* text, char16_t** end, int base) noexcept;
QVP_API ULONGLONG _wcstoui64(const char16_t* text, char16_t** end, int base) noexcept;
QVP_API double wcstod(const char16_t* text, char16_t** end) noexcept;

// swscanf for the conversions the library's callers use: %d (int*), %ld
// (LONG*: 32 bits, as on Windows), %u (unsigned*), %I64d and %lld
// (LONGLONG*), %I64u (ULONGLONG*), %f (float*), %lf (double*), %s (char16_t*,
// a run of non-blanks), %c, %%, an optional field width and '*' to skip. A
// blank in the format matches any run of white space, other characters
// match themselves. Integer conversions keep the low bits of the number
// read (scanf does not clamp). Returns the number of fields assigned, or -1
// (EOF) when the input ends before the first conversion.
QVP_API int swscanf(const char16_t* buffer, const char16_t* format, ...) noexcept;
