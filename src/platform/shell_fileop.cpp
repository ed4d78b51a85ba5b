#include "qv_platform/shell_fileop.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <vector>

#include "qv_platform/fileio.h"
#include "qv_platform/mounts.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace qvp {
namespace {

std::mutex g_handler_mutex;
ShellProgressHandler g_handler;

struct Aborted {};

class TreeOperation {
 public:
  explicit TreeOperation(ShellProgressHandler handler) : handler_(std::move(handler)), ops_(Ops()) {}

  // Each returns 0 or an errno value; an abort throws Aborted.
  int Copy(const std::string& src, const std::string& dst) {
    struct stat st {};
    if (ops_.lstat(src.c_str(), &st) != 0) return errno;
    if (S_ISLNK(st.st_mode)) return CopyLink(src, dst);
    if (S_ISDIR(st.st_mode)) {
      struct stat dt {};
      if (ops_.stat(dst.c_str(), &dt) != 0) {
        if (ops_.mkdir(dst.c_str(), st.st_mode & 07777) != 0) return errno;
      } else if (!S_ISDIR(dt.st_mode)) {
        return EEXIST;
      }
      std::vector<std::string> names;
      if (int err = Names(src, names)) return err;
      for (const auto& n : names)
        if (int err = Copy(src + "/" + n, dst + "/" + n)) return err;
      return 0;
    }
    return CopyOne(src, dst, st);
  }

