// Internal to the media timing code: the standards table and the cached
// default frame rate, reachable without a call through the exported entry
// points (the time code conversions run in tight loops).
#pragma once

#include <atomic>

#include "qv_commonclass/media.h"

namespace qv_commonclass::media_detail {

struct StandardRow {
  double rate;          // nominal rate, as the clients show it
  double timecodeRate;  // rate that time code is counted in
  UINT height;
  UINT width;
};

// The time code rates were kept as float in the product; widening them keeps
// the frame numbering of existing time code (107891 frames per hour at
// "29.97", not 107892).
inline constexpr double kTc2997 = static_cast<double>(29.97f);
inline constexpr double kTc5994 = static_cast<double>(59.94f);
inline constexpr double kTc2398 = static_cast<double>(23.98f);

inline constexpr StandardRow RowOf(LONGLONG standard) noexcept {
  switch (standard) {
    case 0x2: return {29.97, kTc2997, 480, 720};
    case 0x4: return {30.0, 30.0, 480, 720};
    case 0x10: return {25.0, 25.0, 1080, 1920};
    case 0x20: return {29.97, kTc2997, 1080, 1920};
    case 0x40: return {30.0, 30.0, 1080, 1920};
    case 0x80: return {30.0, kTc2398, 1080, 1920};
    case 0x100: return {24.0, 24.0, 1080, 1920};
    case 0x200: return {25.0, 25.0, 1080, 1920};
    case 0x400: return {29.97, kTc2997, 1080, 1920};
    case 0x800: return {30.0, 30.0, 1080, 1920};
    case 0x1000: return {30.0, kTc2398, 720, 1280};
    case 0x2000: return {24.0, 24.0, 720, 1280};
    case 0x4000: return {50.0, 50.0, 720, 1280};
    case 0x8000: return {59.94, kTc5994, 720, 1280};
    case 0x10000: return {25.0, 25.0, 1080, 1440};
    case 0x20000: return {29.97, kTc2997, 1080, 1440};
    case 0x40000: return {30.0, 30.0, 1080, 1440};
    default: return {25.0, 25.0, 576, 720};  // standard definition, 625 lines
  }
}

// -1 until the first read. Atomic only so that two first calls racing on it
// are well-defined; both then store the same value.
extern std::atomic<double> g_defaultFrameRate;

// The rate that a time code conversion of `standard` counts in.
inline double TimeCodeRate(emQVVideoStandard standard) {
  if (standard != 0) return RowOf(standard).timecodeRate;
  const double cached = g_defaultFrameRate.load(std::memory_order_relaxed);
  return cached > 0 ? cached : QVGetMediaDefaultFrameRate();
}

}  // namespace qv_commonclass::media_detail
