// Unit and code rules of the clip record conversions (not exported; the
// tests pin them directly).
#pragma once

#include <cstdint>

#include "qv_commonclass/media.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass::clip_units {

// Hundredths of a frame per second as the conversions count them: the
// integer part of rate x 100 + 0.5 (2500 at 25, 2997 at both forms of 29.97,
// 5994 at 59.94).
std::int64_t RateHundredths(double fps) noexcept;

// FramesToHns: frames to 100-nanosecond units, ((frames x 10^7) / P) x 100
// with a truncating division (one frame at 25 is 400,000; at 29.97 it is
// 333,600).
std::int64_t FramesToHns(std::int64_t frames, double fps) noexcept;

// HnsToFrames: 100-nanosecond units to frames, the nearest frame with halves
// rounded up (whole seconds and the remainder kept apart so that large values
// keep their precision). A result outside the 32-bit range gives the
// "integer indefinite" 0x80000000 that the processor's conversion gives.
LONG HnsToFrames(std::int64_t units, double fps) noexcept;

// StandardFromFps: the first of 25 -> 0x1, 29.97 -> 0x2, 30 -> 0x4,
// 23.98 -> 0x80, 24 -> 0x100, 50 -> 0x4000, 59.94 -> 0x8000 within 1e-8
// (inclusive); any other rate gives 0x1.
emQVVideoStandard StandardFromFps(double fps) noexcept;

// FileIndexToClipType: 0 -> 0x1, k (1 to 8) -> 1 << k, 9 -> 0x80000, any
// other index -> 0. The inverse of QVClipTypeToFileIndex.
LONG FileIndexToClipType(LONG index) noexcept;

// ClipFrameRate: the time code rate of `standard`, or the installation's
// default rate for standard 0.
double ClipFrameRate(emQVVideoStandard standard) noexcept;

}  // namespace qv_commonclass::clip_units
