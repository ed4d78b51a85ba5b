#include "qv_platform/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "support/winprobe_table.h"

namespace {

// Where Windows prints otherwise than the recording (made under Wine),
// keyed by format and the double's bits.
const std::map<std::pair<std::string, std::string>, std::string>& WindowsOverWine() {
  static const std::map<std::pair<std::string, std::string>, std::string> cases = {
      // Exact ties round to even on Windows 10 2004 and later ("%.0f" of 2.5
      // is "2"); Wine rounds them away from zero as older runtimes did.
      {{"%.0f", "3FE0000000000000"}, "0"},           {{"%.0f", "4004000000000000"}, "2"},
      {{"%.2f", "3FC0000000000000"}, "0.12"},        {{"%.0e", "4004000000000000"}, "2e+00"},
      {{"%#.0f", "3FE0000000000000"}, "0."},         {{"%#.0f", "4004000000000000"}, "2."},
      {{"%#.0e", "4004000000000000"}, "2.e+00"},     {{"%010.2f", "3FC0000000000000"}, "0000000.12"},
      {{"%.0g", "4004000000000000"}, "2"},
  };
  return cases;
}

// A signalling NaN prints as "nan(snan)" on Windows; Wine prints a plain
// "nan" (or "-nan(ind)" with the sign set).
std::string WindowsNonFinite(const std::string& format, std::uint64_t bits, std::string recorded) {
  const bool signalling = ((bits >> 52) & 0x7FF) == 0x7FF && (bits & 0xFFFFFFFFFFFFFull) != 0 &&
                          (bits & 0x8000000000000ull) == 0;
  if (!signalling) return recorded;
  const bool upper = format.find_first_of("EFGA") != std::string::npos;
  std::string word = std::string(bits >> 63 ? "-" : "") + (upper ? "NAN(SNAN)" : "nan(snan)");
  if (bits >> 63 == 0 && format.find('+') != std::string::npos) word = "+" + word;
  if (bits >> 63 == 0 && format.find(' ') != std::string::npos) word = " " + word;
  const std::size_t width = recorded.size() - (recorded.find('|') != std::string::npos ? 1 : 0);
  const bool left = format.find('-') != std::string::npos;
  if (word.size() < width) word = left ? word + std::string(width - word.size(), ' ') : std::string(width - word.size(), ' ') + word;
  if (recorded.back() == '|') word += '|';
  return word;
}

// Every recorded double under every recorded format.
TEST(WidePrintf, DoublesMatchTheWindowsRuntime) {
  const auto rows = qvtest::LoadProbeTable("printf");
  ASSERT_GT(rows.size(), 900u);
  int compared = 0, mismatched = 0;
  for (const auto& r : rows) {
    if (r[0] != "fmt") continue;
    ++compared;
    const std::uint64_t bits = std::stoull(r[2], nullptr, 16);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    std::string want = r.size() > 4 ? r[4] : "";
    if (auto it = WindowsOverWine().find({r[1], r[2]}); it != WindowsOverWine().end()) want = it->second;
    want = WindowsNonFinite(r[1], bits, want);
    const std::u16string got = qvp::Format(std::u16string(r[1].begin(), r[1].end()), d);
    if (got != std::u16string(want.begin(), want.end()) && ++mismatched <= 40) {
      ADD_FAILURE() << r[1] << " of " << r[2] << ": \"" << std::string(got.begin(), got.end()) << "\", Windows \""
                    << want << "\"";
    }
  }
  EXPECT_EQ(mismatched, 0);
  EXPECT_GT(compared, 900);
}

// _snwprintf and swprintf: what lands in a buffer of every size up to 8.
TEST(WidePrintf, BufferRulesMatchTheWindowsRuntime) {
  int compared = 0;
  for (const auto& r : qvtest::LoadProbeTable("printf")) {
    if (r[0] != "snw" && r[0] != "swp") continue;
    ++compared;
    const std::size_t count = std::stoul(r[1]);
    const std::u16string format(r[2].begin(), r[2].end());
    char16_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    const int ret = r[0] == "snw" ? _snwprintf(buffer, count, format.c_str(), 12345)
                                  : swprintf(buffer, count, format.c_str(), 12345);
    EXPECT_EQ(ret, std::stoi(r[4])) << r[0] << " " << count << " " << r[2];
    EXPECT_EQ(qvtest::ToHex(std::u16string_view(buffer, count + 1)), r[5]) << r[0] << " " << count << " " << r[2];
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
