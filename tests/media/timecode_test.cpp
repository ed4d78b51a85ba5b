#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "media/media_test_util.h"
#include "qv_commonclass/media.h"

using namespace qv_commonclass;

namespace {

constexpr auto kPal = QV_VIDEOSTANDARD_1080I_50;  // 25
constexpr auto kNtsc30 = QV_VIDEOSTANDARD_NTSC_30;
constexpr auto kNtsc = QV_VIDEOSTANDARD_NTSC;  // 29.97 as a float
constexpr auto kFilm = QV_VIDEOSTANDARD_1080P_24;
constexpr auto k5994 = QV_VIDEOSTANDARD_720P_5994;
constexpr auto k50 = QV_VIDEOSTANDARD_720P_50;
constexpr auto kDefault = QV_VIDEOSTANDARD_DEFAULT;

// Makes `rate` the process's default rate. A rate within 0.0005 of the
// current one would be ignored (29.97 and 30000/1001 are that close), so
// step through another rate first.
// The settings file is put back when the test program ends.
void UseDefaultRate(double rate) {
  static qvtest::IniRestore restore;
  ASSERT_EQ(QVSetMediaDefaultFrameRate(50.0), 1);
  ASSERT_EQ(QVSetMediaDefaultFrameRate(rate), 1);
  ASSERT_EQ(QVGetMediaDefaultFrameRate(), rate);
}

std::string Text(LONG frames, emQVVideoStandard s) { return QV_GetStringFromTimeCode(frames, s).ToUtf8(); }
LONG Frames(const char16_t* text, emQVVideoStandard s) { return QV_FromStringToTimeCode(text, s); }

// `default_rate` (when not 0) is made the process's default rate first.
void ExpectRoundTrip(emQVVideoStandard standard, LONG frames_per_day, double default_rate = 0) {
  if (default_rate != 0) UseDefaultRate(default_rate);
  LONG n = 0;
  while (n < frames_per_day && QV_FromStringToTimeCode(QV_GetStringFromTimeCode(n, standard), standard) == n) ++n;
  EXPECT_EQ(n, frames_per_day) << "first frame lost: " << QV_GetStringFromTimeCode(n, standard);
}

}  // namespace

TEST(TimeCode, FixedRatesToText) {
  const std::tuple<emQVVideoStandard, LONG, const char*> cases[] = {
      {kPal, 0, "00:00:00:00"},         {kPal, 1800, "00:01:12:00"},      {kPal, 90000, "01:00:00:00"},
      {kPal, 2159999, "23:59:59:24"},   {kPal, 2160000, "24:00:00:00"},   {kPal, 2160001, "24:00:00:01"},
      {kPal, 2250000, "01:00:00:00"},   {kNtsc30, 1800, "00:01:00:00"},   {kFilm, 1439, "00:00:59:23"},
      {kFilm, 1440, "00:01:00:00"},     {k5994, 3597, "00:00:59:57"},     {k5994, 3598, "00:01:00:02"},
      {kNtsc, 1800, "00:01.00:02"},     {kNtsc, 17981, "00:10.00:00"},    {kNtsc, 1799, "00:00.59:29"},
      // At the float rate the hour has 107891 frames but the division by
      // 3600 x rate still says hour 0: the last frames show minute 60.
      {kNtsc, 107886, "00:60.00:00"},   {kNtsc, 107891, "00:00.00:00"},   {kNtsc, 215782, "01:00.00:00"},
      {QV_VIDEOSTANDARD_1080P_2398, 1438, "00:00:59:22"}, {QV_VIDEOSTANDARD_1080P_2398, 1440, "00:01:00:02"},
      // Unknown standards count at 25.
      {static_cast<emQVVideoStandard>(0x8), 1800, "00:01:12:00"},
      {static_cast<emQVVideoStandard>(0x80000), 90000, "01:00:00:00"},
      {static_cast<emQVVideoStandard>(-2), 25, "00:00:01:00"},
  };
  for (const auto& [standard, frames, text] : cases)
    EXPECT_EQ(Text(frames, standard), text) << standard << " " << frames;
}

