// The shell's file operation: copy or move of files and whole folder trees.
//
// What stands in for the shell's progress window is a replaceable progress
// handler: it hears the bytes done so far, the total and the file in work,
// and returning false aborts the operation (the shell's Cancel button). No
// questions are ever asked: existing files are replaced and existing folders
// merged, whatever the flags say. Without a handler the operation runs
// silently to its end.
//
// Target rules (as the shell has them): when the target is an existing
// folder the source goes inside it under its own name; otherwise the target
// is the source's new name, and missing folders above it are created. A move
// is a rename when both lie on one file system, else a copy followed by the
// removal of the source. An aborted copy removes the file it was writing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

inline constexpr UINT FO_MOVE = 0x1;
inline constexpr UINT FO_COPY = 0x2;
inline constexpr WORD FOF_SILENT = 0x4;
inline constexpr WORD FOF_NOCONFIRMATION = 0x10;

struct SHFILEOPSTRUCTW {
  HWND hwnd = nullptr;
  UINT wFunc = 0;
  const char16_t* pFrom = nullptr;  // list of paths, each ended by a NUL, the list by a second NUL
  const char16_t* pTo = nullptr;    // the target, same form (only its first path is used)
  WORD fFlags = 0;
  BOOL fAnyOperationsAborted = FALSE;
  void* hNameMappings = nullptr;
  const char16_t* lpszProgressTitle = nullptr;
};

// SHFileOperationW runs the operation; 0 on success, else a Win32 error code
// (ERROR_CANCELLED after an abort, which also sets fAnyOperationsAborted).
// A null structure or an unknown operation gives ERROR_INVALID_PARAMETER.
QVP_API int SHFileOperationW(SHFILEOPSTRUCTW* operation);

namespace qvp {

struct ShellProgress {
  std::u16string current;       // the file in work
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;
};

// Returning false aborts the operation.
using ShellProgressHandler = std::function<bool(const ShellProgress&)>;

// SetShellProgressHandler puts `handler` in force for the operations that
// start afterwards (an empty one: silent) and returns the previous one.
QVP_API ShellProgressHandler SetShellProgressHandler(ShellProgressHandler handler);

}  // namespace qvp
