// Time code text: frame counts to "HH:MM:SS:FF" (drop-frame "HH:MM.SS:FF")
// and back. The arithmetic mirrors the product's long-standing numbering
// exactly, including its mixed float/integer steps, because stored lists and
// clients compare these texts and counts; the text is written by hand into a
// fixed buffer since both directions run in tight loops over whole lists.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "media/media_internal.h"
#include "qv_commonclass/media.h"
#include "qv_platform/crt.h"

namespace qv_commonclass {

namespace {

// Truncation toward zero to a 32-bit integer. Every product passed here is at
// most 3600 x 61 (the rate is always a validated one).
inline int Trunc(double x) { return static_cast<int>(x); }

// Appends v (0 to 65535) as "%02d" would.
inline char16_t* Put02(char16_t* out, unsigned v) {
  if (v < 100) {
    out[0] = static_cast<char16_t>(u'0' + v / 10);
    out[1] = static_cast<char16_t>(u'0' + v % 10);
    return out + 2;
  }
  char16_t tmp[5];
  int n = 0;
  while (v) {
    tmp[n++] = static_cast<char16_t>(u'0' + v % 10);
    v /= 10;
  }
  while (n) *out++ = tmp[--n];
  return out;
}

// "%02d:%02d<sep>%02d:%02d"
inline CString MakeText(unsigned h, unsigned m, unsigned s, unsigned f, char16_t sep) {
  char16_t buf[24];
  char16_t* p = Put02(buf, h);
  *p++ = u':';
  p = Put02(p, m);
  *p++ = sep;
  p = Put02(p, s);
  *p++ = u':';
  p = Put02(p, f);
  return CString(std::u16string_view(buf, static_cast<std::size_t>(p - buf)));
}

// One two-character field read like the runtime's _wtoi on those two
// characters alone (the one conversion engine, so full-width and other
// scripts' digits count as they do there).
inline int FieldValue(const char16_t* p) {
  const auto r = qvp::ParseWideInteger(std::u16string_view(p, 2), 10, 99);
  return r.negative ? -static_cast<int>(r.magnitude) : static_cast<int>(r.magnitude);
}

// Fast path for the usual two ASCII digits; anything else takes the
// runtime's reading above.
inline std::uint16_t Field(const char16_t* p) {
  const unsigned a = static_cast<unsigned>(p[0]) - u'0', b = static_cast<unsigned>(p[1]) - u'0';
  if (a < 10 && b < 10) return static_cast<std::uint16_t>(a * 10 + b);
  return static_cast<std::uint16_t>(FieldValue(p));
}

// The numbering of the exact 30000/1001 rate: 107892 frames an hour, 17982
// every ten minutes, and in each minute but every tenth the frame numbers 0
// and 1 do not exist.
CString ExactDropFrameText(std::uint32_t n) {
  const std::uint32_t h = n / 107892;
  std::uint32_t r = n % 107892;
  std::uint32_t m = (r / 17982) * 10;
  r %= 17982;
  if (r >= 1800) {
    r -= 1800;
    m += r / 1798 + 1;
    r = r % 1798 + 2;
  }
  return MakeText(h % 24, m, r / 30, r % 30, u'.');
}

}  // namespace

CString QV_GetStringFromTimeCode(LONG frames, emQVVideoStandard standard) {
  const double R = media_detail::TimeCodeRate(standard);
  if (R > 29.97 && R < 29.98) return ExactDropFrameText(static_cast<std::uint32_t>(frames));

  const int n = frames;
  int r = n % Trunc(3600 * R);
  const auto hours = static_cast<std::uint16_t>(Trunc(n / (3600 * R)));
  const int perTenMinutes = Trunc(600 * R);
  const int tens = r / perTenMinutes;
  r %= perTenMinutes;
  const int perMinute = Trunc(60 * R);
  // At fractional rates the first two frame numbers of each minute but every
  // tenth are skipped.
  const int units = (R == std::floor(R)) ? r / perMinute : (r - 2) / perMinute;
  const auto minutes = static_cast<std::uint16_t>(tens * 10 + units);
  r -= perMinute * units;
  const int perSecond = Trunc(std::ceil(R));
  const auto seconds = static_cast<std::uint16_t>(r / perSecond);
  const auto frameNo = static_cast<std::uint16_t>(r % perSecond);

  if (R > 29.0 && R < 30.0) return MakeText(hours % 24u, minutes, seconds, frameNo, u'.');
  // Exactly 24 hours shows as such (the end of a full day), later days wrap.
  return MakeText(hours == 24 ? 24u : hours % 24u, minutes, seconds, frameNo, u':');
}

LONG QV_FromStringToTimeCode(const char16_t* text, emQVVideoStandard standard) {
  const double R = media_detail::TimeCodeRate(standard);
  if (!text) return 0;
  for (int i = 0; i < 11; ++i)
    if (text[i] == 0) return 0;

  const std::uint16_t hours = Field(text);
  const std::uint16_t minutes = Field(text + 3);
  const std::uint16_t seconds = Field(text + 6);
  std::uint16_t frameNo = Field(text + 9);
  const double perSecond = std::ceil(R);
  if (hours > 99 || minutes > 59 || seconds > 59 || frameNo >= Trunc(perSecond)) return 0;
  // A frame number that the drop-frame numbering skips reads as the first
  // existing frame of that minute.
  if (R > 29.0 && R < 30.0 && minutes % 10 != 0 && seconds == 0 && frameNo <= 1) frameNo = 2;

  const int base = Trunc(3600 * R) * hours + Trunc(600 * R) * (minutes / 10) + Trunc(60 * R) * (minutes % 10);
  return Trunc(base + perSecond * seconds + frameNo);
}

}  // namespace qv_commonclass
