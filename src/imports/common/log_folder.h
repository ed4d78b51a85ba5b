// Where the stand-in product libraries write their log files. Their text
// conversions are the platform layer's, the one UTF-8/UTF-16 converter of
// everything the project builds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/unicode.h"

namespace qv_imports {

// LogFolderCandidates lists, best first, the folders a log file may go to:
//   1. $QV_LOG_DIR when set and not empty;
//   2. "logs" beside the shared object that holds `anchor`;
//   3. $XDG_STATE_HOME/DIZudazaZuvodA/logs (else ~/.local/state/...);
//   4. the temporary folder ($TMPDIR, else /tmp)/DIZudazaZuvodA-logs-<uid>.
// Callers take the first one in which they can create their file, so a
// read-only installation still logs.
std::vector<std::string> LogFolderCandidates(const void* anchor);

// ExecutableBaseName is the file name of the running program ("program"
// when unknown); log files are named after it.
std::string ExecutableBaseName();

// Utf16ToUtf8 is the platform's conversion, with a null text taken as
// empty (the logger's entry points accept null texts).
inline std::string Utf16ToUtf8(const char16_t* text) { return text ? qvp::Utf16ToUtf8(text) : std::string(); }
using qvp::Utf8ToUtf16;

// FolderOf is the folder (without trailing '/') of the shared object that
// holds `address`; empty when unknown.
std::string FolderOf(const void* address);

}  // namespace qv_imports
