// Internals of the bitmap functions shared by their sources and tests.
#pragma once

#include <cstdint>
#include <string>

#include "qv_platform/gdi.h"

namespace qv_commonclass {

// Limits of the loader: a side of at most 32767 pixels (what the device
// context accepts) and at most 512 MiB of decoded 32-bit pixels.
inline constexpr std::int64_t kMaxBmpSide = 32767;
inline constexpr std::int64_t kMaxBmpPixelBytes = std::int64_t{512} << 20;

// DibRowSize: bytes of one row padded to 4 bytes.
std::int64_t DibRowSize(std::int64_t width, std::int64_t bit_count);

namespace detail {

// The outcome of a load, with what was wrong in words.
struct LoadStatus {
  bool ok = false;
  std::string problem;
};

LoadStatus LoadBmp(const char16_t* path, unsigned char*& bits, BITMAPINFOHEADER& header);

}  // namespace detail
}  // namespace qv_commonclass
