// Media timing: video standards, frame rates and time code.
#pragma once

#include <cstdint>

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// ---- Video standards -------------------------------------------------------

// The product's video standards. Every value is a single bit; the numeric
// values are fixed by the product's data (database rows, list files, drag
// data). A value that is none of the rows below (0, QV_VIDEOSTANDARD_PAL,
// QV_VIDEOSTANDARD_SECAM, several bits, higher bits) is treated as standard
// definition 625 lines: 25 frames per second, 720 x 576. In the time code
// operations 0 means "use the installation's default frame rate".
enum emQVVideoStandard : std::int32_t {
  QV_VIDEOSTANDARD_DEFAULT = 0,
  QV_VIDEOSTANDARD_PAL = 0x1,            // 720 x 576, 25
  QV_VIDEOSTANDARD_NTSC = 0x2,           // 720 x 480, 29.97
  QV_VIDEOSTANDARD_NTSC_30 = 0x4,        // 720 x 480, 30
  QV_VIDEOSTANDARD_SECAM = 0x8,          // 720 x 576, 25
  QV_VIDEOSTANDARD_1080I_50 = 0x10,      // 1920 x 1080, 25
  QV_VIDEOSTANDARD_1080I_5994 = 0x20,    // 1920 x 1080, 29.97
  QV_VIDEOSTANDARD_1080I_60 = 0x40,      // 1920 x 1080, 30
  QV_VIDEOSTANDARD_1080P_2398 = 0x80,    // 1920 x 1080, 23.98 (time code)
  QV_VIDEOSTANDARD_1080P_24 = 0x100,     // 1920 x 1080, 24
  QV_VIDEOSTANDARD_1080P_25 = 0x200,     // 1920 x 1080, 25
  QV_VIDEOSTANDARD_1080P_2997 = 0x400,   // 1920 x 1080, 29.97
  QV_VIDEOSTANDARD_1080P_30 = 0x800,     // 1920 x 1080, 30
  QV_VIDEOSTANDARD_720P_2398 = 0x1000,   // 1280 x 720, 23.98 (time code)
  QV_VIDEOSTANDARD_720P_24 = 0x2000,     // 1280 x 720, 24
  QV_VIDEOSTANDARD_720P_50 = 0x4000,     // 1280 x 720, 50
  QV_VIDEOSTANDARD_720P_5994 = 0x8000,   // 1280 x 720, 59.94
  QV_VIDEOSTANDARD_1440I_50 = 0x10000,   // 1440 x 1080, 25
  QV_VIDEOSTANDARD_1440I_5994 = 0x20000, // 1440 x 1080, 29.97
  QV_VIDEOSTANDARD_1440I_60 = 0x40000,   // 1440 x 1080, 30
};

// The nominal frame rate of a standard: 29.97 and 59.94 as written (double),
// 30 for both 23.98 standards (0x80 and 0x1000), 25 for an unknown value.
QV_API double QV_GetFromVideoStandardToFrameRate(const emQVVideoStandard& standard);

// Lines of a frame of the standard (480, 576, 720 or 1080); 576 when unknown.
QV_API UINT QV_GetSysVideoHeight(const emQVVideoStandard& standard);

// Pixels of a line of the standard (720, 1280, 1440 or 1920); 720 when unknown.
QV_API UINT QV_GetSysVideoWidth(const emQVVideoStandard& standard);

// The frame rate that time code of the standard is counted in. These are
// single-precision values widened to double (29.969999313354492,
// 59.939998626708984, 23.979999542236328) and the numbering of stored time
// code depends on them, so they are deliberately not the exact decimals.
// Any value that is not a table row, negative values included, gives 25.
QV_API double GetTimeCodeFrameRate(LONGLONG standard);

// ---- Frame rates -------------------------------------------------------------

// 1 when 23.0 < rate < 61.0 (both bounds excluded), else 0 (NaN included).
QV_API int QV_IsFrameRateValid(double rate);

// The installation's default frame rate. Read once per process from the
// configuration store ("ADVANCE"/"DefaultFrameRate", hundredths of a frame
// per second, default 2500 written back with its comment when missing).
// A stored 0 reads as 2500; a result outside the valid range gives 25.0 for
// this process without touching the file. Later changes to the file are not
// seen. Never fails.
QV_API double QVGetMediaDefaultFrameRate();

// Makes `rate` the default frame rate of this process and stores it rounded
// to hundredths (29.97 -> 2997, 23.976 -> 2398) without a comment. Returns 0
// and changes nothing when the rate is not valid (QV_IsFrameRateValid); 1
// otherwise. A rate within 0.0005 of the current one writes nothing.
QV_API int QVSetMediaDefaultFrameRate(double rate);

// ---- Media format record -----------------------------------------------------

// A media format as the clients describe it. Only the members below are read
// by the library; the three format codes are the clients' own and must merely
// be non-zero.
struct stu_QVMediaFormatDef {
  LONG lFormatCode1 = 0;
  LONG lFormatCode2 = 0;
  LONG lFormatCode3 = 0;
  UINT uWidth = 0;   // pixels
  UINT uHeight = 0;  // lines
  emQVVideoStandard emVideoStandard = QV_VIDEOSTANDARD_DEFAULT;
  double dFrameRate = 0.0;  // frames per second
};

// 1 when the three format codes, the width and the height are non-zero, the
// frame rate is valid (QV_IsFrameRateValid) and the width and height are
// those of the record's video standard; else 0. The frame rate is not
// compared with the standard's rate.
QV_API int QVCheckMediaFormatValid(const stu_QVMediaFormatDef& format);

// ---- Time code ---------------------------------------------------------------

// The time code text of frame `frames`: "HH:MM:SS:FF", or "HH:MM.SS:FF" (full
// stop between minutes and seconds) for the drop-frame numbering of rates
// between 29 and 30. Standard 0 uses QVGetMediaDefaultFrameRate(). Hours
// wrap at 24, except that exactly 24 hours reads "24:00:00:00" at non-drop
// rates. Negative counts are outside the contract: their fields wrap as
// 16-bit unsigned numbers (or, at the exact 30000/1001 rate, the count is
// read as unsigned) and the text shows those values.
QV_API CString QV_GetStringFromTimeCode(LONG frames, emQVVideoStandard standard);

// The frame number of time code text. The text is read by position: hours at
// characters 0-1, minutes 3-4, seconds 6-7, frames 9-10; the separators are
// not looked at. Each field reads like the C runtime's integer conversion
// (leading blanks, a sign, digits up to the first non-digit). Returns 0 for
// a null or short (under 11 characters) text and for a field out of range
// (hours > 99, minutes or seconds > 59, frames >= the rounded-up rate), which
// cannot be told from "00:00:00:00". A dropped frame number (:00 or :01 at
// the start of a minute that is not a tenth one, at rates between 29 and 30)
// reads as the first existing frame of that minute. Standard 0 uses
// QVGetMediaDefaultFrameRate(). Never raises.
QV_API LONG QV_FromStringToTimeCode(const char16_t* text, emQVVideoStandard standard);

}  // namespace qv_commonclass
