// Unit and code rules of the clip record conversions (not exported; the
// tests pin them directly).
#pragma once

#include <cmath>
#include <cstdint>

#include "qv_commonclass/media.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass::clip_units {

// Hundredths of a frame per second as the conversions count them: the
// integer part of rate x 100 + 0.5 (2500 at 25, 2997 at both forms of 29.97,
// 5994 at 59.94).
inline std::int64_t RateHundredths(double fps) noexcept {
  const double p = fps * 100.0 + 0.5;
  // A rate no standard has (NaN, zero, negative or absurd) cannot come from
  // the rate tables; 25 keeps the arithmetic defined.
  if (!(p >= 1.0 && p < 1e9)) return 2500;
  return static_cast<std::int64_t>(p);
}

// FramesToHns: frames to 100-nanosecond units, ((frames x 10^7) / P) x 100
// with a truncating division (one frame at 25 is 400,000; at 29.97 it is
// 333,600).
inline std::int64_t FramesToHns(std::int64_t frames, double fps) noexcept {
  // |frames| stays below 2^34 for every caller (sums of three 32-bit
  // values), so frames x 10^7 fits in 64 bits.
  return frames * 10000000 / RateHundredths(fps) * 100;
}

// HnsToFrames: 100-nanosecond units to frames, the integer part of
// frames + 0.5 (whole seconds and the remainder kept apart so that large
// values keep their precision). The integer part truncates toward zero, so a
// non-negative position comes back as the nearest frame, halves up, while a
// negative one comes back one frame nearer zero than its nearest frame. A
// result outside the 32-bit range gives the "integer indefinite" 0x80000000
// that the processor's conversion gives.
inline LONG HnsToFrames(std::int64_t units, double fps) noexcept {
  const std::int64_t s = units / 10000000;
  const std::int64_t r = units - s * 10000000;
  const double frames =
      (static_cast<double>(s) + static_cast<double>(r) / 10000000.0) * static_cast<double>(RateHundredths(fps)) / 100.0 +
      0.5;
  const double whole = std::trunc(frames);
  if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) return INT32_MIN;
  return static_cast<LONG>(whole);
}

// StandardFromFps: the first of 25 -> 0x1, 29.97 -> 0x2, 30 -> 0x4,
// 23.98 -> 0x80, 24 -> 0x100, 50 -> 0x4000 within 1e-8 (inclusive); any
// other rate, 59.94 and the single-precision 29.97 of the time code table
// among them, gives 0x1.
inline emQVVideoStandard StandardFromFps(double fps) noexcept {
  static constexpr struct {
    double fps;
    emQVVideoStandard standard;
  } kRates[] = {{25, QV_VIDEOSTANDARD_PAL},          {29.97, QV_VIDEOSTANDARD_NTSC},
                {30, QV_VIDEOSTANDARD_NTSC_30},      {23.98, QV_VIDEOSTANDARD_1080P_2398},
                {24, QV_VIDEOSTANDARD_1080P_24},     {50, QV_VIDEOSTANDARD_720P_50}};
  for (const auto& r : kRates)
    if (std::fabs(r.fps - fps) <= 1e-8) return r.standard;
  return QV_VIDEOSTANDARD_PAL;
}

// FileIndexToClipType: 0 -> 0x1, k (1 to 8) -> 1 << k, 9 -> 0x80000, any
// other index -> 0. The inverse of QVClipTypeToFileIndex.
inline LONG FileIndexToClipType(LONG index) noexcept {
  if (index >= 0 && index <= 8) return LONG{1} << index;
  return index == 9 ? 0x80000 : 0;
}

// ClipFrameRate: the time code rate of `standard`, or the installation's
// default rate for standard 0.
inline double ClipFrameRate(emQVVideoStandard standard) noexcept {
  return standard != QV_VIDEOSTANDARD_DEFAULT ? GetTimeCodeFrameRate(standard) : QVGetMediaDefaultFrameRate();
}

}  // namespace qv_commonclass::clip_units
