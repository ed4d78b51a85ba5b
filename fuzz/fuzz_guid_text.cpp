// GUID text of every form the library reads: the compact text and the
// hyphenated text (QV_FromStringToGUID) and the registry form with braces
// (CLSIDFromString). A GUID that was read prints as text that reads back to
// the same GUID; text that is not a GUID leaves GUID_NULL.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "qv_commonclass/text.h"
#include "qv_platform/guid.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 256) return 0;
  const std::u16string text = qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));

  GUID guid{};
  guid.Data1 = 0xDEADBEEF;  // must be overwritten: with the GUID or GUID_NULL
  QV_FUZZ_CHECK(QV_FromStringToGUID(guid, CString(text)) == 1);
  QV_FUZZ_CHECK(guid.Data1 != 0xDEADBEEF || text.size() >= 8);
  CString compact;
  QV_FUZZ_CHECK(QV_FromGUIDToString(guid, compact) == 1);
  QV_FUZZ_CHECK(compact.GetLength() == 32);
  GUID back{};
  QV_FromStringToGUID(back, compact);
  QV_FUZZ_CHECK(back == guid);

  CLSID clsid{};
  if (CLSIDFromString(text.c_str(), &clsid) == S_OK) {
    char16_t registry[39] = {};
    QV_FUZZ_CHECK(StringFromGUID2(clsid, registry, 39) == 39);
    CLSID again{};
    QV_FUZZ_CHECK(CLSIDFromString(registry, &again) == S_OK);
    QV_FUZZ_CHECK(again == clsid);
  }
  return 0;
}
