#include <cmath>

#include <gtest/gtest.h>

#include "qv_commonclass/database.h"
#include "qv_platform/codepage.h"

using namespace qv_commonclass;

namespace {

constexpr double kFriday = 45352.354166666664;  // 2024-03-01 08:30:00

TEST(FormatDateTimeTest, PatternsAndStyles) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"%Y-%m-%d %H:%M:%S", u"2024-03-01 08:30:00"}, {u"%Y%Y", u"20242024"}, {u"no %", u"no %"},
      {u"%y %B %%Y %a", u"%y %B %2024 %a"},  // nothing else is interpreted
  };
  for (const auto& [pattern, text] : cases) EXPECT_EQ(QV_FormatDateTime(kFriday, pattern), text) << CString(pattern);
  EXPECT_EQ(QV_FormatDateTime(kFriday, static_cast<LPCWSTR>(nullptr)), u"");
  EXPECT_EQ(QV_FormatDateTime(kFriday, 1), u"2024-03-01 08:30:00");
  EXPECT_EQ(QV_FormatDateTime(kFriday, 0), u"2024-03-01");
  // The record forms write the record as it stands, whatever it holds.
  SYSTEMTIME st{33, 1, 9, 2, 3, 4, 5, 0};
  EXPECT_EQ(QV_FormatDateTime(st, u"%Y-%m-%d %H:%M:%S[%A]"), u"0033-01-02 03:04:05[]");
  EXPECT_EQ(QV_FormatDateTime(st, 0), u"0033-01-02");

  // Weekday names are held in GBK and come through the ANSI code page.
  const char16_t* names[] = {u"星期日", u"星期一", u"星期二", u"星期三", u"星期四", u"星期五", u"星期六"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(QV_FormatDateTime(45354.0 + i, u"%A"), CString(names[i]));  // a Sunday first
  const UINT saved = GetACP();
  ASSERT_TRUE(qvp::SetAnsiCodePage(1252));
  const CString under_latin = QV_FormatDateTime(kFriday, u"%A");
  qvp::SetAnsiCodePage(saved);
  EXPECT_EQ(under_latin, CString(qvp::ToWide("\xD0\xC7\xC6\xDA\xCE\xE5", 1252)));
}

TEST(FormatDateTimeTest, DialectLiterals) {
  const std::tuple<int, int, const char16_t*> styles[] = {
      {2, 1, u"TO_DATE('2024-03-01 08:30:00','YYYY-MM-DD HH24:MI:SS')"}, {2, 0, u"TO_DATE('2024-03-01','YYYY-MM-DD')"},
      {4, 0, u"TIMESTAMP('2024-03-01.000000')"}, {4, 1, u"TIMESTAMP('2024-03-01 08:30:00.000000')"},
      {5, 1, u"#2024-03-01 08:30:00#"}, {1, 1, u"'2024-03-01 08:30:00'"}, {3, 1, u"'2024-03-01 08:30:00'"},
      {0, 1, u"'2024-03-01 08:30:00'"}, {99, 0, u"'2024-03-01'"},
  };
  for (const auto& [type, with_time, text] : styles)
    EXPECT_EQ(QV_FormatDateTime(kFriday, static_cast<em_QVDatabaseType>(type), with_time), text) << type;

  EXPECT_EQ(QV_FormatDateTime(kFriday, em_QVDBOracle, u"%Y-%m-%d %H:%M:%S"),
            u"TO_DATE('2024-03-01 08:30:00','YYYY-MM-DD HH24:MI:SS')");
  EXPECT_EQ(QV_FormatDateTime(kFriday, em_QVDBOracle, u"%d/%m/%Y"), u"TO_DATE('01/03/2024','DD/MM/YYYY')");
  EXPECT_EQ(QV_FormatDateTime(kFriday, em_QVDBDB2, u"%Y-%m-%d-%H.%M.%S"), u"TIMESTAMP('2024-03-01-08.30.00.000000')");
  EXPECT_EQ(QV_FormatDateTime(kFriday, em_QVDBAccess, u"%m/%d/%Y"), u"#03/01/2024#");
  EXPECT_EQ(QV_FormatDateTime(kFriday, em_QVDBPercent, u"%Y%m%d"), u"'20240301'");
}

TEST(FormatDateTimeTest, RangeLimitsAndMidnightRounding) {
  EXPECT_EQ(QV_FormatDateTime(-657434.0, 1), u"0100-01-01 00:00:00");
  EXPECT_EQ(QV_FormatDateTime(2958465.0 + 86399.0 / 86400.0, 1), u"9999-12-31 23:59:59");
  EXPECT_EQ(QV_FormatDateTime(45352.99999999, u"%Y-%m-%d %H:%M:%S %A"), u"2024-03-02 00:00:00 星期六");
  EXPECT_EQ(QV_FormatDateTime(45352.999994, 1), u"2024-03-01 23:59:59");
  EXPECT_EQ(QV_FormatDateTime(-1.25, 1), u"1899-12-29 06:00:00");
  // Beyond the convertible range: zeros, never garbage, and no weekday.
  for (double date : {-657435.0, 2958466.0, 2958465.9999999991, std::nan("")}) {
    EXPECT_EQ(QV_FormatDateTime(date, u"%Y-%m-%d %H:%M:%S|%A|"), u"0000-00-00 00:00:00||") << date;
    const SYSTEMTIME st = QV_FromDate2SystemTime(date);
    EXPECT_EQ(st.wYear + st.wMonth + st.wDay + st.wDayOfWeek + st.wHour + st.wMinute + st.wSecond, 0);
  }
  EXPECT_EQ(QV_FormatDateTime(3e6, em_QVDBOracle, 0), u"TO_DATE('0000-00-00','YYYY-MM-DD')");
}

TEST(FormatDateTimeTest, ConversionsAndStandardText) {
  SYSTEMTIME st{2024, 3, 0, 1, 8, 30, 0, 750};  // milliseconds are not carried
  EXPECT_EQ(QV_FromSystemTime2Date(st), kFriday);
  SYSTEMTIME bad{2024, 13, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(QV_FromSystemTime2Date(bad), 0.0);
  const SYSTEMTIME back = QV_FromDate2SystemTime(kFriday);
  EXPECT_EQ(QV_FormatDateTime(back, u"%Y-%m-%d %H:%M:%S %A"), u"2024-03-01 08:30:00 星期五");

  EXPECT_EQ(QV_GetStandardDateTimeString(COleDateTime(2024, 3, 1, 8, 30, 0)), u"2024-03-01T08:30:00.0Z");
  EXPECT_EQ(QV_GetStandardDateTimeString(COleDateTime(100, 1, 1, 0, 0, 0)), u"100-01-01T00:00:00.0Z");
  COleDateTime null(kFriday);
  null.SetStatus(COleDateTime::null);
  for (const COleDateTime& t : {COleDateTime(2024, 2, 30, 0, 0, 0), null, COleDateTime(-700000.0)})
    EXPECT_EQ(QV_GetStandardDateTimeString(t), u"-1--1--1T-1:-1:-1.0Z");
}

}  // namespace
