#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"

#include <gtest/gtest.h>

namespace {

TEST(CStringTest, LengthsCountUtf16UnitsIncludingSurrogates) {
  const CString s(u"a\U0001F600中");
  EXPECT_EQ(s.GetLength(), 4);
  EXPECT_EQ(CString("a\xF0\x9F\x98\x80\xE4\xB8\xAD"), s);  // same text from UTF-8
  EXPECT_EQ(s.ToUtf8(), "a\xF0\x9F\x98\x80\xE4\xB8\xAD");
}

TEST(CStringTest, ExtractionClampsLikeTheFramework) {
  const CString s(u"abcdef");
  EXPECT_EQ(s.Mid(2), u"cdef");
  EXPECT_EQ(s.Mid(-3, 2), u"ab");
  EXPECT_EQ(s.Mid(4, 100), u"ef");
  EXPECT_EQ(s.Mid(10), u"");
  EXPECT_EQ(s.Left(-1), u"");
  EXPECT_EQ(s.Left(99), u"abcdef");
  EXPECT_EQ(s.Right(2), u"ef");
  EXPECT_EQ(s.Right(99), u"abcdef");
}

TEST(CStringTest, SearchReturnsMinusOneWhenAbsentOrOutOfRange) {
  const CString s(u"a::b::c");
  EXPECT_EQ(s.Find(u':'), 1);
  EXPECT_EQ(s.Find(u"::", 3), 4);
  EXPECT_EQ(s.Find(u'z'), -1);
  EXPECT_EQ(s.Find(u'a', 99), -1);
  EXPECT_EQ(s.ReverseFind(u':'), 5);
  EXPECT_EQ(s.FindOneOf(u"cb"), 3);
}

TEST(CStringTest, ModificationCountsAndResults) {
  CString s(u"a:b:c");
  EXPECT_EQ(s.Replace(u':', u'_'), 2);
  EXPECT_EQ(s, u"a_b_c");
  EXPECT_EQ(s.Replace(u"_b_", u"--"), 1);
  EXPECT_EQ(s, u"a--c");
  EXPECT_EQ(s.Replace(u"", u"x"), 0);
  EXPECT_EQ(s.Remove(u'-'), 2);
  EXPECT_EQ(s, u"ac");
  CString t(u"\t x y \u3000\r\n");
  t.Trim();
  EXPECT_EQ(t, u"x y");
  CString u(u"xxhixx");
  EXPECT_EQ(u.Trim(u'x'), u"hi");
}

TEST(CStringTest, CaseMappingIsAsciiOnlyLikeTheCLocale) {
  CString s(u"abcÄé中");
  s.MakeUpper();
  EXPECT_EQ(s, u"ABCÄé中");
  EXPECT_EQ(CString(u"Hello").CompareNoCase(u"hELLO"), 0);
  EXPECT_LT(CString(u"a").CompareNoCase(u"B"), 0);
  // '_' sorts after letters once folded to lower case, as the runtime does.
  EXPECT_GT(CString(u"A").CompareNoCase(u"_"), 0);
}

TEST(CStringTest, BufferRoundTrip) {
  CString s(u"abc");
  char16_t* p = s.GetBuffer(10);
  p[3] = u'd';
  p[4] = 0;
  s.ReleaseBuffer();
  EXPECT_EQ(s, u"abcd");
  p = s.GetBuffer(0);
  s.ReleaseBuffer(2);
  EXPECT_EQ(s, u"ab");
}

TEST(CStringTest, TokenizeWalksAndEnds) {
  const CString s(u",a,,b");
  int pos = 0;
  EXPECT_EQ(s.Tokenize(u",", pos), u"a");
  EXPECT_EQ(s.Tokenize(u",", pos), u"b");
  EXPECT_EQ(s.Tokenize(u",", pos), u"");
  EXPECT_EQ(pos, -1);
}

// Expected texts are what the Windows wide printf family produces.
TEST(FormatTest, WindowsWidePrintfConventions) {
  CString s;
  s.Format(u"%s=%d", u"n", 42);
  EXPECT_EQ(s, u"n=42");
  s.Format(u"%S|%hs", "narrow", "also");
  EXPECT_EQ(s, u"narrow|also");
  s.Format(u"%I64d %I64u", static_cast<long long>(-9000000000LL), 18000000000ULL);
  EXPECT_EQ(s, u"-9000000000 18000000000");
  s.Format(u"%d", 0x1'0000'0005LL);  // only the low 32 bits are read
  EXPECT_EQ(s, u"5");
  s.Format(u"0X%X %x %08X %-5d| %+d % d", 255, 255, 0xBEEF, 7, 3, 3);
  EXPECT_EQ(s, u"0XFF ff 0000BEEF 7    | +3  3");
  s.Format(u"%.3d %5.1f %e %g", 7, 3.14159, 12345.678, 0.0001);
  EXPECT_EQ(s, u"007   3.1 1.234568e+04 0.0001");
  s.Format(u"%.2s|%5s|%-5s|%c", u"abcdef", u"ab", u"ab", u'中');
  EXPECT_EQ(s, u"ab|   ab|ab   |中");
  s.Format(u"%s", static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(s, u"(null)");
  s.Format(u"%d%%", 50);
  EXPECT_EQ(s, u"50%");
  s.Format(u"%u", -1);
  EXPECT_EQ(s, u"4294967295");
  s.Format(u"%*d|%-*d", 4, 1, 3, 2);
  EXPECT_EQ(s, u"   1|2  ");
  s.Format(u"%s", CString(u"cs"));
  EXPECT_EQ(s, u"cs");
  s.Format(u"%p", reinterpret_cast<void*>(0x12FF7C));
  EXPECT_EQ(s, u"000000000012FF7C");
  s.Format(u"%hd %hu", 70000, 70000);  // truncated to 16 bits
  EXPECT_EQ(s, u"4464 4464");
}

TEST(FormatTest, MissingArgumentsAndTruncatedSpecsAreSafe) {
  CString s;
  s.Format(u"%d %s");
  EXPECT_EQ(s, u"0 (null)");
  s.Format(u"tail %", 1);
  EXPECT_EQ(s, u"tail %");
}

TEST(CollectionsTest, ArrayListAndMapKeepFrameworkSemantics) {
  CStringArray a;
  EXPECT_EQ(a.Add(u"x"), 0);
  a.InsertAt(0, u"w");
  a.SetAtGrow(3, u"z");
  EXPECT_EQ(a.GetSize(), 4);
  EXPECT_EQ(a[0], u"w");
  EXPECT_TRUE(a[2].IsEmpty());
  a.RemoveAt(1, 2);
  EXPECT_EQ(a.GetSize(), 2);
  EXPECT_THROW(a.GetAt(5), std::out_of_range);

  CStringList l;
  POSITION b = l.AddTail(u"b");
  l.AddHead(u"a");
  l.InsertAfter(b, u"c");
  CString joined;
  for (POSITION p = l.GetHeadPosition(); p;) joined += l.GetNext(p);
  EXPECT_EQ(joined, u"abc");
  l.RemoveAt(b);
  EXPECT_EQ(l.GetCount(), 2);
  EXPECT_EQ(l.GetTail(), u"c");

  CMapStringToString m;
  m.SetAt(u"k1", u"v1");
  m[u"k2"] = u"v2";
  CString v;
  EXPECT_TRUE(m.Lookup(u"k2", v));
  EXPECT_EQ(v, u"v2");
  EXPECT_FALSE(m.Lookup(u"k3", v));
  int seen = 0;
  for (POSITION p = m.GetStartPosition(); p;) {
    CString k, val;
    m.GetNextAssoc(p, k, val);
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_TRUE(m.RemoveKey(u"k1"));
  EXPECT_FALSE(m.RemoveKey(u"k1"));
}

}  // namespace
