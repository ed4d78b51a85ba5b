// BMP files: writing padded or unpadded rows, and the loader with every size
// taken from the file checked against the file's length and fixed limits
// before anything is allocated or read.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "imaging/imaging_internal.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/imaging.h"
#include "qv_platform/fileio.h"
#include "qv_platform/format.h"

namespace qv_commonclass {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
constexpr std::size_t kMaskBytes = 12;

// Reads exactly `count` bytes; false on an error or the end of the file.
bool ReadFull(int fd, void* buffer, std::size_t count) {
  auto* p = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t n = qvp::Ops().read(fd, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteFull(int fd, const void* buffer, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t n = qvp::Ops().write(fd, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() {
    if (fd_ >= 0) qvp::Ops().close(fd_);
  }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string Text(const char* format, long long a, long long b = 0) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

int CountLow16(DWORD mask) { return __builtin_popcount(mask & 0xFFFFu); }

// Shifts right by `n`, left by -n when it is negative; the byte of the result.
std::uint8_t ShiftToByte(std::uint32_t v, int n) {
  return static_cast<std::uint8_t>(n >= 0 ? (n >= 32 ? 0 : v >> n) : (-n >= 32 ? 0 : v << -n));
}

// Widens 16-bit rows, held at the start of `bits`, to unpadded 32-bit pixels
// in the same buffer. Walks backwards so that no 16-bit value is overwritten
// before it is read: the output offset of a pixel is never below its input
// offset.
void Widen16(std::uint8_t* bits, std::size_t width, std::size_t height, std::size_t row_size, const DWORD masks[3]) {
  const DWORD red = masks[0], green = masks[1], blue = masks[2];
  const int r = CountLow16(red), g = CountLow16(green), b = CountLow16(blue);
  for (std::size_t y = height; y-- > 0;) {
    for (std::size_t x = width; x-- > 0;) {
      std::uint16_t v;
      std::memcpy(&v, bits + y * row_size + 2 * x, 2);
      std::uint8_t* out = bits + (y * width + x) * 4;
      // The channel shifts as the Windows clients have always computed them:
      // blue by the red count, green and red by the sums below.
      out[0] = ShiftToByte(v & blue, r - 8);
      out[1] = ShiftToByte(v & green, g + r - 8);
      out[2] = ShiftToByte(v & red, b + g + r - 8);
      out[3] = 0xFF;
    }
  }
}

}  // namespace

tagQVThumbnail::tagQVThumbnail(int width, int height, WORD bit_count, bool zero) {
  if (width == 0 || height == 0) return;
  const std::int64_t bytes = static_cast<std::int64_t>(width) * height * bit_count / 8;
  if (bytes < 0) throw std::bad_alloc();
  pBits = zero ? new BYTE[static_cast<std::size_t>(bytes)]() : new BYTE[static_cast<std::size_t>(bytes)];
}

tagQVThumbnail::~tagQVThumbnail() { delete[] pBits; }

std::int64_t DibRowSize(std::int64_t width, std::int64_t bit_count) { return (width * bit_count + 31) / 32 * 4; }

int QVSaveBmp(const CString& path, void* bits, LONG height, LONG width, LONG bit_count, int aligned) {
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  if (!bits || width <= 0 || rows == 0 || bit_count <= 0 || bit_count > 64) return E_FAIL;
  const std::int64_t row_size = DibRowSize(width, bit_count);
  // The sizes must fit the headers' 32-bit fields.
  constexpr std::int64_t kMaxImage = std::numeric_limits<DWORD>::max() - static_cast<std::int64_t>(kHeadersSize);
  if (row_size > kMaxImage / rows) return E_FAIL;
  const std::int64_t image_size = row_size * rows;

  BITMAPINFOHEADER info{};
  info.biSize = kInfoHeaderSize;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = static_cast<WORD>(bit_count);
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(image_size);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfSize = static_cast<DWORD>(image_size + kHeadersSize);
  file.bfOffBits = kHeadersSize;
  // Rows that need no padding are the same bytes either way.
  const std::int64_t packed_row = static_cast<std::int64_t>(width) * bit_count / 8;
  if (!aligned && image_size == packed_row * rows) aligned = 1;

  const std::string native = qvp::ToNativePath(path.GetString());
  const int fd = qvp::Ops().open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return E_FAIL;
  FileCloser closer(fd);
  std::uint8_t headers[kHeadersSize];
  std::memcpy(headers, &file, kFileHeaderSize);
  std::memcpy(headers + kFileHeaderSize, &info, kInfoHeaderSize);
  if (!WriteFull(fd, headers, kHeadersSize)) return E_FAIL;
  if (aligned) {
    if (!WriteFull(fd, bits, static_cast<std::size_t>(image_size))) return E_FAIL;
  } else {
    // Padded rows are gathered into blocks of about 1 MiB so that a large
    // picture costs a few writes, not two per row.
    const auto src_row = static_cast<std::size_t>(packed_row), dst_row = static_cast<std::size_t>(row_size);
    const std::size_t per_block = std::max<std::size_t>(1, (1u << 20) / dst_row);
    std::vector<std::uint8_t> block(per_block * dst_row, 0);
    const auto* in = static_cast<const std::uint8_t*>(bits);
    for (std::size_t y = 0; y < static_cast<std::size_t>(rows);) {
      const std::size_t n = std::min(per_block, static_cast<std::size_t>(rows) - y);
      for (std::size_t i = 0; i < n; ++i) std::memcpy(block.data() + i * dst_row, in + (y + i) * src_row, src_row);
      if (!WriteFull(fd, block.data(), n * dst_row)) return E_FAIL;
      y += n;
    }
  }
  if (qvp::Ops().close(closer.Release()) != 0) return E_FAIL;
  return S_OK;
}

namespace detail {

LoadStatus LoadBmp(LPCWSTR path, unsigned char*& bits, BITMAPINFOHEADER& header) {
  bits = nullptr;
  if (!path) return {false, "no path given"};
  const std::string native = qvp::ToNativePath(path);
  struct stat st {};
  const qvp::FileOps& ops = qvp::Ops();
  if (ops.stat(native.c_str(), &st) != 0) return {false, "no such file"};
  const int fd = ops.open(native.c_str(), O_RDONLY, 0);
  if (fd < 0) return {false, std::string("cannot open: ") + std::strerror(errno)};
  FileCloser closer(fd);
  if (ops.fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {false, "not a regular file"};
  const auto file_size = static_cast<std::uint64_t>(st.st_size);

  std::uint8_t headers[kHeadersSize + kMaskBytes];
  if (!ReadFull(fd, headers, kHeadersSize))
    return {false, Text("truncated header: the file has %lld bytes, the headers need 54", st.st_size)};
  BITMAPFILEHEADER file;
  std::memcpy(&file, headers, kFileHeaderSize);
  std::memcpy(&header, headers + kFileHeaderSize, kInfoHeaderSize);

  // A top-down picture is reported with a positive height; its rows stay in
  // file order.
  if (header.biWidth == std::numeric_limits<LONG>::min() || header.biHeight == std::numeric_limits<LONG>::min())
    return {false, Text("dimension out of range: %lld x %lld", header.biWidth, header.biHeight)};
  header.biWidth = std::abs(header.biWidth);
  header.biHeight = std::abs(header.biHeight);
  const std::int64_t width = header.biWidth, height = header.biHeight, depth = header.biBitCount;
  if (width == 0 || height == 0 || width > kMaxBmpSide || height > kMaxBmpSide)
    return {false, Text("dimension out of range: %lld x %lld (1 to 32767 allowed)", width, height)};
  if (depth == 0 || depth > 32) return {false, Text("unsupported bit count %lld", depth)};
  const std::int64_t pixel_bytes = width * height * 4;
  if (pixel_bytes > kMaxBmpPixelBytes)
    return {false, Text("picture too large: %lld x %lld pixels", width, height)};
  const std::int64_t row_size = DibRowSize(width, depth);
  const std::int64_t data_size = row_size * height;  // <= pixel_bytes since depth <= 32

  std::size_t consumed = kHeadersSize;
  DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (depth == 16 && header.biCompression == BI_BITFIELDS) {
    if (!ReadFull(fd, headers + kHeadersSize, kMaskBytes))
      return {false, "truncated: the colour masks are missing"};
    std::memcpy(masks, headers + kHeadersSize, kMaskBytes);
    consumed += kMaskBytes;
  }
  // Where the rows start: the data offset for 16-bit pictures, right after
  // the info header for all others.
  const std::uint64_t offset = depth == 16 ? file.bfOffBits : kHeadersSize;
  if (offset > file_size)
    return {false, Text("data offset %lld lies past the end of the file (%lld bytes)",
                        static_cast<long long>(offset), st.st_size)};
  if (static_cast<std::uint64_t>(data_size) > file_size - offset)
    return {false, Text("truncated pixel data: %lld bytes of rows needed, %lld in the file",
                        data_size, static_cast<long long>(file_size - offset))};

  auto* buffer = new (std::nothrow) unsigned char[static_cast<std::size_t>(pixel_bytes)];
  if (!buffer) {
    QV_Trace0Ex2(u"ZORerer", u"QVLoadBmp", kTraceLevelFailure, 110040001, u"QVLoadBmp发生异常");
    return {false, "out of memory"};
  }
  std::size_t filled = 0;
  // A data offset inside the bytes already read (a seek backwards) takes
  // those bytes from the copy kept in memory.
  if (offset < consumed) {
    filled = std::min<std::size_t>(consumed - static_cast<std::size_t>(offset), static_cast<std::size_t>(data_size));
    std::memcpy(buffer, headers + offset, filled);
  } else {
    std::uint8_t skip[4096];
    for (std::uint64_t gap = offset - consumed; gap > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(gap, sizeof skip));
      if (!ReadFull(fd, skip, n)) {
        delete[] buffer;
        return {false, "read failed before the pixel data"};
      }
      gap -= n;
    }
  }
  if (!ReadFull(fd, buffer + filled, static_cast<std::size_t>(data_size) - filled)) {
    delete[] buffer;
    return {false, "read failed in the pixel data"};
  }
  if (depth == 16) {
    Widen16(buffer, static_cast<std::size_t>(width), static_cast<std::size_t>(height),
            static_cast<std::size_t>(row_size), masks);
    header.biBitCount = 32;
    header.biSizeImage = static_cast<DWORD>(pixel_bytes);
  }
  bits = buffer;
  return {true, {}};
}

}  // namespace detail

int QVLoadBmpChecked(LPCWSTR path, unsigned char*& bits, BITMAPINFOHEADER& header, CString& problem) {
  const detail::LoadStatus status = detail::LoadBmp(path, bits, header);
  problem = status.ok ? CString() : CString(status.problem);
  return status.ok ? 1 : 0;
}

int QVLoadBmp(LPCWSTR path, unsigned char*& bits, BITMAPINFOHEADER& header) {
  return detail::LoadBmp(path, bits, header).ok ? 1 : 0;
}

int QVLoadIcon(LPCWSTR path, unsigned char*& bits, BITMAPINFOHEADER& header) { return QVLoadBmp(path, bits, header); }

tagQVThumbnail* QVGetThumbnailFromBitmap(LPCWSTR path, LPCWSTR fallback) {
  const auto exists = [](LPCWSTR p) {
    struct stat st {};
    return p && qvp::Ops().stat(qvp::ToNativePath(p).c_str(), &st) == 0;
  };
  LPCWSTR chosen = path;
  if (!exists(path)) {
    if (!fallback) return nullptr;
    if (exists(fallback)) chosen = fallback;
  }
  auto* picture = new (std::nothrow) tagQVThumbnail;
  if (!picture) return nullptr;
  BITMAPINFOHEADER header{};
  unsigned char* bits = nullptr;
  if (!QVLoadIcon(chosen, bits, header)) {
    delete picture;
    return nullptr;
  }
  picture->pBits = bits;
  picture->nWidth = header.biWidth;
  picture->nHeight = header.biHeight;
  picture->wBitCount = header.biBitCount;
  return picture;
}

}  // namespace qv_commonclass
