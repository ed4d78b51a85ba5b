// The system's ANSI code page and the conversions between it (or UTF-8) and
// UTF-16, with the Windows conversion functions' signatures and counting.
//
// The ANSI code page is a process setting: 936 (GBK, the code page of the
// product's installations) unless changed with SetAnsiCodePage or the
// environment variable QV_ANSI_CODEPAGE; 65001 (UTF-8) and 1252 are also
// supported. Conversions to and from 936/1252 use iconv. A character that the
// target code page cannot hold becomes '?' and an undecodable byte becomes
// U+003F as well (the Windows default character); UTF-8 uses U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;

// GetACP returns the process's ANSI code page.
QVP_API UINT GetACP();

namespace qvp {

// SetAnsiCodePage selects the ANSI code page; false (and no change) for a
// code page this platform layer cannot convert.
QVP_API bool SetAnsiCodePage(UINT code_page);

// ToWide converts text in `code_page` (CP_ACP for the process's) to UTF-16.
QVP_API std::u16string ToWide(std::string_view text, UINT code_page = CP_ACP);

// FromWide converts UTF-16 text to `code_page` (CP_ACP for the process's).
QVP_API std::string FromWide(std::u16string_view text, UINT code_page = CP_ACP);

}  // namespace qvp

// MultiByteToWideChar / WideCharToMultiByte keep the Windows counting rules:
// a source length of -1 means "up to and including the terminating NUL"
// (and the result then counts it); a destination size of 0 asks for the
// size needed; a too-small destination gives 0 and writes nothing useful.
// Flags are accepted and ignored.
QVP_API int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int src_len,
                                char16_t* dst, int dst_len);
QVP_API int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* src, int src_len,
                                char* dst, int dst_len, const char* default_char,
                                BOOL* used_default_char);
