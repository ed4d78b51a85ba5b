// Typed attribute values: what the readers accept and refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qv_commonclass/xml.h"

namespace {

using namespace qv_commonclass;

struct IntCase {
  const char* text;
  HRESULT hr;
  std::int32_t value;  // expected when hr is S_OK
};

TEST(XmlValues, Int32Conversions) {
  const IntCase cases[] = {
      {"12", S_OK, 12},
      {"  -7\t", S_OK, -7},
      {"+5", S_OK, 5},
      {"000000000000000000000000000042", S_OK, 42},
      {"2.5", S_OK, 2},  // halves to even
      {"3.5", S_OK, 4},
      {"-2.5", S_OK, -2},
      {"1e3", S_OK, 1000},
      {"2147483647", S_OK, 2147483647},
      {"-2147483648", S_OK, std::numeric_limits<std::int32_t>::min()},
      {"2147483648", qvp::kHrOverflow, 0},
      {"99999999999999999999999999", qvp::kHrOverflow, 0},
      {"1e400", qvp::kHrOverflow, 0},
      {"", qvp::kHrTypeMismatch, 0},
      {"   ", qvp::kHrTypeMismatch, 0},
      {"abc", qvp::kHrTypeMismatch, 0},
      {"12abc", qvp::kHrTypeMismatch, 0},
      {"0x10", qvp::kHrTypeMismatch, 0},
      {"1,000", qvp::kHrTypeMismatch, 0},
      {"-", qvp::kHrTypeMismatch, 0},
      {".", qvp::kHrTypeMismatch, 0},
      {"1e", qvp::kHrTypeMismatch, 0},
      {"nan", qvp::kHrTypeMismatch, 0},
  };
  for (const auto& c : cases) {
    std::int32_t v = 99;
    EXPECT_EQ(QVXmlTextToInt32(std::string_view(c.text), v), c.hr) << c.text;
    EXPECT_EQ(v, c.hr == S_OK ? c.value : 99) << c.text;
    // The UTF-16 overload agrees.
    std::u16string wide(c.text, c.text + std::char_traits<char>::length(c.text));
    std::int32_t w = 99;
    EXPECT_EQ(QVXmlTextToInt32(std::u16string_view(wide), w), c.hr) << c.text;
  }
  std::int32_t v = 0;
  EXPECT_EQ(QVXmlTextToInt32(std::u16string_view(u"１２"), v), qvp::kHrTypeMismatch);
}

TEST(XmlValues, UnsignedAndSixtyFourBit) {
  std::uint32_t u = 0;
  EXPECT_EQ(QVXmlTextToUInt32(std::string_view("4294967295"), u), S_OK);
  EXPECT_EQ(u, 4294967295u);
  EXPECT_EQ(QVXmlTextToUInt32(std::string_view("-1"), u), qvp::kHrOverflow);
  EXPECT_EQ(QVXmlTextToUInt32(std::string_view("4294967296"), u), qvp::kHrOverflow);

  std::int64_t l = 0;
  EXPECT_EQ(QVXmlTextToInt64(std::string_view("-9223372036854775808"), l), S_OK);
  EXPECT_EQ(l, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(QVXmlTextToInt64(std::string_view("9223372036854775807"), l), S_OK);
  EXPECT_EQ(l, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(QVXmlTextToInt64(std::string_view("9223372036854775808"), l), qvp::kHrOverflow);
  EXPECT_EQ(QVXmlTextToInt64(std::string_view("9.3e18"), l), qvp::kHrOverflow);
}

TEST(XmlValues, DoublesRoundTripThroughTheirText) {
  for (double d : {0.0, 25.0, 29.97, 30000.0 / 1001.0, -1e-300, 1.7976931348623157e308, 5e-324}) {
    const CString text = QVXmlDoubleToText(d);
    double back = -1;
    ASSERT_EQ(QVXmlTextToDouble(text.view(), back), S_OK) << text;
    EXPECT_EQ(back, d) << text;
  }
  EXPECT_EQ(QVXmlDoubleToText(25.0), u"25");
  double d = 0;
  EXPECT_EQ(QVXmlTextToDouble(std::string_view("1e999"), d), qvp::kHrOverflow);
  EXPECT_EQ(QVXmlTextToDouble(std::string_view("inf"), d), qvp::kHrTypeMismatch);
  EXPECT_EQ(QVXmlTextToDouble(std::string_view("25,5"), d), qvp::kHrTypeMismatch);
}

}  // namespace
