#include "qv_platform/codepage.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePageTest, DefaultIsGbk) {
  EXPECT_EQ(GetACP(), 936u);
  EXPECT_EQ(qvp::FromWide(u"中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(qvp::ToWide("\xD6\xD0\xCE\xC4"), u"中文");
}

TEST(CodePageTest, UnmappableBecomesQuestionMark) {
  EXPECT_EQ(qvp::FromWide(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(qvp::ToWide("a\x81"), u"a?");  // truncated double-byte character
}

TEST(CodePageTest, WindowsCountingRules) {
  const char16_t* w = u"ab中";
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr), 5);  // with NUL
  char out[5];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, out, 5, nullptr, nullptr), 5);
  EXPECT_STREQ(out, "ab\xD6\xD0");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, out, 4, nullptr, nullptr), 0);  // too small
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", 3, nullptr, 0), 2);
}

TEST(Utf8Test, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(qvp::Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(qvp::Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");             // truncated: one U+FFFD
  EXPECT_EQ(qvp::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(qvp::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong
  EXPECT_EQ(qvp::Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(DebugOutputTest, CaptureSeesEveryLineInOrder) {
  qvp::DebugOutputCapture capture;
  OutputDebugStringW(u"one");
  OutputDebugStringA("two");
  EXPECT_EQ(capture.Count(), 2);
  EXPECT_EQ(capture.Text(), u"onetwo");
}

}  // namespace
