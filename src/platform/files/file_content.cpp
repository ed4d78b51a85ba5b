#include "qv_platform/file_content.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "qv_platform/fileio.h"

namespace qvp {

int ReadWholeFile(const std::string& path, std::string& out, std::size_t limit, std::size_t spare) {
  out.clear();
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
  if (err == 0) {
    try {
      // One byte more than the size: the read that finds the end needs room.
      out.reserve(static_cast<std::size_t>(st.st_size) + spare + 1);
      std::size_t want = static_cast<std::size_t>(st.st_size);
      // The size is a hint: a file that grew meanwhile is read to its end.
      for (;;) {
        const std::size_t at = out.size();
        const std::size_t chunk = want > at ? want - at : 65536;
        out.resize(at + chunk);
        const ssize_t n = ops.read(fd, out.data() + at, chunk);
        if (n < 0 && errno == EINTR) {
          out.resize(at);
          continue;
        }
        if (n < 0) {
          err = errno ? errno : EIO;
          break;
        }
        out.resize(at + static_cast<std::size_t>(n));
        if (n == 0) break;
        if (out.size() > limit) {
          err = EFBIG;
          break;
        }
        if (out.size() >= want) want = out.size() + (want == static_cast<std::size_t>(st.st_size) ? 1 : 65536);
      }
    } catch (const std::bad_alloc&) {
      err = ENOMEM;
    }
  }
  ops.close(fd);
  if (err) std::string().swap(out);
  return err;
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
