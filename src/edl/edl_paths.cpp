// Paths and C run-time number conversions for the list file reader and
// writer.
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
#include <dirent.h>
#include <locale.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "edl/edl_io.h"
#include "qv_commonclass/edl.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {
namespace edl_io {

namespace {

bool IsCrtSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

bool Exists(const std::string& p, bool* is_dir = nullptr) {
  struct stat sb {};
  if (::stat(p.c_str(), &sb) != 0) return false;
  if (is_dir) *is_dir = S_ISDIR(sb.st_mode);
  return true;
}

std::string Join(const std::string& dir, std::string_view name) {
  std::string r = dir;
  if (!r.empty() && r.back() != '/') r += '/';
  r += name;
  return r;
}

// FindNoCase looks `name` up in the folder `dir` ("" for the current
// folder): the exact name when it exists, else the first entry in byte order
// that equals it without regard to case. Empty when there is none.
std::string FindNoCase(const std::string& dir, std::string_view name) {
  const std::string exact = Join(dir, name);
  if (Exists(exact)) return exact;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  std::string best;
  while (dirent* e = ::readdir(d)) {
    const std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    if (EqualNoCase(n, name) && (best.empty() || n < best)) best = n;
  }
  ::closedir(d);
  return best.empty() ? std::string() : Join(dir, best);
}

// Components of a path, empty ones (from "//" or a trailing "/") dropped.
std::vector<std::string_view> Split(std::string_view p) {
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i <= p.size()) {
    const std::size_t j = std::min(p.find('/', i), p.size());
    if (j > i) parts.push_back(p.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

locale_t CLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

}  // namespace

LONG Wtol(std::string_view t) noexcept {
  std::size_t i = 0;
  while (i < t.size() && IsCrtSpace(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  std::int64_t v = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    v = v * 10 + (t[i] - '0');
    if (v > std::int64_t{INT32_MAX} + 1) {
      v = std::int64_t{INT32_MAX} + 1;  // saturated; the rest of the digits do not matter
    }
  }
  if (negative) return v > INT32_MAX ? INT32_MIN : static_cast<LONG>(-v);
  return v > INT32_MAX ? INT32_MAX : static_cast<LONG>(v);
}

double Wtof(std::string_view t) noexcept {
  std::size_t i = 0;
  while (i < t.size() && IsCrtSpace(t[i])) ++i;
  // Only characters that can be part of a number are handed on.
  std::size_t j = i;
  while (j < t.size()) {
    const char c = t[j];
    if ((c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '.' || c == '+' || c == '-')
      ++j;
    else
      break;
  }
  try {
    const std::string s(t.substr(i, j - i));
    return strtod_l(s.c_str(), nullptr, CLocale());
  } catch (...) {
    return 0.0;
  }
}

std::string ResolvePath(std::string_view path) {
  std::string whole(path);
  if (whole.empty() || Exists(whole)) return whole;
  const bool absolute = path.front() == '/';
  std::string cur = absolute ? "/" : "";
  const auto parts = Split(path);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    std::string found = FindNoCase(cur, parts[k]);
    if (found.empty()) {
      // Missing from here on: keep the rest as given.
      for (; k < parts.size(); ++k) cur = Join(cur, parts[k]);
      if (path.back() == '/') cur += '/';
      return cur;
    }
    cur = std::move(found);
  }
  return cur;
}

bool PathExists(const char16_t* path) {
  if (!path || !*path) return false;
  return Exists(ResolvePath(qvp::Utf16ToUtf8(path)));
}

}  // namespace edl_io

int CreateFolderForFile(const char16_t* path) {
  using namespace edl_io;
  if (!path) return 0;
  try {
    std::string p = qvp::Utf16ToUtf8(path);
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
    if (Exists(ResolvePath(folder))) return 1;
    if (folder.front() != '/') return 0;
    // New folders get upper-case names; existing ones are found as they are.
    for (char& c : folder) c = FoldAscii(c);
    std::string cur = "/";
    for (std::string_view part : Split(folder)) {
      std::string found = FindNoCase(cur, part);
      int tries = 0;
      while (found.empty()) {
        const std::string target = Join(cur, part);
        if (::mkdir(target.c_str(), 0777) == 0) {
          found = target;
          break;
        }
        if (errno == EEXIST) {  // made by someone else meanwhile, or a file of that name
          bool is_dir = false;
          if (Exists(target, &is_dir) && is_dir) found = target;
          else return 0;
          break;
        }
        if (++tries >= 3) return 0;
      }
      bool is_dir = false;
      if (!Exists(found, &is_dir) || !is_dir) return 0;
      cur = std::move(found);
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // namespace qv_commonclass
