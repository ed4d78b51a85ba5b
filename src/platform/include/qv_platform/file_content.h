// Whole-file reads and writes through the file seam (qv_platform/fileio.h):
// what the INI engine, the XML document and the list file reader and writer
// load and save. Results are errno values (0: done), so callers map them to
// their own error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qv_platform/export.h"

namespace qvp {

// ReadWholeFile reads the regular file at `path` (system form) into `out`,
// replacing its content; `spare` bytes of capacity are reserved beyond the
// file's size so a caller can pad the text without a copy. Refusals: ENOENT
// and the other open errors as given, EISDIR for a folder, EINVAL for a
// device, FIFO or socket (opened without blocking, never read), EFBIG when
// the file is longer than `limit`, and the read's errno (EIO for a file
// that ends early). On failure `out` is empty.
QVP_API int ReadWholeFile(const std::string& path, std::string& out, std::size_t limit = SIZE_MAX / 4,
                          std::size_t spare = 0);

// WriteWholeFile creates or truncates `path` (mode 0666 before the umask)
// and writes `data` whole (short writes continued, EINTR retried; a write
// that makes no progress is ENOSPC). With `flush` the data is flushed to
// the storage before the close. Returns the first errno met, 0 when done;
// a file that could not be written whole is left as far as it got.
QVP_API int WriteWholeFile(const std::string& path, std::string_view data, bool flush = false);

// WriteAll writes `data` whole to the open file `fd` with the rules above.
QVP_API int WriteAll(int fd, std::string_view data);

}  // namespace qvp
