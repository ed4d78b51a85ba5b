#include "qv_platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

#include "qv_platform/fileio.h"
#include "qv_platform/system.h"

namespace qvp::paths {
namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

template <class S, class V>
S JoinAs(V folder, V name) {
  S r(folder);
  if (!r.empty() && r.back() != '/') r += '/';
  r += name;
  return r;
}

}  // namespace

std::string Join(std::string_view folder, std::string_view name) { return JoinAs<std::string>(folder, name); }

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
  return JoinAs<std::u16string>(folder, name);
}

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

Kind KindOf(const std::string& path) {
  struct stat sb {};
  if (path.empty() || Ops().stat(path.c_str(), &sb) != 0) return Kind::kMissing;
  return S_ISDIR(sb.st_mode) ? Kind::kFolder : Kind::kOther;
}

std::string FindNoCase(const std::string& folder, std::string_view name) {
  std::string exact = Join(folder, name);
  if (KindOf(exact) != Kind::kMissing) return exact;
  const FileOps& ops = Ops();
  DIR* d = ops.opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return {};
  std::string best;
  while (const dirent* e = ops.readdir(d)) {
    const std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    if (EqualNoCase(n, name) && (best.empty() || n < best)) best = n;
  }
  ops.closedir(d);
  return best.empty() ? std::string() : Join(folder, best);
}

std::string ResolveNoCase(std::string_view path) {
  std::string whole(path);
  if (whole.empty() || KindOf(whole) != Kind::kMissing) return whole;
  std::string cur = path.front() == '/' ? "/" : "";
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

bool MakeFolderChain(std::string_view path, const FolderChainRule& rule) {
  const auto look = [&rule](const std::string& p) { return rule.look ? rule.look(p) : KindOf(p); };
  const std::size_t start = std::min(rule.existing, path.size());
  std::string cur(path.substr(0, start));
  while (cur.size() > 1 && cur.back() == '/') cur.pop_back();
  for (std::string_view part : Split(path.substr(start))) {
    std::string level = rule.ignore_case ? FindNoCase(cur, part) : Join(cur, part);
    const Kind kind = level.empty() ? Kind::kMissing : look(level);
    if (kind == Kind::kOther) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return false;
    }
    if (kind == Kind::kMissing) {
      std::string name(part);
      if (rule.ignore_case)
        for (char& c : name) c = FoldAscii(c);
      level = Join(cur, name);
      int err = 0;
      Retry(rule.create, [&](int) {
        if (Ops().mkdir(level.c_str(), 0777) == 0) return TryResult::kDone;
        err = errno;
        return err == EEXIST ? TryResult::kStop : TryResult::kAgain;
      });
      // Made here or by someone else meanwhile: it must be a folder now.
      if (look(level) != Kind::kFolder) {
        SetLastError(err ? ErrnoToWin32(err) : ERROR_PATH_NOT_FOUND);
        return false;
      }
    }
    cur = std::move(level);
  }
  return true;
}

}  // namespace qvp::paths
