// Paths: joining and splitting, looking names up without regard to letter
// case, and making a chain of folders with retries. Every call to the file
// system goes through the seam of qv_platform/fileio.h.
//
// Paths here are the system's (UTF-8) and use '/' only; a backslash is an
// ordinary name character. Linux names are case-sensitive while the Windows
// clients' are not, so a lookup "without regard to case" takes the exact
// name when it exists, else the first entry in byte order that equals it in
// ASCII case folding.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/export.h"
#include "qv_platform/retry.h"

namespace qvp::paths {

// Join puts `name` under `folder` with exactly one '/' between them (none
// is added after an empty folder or one already ending in '/').
QVP_API std::string Join(std::string_view folder, std::string_view name);
QVP_API std::u16string Join(std::u16string_view folder, std::u16string_view name);

// Split gives the components of `path`; empty ones (from "//", a leading or
// a trailing '/') are dropped. The views point into `path`.
QVP_API std::vector<std::string_view> Split(std::string_view path);

// Kind tells what a path names (symbolic links followed): nothing, a folder
// or something else. Never fails otherwise: an unreadable path is kMissing.
enum class Kind { kMissing, kFolder, kOther };
QVP_API Kind KindOf(const std::string& path);

// FindNoCase looks `name` up in `folder` ("" for the current folder) as
// above and returns the joined path of the entry found, empty when none.
QVP_API std::string FindNoCase(const std::string& folder, std::string_view name);

// ResolveNoCase returns `path` with every existing leading component
// replaced by its name on disk (found as above); components from the first
// missing one on are kept as given, and so is a trailing '/'.
QVP_API std::string ResolveNoCase(std::string_view path);

// How MakeFolderChain walks and creates.
struct FolderChainRule {
  // Leading bytes of the path that are taken as existing and never made
  // (the root "/", or a mount point): the walk starts after them.
  std::size_t existing = 1;
  // true: levels are looked up without regard to case and new folders get
  // ASCII upper-case names, so no differently-cased twin of a folder is made.
  bool ignore_case = false;
  // The tries to create one missing level. A try fails over to the next one
  // unless the name exists meanwhile (EEXIST), which ends the tries.
  RetryRule create{3, 0, false};
  // How a level is looked at, before and after it is created; KindOf when
  // empty. A level must be kFolder after its creation; an existing level of
  // kind kOther stops the walk.
  std::function<Kind(const std::string&)> look;
};

// MakeFolderChain makes every missing folder of `path` (a folder path, a
// trailing '/' allowed) from the rule's start on. True when the whole chain
// exists as folders afterwards; false, with the last error set from the
// failing call, when a level could not be made or is not a folder. Folders
// made before a failure stay.
QVP_API bool MakeFolderChain(std::string_view path, const FolderChainRule& rule);

}  // namespace qvp::paths
