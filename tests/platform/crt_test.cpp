// The runtime number readers: the rules every caller of the library relies
// on. Expected values are those of the Windows runtime (ucrt). The integer
// readers' cases are in the recording crt_probe_test compares; these are the
// limits of each front and the forms where the recording's runtime parts
// from Windows.
#include "qv_platform/crt.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>

namespace {

TEST(Crt, FrontsShareTheEngineWithTheirOwnLimits) {
  EXPECT_EQ(_wtoi(u"\uFF11\uFF12"), 12);
  EXPECT_EQ(_wtoi(u"3000000000"), 2147483647);
  EXPECT_EQ(_wtol(u"-3000000000"), -2147483647 - 1);
  EXPECT_EQ(_wtoi64(u"3000000000"), 3000000000LL);
  EXPECT_EQ(_wtoi64(u"-9223372036854775809"), std::numeric_limits<LONGLONG>::min());
  EXPECT_EQ(_wtoi(nullptr), 0);
  EXPECT_EQ(wcstoul(u"-1", nullptr, 10), 0xFFFFFFFFu);
  errno = 0;
  EXPECT_EQ(wcstoul(u"4294967296", nullptr, 10), 0xFFFFFFFFu);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(_wcstoui64(u"18446744073709551615", nullptr, 10), 18446744073709551615ULL);
  errno = 0;
  char16_t* end = nullptr;
  const char16_t* text = u"12";
  EXPECT_EQ(wcstol(text, &end, 1), 0);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(end, text);
}

TEST(Crt, FloatingPointForms) {
  struct Case {
    const char16_t* text;
    double value;
    int used;
  };
  const Case cases[] = {
      {u"29.97", 29.97, 5},       {u" -1.5e3x", -1500.0, 7}, {u"1e", 1.0, 1},          {u"1e+", 1.0, 1},
      {u".5", 0.5, 2},            {u"5.", 5.0, 2},           {u"0x1.8p1", 3.0, 7},      {u"0x10", 16.0, 4},
      {u"abc", 0.0, 0},           {u"-", 0.0, 0},            {u".", 0.0, 0},            {u"1,5", 1.0, 1},
      {u"\uFF11", 0.0, 0},  // full-width digits are integer-only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case #" << (&c - cases));
    char16_t* end = nullptr;
    EXPECT_DOUBLE_EQ(wcstod(c.text, &end), c.value);
    EXPECT_EQ(end - c.text, c.used);
  }
  char16_t* end = nullptr;
  const char16_t* inf = u"-Infinity!";
  EXPECT_EQ(wcstod(inf, &end), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(end - inf, 9);
  const char16_t* nan = u"nan(123)x";
  EXPECT_TRUE(std::isnan(wcstod(nan, &end)));
  EXPECT_EQ(end - nan, 8);
  EXPECT_EQ(_wtof(u"INF"), std::numeric_limits<double>::infinity());
  errno = 0;
  EXPECT_EQ(_wtof(u"1e400"), HUGE_VAL);
  EXPECT_EQ(errno, ERANGE);
}

TEST(Crt, ScanfConversions) {
  int i = -1;
  LONG l = -1;
  unsigned u = 0;
  LONGLONG ll = 0;
  float f = 0;
  double d = 0;
  EXPECT_EQ(swscanf(u" 12 -3 4294967295 9000000000 2.5 0.125", u"%d %ld %u %I64d %f %lf", &i, &l, &u, &ll, &f, &d),
            6);
  EXPECT_EQ(i, 12);
  EXPECT_EQ(l, -3);
  EXPECT_EQ(u, 4294967295u);
  EXPECT_EQ(ll, 9000000000LL);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(d, 0.125);
  // Literals, widths, skipped fields, and a stop at the first mismatch.
  int a = 0, b = 0, c = 77;
  EXPECT_EQ(swscanf(u"10:20x30", u"%d:%d:%d", &a, &b, &c), 2);
  EXPECT_EQ(a, 10);
  EXPECT_EQ(b, 20);
  EXPECT_EQ(c, 77);
  EXPECT_EQ(swscanf(u"123456", u"%2d%*2d%d", &a, &b), 2);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 56);
  // Integers keep their low bits rather than clamping.
  EXPECT_EQ(swscanf(u"4294967297", u"%d", &a), 1);
  EXPECT_EQ(a, 1);
  // End of input before the first conversion is EOF; a mismatch is 0.
  EXPECT_EQ(swscanf(u"   ", u"%d", &a), -1);
  EXPECT_EQ(swscanf(u"x", u"%d", &a), 0);
  char16_t word[8] = {};
  EXPECT_EQ(swscanf(u"  abc def", u"%s", word), 1);
  EXPECT_EQ(std::u16string_view(word), u"abc");
}

}  // namespace
