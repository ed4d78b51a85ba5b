// Test seam for the file system: while a FileFaults lives, the file services
// run through a table whose calls are counted, can be made to fail on the
// Nth call with a chosen errno, and whose sleeps are only added up (never slept).
#pragma once

#include <atomic>
#include <fcntl.h>

#include <cerrno>
#include <functional>

#include "qv_platform/fileio.h"

namespace qvtest {

enum class FileCall { kOpen, kRead, kWrite, kFsync, kUnlink, kMkdir, kReaddir, kRename, kStat, kCount };

class FileFaults {
 public:
  FileFaults() {
    table_ = Sys();
    table_.open = [](const char* p, int f, mode_t m) {
      if (sources_only && (f & O_CREAT)) return Sys().open(p, f, m);
      return Pass(FileCall::kOpen) ? Sys().open(p, f, m) : -1;
    };
    table_.read = [](int fd, void* b, size_t n) -> ssize_t {
      if (!Pass(FileCall::kRead)) return -1;
      if (on_read) on_read(fd);
      return Sys().read(fd, b, n);
    };
    table_.write = [](int fd, const void* b, size_t n) -> ssize_t {
      if (on_write) on_write(n);
      return Pass(FileCall::kWrite) ? Sys().write(fd, b, short_write && n > 1 ? n / 2 : n) : -1;
    };
    // A read or write at an offset counts as a read or write.
    table_.pread = [](int fd, void* b, size_t n, off_t at) -> ssize_t {
      return Pass(FileCall::kRead) ? Sys().pread(fd, b, n, at) : -1;
    };
    table_.pwrite = [](int fd, const void* b, size_t n, off_t at) -> ssize_t {
      if (on_write) on_write(n);
      return Pass(FileCall::kWrite) ? Sys().pwrite(fd, b, n, at) : -1;
    };
    table_.fsync = [](int fd) { return Pass(FileCall::kFsync) ? Sys().fsync(fd) : -1; };
    table_.unlink = [](const char* p) { return Pass(FileCall::kUnlink) ? Sys().unlink(p) : -1; };
    table_.mkdir = [](const char* p, mode_t m) { return Pass(FileCall::kMkdir) ? Sys().mkdir(p, m) : -1; };
    table_.readdir = [](DIR* d) { return Pass(FileCall::kReaddir) ? Sys().readdir(d) : nullptr; };
    table_.rename = [](const char* f, const char* t) { return Pass(FileCall::kRename) ? Sys().rename(f, t) : -1; };
    table_.stat = [](const char* p, struct stat* st) { return Pass(FileCall::kStat) ? Sys().stat(p, st) : -1; };
    table_.sleep_ms = [](unsigned ms) { slept_ms += ms; };
    for (int i = 0; i < kCalls; ++i) calls[i] = fail_from[i] = fail_to[i] = 0;
    slept_ms = 0, short_write = false, sources_only = false, on_read = nullptr, on_write = nullptr;
    previous_ = qvp::SetFileOps(&table_);
  }
  ~FileFaults() { qvp::SetFileOps(previous_); }
  FileFaults(const FileFaults&) = delete;
  FileFaults& operator=(const FileFaults&) = delete;

  // Fail calls number first..last (counting from 1) of `call` with `err`.
  void Fail(FileCall call, int first, int last, int err) {
    const auto i = static_cast<int>(call);
    errors[i] = err, fail_to[i] = last, fail_from[i] = first;
  }
  static int Calls(FileCall call) { return calls[static_cast<int>(call)].load(); }
  static unsigned Slept() { return slept_ms.load(); }

  static constexpr int kCalls = static_cast<int>(FileCall::kCount);
  static inline std::atomic<int> calls[kCalls], fail_from[kCalls], fail_to[kCalls], errors[kCalls];
  static inline std::atomic<unsigned> slept_ms{0};
  static inline std::atomic<bool> short_write{false};
  // Count and fail only the opens that create nothing (the source's).
  static inline std::atomic<bool> sources_only{false};
  // Runs before every read (on the reading thread); set before the copy starts.
  static inline std::function<void(int)> on_read;
  // Runs before every write with its length (on the writing thread).
  static inline std::function<void(size_t)> on_write;

 private:
  static const qvp::FileOps& Sys() { return qvp::SystemFileOps(); }
  static bool Pass(FileCall call) {
    const auto i = static_cast<int>(call);
    const int n = ++calls[i];
    const bool fail = fail_from[i] > 0 && n >= fail_from[i] && n <= fail_to[i];
    if (fail) errno = errors[i];
    return !fail;
  }
  qvp::FileOps table_{};
  const qvp::FileOps* previous_ = nullptr;
};

}  // namespace qvtest
