#include "qv_platform/codepage.h"
#include "qv_platform/unicode.h"

#include <gtest/gtest.h>

namespace {

// The default ANSI code page is GBK; what it cannot hold becomes '?'.
TEST(CodePageTest, GbkConversionAndWindowsCounting) {
  EXPECT_EQ(GetACP(), 936u);
  EXPECT_EQ(qvp::FromWide(u"中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(qvp::ToWide("\xD6\xD0\xCE\xC4"), u"中文");
  EXPECT_EQ(qvp::FromWide(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(qvp::ToWide("a\x81"), u"a?");  // truncated double-byte character

  const char16_t* w = u"ab中";
  char out[5];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr), 5);  // with NUL
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, out, 5, nullptr, nullptr), 5);
  EXPECT_STREQ(out, "ab\xD6\xD0");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, out, 4, nullptr, nullptr), 0);  // too small
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", 3, nullptr, 0), 2);
}

TEST(Utf8Test, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(qvp::Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(qvp::Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");                  // truncated: one U+FFFD
  EXPECT_EQ(qvp::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(qvp::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(qvp::Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
