// Paths of the list file reader and writer (not exported). Existing files
// and folders are found without regard to letter case, as the original
// platform finds them; an exact match always comes first.
#pragma once

#include <string>
#include <string_view>

namespace qv_commonclass::edl_io {

// ResolvePath returns the path (UTF-8) with every existing leading component
// replaced by its name on disk; components from the first missing one on are
// kept as given.
std::string ResolvePath(std::string_view utf8_path);
// PathExists: the path names an existing file or folder (found as above).
bool PathExists(const char16_t* path);

}  // namespace qv_commonclass::edl_io
