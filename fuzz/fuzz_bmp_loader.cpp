// Fuzzing the BMP loader with arbitrary bytes as the file. The bytes are
// served from memory through the file seam (no disk traffic per input).
// Besides "no crash, no leak, no out-of-bounds access", a loaded picture
// must have the dimensions the checks allow, and drawing it as a thumbnail
// must stay inside its buffer.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qv_commonclass/imaging.h"
#include "qv_platform/fileio.h"

using namespace qv_commonclass;

namespace {

const std::uint8_t* g_data = nullptr;
std::size_t g_size = 0, g_pos = 0;
constexpr int kFd = 1000;

int Open(const char*, int flags, mode_t) {
  if (flags & (O_WRONLY | O_RDWR)) return errno = EACCES, -1;
  g_pos = 0;
  return kFd;
}
ssize_t Read(int, void* buffer, size_t count) {
  const std::size_t n = std::min(count, g_size - g_pos);
  std::memcpy(buffer, g_data + g_pos, n);
  g_pos += n;
  return static_cast<ssize_t>(n);
}
int Close(int) { return 0; }
int Stat(const char*, struct stat* st) {
  *st = {};
  st->st_mode = S_IFREG | 0644;
  st->st_size = static_cast<off_t>(g_size);
  return 0;
}
int Fstat(int, struct stat* st) { return Stat(nullptr, st); }

qvp::FileOps MemoryOps() {
  qvp::FileOps ops = qvp::SystemFileOps();
  ops.open = Open, ops.read = Read, ops.close = Close, ops.stat = Stat, ops.fstat = Fstat;
  return ops;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const qvp::FileOps ops = MemoryOps();
  qvp::SetFileOps(&ops);
  g_data = data, g_size = size;

  tagQVThumbnail* picture = QVGetThumbnailFromBitmap(u"/fuzz/input.bmp", nullptr);
  if (!picture) return 0;
  if (picture->nWidth <= 0 || picture->nHeight <= 0 || picture->nWidth > 32767 || picture->nHeight > 32767)
    __builtin_trap();
  // Only pictures the drawing supports, and small enough to draw quickly.
  const WORD bits = picture->wBitCount;
  if ((bits == 24 || bits == 32) && picture->nWidth <= 2048 && picture->nHeight <= 2048) {
    qvp::MemoryCanvas canvas(64, 48);
    CRect rect(0, 0, 64, 48);
    QVDrawThumbnail(&canvas.dc, rect, picture, 0, 2);
  }
  delete picture;
  return 0;
}
