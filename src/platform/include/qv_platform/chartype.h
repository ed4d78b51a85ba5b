// Character classes of the Windows C runtime for wide characters. They do
// not depend on the C library's locale, so results are the same on every
// machine.
//
// Each function classifies one UTF-16 code unit, as the Windows runtime
// does: a surrogate half is in no class, so a character outside the Basic
// Multilingual Plane is never a letter or digit here. The classes are the
// runtime's own, recorded for every unit (scripts/gen_chartype.py builds the
// table from the recording). They mostly follow the Unicode categories
// (letters of every script and letter numbers are alpha, decimal digits of
// every script are digits, controls and format characters are cntrl) but
// not throughout: most symbols of U+2100-U+33FF and U+FFFD are in no class,
// the circled letters U+24B6-U+24E9 are letters, U+00B2, U+00B3 and U+00B9
// are digits, U+00AA, U+00B5 and U+00BA are lower-case letters and
// punctuation, and the blank class holds only U+0020, U+3000 and U+FEFF
// (iswblank adds the tab; U+00A0 is space but not blank).
// This differs from glibc, whose iswdigit is ASCII-only and whose classes
// depend on the locale.
#pragma once

#include "qv_platform/export.h"

namespace qvp {

// Class bits, with the Windows runtime's values.
inline constexpr unsigned kCtUpper = 0x1;
inline constexpr unsigned kCtLower = 0x2;
inline constexpr unsigned kCtDigit = 0x4;
inline constexpr unsigned kCtSpace = 0x8;
inline constexpr unsigned kCtPunct = 0x10;
inline constexpr unsigned kCtCntrl = 0x20;
inline constexpr unsigned kCtBlank = 0x40;
inline constexpr unsigned kCtXDigit = 0x80;
inline constexpr unsigned kCtAlpha = 0x100;

// WideCharClasses returns every class bit of `ch` (the iswctype mask).
QVP_API unsigned WideCharClasses(char16_t ch) noexcept;

// IsWideSpace is the Windows iswspace: 0x09-0x0D, 0x20 and the Unicode
// space separators (U+00A0, U+1680, U+2000-U+200A, U+2028, U+2029, U+202F,
// U+205F, U+3000) and U+0085.
QVP_API bool IsWideSpace(char16_t ch) noexcept;

// iswalpha, iswdigit, iswalnum, iswupper, iswlower, iswpunct, iswcntrl,
// iswxdigit, iswblank, iswgraph and iswprint of the Windows runtime.
QVP_API bool IsWideAlpha(char16_t ch) noexcept;
QVP_API bool IsWideDigit(char16_t ch) noexcept;
QVP_API bool IsWideAlnum(char16_t ch) noexcept;
QVP_API bool IsWideUpper(char16_t ch) noexcept;
QVP_API bool IsWideLower(char16_t ch) noexcept;
QVP_API bool IsWidePunct(char16_t ch) noexcept;
QVP_API bool IsWideCntrl(char16_t ch) noexcept;
QVP_API bool IsWideXDigit(char16_t ch) noexcept;
QVP_API bool IsWideBlank(char16_t ch) noexcept;
// graph: punct, alpha or digit; print: graph or blank (the class, so the
// tab is not printable).
QVP_API bool IsWideGraph(char16_t ch) noexcept;
QVP_API bool IsWidePrint(char16_t ch) noexcept;

}  // namespace qvp
