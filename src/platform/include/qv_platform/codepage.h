// The system's ANSI code page and the conversions between it (or UTF-8) and
// UTF-16, with the Windows conversion functions' signatures and counting.
//
// The ANSI code page is a process setting: 936 (GBK, the code page of the
// product's installations) unless changed with SetAnsiCodePage or the
// environment variable QV_ANSI_CODEPAGE; 65001 (UTF-8) and 1252 are also
// supported. Conversions to and from 936/1252 follow Windows' tables: its
// mappings of the edge bytes and user-defined areas, its best-fit mappings
// (U+0100 becomes 'A' in 1252), and '?' for a character the target cannot
// hold (each half of a surrogate pair on its own) or for an undecodable byte
// or pair; UTF-8 uses U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD MB_PRECOMPOSED = 0x1;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
inline constexpr DWORD MB_USEGLYPHCHARS = 0x4;
inline constexpr DWORD WC_COMPOSITECHECK = 0x200;
inline constexpr DWORD WC_DISCARDNS = 0x10;
inline constexpr DWORD WC_SEPCHARS = 0x20;
inline constexpr DWORD WC_DEFAULTCHAR = 0x40;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;

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
// size needed. Failures return 0 with the last error set: a null source, a
// zero or negative length, a null destination with a size
// (ERROR_INVALID_PARAMETER); a too-small destination
// (ERROR_INSUFFICIENT_BUFFER); an unknown flag (ERROR_INVALID_FLAGS);
// MB_ERR_INVALID_CHARS with an undecodable byte or pair, or
// WC_ERR_INVALID_CHARS (UTF-8 only) with an unpaired surrogate
// (ERROR_NO_UNICODE_TRANSLATION).
// WideCharToMultiByte uses best-fit mappings unless WC_NO_BEST_FIT_CHARS is
// given, writes `default_char`'s first character (else '?') for a unit
// without a mapping and sets *used_default_char (when not null) to whether
// it did; for UTF-8 both must be null (ERROR_INVALID_PARAMETER otherwise).
QVP_API int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int src_len,
                                char16_t* dst, int dst_len);
QVP_API int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* src, int src_len,
                                char* dst, int dst_len, const char* default_char,
                                BOOL* used_default_char);
