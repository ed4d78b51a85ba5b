// Where the stand-in product libraries write their log files, and the
// UTF-16 to UTF-8 conversion they need for it (they do not depend on the
// platform layer, as the real ones would not).
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Utf16ToUtf8 converts, replacing unpaired surrogates by U+FFFD; a null
// text is empty.
std::string Utf16ToUtf8(const char16_t* text);
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// FolderOf is the folder (without trailing '/') of the shared object that
// holds `address`; empty when unknown.
std::string FolderOf(const void* address);

}  // namespace qv_imports
