#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "qv_commonclass/text.h"
#include "support/isolated_run.h"

namespace {

std::vector<BYTE> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::string EncodeA(const std::vector<BYTE>& in) {
  std::string out(in.size() / 3 * 4 + 8, '#');
  const int n = Base64EncodeA(out.data(), in.data(), static_cast<int>(in.size()));
  EXPECT_EQ(out[static_cast<std::size_t>(n)], '\0');
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// The decoding rule written out plainly, group by group, as the oracle for
// the library's bulk paths.
int ReferenceDecode(std::vector<BYTE>& out, const std::u16string& in) {
  if (in.size() % 4 != 0) return -1;
  auto value = [](char16_t c) -> unsigned {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return 64;
    return 0;
  };
  out.clear();
  for (std::size_t i = 0; i < in.size(); i += 4) {
    const unsigned c0 = value(in[i]), c1 = value(in[i + 1]), c2 = value(in[i + 2]), c3 = value(in[i + 3]);
    out.push_back(static_cast<BYTE>(c0 << 2 | c1 >> 4));
    if (c2 == 64) break;
    out.push_back(static_cast<BYTE>(c1 << 4 | c2 >> 2));
    if (c3 == 64) break;
    out.push_back(static_cast<BYTE>(c2 << 6 | c3));
  }
  return static_cast<int>(out.size());
}

// RFC 4648 test vectors, covering 0, 1 and 2 trailing bytes, and high bytes.
TEST(Base64Encode, MatchesRfcVectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {"\xFF\xFF\xFF", "////"},  {"\xFB\xFF", "+/8="},     // bytes read as unsigned
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(EncodeA(Bytes(plain)), encoded) << plain;
    EXPECT_EQ(Base64Encode(reinterpret_cast<const BYTE*>(plain), static_cast<int>(std::strlen(plain))),
              CString(encoded));
  }
}

TEST(Base64Encode, ZeroLengthWritesOnlyTheTerminator) {
  char out[4] = {'x', 'x', 'x', 'x'};
  const BYTE in[1] = {0};
  EXPECT_EQ(Base64EncodeA(out, in, 0), 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[1], 'x');
  char16_t wout[2] = {u'x', u'x'};
  EXPECT_EQ(Base64EncodeW(wout, in, -5), 0);
  EXPECT_EQ(wout[0], 0);
  EXPECT_EQ(Base64Encode(in, 0), CString());
  EXPECT_EQ(Base64EncodeA(nullptr, in, 1), 0);
}

// Every length around the bulk block sizes, both widths, against a plain
// encoder; the guard after the terminator proves the writes stop there.
void CheckEncodingAgainstPlainRule() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::mt19937 rng(7);
  for (int len = 0; len <= 200; ++len) {
    std::vector<BYTE> in(static_cast<std::size_t>(len));
    for (auto& b : in) b = static_cast<BYTE>(rng());
    std::string expected;
    for (int i = 0; i < len; i += 3) {
      const unsigned v = unsigned{in[i]} << 16 | (i + 1 < len ? in[i + 1] << 8 : 0) | (i + 2 < len ? in[i + 2] : 0);
      expected += kAlphabet[v >> 18];
      expected += kAlphabet[v >> 12 & 63];
      expected += i + 1 < len ? kAlphabet[v >> 6 & 63] : '=';
      expected += i + 2 < len ? kAlphabet[v & 63] : '=';
    }
    const std::size_t chars = expected.size();
    std::string a(chars + 2, '#');
    ASSERT_EQ(Base64EncodeA(a.data(), in.data(), len), static_cast<int>(chars));
    EXPECT_EQ(a.substr(0, chars), expected) << len;
    EXPECT_EQ(a[chars], '\0');
    EXPECT_EQ(a[chars + 1], '#');
    std::u16string w(chars + 2, u'#');
    ASSERT_EQ(Base64EncodeW(w.data(), in.data(), len), static_cast<int>(chars));
    EXPECT_EQ(CString(w.substr(0, chars)), CString(expected)) << len;
    EXPECT_EQ(w[chars + 1], u'#');
  }
}

TEST(Base64Decode, PadsGiveTwoOrOneBytes) {
  BYTE out[8] = {};
  EXPECT_EQ(Base64DecodeA(out, "Zm9v", 4), 3);
  EXPECT_EQ(std::string(out, out + 3), "foo");
  EXPECT_EQ(Base64DecodeA(out, "Zm8=", 4), 2);
  EXPECT_EQ(Base64DecodeA(out, "Zg==", 4), 1);
  EXPECT_EQ(out[0], 'f');
  EXPECT_EQ(Base64DecodeW(out, u"Zm8=", 4), 2);
  EXPECT_EQ(std::string(out, out + 2), "fo");
}

