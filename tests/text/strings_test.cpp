#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "qv_commonclass/text.h"
#include "qv_platform/codepage.h"

using namespace qv_commonclass;

namespace {

std::vector<CString> Split(const CString& source, const CString& separator) {
  CStringArray out;
  out.Add(u"left over from before");
  QV_SeparateStringToArray(source, out, separator);
  std::vector<CString> v;
  for (int i = 0; i < out.GetSize(); ++i) v.push_back(out[i]);
  return v;
}

TEST(AnsiConversion, ConvertStringToCharUsesTheAnsiCodePage) {
  const UINT saved = GetACP();
  ASSERT_TRUE(qvp::SetAnsiCodePage(936));
  for (const auto& [wide, ansi] : {std::pair{u"中文a", "\xD6\xD0\xCE\xC4" "a"}, std::pair{u"", ""}}) {
    char* text = QVConvertStringToChar(CString(wide));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, ansi);
    delete[] text;
  }
  qvp::SetAnsiCodePage(saved);
}

// Valid text converts both ways. Lone surrogates and invalid sequences
// (truncated, overlong, encoded surrogates) become U+FFFD; a NUL ends the text.
TEST(Utf8Conversion, BothWaysWithReplacement) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", ""}, {u"中", "\xE4\xB8\xAD"}, {u"\U0001F600", "\xF0\x9F\x98\x80"}, {u"\uFFFDx", "\xEF\xBF\xBDx"}};
  for (const auto& [wide, utf8] : cases) {
    char* out = QVConvertToUTF8(CString(wide));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(out), utf8);
    std::free(out);
    EXPECT_EQ(QVConvertUTF8ToString(utf8.c_str()), CString(wide));
  }
  char* out = QVConvertToUTF8(CString(std::u16string(1, char16_t{0xD800}) + u"x"));
  EXPECT_STREQ(out, "\xEF\xBF\xBDx");
  std::free(out);
  const std::pair<const char*, const char16_t*> invalid[] = {
      {"a\xFF\x62", u"a\uFFFDb"},  {"\xE4\xB8", u"\uFFFD"}, {"\xC0\xAF", u"\uFFFD\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, {"ab\0cd", u"ab"},   {nullptr, u""}};
  for (const auto& [utf8, wide] : invalid) EXPECT_EQ(QVConvertUTF8ToString(utf8), CString(wide)) << CString(wide);
}

TEST(StringLengthForB, CountsFourPerNonAsciiUnit) {
  // Each surrogate half of U+1F600 counts on its own.
  const std::pair<const char16_t*, int> cases[] = {
      {u"ab", 2}, {u"中文", 8}, {u"\U0001F600", 8}, {u"\u007F\u0080", 5}, {u"", 0}};
  for (const auto& [text, length] : cases) EXPECT_EQ(QVGetStringLengthForB(text), length) << CString(text);
}

TEST(Escaping, EscapeAndUnescape) {
  EXPECT_EQ(XmlConv(u"a<b>&'\""), CString(u"a&lt;b&gt;&amp;&apos;\""));
  EXPECT_EQ(XmlConv(u"&lt;"), CString(u"&amp;lt;"));
  EXPECT_EQ(HtmlConv(u"<a href=\"x\">'&"), CString(u"&lt;a href=\"x\"&gt;'&amp;"));
  EXPECT_EQ(HtmlConv(CString()), CString());

  // Unescaping replaces one name after the other, once each.
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"&lt;b&gt; &amp; &quot;q&quot; &apos;", u"<b> & \"q\" '"},
      {u"&amp;quot;", u"\""},            // doubly escaped: "&amp;" resolves first
      {u"&amp;lt;", u"<"},
      {u"&amp;amp;", u"&amp;"},          // one pass per name, not repeated until stable
      {u"a&nbsp;b&tilde;", u"a b~"},
      {u"&ndash;&mdash;&lsquo;&rsquo;&sbquo;&ldquo;&rdquo;&hellip;&Prime;",
       u"\u2013\u2014\u2018\u2019,\u201C\u201D\u2026\u2033"},
      {u"&AMP; &#39; &copy; &prime;", u"&AMP; &#39; &copy; &prime;"},  // not in the table
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(QV_ConvHtmlContent(in), CString(out)) << CString(in);
}

TEST(WordCount, CountsLikeTheDisplayRule) {
  const std::pair<const char16_t*, unsigned long> cases[] = {
      {u"", 0},        {u"中文。", 3},   {u"abc123", 2}, {u", ,", 2},
      {u"abc中", 2},   {u"1.5", 2},      {u"！？：；，", 5}, {u"Tom2 是 good", 4},
      {u"Hello, world.", 2},         // marks that end a word are not counted
      {u"中", 1},                    // CJK ideographs are letters
      {u"第１２３章", 3},            // full-width digits are one number
      {u"\uFF21\uFF22", 2},          // full-width letters are words of their own
      {u"café", 2},                  // a non-ASCII letter ends the Latin run
      {u"x²", 2},                    // superscript two is a digit
      {u"\u0663\u0664", 1},          // Arabic-Indic digits
      {u"\u3001 - +", 0},            // other marks and symbols count nothing
      {u"\U00020000", 0},            // surrogate halves are not letters
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(QV_GetWordsFromText(text), words) << CString(text);
}

TEST(Split, TrimsInnerPiecesButNotTheLast) {
  using V = std::vector<CString>;
  EXPECT_EQ(Split(u" a , , b ", u","), (V{u"a", u" b "}));
  EXPECT_EQ(Split(u"", u","), V{});
  EXPECT_EQ(Split(u"a,b,", u","), (V{u"a", u"b"}));
  EXPECT_EQ(Split(u",,", u","), V{});
  EXPECT_EQ(Split(u"\u3000a\u3000,b", u","), (V{u"a", u"b"}));  // ideographic space is white space
  EXPECT_EQ(Split(u"abc", u","), (V{u"abc"}));
  // A longer separator: the search resumes one character after the match.
  EXPECT_EQ(Split(u"a::b", u"::"), (V{u"a", u":b"}));
  EXPECT_EQ(Split(u" x ", CString()), (V{u" x "}));
}

}  // namespace
