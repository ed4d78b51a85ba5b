// Message boxes. Windows would show a modal box; here a replaceable handler
// answers. The default handler is non-interactive: it writes the caption and
// text to standard error and answers IDOK.
#pragma once

#include <functional>
#include <string_view>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

QVP_API int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT style);

namespace qvp {

using MessageBoxHandler =
    std::function<int(std::u16string_view text, std::u16string_view caption, UINT style, HWND owner)>;

// SetMessageBoxHandler replaces the handler (empty restores the default)
// and returns the previous one.
QVP_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace qvp
