// The writer's buffer and its block-wise helpers: the growing buffer keeps
// every character, and the eight-at-a-time escaping and hex digits give
// what the character-at-a-time rules give wherever a character falls.
#include "platform/data/persist_write.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>

#include "qv_platform/unicode.h"

namespace qvp::persist::write {
namespace {

TEST(PersistWrite, RawOutKeepsEveryCharacterAcrossChunksAndPlans) {
  struct Case {
    const char* name;
    std::size_t room, plan, pieces;
  };
  const Case cases[] = {
      {"tiny start, no plan", 1, 0, 40000},
      {"plan too small", 16, 100, 40000},
      {"plan larger than the text", 64, 8 << 20, 40000},
      {"plan in the middle", 1024, 300000, 60000},
  };
  for (const Case& c : cases) {
    RawOut out(c.room);
    std::string want;
    std::mt19937 rng(7);
    for (std::size_t k = 0; k < c.pieces; ++k) {
      if (k == c.pieces / 3 && c.plan) out.Plan(c.plan);
      const std::string piece(rng() % 40, static_cast<char>('a' + k % 26));
      switch (k % 5) {
        case 0: out.append(piece); break;
        case 1: out.append(piece.size(), 'f'); want.append(piece.size(), 'f'); continue;
        case 2: {
          char* p = out.Claim(piece.size() + 5);
          piece.copy(p, piece.size());
          out.Unclaim(5);
          break;
        }
        case 3: {
          std::string padded = piece.substr(0, 16);
          want += padded;
          padded.resize(RawOut::kPadded + 1, '\0');
          out.AppendPadded(std::string_view(padded.data(), std::min(piece.size(), std::size_t{16})));
          continue;
        }
        default: out += piece; break;
      }
      want += piece;
    }
    ASSERT_EQ(out.size(), want.size()) << c.name;
    EXPECT_EQ(out.Take(), want) << c.name;
    EXPECT_EQ(out.size(), 0u) << c.name;
  }
}

// Text through the UTF-16 escaper into either output, against the same text
// converted first and escaped as UTF-8.
void ExpectEscapedAsUtf8(const std::u16string& text) {
  std::string want;
  AppendEscaped(want, std::string_view(Utf16ToUtf8(text)));
  std::string viaString = "<";
  AppendEscaped(viaString, std::u16string_view(text));
  RawOut raw(1);
  raw += "<";
  AppendEscaped(raw, std::u16string_view(text));
  EXPECT_EQ(viaString, "<" + want);
  EXPECT_EQ(raw.Take(), "<" + want);
}

TEST(PersistWrite, EscapingInBlocksMatchesEscapingByCharacter) {
  // Each character that stops a block, at every position of two blocks and
  // of a tail.
  const char16_t stops[] = {u'\'', u'<', u'>', u'&', u'"', 0x1f, 0x00, 0x7f, 0x80, 0x7ff, 0x7fff, 0x8000,
                            0xd800, 0xdc00, 0xfffd, u'\t', u'\r', u'\n'};
  for (char16_t stop : stops) {
    for (std::size_t len = 0; len <= 19; ++len) {
      for (std::size_t at = 0; at < len; ++at) {
        std::u16string text(len, u'x');
        text[at] = stop;
        SCOPED_TRACE(testing::Message() << "unit " << static_cast<unsigned>(stop) << " at " << at << " of " << len);
        ExpectEscapedAsUtf8(text);
      }
    }
  }
  // A surrogate pair split across the end of a block stays one character.
  std::u16string pair = u"abcdefg";
  pair += u"\xd83d\xde00";
  pair += u"tail & more";
  ExpectEscapedAsUtf8(pair);
  // Random mixes of plain, referenced and wide characters.
  std::mt19937 rng(11);
  const char16_t pool[] = {u'a', u'Z', u'0', u' ', u'&', u'<', u'\'', 0x0a, 0xe9, 0x4e2d, 0xd83d, 0xde00, 0xffff};
  for (int k = 0; k < 300; ++k) {
    std::u16string text(rng() % 70, u'a');
    for (char16_t& c : text) c = pool[rng() % std::size(pool)];
    ExpectEscapedAsUtf8(text);
  }
  // A long text goes through the string output's buffer in several chunks.
  std::u16string longText(1000, u'q');
  longText[255] = u'&';
  longText[256] = 0xe9;
  longText[700] = u'"';
  ExpectEscapedAsUtf8(longText);
}

TEST(PersistWrite, HexDigitsInBlocksMatchDigitsByByte) {
  std::vector<unsigned char> bytes(256);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
  static const char kHex[] = "0123456789abcdef";
  for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 16u, 31u, 32u, 33u, 256u}) {
    std::string want;
    for (std::size_t i = 0; i < n; ++i) {
      want += kHex[bytes[i] >> 4];
      want += kHex[bytes[i] & 15];
    }
    std::string got(2 * n, '?');
    PutHex(bytes.data(), n, got.data());
    EXPECT_EQ(got, want) << n << " bytes";
  }
}

// The form as a GUID's text has it, a character at a time.
bool SlowGuidText(std::string s) {
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36) return false;
  for (std::size_t i = 0; i < 36; ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

TEST(PersistWrite, GuidTextCheckedInBlocksMatchesTheForm) {
  const std::string guids[] = {"6B29FC40-CA47-1067-B31D-00DD010662DA", "{6b29fc40-ca47-1067-b31d-00dd010662da}"};
  // Every position of either form replaced by characters around the edges
  // of the digit, letter and dash ranges, and beyond ASCII.
  const char others[] = {'0', '9', 'a', 'f', 'A', 'F', 'g', 'G', '`', '@', '/', ':', '-', ',', '.', '{', '}', ' ',
                         '\0', '\x7f', '\x80', '\xc1', '\xe6', '\xff'};
  for (const std::string& guid : guids) {
    EXPECT_TRUE(GuidText(guid)) << guid;
    for (std::size_t at = 0; at < guid.size(); ++at) {
      for (char c : others) {
        std::string s = guid;
        s[at] = c;
        EXPECT_EQ(GuidText(s), SlowGuidText(s)) << s << " (" << at << ")";
      }
    }
    EXPECT_FALSE(GuidText(guid.substr(1)));
    EXPECT_FALSE(GuidText(guid + "0"));
  }
}

}  // namespace
}  // namespace qvp::persist::write
