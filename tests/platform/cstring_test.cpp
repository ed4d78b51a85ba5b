#include "qv_platform/cstring.h"

#include <gtest/gtest.h>

namespace {

TEST(CStringTest, LengthsCountUtf16UnitsIncludingSurrogates) {
  const CString s(u"a\U0001F600中");
  EXPECT_EQ(s.GetLength(), 4);
  EXPECT_EQ(CString("a\xF0\x9F\x98\x80\xE4\xB8\xAD"), s);  // same text from UTF-8
  EXPECT_EQ(s.ToUtf8(), "a\xF0\x9F\x98\x80\xE4\xB8\xAD");
}

// Out-of-range positions and counts clamp, and searches give -1, as in the framework.
TEST(CStringTest, ExtractionClampsAndSearchMisses) {
  const CString s(u"abcdef");
  EXPECT_EQ(s.Mid(2) + u"|" + s.Mid(-3, 2) + u"|" + s.Mid(4, 100) + u"|" + s.Mid(10), u"cdef|ab|ef|");
  EXPECT_EQ(s.Left(-1) + u"|" + s.Left(99) + u"|" + s.Right(2) + u"|" + s.Right(99), u"|abcdef|ef|abcdef");
  const CString t(u"a::b::c");
  EXPECT_EQ(t.Find(u':'), 1);
  EXPECT_EQ(t.Find(u"::", 3), 4);
  EXPECT_EQ(t.Find(u'z'), -1);
  EXPECT_EQ(t.Find(u'a', 99), -1);
  EXPECT_EQ(t.ReverseFind(u':'), 5);
}

TEST(CStringTest, ModificationCountsAndResults) {
  CString s(u"a:b:c");
  EXPECT_EQ(s.Replace(u':', u'_'), 2);
  EXPECT_EQ(s.Replace(u"_b_", u"--"), 1);
  EXPECT_EQ(s.Replace(u"", u"x"), 0);
  EXPECT_EQ(s, u"a--c");
  EXPECT_EQ(s.Remove(u'-'), 2);
  EXPECT_EQ(s, u"ac");
  CString t(u"\t x y \u3000\r\n");
  EXPECT_EQ(t.Trim(), u"x y");
  EXPECT_EQ(CString(u"xxhixx").Trim(u'x'), u"hi");
  CString u(u"abcÄé中");
  EXPECT_EQ(u.MakeUpper(), u"ABCÄé中");  // ASCII only, like the C locale
}

TEST(CStringTest, BufferRoundTrip) {
  CString s(u"abc");
  char16_t* p = s.GetBuffer(10);
  p[3] = u'd';
  p[4] = 0;
  s.ReleaseBuffer();
  EXPECT_EQ(s, u"abcd");
  s.GetBuffer(0);
  s.ReleaseBuffer(2);
  EXPECT_EQ(s, u"ab");
}

template <typename... Args>
CString F(const char16_t* format, Args... args) {
  CString s;
  s.Format(format, args...);
  return s;
}

// Expected texts are what the Windows wide printf family produces.
TEST(FormatTest, WindowsWidePrintfConventions) {
  EXPECT_EQ(F(u"%s=%d", u"n", 42), u"n=42");
  EXPECT_EQ(F(u"%S|%hs", "narrow", "also"), u"narrow|also");  // %S is the other width
  EXPECT_EQ(F(u"%I64d %I64u", -9000000000LL, 18000000000ULL), u"-9000000000 18000000000");
  EXPECT_EQ(F(u"%d", 0x1'0000'0005LL), u"5");  // only the low 32 bits are read
  EXPECT_EQ(F(u"0X%X %x %08X %-5d| %+d % d", 255, 255, 0xBEEF, 7, 3, 3), u"0XFF ff 0000BEEF 7    | +3  3");
  EXPECT_EQ(F(u"%.3d %5.1f %e %g", 7, 3.14159, 12345.678, 0.0001), u"007   3.1 1.234568e+04 0.0001");
  EXPECT_EQ(F(u"%.2s|%5s|%-5s|%c", u"abcdef", u"ab", u"ab", u'中'), u"ab|   ab|ab   |中");
  EXPECT_EQ(F(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(F(u"%d%% %u", 50, -1), u"50% 4294967295");
  EXPECT_EQ(F(u"%*d|%-*d", 4, 1, 3, 2), u"   1|2  ");
  EXPECT_EQ(F(u"%s", CString(u"cs")), u"cs");
  EXPECT_EQ(F(u"%p", reinterpret_cast<void*>(0x12FF7C)), u"000000000012FF7C");
  EXPECT_EQ(F(u"%hd %hu", 70000, 70000), u"4464 4464");  // truncated to 16 bits
  // Missing arguments and a format ending in a lone % are safe.
  EXPECT_EQ(F(u"%d %s"), u"0 (null)");
  EXPECT_EQ(F(u"tail %", 1), u"tail %");
}

}  // namespace
