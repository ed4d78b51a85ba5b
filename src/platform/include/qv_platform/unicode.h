// UTF-8 <-> UTF-16 conversion with the replacement rules of the Windows
// platform: every ill-formed UTF-8 subsequence (a maximal valid prefix, or a
// single byte that starts none) becomes one U+FFFD, and an unpaired
// surrogate becomes U+FFFD on the way out. Neither direction ever fails or
// reads past the input it is given.
#pragma once

#include <string>
#include <string_view>

#include "qv_platform/export.h"

namespace qvp {

// Utf8ToUtf16 decodes `in`; invalid sequences become U+FFFD.
QVP_API std::u16string Utf8ToUtf16(std::string_view in);

// Utf16ToUtf8 encodes `in`; unpaired surrogates become U+FFFD (EF BF BD).
QVP_API std::string Utf16ToUtf8(std::u16string_view in);

// AppendUtf16AsUtf8 appends what Utf16ToUtf8 returns for `in` to `out`
// (for writers that build one buffer).
QVP_API void AppendUtf16AsUtf8(std::string& out, std::u16string_view in);

// AppendUtf8 appends the UTF-8 form of one code point up to U+10FFFF as it
// stands: a surrogate value gets its three-byte form, which no UTF-8 reader
// accepts (callers that must catch surrogates rely on that).
QVP_API void AppendUtf8(std::string& out, char32_t cp);

// WideLength is wcslen for char16_t text; 0 for null.
QVP_API std::size_t WideLength(const char16_t* s) noexcept;

}  // namespace qvp
