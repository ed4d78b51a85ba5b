// Character classes of the Windows C runtime for wide characters. They do
// not depend on the C library's locale, so results are the same on every
// machine.
#pragma once

#include "qv_platform/export.h"

namespace qvp {

// IsWideSpace is the Windows iswspace: 0x09-0x0D, 0x20 and the Unicode
// space separators (U+00A0, U+1680, U+2000-U+200A, U+2028, U+2029, U+202F,
// U+205F, U+3000) and U+0085.
QVP_API bool IsWideSpace(char16_t ch) noexcept;

}  // namespace qvp
