#include <gtest/gtest.h>

#include <string>

#include "qv_platform/guid.h"

namespace {

const GUID kSample{0x00A1B2C3, 0x0D4E, 0xF506, {0x07, 0x18, 0x29, 0x3A, 0x4B, 0x5C, 0x6D, 0x7E}};

// Registry text is upper case with the data fields written as numbers, and
// parsing takes either case back.
TEST(Guid, TextRoundTripsAndNeedsRoomForTheNul) {
  char16_t text[39];
  ASSERT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E}");
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);
  for (const char16_t* in : {static_cast<const char16_t*>(text), u"{00a1b2c3-0d4e-f506-0718-293a4b5c6d7e}"}) {
    GUID parsed{};
    EXPECT_EQ(CLSIDFromString(in, &parsed), S_OK);
    EXPECT_EQ(parsed, kSample);
  }
  GUID parsed = kSample;
  EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
  EXPECT_EQ(parsed, GUID_NULL);
  EXPECT_EQ(CLSIDFromString(u"", nullptr), E_INVALIDARG);
}

TEST(Guid, MalformedTextGivesClassStringErrorAndNullGuid) {
  for (const char16_t* text : {u"", u"{", u"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E", u"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E}x",
                               u"{00A1B2C3-0D4E-F506-0718293A-4B5C6D7E}", u"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7G}",
                               u"00A1B2C3-0D4E-F506-0718-293A4B5C6D7E", u"{+0A1B2C3-0D4E-F506-0718-293A4B5C6D7E}"}) {
    GUID parsed = kSample;
    EXPECT_EQ(CLSIDFromString(text, &parsed), CO_E_CLASSSTRING) << std::u16string(text).size();
    EXPECT_EQ(parsed, GUID_NULL);
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