TEST(TimeCode, FixedRatesFromText) {
  const std::tuple<emQVVideoStandard, const char16_t*, LONG> cases[] = {
      {kPal, u"01:00:00:00", 90000},     {kPal, u"00:00:59:25", 0},        {kPal, u"00:00:59:24", 1499},
      {kNtsc30, u"99:59:59:29", 10799999}, {kFilm, u"00:01:00:00", 1440},  {kNtsc, u"00:10:00:00", 17981},
      {kNtsc, u"00:01:00:01", 1800},
      // 59.94 skips frame numbers 0 and 1 when writing but does not move them when reading.
      {k5994, u"00:01:00:02", 3598},     {k5994, u"00:01:00:00", 3596},
      // Fields are read by position; separators are never looked at.
      {kPal, u"00-01.02x03", 1553},      {kPal, u"0a:1b:2c:3d", 1553},     {kPal, u"01:00:00:00 and more", 90000},
      // Each field reads like the runtime's integer conversion of its two characters.
      {kPal, u" 1: 2: 3: 4", 90000 + 3000 + 75 + 4}, {kPal, u"+1:00:00:00", 90000},
      {kPal, u"０１:００:００:００", 90000},  // full-width digits
      {kPal, u"ab:cd:ef:gh", 0},
      // Out of range or too short: 0.
      {kPal, u"-1:00:00:00", 0},         {kPal, u"00:60:00:00", 0},        {kPal, u"00:00:60:00", 0},
      {kPal, u"00:00:00:-1", 0},         {kPal, u"00:00:00:0", 0},         {kPal, u"", 0},
  };
  for (const auto& [standard, text, frames] : cases)
    EXPECT_EQ(Frames(text, standard), frames) << CString(text) << " at " << standard;
  EXPECT_EQ(Frames(nullptr, kPal), 0);
}

// 29.97 (what a stored 2997 gives) and the exact 30000/1001 both count with
// the drop-frame constants of the general reading.
TEST(TimeCode, DefaultDropFrameRates) {
  for (double rate : {29.97, 30000.0 / 1001.0}) {
    UseDefaultRate(rate);
    const std::pair<LONG, const char*> to[] = {
        {1799, "00:00.59:29"}, {1800, "00:01.00:02"}, {17982, "00:10.00:00"}, {107892, "01:00.00:00"}};
    for (const auto& [frames, text] : to) EXPECT_EQ(Text(frames, kDefault), text) << rate << " " << frames;
    // Tenth minutes keep frames 0 and 1.
    const std::pair<const char16_t*, LONG> from[] = {
        {u"00:01:00:00", 1800}, {u"00:01:00:01", 1800}, {u"00:10:00:00", 17982}, {u"00:10:00:01", 17983}};
    for (const auto& [text, frames] : from) EXPECT_EQ(Frames(text, kDefault), frames) << rate << " " << CString(text);
  }
  EXPECT_EQ(Text(2589408, kDefault), "00:00.00:00");  // a whole day wraps
  EXPECT_EQ(Text(-1, kDefault), "16:01.25:11");       // read as unsigned
}

// Every frame of a day survives text and back, at each rate the product
// uses for whole days.
TEST(TimeCodeRoundTrip, Fps24) { ExpectRoundTrip(kFilm, 24 * 86400); }
TEST(TimeCodeRoundTrip, Fps25) { ExpectRoundTrip(kPal, 25 * 86400); }
TEST(TimeCodeRoundTrip, Fps30) { ExpectRoundTrip(kNtsc30, 30 * 86400); }
TEST(TimeCodeRoundTrip, Fps50) { ExpectRoundTrip(k50, 50 * 86400); }
TEST(TimeCodeRoundTrip, DefaultRate2997) { ExpectRoundTrip(kDefault, 107892 * 24, 29.97); }
TEST(TimeCodeRoundTrip, ExactDropFrame) { ExpectRoundTrip(kDefault, 107892 * 24, 30000.0 / 1001.0); }
