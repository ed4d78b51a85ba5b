#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qv_platform/guid.h"
#include "support/winprobe_table.h"

namespace {

const GUID kSample{0x00A1B2C3, 0x0D4E, 0xF506, {0x07, 0x18, 0x29, 0x3A, 0x4B, 0x5C, 0x6D, 0x7E}};

// Registry text is upper case with the data fields written as numbers.
TEST(Guid, TextNeedsRoomForTheNul) {
  char16_t text[39];
  ASSERT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E}");
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);
  EXPECT_EQ(CLSIDFromString(u"", nullptr), E_INVALIDARG);
  EXPECT_EQ(IIDFromString(u"", nullptr), E_INVALIDARG);
}

// Every recorded parse: the result and the bytes of the output record, which
// starts filled with 0xCC so that what the parser wrote before an error
// shows.
TEST(Guid, ParsingMatchesTheRecording) {
  const auto rows = qvtest::LoadProbeTable("guid");
  ASSERT_GT(rows.size(), 50u);
  for (const auto& r : rows) {
    const std::u16string text(r[1].begin(), r[1].end());
    const char16_t* arg = r[1] == "(null)" ? nullptr : text.c_str();
    GUID g;
    std::memset(&g, 0xCC, sizeof g);
    const HRESULT hr = r[0] == "clsid" ? CLSIDFromString(arg, &g) : IIDFromString(arg, &g);
    EXPECT_EQ(static_cast<unsigned long>(static_cast<std::uint32_t>(hr)), std::stoul(r[2], nullptr, 16))
        << r[0] << " " << r[1];
    EXPECT_EQ(qvtest::ToHex(std::string_view(reinterpret_cast<const char*>(&g), sizeof g)), r[3])
        << r[0] << " " << r[1];
  }
}

TEST(Guid, NewGuidsAreVersionFourAndDiffer) {
  GUID a{}, b{};
  ASSERT_EQ(CoCreateGuid(&a), S_OK);
  ASSERT_EQ(CoCreateGuid(&b), S_OK);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.Data3 >> 12, 4);
  EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
  EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);
}

}  // namespace
