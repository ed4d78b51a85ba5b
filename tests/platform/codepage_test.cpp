#include "qv_platform/codepage.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "support/winprobe_table.h"

namespace {

using qvtest::HexBytes;
using qvtest::HexUnits;
using qvtest::ToHex;

// The default ANSI code page is GBK.
TEST(CodePageTest, GbkConversionAndWindowsCounting) {
  EXPECT_EQ(GetACP(), 936u);
  EXPECT_EQ(qvp::FromWide(u"中文"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(qvp::ToWide("\xD6\xD0\xCE\xC4"), u"中文");
  EXPECT_EQ(qvp::FromWide(u"a\U0001F600b"), "a??b");  // each half of the pair
  EXPECT_EQ(qvp::ToWide("a\x81"), u"a?");             // truncated double-byte character

  const char16_t* w = u"ab中";
  char out[5];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr), 5);  // with NUL
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, out, 5, nullptr, nullptr), 5);
  EXPECT_STREQ(out, "ab\xD6\xD0");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, out, 4, nullptr, nullptr), 0);  // too small
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", 3, nullptr, 0), 2);
  EXPECT_EQ(MultiByteToWideChar(936, 0x1000, "a", 1, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, &used), 0);  // UTF-8 has no default
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Utf8Test, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(qvp::Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(qvp::Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");                  // truncated: one U+FFFD
  EXPECT_EQ(qvp::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(qvp::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(qvp::Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

std::u16string Decode(UINT cp, const std::string& in, DWORD flags = 0) {
  char16_t out[16];
  const int n = MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out, 16);
  return std::u16string(out, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string Encode(UINT cp, std::u16string_view in, DWORD flags, BOOL* used) {
  char out[16];
  const int n = WideCharToMultiByte(cp, flags, in.data(), static_cast<int>(in.size()), out, 16, nullptr, used);
  return std::string(out, static_cast<std::size_t>(n > 0 ? n : 0));
}

class RecordedCodePage : public ::testing::TestWithParam<UINT> {};

// Every byte, every lead/trail pair and every unit of the Basic Multilingual
// Plane in both directions, with and without best fit, as recorded.
TEST_P(RecordedCodePage, TablesMatchWindows) {
  const UINT cp = GetParam();
  const auto rows = qvtest::LoadProbeTable("codepage_" + std::to_string(cp));
  ASSERT_GT(rows.size(), 100u);
  std::size_t compared = 0, mismatched = 0;
  auto check = [&](bool ok, const std::string& what) {
    ++compared;
    if (!ok && ++mismatched <= 20) ADD_FAILURE() << "code page " << cp << ": " << what;
  };
  for (const auto& r : rows) {
    if (r[0] == "mb") {
      const unsigned first = std::stoul(r[1], nullptr, 16), last = std::stoul(r[2], nullptr, 16);
      const std::u16string out = HexUnits(r[3]);
      const int step = std::stoi(r[4]);
      for (unsigned x = first; x <= last; ++x) {
        std::string in = r[1].size() == 2 ? std::string(1, static_cast<char>(x))
                                          : std::string{static_cast<char>(x >> 8), static_cast<char>(x & 0xFF)};
        std::u16string want = out;
        if (want.size() == 1) want[0] = static_cast<char16_t>(want[0] + step * (x - first));
        const std::u16string got = Decode(cp, in);
        check(got == want, "bytes " + ToHex(in) + " give " + ToHex(got) + ", Windows " + ToHex(want));
      }
    } else if (r[0] == "wc") {
      const DWORD flags = std::stoul(r[1], nullptr, 16);
      for (unsigned u = std::stoul(r[2], nullptr, 16); u <= std::stoul(r[3], nullptr, 16); ++u) {
        const char16_t unit = static_cast<char16_t>(u);
        BOOL used = 7;
        const std::string got = Encode(cp, std::u16string_view(&unit, 1), flags, &used);
        const bool ok = r[4] == "rt" ? (!used && Decode(cp, got) == std::u16string(1, unit)) : (used && got == "?");
        check(ok, "unit " + ToHex(std::u16string(1, unit)) + " flags " + r[1] + " gives " + ToHex(got) + ", Windows " + r[4]);
      }
    } else if (r[0] == "bf") {
      const char16_t unit = static_cast<char16_t>(std::stoul(r[2], nullptr, 16));
      BOOL used = 7;
      const std::string got = Encode(cp, std::u16string_view(&unit, 1), std::stoul(r[1], nullptr, 16), &used);
      check(got == HexBytes(r[3]) && used == std::stoi(r[4]),
            "best fit of " + r[2] + " gives " + ToHex(got) + ", Windows " + r[3]);
    }
  }
  EXPECT_EQ(mismatched, 0u) << "of " << compared;
  EXPECT_GT(compared, cp == 936 ? 32000u : 400u);
}

// Where Windows differs from the recording (made under Wine), with the
// reason; keyed by function, code page, flags and input.
using CaseKey = std::tuple<std::string, std::string, std::string, std::string>;
struct WindowsResult {
  int ret;
  DWORD error;
  const char* out;
};
const std::map<CaseKey, WindowsResult>& WindowsOverWine() {
  static const std::map<CaseKey, WindowsResult> cases = {
      // Windows' table lists 0xFF as a valid single byte (U+F8F5); Wine
      // calls it invalid under MB_ERR_INVALID_CHARS.
      {{"mb", "936", "8", "FF"}, {1, 0, "F8F5"}},
      // WC_ERR_INVALID_CHARS is documented for UTF-8 (and 54936) only and
      // refused elsewhere with ERROR_INVALID_FLAGS; Wine ignores it.
      {{"wc", "936", "80", "006101004E2D300000B720ACF8F5E15F"}, {0, ERROR_INVALID_FLAGS, "-"}},
      {{"wc", "936", "80", "D800"}, {0, ERROR_INVALID_FLAGS, "-"}},
      {{"wc", "1252", "80", "006101004E2D300000B720AC2018FF21"}, {0, ERROR_INVALID_FLAGS, "-"}},
  };
  return cases;
}

// The recorded cases: flags, errors, default characters, surrogates.
TEST_P(RecordedCodePage, CasesMatchWindows) {
  const UINT recorded_cp = GetParam();
  int compared = 0;
  for (const auto& r : qvtest::LoadProbeTable("codepage_" + std::to_string(recorded_cp))) {
    if (r[0] != "case") continue;
    ++compared;
    const UINT cp = std::stoul(r[2]);
    const DWORD flags = std::stoul(r[3], nullptr, 16);
    int want_ret = std::stoi(r[6]);
    DWORD want_error = std::stoul(r[7]);
    std::string want_out = r[8];
    if (auto it = WindowsOverWine().find({r[1], r[2], r[3], r[4]}); it != WindowsOverWine().end()) {
      want_ret = it->second.ret;
      want_error = it->second.error;
      want_out = it->second.out;
    }
    SetLastError(0);
    if (r[1] == "mb") {
      const std::string in = HexBytes(r[4]);
      char16_t out[64];
      const int n = MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out, 64);
      EXPECT_EQ(n, want_ret) << r[4];
      EXPECT_EQ(GetLastError(), want_error) << r[4];
      EXPECT_EQ(ToHex(std::u16string_view(out, n > 0 ? n : 0)), ToHex(HexUnits(want_out))) << r[4];
    } else {
      const std::u16string in = HexUnits(r[4]);
      const std::string def = HexBytes(r[5]);
      // UTF-8 refuses a used-default pointer, so its rows are checked without one.
      BOOL used = 7;
      char out[64];
      const int n = WideCharToMultiByte(cp, flags, in.data(), static_cast<int>(in.size()), out, 64,
                                        def.empty() ? nullptr : def.c_str(), cp == CP_UTF8 ? nullptr : &used);
      EXPECT_EQ(n, want_ret) << r[3] << " " << r[4];
      EXPECT_EQ(GetLastError(), want_error) << r[3] << " " << r[4];
      EXPECT_EQ(ToHex(std::string_view(out, n > 0 ? n : 0)), ToHex(HexBytes(want_out))) << r[3] << " " << r[4];
      if (cp != CP_UTF8 && want_ret > 0) {
        EXPECT_EQ(used, std::stoi(r[9])) << r[4];
      }
    }
  }
  EXPECT_GT(compared, 8);
}

INSTANTIATE_TEST_SUITE_P(CodePages, RecordedCodePage, ::testing::Values(936u, 1252u));

}  // namespace
