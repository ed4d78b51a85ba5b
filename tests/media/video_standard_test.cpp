#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <tuple>

#include "qv_commonclass/media.h"
#include "qv_platform/codepage.h"
#include "media/media_test_util.h"

using namespace qv_commonclass;

namespace {

using qvtest::kIni;

// The settings file is in the ANSI code page; these take and give UTF-8.
void WriteIni(const std::string& content) {
  std::ofstream(kIni, std::ios::binary | std::ios::trunc) << qvp::FromWide(CString(content).str());
}

// The "DefaultFrameRate" line of the INI file, or "" when it has none.
std::string FrameRateLine() {
  const std::string ini = CString(qvp::ToWide(qvtest::IniBytes().value_or(""))).ToUtf8();
  std::smatch line;
  return std::regex_search(ini, line, std::regex("(^|\n)(DefaultFrameRate=[^\r\n]*)")) ? line[2].str() : "";
}

emQVVideoStandard S(std::int32_t v) { return static_cast<emQVVideoStandard>(v); }

}  // namespace

TEST(VideoStandard, Tables) {
  // Standard, rate, time code rate, height, width.
  const std::tuple<std::int32_t, double, double, UINT, UINT> rows[] = {
      {0x2, 29.97, 29.969999313354492, 480, 720},       {0x4, 30, 30, 480, 720},
      {0x10, 25, 25, 1080, 1920},                       {0x80, 30, 23.979999542236328, 1080, 1920},
      {0x1000, 30, 23.979999542236328, 720, 1280},      {0x4000, 50, 50, 720, 1280},
      {0x8000, 59.94, 59.939998626708984, 720, 1280},   {0x40000, 30, 30, 1080, 1440},
      // Not rows of the table: standard definition at 25.
      {0x0, 25, 25, 576, 720},   {0x1, 25, 25, 576, 720},  {0x8, 25, 25, 576, 720},
      {0x60, 25, 25, 576, 720},  {0x80000, 25, 25, 576, 720}, {-0x10, 25, 25, 576, 720},
  };
  for (const auto& [standard, rate, timecode_rate, height, width] : rows) {
    SCOPED_TRACE(standard);
    EXPECT_EQ(QV_GetFromVideoStandardToFrameRate(S(standard)), rate);
    EXPECT_EQ(GetTimeCodeFrameRate(standard), timecode_rate);
    EXPECT_EQ(QV_GetSysVideoHeight(S(standard)), height);
    EXPECT_EQ(QV_GetSysVideoWidth(S(standard)), width);
  }
  // Only the exact 64-bit value selects a row.
  EXPECT_EQ(GetTimeCodeFrameRate(0x100000002LL), 25.0);
}

TEST(VideoStandard, FrameRateValidity) {
  const std::pair<double, int> cases[] = {{23.0, 0},  {23.01, 1}, {23.976, 1}, {60.0, 1},          {60.99, 1},
                                          {61.0, 0},  {-30.0, 0}, {NAN, 0},    {HUGE_VAL, 0}};
  for (const auto& [rate, valid] : cases) EXPECT_EQ(QV_IsFrameRateValid(rate), valid) << rate;
}

TEST(VideoStandard, MediaFormatCheck) {
  stu_QVMediaFormatDef ok;
  ok.lFormatCode1 = ok.lFormatCode2 = ok.lFormatCode3 = 1;
  ok.uWidth = 1920;
  ok.uHeight = 1080;
  ok.emVideoStandard = QV_VIDEOSTANDARD_1080I_50;
  ok.dFrameRate = 59.94;  // not compared with the standard's rate
  EXPECT_EQ(QVCheckMediaFormatValid(ok), 1);

  auto bad = [&](auto change) {
    stu_QVMediaFormatDef f = ok;
    change(f);
    return QVCheckMediaFormatValid(f);
  };
  EXPECT_EQ(bad([](auto& f) { f.lFormatCode1 = 0; }), 0);
  EXPECT_EQ(bad([](auto& f) { f.lFormatCode3 = 0; }), 0);
  EXPECT_EQ(bad([](auto& f) { f.uHeight = 0; }), 0);
  EXPECT_EQ(bad([](auto& f) { f.dFrameRate = 61.0; }), 0);
  EXPECT_EQ(bad([](auto& f) { f.uWidth = 1440; }), 0);
  EXPECT_EQ(bad([](auto& f) { f.emVideoStandard = QV_VIDEOSTANDARD_PAL; }), 0);
  // Not a row of the table: compared with standard definition.
  EXPECT_EQ(bad([](auto& f) { f.emVideoStandard = S(0x60), f.uWidth = 720, f.uHeight = 576; }), 1);
}

