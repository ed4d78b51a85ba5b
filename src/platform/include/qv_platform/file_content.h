// Whole-file reads and writes through the file seam (qv_platform/fileio.h):
// what the INI engine, the XML document and the list file reader and writer
// load and save. Results are errno values (0: done), so callers map them to
// their own error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "qv_platform/export.h"

namespace qvp {

// The bytes of a file as ReadWholeFile gives them: `size` bytes of text in
// a buffer that holds at least `size` + the spare bytes asked for (those
// are not initialised).
struct FileBytes {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

// ReadWholeFile reads the regular file at `path` (system form) into `out`,
// replacing its content; `spare` bytes are allocated beyond the text so a
// caller can pad it without a copy. Nothing is written twice: the buffer is
// sized from the file and filled by the reads (a file that grows meanwhile
// is read to its end). Refusals: ENOENT and the other open errors as given,
// EISDIR for a folder, EINVAL for a device, FIFO or socket (opened without
// blocking, never read), EFBIG when the file is longer than `limit`, ENOMEM
// when the buffer cannot be had, and the read's errno. On failure `out` is
// empty.
QVP_API int ReadWholeFile(const std::string& path, FileBytes& out, std::size_t limit = SIZE_MAX / 4,
                          std::size_t spare = 0);
// The same into a string, for small files.
QVP_API int ReadWholeFile(const std::string& path, std::string& out, std::size_t limit = SIZE_MAX / 4);

// WriteWholeFile creates or truncates `path` (mode 0666 before the umask)
// and writes `data` whole (short writes continued, EINTR retried; a write
// that makes no progress is ENOSPC). With `flush` the data is flushed to
// the storage before the close. Returns the first errno met, 0 when done;
// a file that could not be written whole is left as far as it got.
QVP_API int WriteWholeFile(const std::string& path, std::string_view data, bool flush = false);

// WriteAll writes `data` whole to the open file `fd` with the rules above.
QVP_API int WriteAll(int fd, std::string_view data);

}  // namespace qvp
