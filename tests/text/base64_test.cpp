#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "qv_commonclass/text.h"
#include "support/isolated_run.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The encoding and decoding rules written out plainly, group by group, as the
// oracles for the library's bulk paths.
std::string PlainEncode(const std::vector<BYTE>& in) {
  std::string out;
  const std::size_t len = in.size();
  for (std::size_t i = 0; i < len; i += 3) {
    const unsigned v = unsigned{in[i]} << 16 | (i + 1 < len ? in[i + 1] << 8 : 0) | (i + 2 < len ? in[i + 2] : 0);
    out += kAlphabet[v >> 18];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < len ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < len ? kAlphabet[v & 63] : '=';
  }
  return out;
}

int PlainDecode(std::vector<BYTE>& out, const std::u16string& in) {
  if (in.size() % 4 != 0) return -1;
  auto value = [](char16_t c) -> unsigned {
    if (c == '=') return 64;
    const char* at = c < 0x80 && c != 0 ? std::strchr(kAlphabet, static_cast<char>(c)) : nullptr;
    return at ? static_cast<unsigned>(at - kAlphabet) : 0;
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

// RFC 4648 vectors pin the plain rule itself (high bytes read as unsigned).
TEST(Base64Encode, RfcVectorsAndEmptyInput) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="}};
  for (const auto& [plain, encoded] : cases) {
    const auto* bytes = reinterpret_cast<const BYTE*>(plain);
    EXPECT_EQ(PlainEncode({bytes, bytes + std::strlen(plain)}), encoded);
    EXPECT_EQ(Base64Encode(bytes, static_cast<int>(std::strlen(plain))), CString(encoded));
  }
  // Nothing to encode: only the terminator is written.
  char out[2] = {'x', 'x'};
  char16_t wout[1] = {u'x'};
  const BYTE in[1] = {0};
  EXPECT_EQ(Base64EncodeA(out, in, 0), 0);
  EXPECT_EQ(std::string(out, 2), std::string("\0x", 2));
  EXPECT_EQ(Base64EncodeW(wout, in, -5), 0);
  EXPECT_EQ(wout[0], 0);
  EXPECT_EQ(Base64EncodeA(nullptr, in, 1), 0);
}

// Every length around the bulk block sizes, both widths; the guard after the
// terminator proves the writes stop there.
void CheckEncodingAgainstPlainRule() {
  std::mt19937 rng(7);
  for (int len = 0; len <= 200; ++len) {
    std::vector<BYTE> in(static_cast<std::size_t>(len));
    for (auto& b : in) b = static_cast<BYTE>(rng());
    const std::string expected = PlainEncode(in);
    const std::size_t chars = expected.size();
    std::string a(chars + 2, '#');
    ASSERT_EQ(Base64EncodeA(a.data(), in.data(), len), static_cast<int>(chars));
    EXPECT_EQ(a, expected + std::string("\0#", 2)) << len;
    std::u16string w(chars + 2, u'#');
    ASSERT_EQ(Base64EncodeW(w.data(), in.data(), len), static_cast<int>(chars));
    EXPECT_EQ(CString(w.substr(0, chars)), CString(expected)) << len;
    EXPECT_EQ(w.substr(chars), std::u16string(u"\0#", 2)) << len;
  }
}

// Hand-worked groups (bytes as the plain rule gives them). A pad in the third
// or fourth place ends the whole decoding; in the first two it is the value
// 64. Anything outside the alphabet counts as "A": "*", a wide unit whose low
// byte is a letter, a full-width "=". A length that is not a multiple of four
// gives -1 and writes nothing.
TEST(Base64Decode, HandWorkedCases) {
  const std::tuple<std::u16string, int, std::vector<BYTE>> cases[] = {
      {u"Zm9v", 3, {'f', 'o', 'o'}},  {u"Zm8=", 2, {'f', 'o'}},    {u"Zg==", 1, {'f'}},
      {u"Zg==Zm9v", 1, {'f'}},        {u"Zm8=Zm9v", 2, {'f', 'o'}}, {u"Zm9=", 2, {'f', 'o'}},
      {u"=AAA", 3, {0, 0, 0}},        {u"A=AA", 3, {4, 0, 0}},      {u"Zm*v", 3, {'f', 0x60, 0x2F}},
      {u"\u015Am9v", 3, {2, 'o', 'o'}}, {u"Zm\uFF1Dv", 3, {'f', 0x60, 0x2F}}, {u"", 0, {}},
      {u"Z", -1, {}}, {u"Zm", -1, {}}, {u"Zm9", -1, {}}, {u"Zm9vY", -1, {}}, {u"Zm9vYm", -1, {}}, {u"Zm9vYmF", -1, {}},
  };
  for (const auto& [text, result, bytes] : cases) {
    const auto n = static_cast<int>(text.size());
    auto check = [&](int got, const std::vector<BYTE>& out) {
      EXPECT_EQ(got, result) << CString(text);
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin())) << CString(text);
      EXPECT_EQ(out[bytes.size()], 0xEE) << CString(text) << ": wrote past the decoded bytes";
    };
    std::vector<BYTE> out(12, 0xEE);
    check(Base64DecodeW(out.data(), text.data(), n), out);
    if (std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= 0x80; })) continue;
    const std::string narrow(text.begin(), text.end());
    out.assign(12, 0xEE);
    check(Base64DecodeA(out.data(), narrow.data(), n), out);
  }
  BYTE out[4] = {9};
  EXPECT_EQ(Base64DecodeA(out, "Zm9v", -1), -1);
  EXPECT_EQ(Base64DecodeW(out, u"Zm9v", -1), -1);
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(Base64DecodeA(nullptr, "Zm9v", 4), 0);
}

// Random text drawn mostly from the alphabet with occasional pads and
// foreign characters, at every length around the 32-character bulk block;
// the narrow form decodes the low bytes of the same text.
void CheckDecodingAgainstPlainRule() {
  std::mt19937 rng(11);
  const std::u16string odd = u"=*- \n\x80\xFF\u0141\u4E2D\uFF21" + std::u16string(1, char16_t{0xD800});
  for (int round = 0; round < 3000; ++round) {
    const std::size_t len = 4 * (rng() % 40);
    const unsigned odd_rate = rng() % 4 == 0 ? 0 : 1 + rng() % 200;
    std::u16string text(len, u'A'), low(len, u'A');
    std::string narrow(len, 'A');
    for (std::size_t i = 0; i < len; ++i) {
      text[i] = (odd_rate != 0 && rng() % odd_rate == 0) ? odd[rng() % odd.size()] : kAlphabet[rng() % 64];
      narrow[i] = static_cast<char>(text[i] & 0xFF);
      low[i] = text[i] & 0xFF;
    }
    auto check = [&](int n, const std::u16string& as_text, const std::vector<BYTE>& out) {
      std::vector<BYTE> expected;
      ASSERT_EQ(n, PlainDecode(expected, as_text));
      EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + n), expected);
      EXPECT_EQ(out[static_cast<std::size_t>(n)], 0xEE) << "wrote past the decoded bytes";
    };
    std::vector<BYTE> out(len / 4 * 3 + 1, 0xEE);
    check(Base64DecodeW(out.data(), text.data(), static_cast<int>(len)), text, out);
    std::fill(out.begin(), out.end(), 0xEE);
    check(Base64DecodeA(out.data(), narrow.data(), static_cast<int>(len)), low, out);
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
