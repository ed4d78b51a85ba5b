#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "qv_platform/message_table.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace {

std::u16string Error(DWORD code) { return qvp::Utf8ToUtf16("error " + std::to_string(code)); }

// Format gives the text FormatMessageW allocates, or "error <last error>";
// a failure must leave no buffer behind.
std::u16string Format(DWORD flags, LPCVOID source, DWORD id, DWORD language, const void* args = nullptr) {
  char16_t* text = nullptr;
  const DWORD n = FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, id, language,
                                 reinterpret_cast<char16_t*>(&text), 0, args);
  const std::u16string out = n ? std::u16string(text, n) : Error(GetLastError());
  EXPECT_TRUE(n != 0 || text == nullptr);
  LocalFree(text);
  return out;
}

TEST(MessageTable, EscapesAndInserts) {
  const char16_t* args[] = {u"clip.mxf", u"D:"};
  EXPECT_EQ(Format(FORMAT_MESSAGE_FROM_STRING, u"%1 on %2!s!%n100%% done%0 never", 0, 0, args),
            u"clip.mxf on D:\r\n100% done");
  EXPECT_EQ(Format(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, u"%1 stays%.", 0, 0), u"%1 stays.");
  EXPECT_EQ(Format(FORMAT_MESSAGE_FROM_STRING, u"needs %1", 0, 0), Error(ERROR_INVALID_PARAMETER));
}

TEST(MessageTable, SystemTextsByLanguage) {
  const std::tuple<DWORD, DWORD, std::u16string> cases[] = {
      {2, LANG_NEUTRAL_DEFAULT, u"The system cannot find the file specified.\r\n"},
      {2, LANG_USER_DEFAULT, u"The system cannot find the file specified.\r\n"},
      {2, LANGID_CHINESE_SIMPLIFIED, u"系统找不到指定的文件。\r\n"},
      {5, LANGID_JAPANESE, Error(ERROR_RESOURCE_LANG_NOT_FOUND)},
      {0x2000FFFF, LANGID_ENGLISH_US, Error(ERROR_MR_MID_NOT_FOUND)},
      {2250, LANGID_ENGLISH_US, Error(ERROR_MR_MID_NOT_FOUND)},  // network texts are not system texts
  };
  for (const auto& [id, language, text] : cases)
    EXPECT_EQ(Format(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, id, language), text) << id << " / " << language;

  // A caller's buffer must hold the text and its NUL.
  const std::u16string denied = u"Access is denied.\r\n";
  const DWORD size = static_cast<DWORD>(denied.size());
  char16_t buffer[64];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, LANGID_ENGLISH_US, buffer, size, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, LANGID_ENGLISH_US, buffer, size + 1, nullptr), size);
  EXPECT_EQ(std::u16string(buffer), denied);
}

}  // namespace
