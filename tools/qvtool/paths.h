// Path arguments of the file and list commands, checked before the library
// sees them: names must be UTF-8 (the library works with Unicode names and
// would otherwise write to a name with U+FFFD in it), relative paths are
// resolved against the current folder (the library refuses relative paths),
// and a path is examined without raising, whatever the reason it cannot be.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace qvtool {

// Utf8Argument: true when `value` is valid UTF-8; otherwise prints
// "<command>: <what> is not valid UTF-8 ..." and returns false (callers exit
// with kExitUsage).
bool Utf8Argument(const std::string& command, const std::string& what, const std::string& value);

// AbsolutePath: `path` when it is absolute, else the current folder joined
// with it; `path` unchanged when the current folder cannot be determined.
std::string AbsolutePath(const std::string& path);

// Examine stats `path` (following links) through the platform's file seam.
// On failure it returns nullopt and sets `reason` to the system's text
// ("No such file or directory", "Too many levels of symbolic links",
// "File name too long", "Permission denied", ...).
std::optional<struct stat> Examine(const std::string& path, std::string& reason);

}  // namespace qvtool
