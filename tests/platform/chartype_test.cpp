#include <gtest/gtest.h>

#include "qv_platform/chartype.h"

namespace {

using qvp::WideCharClasses;

// Expected classes as the Windows runtime reports them (checked against a
// Windows-compatible runtime where one was at hand).
TEST(WideCharClasses, LettersOfEveryScriptAreAlphabetic) {
  for (char16_t c : {u'a', u'Z', u'\u00E9', u'\u00C0', u'\u0416', u'\u05D0', u'\u4E2D', u'\u9FA5', u'\u3042',
                     u'\uAC00', u'\uFF21', u'\uFF41', u'\u2160' /* Roman numeral one, Nl */}) {
    EXPECT_TRUE(qvp::IsWideAlpha(c)) << std::hex << int(c);
  }
  for (char16_t c : {u'1', u' ', u'_', u'\u0301' /* combining mark */, u'\u3002', u'\u00AA', u'\u00B5', u'\u00BA',
                     char16_t{0xD840}, char16_t{0xDC00}, u'\uE000' /* private use */, u'\uFFFF'}) {
    EXPECT_FALSE(qvp::IsWideAlpha(c)) << std::hex << int(c);
  }
}

TEST(WideCharClasses, DecimalDigitsOfEveryScriptAreDigits) {
  for (char16_t c : {u'0', u'9', u'\uFF10', u'\uFF19', u'\u0660', u'\u0966', u'\u00B2', u'\u00B3', u'\u00B9'}) {
    EXPECT_TRUE(qvp::IsWideDigit(c)) << std::hex << int(c);
  }
  for (char16_t c : {u'a', u'\u2070', u'\u2082', u'\u2460' /* circled one */, u'\u4E00', u'\u00BD'}) {
    EXPECT_FALSE(qvp::IsWideDigit(c)) << std::hex << int(c);
  }
}

TEST(WideCharClasses, CaseAndOtherClasses) {
  EXPECT_TRUE(qvp::IsWideUpper(u'\u0416'));
  EXPECT_TRUE(qvp::IsWideLower(u'\u0436'));
  EXPECT_TRUE(qvp::IsWideUpper(u'\u01C5') && qvp::IsWideLower(u'\u01C5'));  // title case is both
  EXPECT_FALSE(qvp::IsWideUpper(u'\u4E2D') || qvp::IsWideLower(u'\u4E2D'));
  EXPECT_FALSE(qvp::IsWideLower(u'\u00B5'));  // Latin-1 micro sign is punctuation only
  EXPECT_TRUE(qvp::IsWidePunct(u'\u00B5'));
  EXPECT_TRUE(qvp::IsWidePunct(u'\u3002'));
  EXPECT_TRUE(qvp::IsWidePunct(u'\uFF0C'));
  EXPECT_TRUE(qvp::IsWidePunct(u'+'));
  EXPECT_TRUE(qvp::IsWideCntrl(u'\u0085'));
  EXPECT_TRUE(qvp::IsWideCntrl(u'\u200B'));
  EXPECT_TRUE(qvp::IsWideXDigit(u'\uFF26'));
  EXPECT_FALSE(qvp::IsWideXDigit(u'\uFF27'));
  EXPECT_TRUE(qvp::IsWideBlank(u'\u3000'));
  EXPECT_TRUE(qvp::IsWidePrint(u'\t'));
  EXPECT_FALSE(qvp::IsWideGraph(u' '));
  EXPECT_TRUE(qvp::IsWideAlnum(u'\uFF15'));
  EXPECT_EQ(WideCharClasses(u'A'), qvp::kCtUpper | qvp::kCtXDigit | qvp::kCtAlpha);
  EXPECT_EQ(WideCharClasses(u'\u3000'), qvp::kCtSpace | qvp::kCtBlank);
}

// The table's edges: the first and last units of a few ranges.
TEST(WideCharClasses, RangeBoundaries) {
  EXPECT_TRUE(qvp::IsWideAlpha(u'\u4E00'));
  EXPECT_TRUE(qvp::IsWideAlpha(u'\u9FFF'));
  EXPECT_TRUE(qvp::IsWideAlpha(u'\uAC00'));
  EXPECT_TRUE(qvp::IsWideAlpha(u'\uD7A3'));
  EXPECT_FALSE(qvp::IsWideAlpha(u'\uD7A4'));
  EXPECT_TRUE(qvp::IsWideAlpha(u'\u0100'));
  EXPECT_FALSE(qvp::IsWideAlpha(u'\uFFFE'));
  EXPECT_EQ(WideCharClasses(char16_t{0xD800}), 0u);
  EXPECT_EQ(WideCharClasses(char16_t{0xDFFF}), 0u);
}

}  // namespace
