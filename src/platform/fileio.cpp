#include "qv_platform/fileio.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace qvp {
namespace {

int SysOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }
int SysStat(const char* path, struct stat* st) { return ::stat(path, st); }
int SysLstat(const char* path, struct stat* st) { return ::lstat(path, st); }
int SysFstat(int fd, struct stat* st) { return ::fstat(fd, st); }
void SysSleep(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

const FileOps kSystemOps = {
    SysOpen,   ::read,  ::write,   ::fdatasync, ::close,      SysStat,    SysLstat,   SysFstat, ::chmod,
    ::rename,  ::unlink, ::mkdir,  ::rmdir,     ::opendir,    ::readdir,  ::closedir, SysSleep,
    ::pread,   ::pwrite, ::ftruncate, ::access,
};

std::atomic<const FileOps*> g_ops{&kSystemOps};

void SetErrno(int err) { ::SetLastError(ErrnoToWin32(err)); }

DWORD AttributesOf(const struct stat& st, std::u16string_view name) {
  DWORD a = 0;
  if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISREG(st.st_mode)) a |= FILE_ATTRIBUTE_ARCHIVE;
  if ((st.st_mode & S_IWUSR) == 0) a |= FILE_ATTRIBUTE_READONLY;
  if (name.size() > 0 && name[0] == u'.' && name != u"." && name != u"..") a |= FILE_ATTRIBUTE_HIDDEN;
  return a;
}