TEST(DefaultFrameRate, SetStoresRoundedHundredthsWithoutComment) {
  qvtest::IniRestore restore;
  ASSERT_EQ(QVSetMediaDefaultFrameRate(25.0), 1);
  const double before = QVGetMediaDefaultFrameRate();
  EXPECT_EQ(QVSetMediaDefaultFrameRate(61.0), 0);
  EXPECT_EQ(QVSetMediaDefaultFrameRate(std::nan("")), 0);
  EXPECT_EQ(QVGetMediaDefaultFrameRate(), before);

  ASSERT_EQ(QVSetMediaDefaultFrameRate(29.97), 1);
  EXPECT_EQ(QVGetMediaDefaultFrameRate(), 29.97);
  EXPECT_EQ(FrameRateLine(), "DefaultFrameRate=2997");

  // Within 0.0005 of the current rate nothing is written.
  WriteIni("[ADVANCE]\nDefaultFrameRate=1234\n");
  EXPECT_EQ(QVSetMediaDefaultFrameRate(29.9704), 1);
  EXPECT_EQ(FrameRateLine(), "DefaultFrameRate=1234");
  EXPECT_EQ(QVGetMediaDefaultFrameRate(), 29.97);

  ASSERT_EQ(QVSetMediaDefaultFrameRate(23.976), 1);
  EXPECT_EQ(FrameRateLine(), "DefaultFrameRate=2398");
  EXPECT_EQ(QVGetMediaDefaultFrameRate(), 23.976);  // unrounded for the process
}

// The first read of a process, which also rewrites a missing line; each case
// runs in a fresh child process so that the rate has not been cached yet.
TEST(DefaultFrameRate, FirstReadFromIni) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  qvtest::IniRestore restore;
  // Content, rate read, the line afterwards (only a missing line is written).
  const std::tuple<const char*, double, const char*> cases[] = {
      {"", 25.0, "DefaultFrameRate=2500\t\t;默认帧率"},
      {"[ADVANCE]\nDefaultFrameRate=2997\t\t;默认帧率\n", 29.97, "DefaultFrameRate=2997\t\t;默认帧率"},
      {"[ADVANCE]\nDefaultFrameRate=3000\n", 30.0, "DefaultFrameRate=3000"},
      {"[ADVANCE]\nDefaultFrameRate=0\n", 25.0, "DefaultFrameRate=0"},
      {"[ADVANCE]\nDefaultFrameRate=fast\n", 25.0, "DefaultFrameRate=fast"},
      {"[ADVANCE]\nDefaultFrameRate=7000\n", 25.0, "DefaultFrameRate=7000"},
      {"[ADVANCE]\nDefaultFrameRate=-2500\n", 25.0, "DefaultFrameRate=-2500"},
  };
  for (const auto& [content, rate, line] : cases) {
    SCOPED_TRACE(content);
    WriteIni(content);
    EXPECT_EXIT(
        {
          const double first = QVGetMediaDefaultFrameRate();
          const bool line_ok = FrameRateLine() == line;
          WriteIni("[ADVANCE]\nDefaultFrameRate=5000\n");  // read once per process
          std::_Exit(first == rate && line_ok && QVGetMediaDefaultFrameRate() == rate ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}
