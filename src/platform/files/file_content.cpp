#include "qv_platform/file_content.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "qv_platform/fileio.h"

namespace qvp {

int ReadWholeFile(const std::string& path, FileBytes& out, std::size_t limit, std::size_t spare) {
  out.data.reset();
  out.size = 0;
  const FileOps& ops = Ops();
  // O_NONBLOCK: opening a FIFO must not hang; only regular files are read.
  const int fd = ops.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY, 0);
  if (fd < 0) return errno ? errno : EIO;
  struct stat st {};
  int err = 0;
  if (ops.fstat(fd, &st) != 0) err = errno ? errno : EIO;
  else if (S_ISDIR(st.st_mode)) err = EISDIR;
  else if (!S_ISREG(st.st_mode)) err = EINVAL;
  else if (static_cast<std::uint64_t>(st.st_size) > limit) err = EFBIG;
  // Room for the size the file has now and one byte more, so the read that
  // finds the end needs no second buffer.
  std::size_t capacity = err ? 0 : static_cast<std::size_t>(st.st_size) + 1;
  std::unique_ptr<char[]> buffer;
  if (err == 0) {
    buffer.reset(new (std::nothrow) char[capacity + spare]);
    if (!buffer) err = ENOMEM;
  }
  std::size_t size = 0;
  while (err == 0) {
    if (size == capacity) {  // the file grew meanwhile: a larger buffer
      const std::size_t grown = capacity > limit / 2 ? limit + 1 : capacity * 2;
      std::unique_ptr<char[]> larger(new (std::nothrow) char[grown + spare]);
      if (!larger) {
        err = ENOMEM;
        break;
      }
      std::copy(buffer.get(), buffer.get() + size, larger.get());
      buffer = std::move(larger);
      capacity = grown;
    }
    const ssize_t n = ops.read(fd, buffer.get() + size, capacity - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno ? errno : EIO;
      break;
    }
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
    if (size > limit) err = EFBIG;
  }
  ops.close(fd);
  if (err) return err;
  out.data = std::move(buffer);
  out.size = size;
  return 0;
}

int ReadWholeFile(const std::string& path, std::string& out, std::size_t limit) {
  out.clear();
  FileBytes bytes;
  if (const int err = ReadWholeFile(path, bytes, limit); err != 0) return err;
  try {
    out.assign(bytes.data.get(), bytes.size);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  return 0;
}

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = Ops().write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno ? errno : EIO;
    if (n == 0) return ENOSPC;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int WriteWholeFile(const std::string& path, std::string_view data, bool flush) {
  const FileOps& ops = Ops();
  const int fd = ops.open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return errno ? errno : EIO;
  int err = WriteAll(fd, data);
  if (err == 0 && flush && ops.fsync(fd) != 0) err = errno ? errno : EIO;
  if (ops.close(fd) != 0 && err == 0) err = errno ? errno : EIO;
  return err;
}

}  // namespace qvp