std::u16string_view LastComponent(std::u16string_view path) {
  while (path.size() > 1 && path.back() == u'/') path.remove_suffix(1);
  const auto slash = path.rfind(u'/');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool Match(std::u16string_view p, std::u16string_view n) {
  // Iterative wildcard match with one back-track point for the last '*'.
  std::size_t pi = 0, ni = 0, star = std::u16string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == u'?' || FoldAscii(p[pi]) == FoldAscii(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      mark = ni;
    } else if (star != std::u16string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  // Windows lets a trailing ".*" (or ".") match a name without a full stop.
  if (pi < p.size() && n.find(u'.') == std::u16string_view::npos) {
    const auto rest = p.substr(pi);
    if (rest == u"." || rest == u".*") return true;
  }
  return pi == p.size();
}

}  // namespace

const FileOps& SystemFileOps() noexcept { return kSystemOps; }
const FileOps& Ops() noexcept { return *g_ops.load(std::memory_order_acquire); }
const FileOps* SetFileOps(const FileOps* ops) noexcept {
  return g_ops.exchange(ops ? ops : &kSystemOps, std::memory_order_acq_rel);
}

std::string ToNativePath(const char16_t* path) { return path ? Utf16ToUtf8(path) : std::string(); }

bool CopySymbolicLink(const char16_t* source, const char16_t* target) {
  const std::string src = ToNativePath(source), dst = ToNativePath(target);
  std::string contents(4096, '\0');
  const ssize_t n = ::readlink(src.c_str(), contents.data(), contents.size() - 1);
  if (n < 0) {
    SetErrno(errno);
    return false;
  }
  contents.resize(static_cast<std::size_t>(n));
  struct stat st {};
  if (Ops().lstat(dst.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) Ops().unlink(dst.c_str());
  if (::symlink(contents.c_str(), dst.c_str()) != 0) {
    SetErrno(errno);
    return false;
  }
  return true;
}

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) noexcept {
  if (pattern == u"*" || pattern == u"*.*") return true;
  return Match(pattern, name);
}

bool ListFolder(const char16_t* folder, const char16_t* pattern, std::vector<FindData>& out, bool* complete) {
  if (complete) *complete = true;
  std::string dir = ToNativePath(folder);
  if (dir.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  const FileOps& ops = Ops();
  DIR* d = ops.opendir(dir.c_str());
  if (!d) {
    SetErrno(errno);
    return false;
  }
  if (dir.back() != '/') dir += '/';
  std::vector<std::string> names;
  int list_error = 0;
  for (;;) {
    errno = 0;
    const struct dirent* e = ops.readdir(d);
    if (!e) {
      list_error = errno;
      break;
    }
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  ops.closedir(d);
  if (list_error && complete) *complete = false;
  std::sort(names.begin(), names.end());
  names.insert(names.begin(), {".", ".."});

  const std::u16string_view pat = pattern ? std::u16string_view(pattern) : std::u16string_view(u"*");
  const std::size_t before = out.size();
  for (const std::string& n : names) {
    FindData fd;
    fd.name = Utf8ToUtf16(n);
    if (!MatchWildcard(pat, fd.name)) continue;
    const std::string full = dir + n;
    struct stat st {};
    if (ops.lstat(full.c_str(), &st) != 0) continue;  // vanished meanwhile
    if (S_ISLNK(st.st_mode)) {
      fd.is_link = true;
      struct stat target {};
      if (ops.stat(full.c_str(), &target) == 0) {
        fd.link_to_folder = S_ISDIR(target.st_mode);
        fd.attributes = AttributesOf(target, fd.name);
      }
      fd.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    } else {
      fd.attributes = AttributesOf(st, fd.name);
      if (S_ISREG(st.st_mode)) fd.size = static_cast<std::uint64_t>(st.st_size);
    }
    out.push_back(std::move(fd));
  }
  if (out.size() == before) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  return true;
}

}  // namespace qvp

using qvp::Ops;
using qvp::ToNativePath;

DWORD GetFileAttributesW(const char16_t* path) {
  const std::string p = ToNativePath(path);
  struct stat st {};
  if (p.empty() || Ops().stat(p.c_str(), &st) != 0) {
    SetLastError(p.empty() ? ERROR_PATH_NOT_FOUND : qvp::ErrnoToWin32(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  return qvp::AttributesOf(st, qvp::LastComponent(path));
}

BOOL SetFileAttributesW(const char16_t* path, DWORD attributes) {
  const std::string p = ToNativePath(path);
  struct stat st {};
  if (p.empty() || Ops().stat(p.c_str(), &st) != 0) {
    SetLastError(p.empty() ? ERROR_PATH_NOT_FOUND : qvp::ErrnoToWin32(errno));
    return FALSE;
  }
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH}) : (mode | S_IWUSR);
  if (mode == (st.st_mode & 07777)) return TRUE;
  if (Ops().chmod(p.c_str(), mode) != 0) {
    qvp::SetErrno(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(const char16_t* path) {
  const std::string p = ToNativePath(path);
  struct stat st {};
  if (p.empty() || Ops().lstat(p.c_str(), &st) != 0) {
    SetLastError(p.empty() ? ERROR_PATH_NOT_FOUND : qvp::ErrnoToWin32(errno));
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (Ops().unlink(p.c_str()) != 0) {
    qvp::SetErrno(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL CreateDirectoryW(const char16_t* path, void* /*security_attributes*/) {
  const std::string p = ToNativePath(path);
  if (p.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (Ops().mkdir(p.c_str(), 0777) != 0) {
    qvp::SetErrno(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryW(const char16_t* path) {
  const std::string p = ToNativePath(path);
  if (p.empty() || Ops().rmdir(p.c_str()) != 0) {
    SetLastError(p.empty() ? ERROR_PATH_NOT_FOUND : qvp::ErrnoToWin32(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CopyFileW(const char16_t* source, const char16_t* target, BOOL fail_if_exists) {
  const qvp::FileOps& ops = Ops();
  const std::string src = ToNativePath(source), dst = ToNativePath(target);
  if (src.empty() || dst.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const int in = ops.open(src.c_str(), O_RDONLY, 0);
  if (in < 0) {
    qvp::SetErrno(errno);
    return FALSE;
  }
  struct stat sst {}, dstat {};
  if (ops.fstat(in, &sst) != 0 || S_ISDIR(sst.st_mode)) {
    const int err = S_ISDIR(sst.st_mode) ? EISDIR : errno;
    ops.close(in);
    qvp::SetErrno(err);
    return FALSE;
  }
  const bool existed = ops.stat(dst.c_str(), &dstat) == 0;
  if (existed && dstat.st_dev == sst.st_dev && dstat.st_ino == sst.st_ino) {
    ops.close(in);
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  const int flags = O_WRONLY | O_CREAT | (fail_if_exists ? O_EXCL : O_TRUNC);
  const int out = ops.open(dst.c_str(), flags, sst.st_mode & 0777);
  if (out < 0) {
    const int err = errno;
    ops.close(in);
    if (err == EEXIST) SetLastError(ERROR_FILE_EXISTS);
    else qvp::SetErrno(err);
    return FALSE;
  }
  constexpr std::size_t kChunk = 1 << 20;
  const auto buffer = std::make_unique<char[]>(kChunk);
  int err = 0;
  for (;;) {
    const ssize_t n = ops.read(in, buffer.get(), kChunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    ssize_t done = 0;
    while (done < n) {
      const ssize_t w = ops.write(out, buffer.get() + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        err = w < 0 ? errno : ENOSPC;
        break;
      }
      done += w;
    }
    if (err) break;
  }
  ops.close(in);
  if (ops.close(out) != 0 && !err) err = errno;
  if (err) {
    // Windows leaves no half-copied file behind; an existing file that was
    // being replaced is already truncated, so it goes too.
    ops.unlink(dst.c_str());
    qvp::SetErrno(err);
    return FALSE;
  }
  ops.chmod(dst.c_str(), sst.st_mode & 07777);
  return TRUE;
}