TEST(Base64Decode, LengthNotAMultipleOfFourWritesNothing) {
  for (int len : {1, 2, 3, 5, 6, 7, -1}) {
    BYTE out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(Base64DecodeA(out, "Zm9vYmFy", len), -1) << len;
    EXPECT_EQ(Base64DecodeW(out, u"Zm9vYmFy", len), -1) << len;
    EXPECT_EQ(out[0], 9);
  }
  BYTE out[1];
  EXPECT_EQ(Base64DecodeA(out, "", 0), 0);
  EXPECT_EQ(Base64DecodeA(nullptr, "Zm9v", 4), 0);
}

TEST(Base64Decode, FirstPadEndsTheWholeDecoding) {
  BYTE out[8] = {};
  EXPECT_EQ(Base64DecodeA(out, "Zg==Zm9v", 8), 1);
  EXPECT_EQ(Base64DecodeA(out, "Zm8=Zm9v", 8), 2);
  // A pad in the fourth place stops after two bytes even if the third is not one.
  EXPECT_EQ(Base64DecodeA(out, "Zm9=", 4), 2);
  // A pad in the first two places is the value 64, not a stop.
  EXPECT_EQ(Base64DecodeA(out, "=AAA", 4), 3);
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(Base64DecodeA(out, "A=AA", 4), 3);
  EXPECT_EQ(out[0], 0x04);
  EXPECT_EQ(out[1], 0x00);
}

TEST(Base64Decode, CharactersOutsideTheAlphabetAreZero) {
  BYTE out[8] = {};
  EXPECT_EQ(Base64DecodeA(out, "Zm*v", 4), 3);
  BYTE expected[3];
  Base64DecodeA(expected, "ZmAv", 4);
  EXPECT_EQ(std::vector<BYTE>(out, out + 3), std::vector<BYTE>(expected, expected + 3));
  // A wide unit whose low byte is a letter is still outside the alphabet.
  EXPECT_EQ(Base64DecodeW(out, u"\u015Am9v", 4), 3);
  Base64DecodeA(expected, "Am9v", 4);
  EXPECT_EQ(std::vector<BYTE>(out, out + 3), std::vector<BYTE>(expected, expected + 3));
  EXPECT_EQ(Base64DecodeW(out, u"Zm\uFF1Dv", 4), 3);  // full-width "=" is not a pad
}

// Random text drawn mostly from the alphabet with occasional pads and
// foreign characters, at every length around the 32-character bulk block.
void CheckDecodingAgainstPlainRule() {
  std::mt19937 rng(11);
  const std::u16string pool =
      u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::u16string odd = u"=*- \n\x80\xFF\u0141\u4E2D\uFF21" + std::u16string(1, char16_t{0xD800});
  for (int round = 0; round < 3000; ++round) {
    const std::size_t len = 4 * (rng() % 40);
    const unsigned odd_rate = rng() % 4 == 0 ? 0 : 1 + rng() % 200;
    std::u16string text(len, u'A');
    for (auto& c : text) c = (odd_rate != 0 && rng() % odd_rate == 0) ? odd[rng() % odd.size()] : pool[rng() % 64];
    std::vector<BYTE> expected;
    const int expected_n = ReferenceDecode(expected, text);
    std::vector<BYTE> out(len / 4 * 3 + 1, 0xEE);
    ASSERT_EQ(Base64DecodeW(out.data(), text.data(), static_cast<int>(len)), expected_n);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + expected_n), expected);
    EXPECT_EQ(out[static_cast<std::size_t>(expected_n)], 0xEE) << "wrote past the decoded bytes";

    std::string narrow(len, 'A');
    std::u16string as_units(len, u'A');
    for (std::size_t i = 0; i < len; ++i) {
      narrow[i] = static_cast<char>(text[i] & 0xFF);
      as_units[i] = static_cast<unsigned char>(narrow[i]);
    }
    const int expected_a = ReferenceDecode(expected, as_units);
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_EQ(Base64DecodeA(out.data(), narrow.data(), static_cast<int>(len)), expected_a);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + expected_a), expected);
    EXPECT_EQ(out[static_cast<std::size_t>(expected_a)], 0xEE);
  }
}

TEST(Base64, FastPathsAgreeWithThePlainRule) {
  CheckEncodingAgainstPlainRule();
  CheckDecodingAgainstPlainRule();
}

// The same comparison with the vector paths switched off, in a child process
// (the switch is read once per process).
TEST(Base64, PortablePathsAgreeWithThePlainRule) {
  if (qvtest::IsolatedMode("portable")) {
    CheckEncodingAgainstPlainRule();
    CheckDecodingAgainstPlainRule();
    return;
  }
  ::setenv("QV_BASE64_NO_AVX2", "1", 1);
  const auto result = qvtest::RunIsolated({}, "Base64.PortablePathsAgreeWithThePlainRule", "portable");
  ::unsetenv("QV_BASE64_NO_AVX2");
  EXPECT_TRUE(result.Passed()) << result.output;
}

}  // namespace