  int Remove(const std::string& path) {
    struct stat st {};
    if (ops_.lstat(path.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ops_.unlink(path.c_str()) == 0 ? 0 : errno;
    std::vector<std::string> names;
    if (int err = Names(path, names)) return err;
    for (const auto& n : names)
      if (int err = Remove(path + "/" + n)) return err;
    return ops_.rmdir(path.c_str()) == 0 ? 0 : errno;
  }

  void Measure(const std::string& path) {
    struct stat st {};
    if (ops_.lstat(path.c_str(), &st) != 0) return;
    if (S_ISREG(st.st_mode)) total_ += static_cast<std::uint64_t>(st.st_size);
    if (!S_ISDIR(st.st_mode)) return;
    std::vector<std::string> names;
    if (Names(path, names) == 0)
      for (const auto& n : names) Measure(path + "/" + n);
  }

  void Report(const std::string& current) {
    if (!handler_) return;
    ShellProgress p{Utf8ToUtf16(current), done_, total_};
    if (!handler_(p)) throw Aborted{};
  }

  std::uint64_t total_ = 0, done_ = 0;

 private:
  // A listing cut short by a read error is an error: a copy would otherwise
  // report success without the names never read, and a move would then
  // remove them from the source.
  int Names(const std::string& dir, std::vector<std::string>& names) {
    DIR* d = ops_.opendir(dir.c_str());
    if (!d) return errno;
    int err = 0;
    for (;;) {
      errno = 0;
      const struct dirent* e = ops_.readdir(d);
      if (!e) {
        err = errno;
        break;
      }
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ops_.closedir(d);
    return err;
  }

  int CopyLink(const std::string& src, const std::string& dst) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(src.c_str(), target, sizeof target - 1);
    if (n < 0) return errno;
    target[n] = '\0';
    ops_.unlink(dst.c_str());
    return ::symlink(target, dst.c_str()) == 0 ? 0 : errno;
  }

  int CopyOne(const std::string& src, const std::string& dst, const struct stat& st) {
    struct stat existing {};
    if (ops_.stat(dst.c_str(), &existing) == 0 && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino)
      return EINVAL;  // onto itself: opening the target would empty the source
    const int in = ops_.open(src.c_str(), O_RDONLY, 0);
    if (in < 0) return errno;
    const int out = ops_.open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 0777);
    if (out < 0) {
      const int err = errno;
      ops_.close(in);
      return err;
    }
    constexpr std::size_t kChunk = 1 << 20;
    const auto buffer = std::make_unique<char[]>(kChunk);
    int err = 0;
    try {
      Report(src);
      for (;;) {
        const ssize_t n = ops_.read(in, buffer.get(), kChunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          err = n < 0 ? errno : 0;
          break;
        }
        ssize_t put = 0;
        while (put < n && !err) {
          const ssize_t w = ops_.write(out, buffer.get() + put, static_cast<std::size_t>(n - put));
          if (w < 0 && errno == EINTR) continue;
          if (w <= 0) err = w < 0 ? errno : ENOSPC;
          else put += w;
        }
        if (err) break;
        done_ += static_cast<std::uint64_t>(n);
        Report(src);
      }
    } catch (const Aborted&) {
      ops_.close(in);
      ops_.close(out);
      ops_.unlink(dst.c_str());
      throw;
    }
    ops_.close(in);
    if (ops_.close(out) != 0 && !err) err = errno;
    if (err) ops_.unlink(dst.c_str());
    else ops_.chmod(dst.c_str(), st.st_mode & 07777);
    return err;
  }

  ShellProgressHandler handler_;
  const FileOps& ops_;
};

std::vector<std::string> SplitList(const char16_t* list) {
  std::vector<std::string> items;
  if (!list) return items;
  while (*list) {
    const std::u16string item(list);
    items.push_back(Utf16ToUtf8(item));
    list += item.size() + 1;
  }
  return items;
}

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int MakeParents(const FileOps& ops, const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return 0;
  const std::string parent = path.substr(0, slash);
  struct stat st {};
  if (ops.stat(parent.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (int err = MakeParents(ops, parent)) return err;
  return (ops.mkdir(parent.c_str(), 0777) == 0 || errno == EEXIST) ? 0 : errno;
}

}  // namespace

ShellProgressHandler SetShellProgressHandler(ShellProgressHandler handler) {
  std::lock_guard lock(g_handler_mutex);
  std::swap(g_handler, handler);
  return handler;
}

}  // namespace qvp

int SHFileOperationW(SHFILEOPSTRUCTW* op) {
  if (!op || (op->wFunc != FO_COPY && op->wFunc != FO_MOVE)) return static_cast<int>(ERROR_INVALID_PARAMETER);
  op->fAnyOperationsAborted = FALSE;
  const auto sources = qvp::SplitList(op->pFrom);
  const auto targets = qvp::SplitList(op->pTo);
  if (sources.empty() || targets.empty()) return static_cast<int>(ERROR_INVALID_PARAMETER);
  qvp::ShellProgressHandler handler;
  {
    std::lock_guard lock(qvp::g_handler_mutex);
    handler = qvp::g_handler;
  }
  const qvp::FileOps& ops = qvp::Ops();
  qvp::TreeOperation tree(std::move(handler));
  std::string to = targets.front();
  while (to.size() > 1 && to.back() == '/') to.pop_back();
  struct stat st {};
  const bool into_folder = (ops.stat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) || sources.size() > 1;
  for (const auto& s : sources) tree.Measure(s);
  int err = 0;
  try {
    tree.Report(sources.front());
    if (into_folder && ops.stat(to.c_str(), &st) != 0 && ops.mkdir(to.c_str(), 0777) != 0) err = errno;
    for (std::size_t i = 0; i < sources.size() && !err; ++i) {
      const std::string& src = sources[i];
      const std::string dst = into_folder ? to + "/" + qvp::BaseName(src) : to;
      struct stat sst {};
      if (ops.lstat(src.c_str(), &sst) != 0) {
        err = errno;
        break;
      }
      if (S_ISDIR(sst.st_mode) && qvp::IsInsideFolder(dst, src)) {
        err = EINVAL;  // a folder cannot be copied or moved into itself
        break;
      }
      if (!into_folder) err = qvp::MakeParents(ops, dst);
      if (err) break;
      if (op->wFunc == FO_MOVE && ops.rename(src.c_str(), dst.c_str()) == 0) continue;
      err = tree.Copy(src, dst);
      if (!err && op->wFunc == FO_MOVE) err = tree.Remove(src);
    }
    if (!err) {
      tree.done_ = tree.total_;
      tree.Report(to);
    }
  } catch (const qvp::Aborted&) {
    op->fAnyOperationsAborted = TRUE;
    return static_cast<int>(ERROR_CANCELLED);
  }
  return err ? static_cast<int>(qvp::ErrnoToWin32(err)) : 0;
}
