#include <gtest/gtest.h>

#include "qv_platform/chartype.h"

namespace {

using namespace qvp;

// Every class bit of selected units, as the Windows runtime reports them
// (checked against a Windows-compatible runtime where one was at hand).
TEST(WideCharClasses, MatchTheWindowsRuntime) {
  constexpr unsigned kUpperAlpha = kCtUpper | kCtAlpha, kLowerAlpha = kCtLower | kCtAlpha;
  const std::pair<char16_t, unsigned> cases[] = {
      {u'A', kUpperAlpha | kCtXDigit},  {u'z', kLowerAlpha},           {u'5', kCtDigit | kCtXDigit},
      {u'\u00E9', kLowerAlpha},         {u'\u0416', kUpperAlpha},      {u'\u01C5', kUpperAlpha | kCtLower},
      {u'\u4E2D', kCtAlpha},            {u'\u3042', kCtAlpha},         {u'\uAC00', kCtAlpha},
      {u'\u2160', kCtAlpha},            // Roman numeral one: a letter number, no case
      {u'\uFF21', kUpperAlpha | kCtXDigit}, {u'\uFF27', kUpperAlpha}, {u'\uFF15', kCtDigit | kCtXDigit},
      {u'\u0663', kCtDigit},            {u'\u00B2', kCtDigit | kCtPunct},  // Latin-1 superscripts are digits
      {u'\u2082', 0},                   // other sub- and superscripts are not
      {u'\u00B5', kCtPunct},            {u'\u00AA', kCtPunct},         // Latin-1 quirks: not letters
      {u'\u0301', 0},                   // combining marks are in no class
      {u'\u3002', kCtPunct},            {u'\uFF0C', kCtPunct},         {u'+', kCtPunct},
      {u'\u0085', kCtCntrl | kCtSpace}, {u'\u200B', kCtCntrl},
      {u'\u3000', kCtSpace | kCtBlank}, {u'\t', kCtCntrl | kCtSpace | kCtBlank},
      {char16_t{0xD840}, 0},            {char16_t{0xDFFF}, 0},         // surrogate halves
      {u'\uE000', 0},                   {u'\uFFFF', 0},
  };
  for (const auto& [ch, classes] : cases) EXPECT_EQ(WideCharClasses(ch), classes) << std::hex << int(ch);
  // The edges of the largest ranges of the table.
  for (char16_t c : {u'\u0100', u'\u4E00', u'\u9FFF', u'\uAC00', u'\uD7A3'}) EXPECT_TRUE(IsWideAlpha(c)) << int(c);
  for (char16_t c : {u'\uD7A4', u'\uFFFE'}) EXPECT_FALSE(IsWideAlpha(c)) << int(c);
}

}  // namespace
