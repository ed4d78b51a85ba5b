// Thread-level system services: the last-error code, thread identity and
// sleeping.
#pragma once

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

// Win32 error codes the library uses.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_HANDLE_EOF = 38;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_INVALID_FLAGS = 1004;
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
inline constexpr DWORD ERROR_CANCELLED = 1223;
inline constexpr DWORD ERROR_REQUEST_ABORTED = 1235;

QVP_API DWORD GetLastError() noexcept;
QVP_API void SetLastError(DWORD code) noexcept;
// GetCurrentThreadId is the kernel's thread id (gettid) truncated to 32 bits.
QVP_API DWORD GetCurrentThreadId() noexcept;
QVP_API void Sleep(DWORD milliseconds) noexcept;

namespace qvp {
// ErrnoToWin32 maps an errno value to the closest Win32 error code.
QVP_API DWORD ErrnoToWin32(int err) noexcept;
}  // namespace qvp
