#include <gtest/gtest.h>

#include <string>

#include "qv_platform/chartype.h"
#include "support/winprobe_table.h"

namespace {

using namespace qvp;

// Every unit of the Basic Multilingual Plane against the classes recorded
// from the Windows runtime: iswctype's mask (space included) and iswblank.
TEST(WideCharClasses, MatchTheRecordedRuntimeOverTheWholeRange) {
  const auto rows = qvtest::LoadProbeTable("chartype");
  ASSERT_GT(rows.size(), 1000u);
  unsigned next = 0, mismatched = 0;
  for (const auto& r : rows) {
    const unsigned first = std::stoul(r[0], nullptr, 16), last = std::stoul(r[1], nullptr, 16);
    const unsigned classes = std::stoul(r[2], nullptr, 16);
    const bool blank = r[3] == "1";
    ASSERT_EQ(first, next) << "the recording must cover every unit";
    for (unsigned u = first; u <= last; ++u) {
      const auto ch = static_cast<char16_t>(u);
      unsigned want = classes;
      // Windows takes the circled Latin letters as cased letters; the
      // recording (made under Wine) has them in no class.
      if (u >= 0x24B6 && u <= 0x24E9) want = kCtAlpha | (u < 0x24D0 ? kCtUpper : kCtLower);
      if ((WideCharClasses(ch) != want || IsWideBlank(ch) != blank) && ++mismatched <= 20) {
        ADD_FAILURE() << std::hex << "U+" << u << ": " << WideCharClasses(ch) << " blank " << IsWideBlank(ch)
                      << ", Windows " << want << " blank " << blank;
      }
    }
    next = last + 1;
  }
  EXPECT_EQ(next, 0x10000u);
  EXPECT_EQ(mismatched, 0u);
}

// The derived predicates, on cases where the classes are easy to get wrong.
TEST(WideCharClasses, DerivedPredicates) {
  struct Case {
    char16_t ch;
    bool alpha, digit, punct, space, blank, print;
  };
  const Case cases[] = {
      {u'\u24B6', true, false, false, false, false, true},   // circled letter
      {u'\u2103', false, false, false, false, false, false}, // degree Celsius: no class
      {u'\uFFFD', false, false, false, false, false, false},
      {u'\u00A0', false, false, false, true, false, false},  // no-break space: space, not blank
      {u'\t', false, false, false, true, true, false},       // blank only through iswblank
      {u'\u3000', false, false, false, true, true, true},
      {u'\uFF15', false, true, false, false, false, true},
      {u'\u00B2', false, true, true, false, false, true},
      {u'\u3002', false, false, true, false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWideAlpha(c.ch), c.alpha) << std::hex << int(c.ch);
    EXPECT_EQ(IsWideDigit(c.ch), c.digit) << std::hex << int(c.ch);
    EXPECT_EQ(IsWidePunct(c.ch), c.punct) << std::hex << int(c.ch);
    EXPECT_EQ(IsWideSpace(c.ch), c.space) << std::hex << int(c.ch);
    EXPECT_EQ(IsWideBlank(c.ch), c.blank) << std::hex << int(c.ch);
    EXPECT_EQ(IsWidePrint(c.ch), c.print) << std::hex << int(c.ch);
  }
}

}  // namespace
