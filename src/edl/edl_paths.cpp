// Paths of the list file reader and writer.
//
// Linux has no drive letters and no case-insensitive file names, so the
// Windows rules are mapped as follows:
//   - "/" is the root of every absolute path; it stands for both the drive
//     root ("C:\") and the server-share root ("\\server\share\") of the
//     original platform. Relative paths and paths still in a Windows form
//     have no root and cannot be created.
//   - Only '/' separates folders; a backslash is an ordinary name character.
//   - Names are looked up level by level without regard to ASCII letter case
//     (an exact match first, else the first case-insensitive match in byte
//     order), so "Media/edl" finds an existing "MEDIA/EDL" and folder
//     creation never makes a differently-cased twin of an existing folder.
#include <locale.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "edl/edl_paths.h"
#include "qv_commonclass/edl.h"
#include "qv_platform/paths.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {
namespace edl_io {

std::string ResolvePath(std::string_view path) { return qvp::paths::ResolveNoCase(path); }

bool PathExists(const char16_t* path) {
  if (!path || !*path) return false;
  return qvp::paths::KindOf(ResolvePath(qvp::Utf16ToUtf8(path))) != qvp::paths::Kind::kMissing;
}

}  // namespace edl_io

int CreateFolderForFile(const char16_t* path) {
  if (!path) return 0;
  try {
    const std::string p = qvp::Utf16ToUtf8(path);
    std::string folder = p;
    if (p.find('.') != std::string::npos) {
      const std::size_t slash = p.rfind('/');
      // A file right under "/" lives in the root folder, as "C:\x.edl" lives
      // in "C:".
      folder = slash == std::string::npos ? std::string() : slash == 0 ? std::string("/") : p.substr(0, slash);
    }
    // A file name without a folder, or a folder in a Windows form, has no
    // root here; refuse it rather than guess.
    if (folder.empty()) return 0;
    if (edl_io::PathExists(qvp::Utf8ToUtf16(folder).c_str())) return 1;
    if (folder.front() != '/') return 0;
    // New folders get upper-case names; existing ones are found as they are
    // (the whole text is folded first, so an upper-case twin that exists is
    // the one taken).
    for (char& c : folder)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    qvp::paths::FolderChainRule rule;
    rule.ignore_case = true;
    rule.create = {3, 10, false};
    return qvp::paths::MakeFolderChain(folder, rule) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace qv_commonclass
