// Reading dropped text from a data object.
#include <algorithm>
#include <vector>

#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/ui.h"

namespace {

// How much of a registered format's name is read, and how much of it must
// match the product's format name.
constexpr int kFormatNameLimit = 256;
constexpr int kClipNamePrefix = 11;

bool IsDroppedTextFormat(CLIPFORMAT format) {
  if (format == CF_UNICODETEXT) return true;
  char16_t name[kFormatNameLimit + 1] = {};
  const int n = GetClipboardFormatNameW(format, name, kFormatNameLimit);
  return n >= kClipNamePrefix && std::equal(name, name + kClipNamePrefix, qv_commonclass::kQVClipFormatName);
}

// Releases the medium on every way out.
struct MediumGuard {
  STGMEDIUM medium;
  ~MediumGuard() { ReleaseStgMedium(&medium); }
};

}  // namespace

CString GetDropData(COleDataObject* data) {
  if (!data) return CString();
  data->BeginEnumFormats();
  FORMATETC format{};
  for (;;) {
    if (!data->GetNextFormat(&format)) {
      qv_commonclass::QV_Trace0(u"ZORerer", qv_commonclass::kTraceLevelDataFormat, u"GetNextFormat execute failed!");
      return CString();
    }
    // A format the object lists but cannot give ends the search there; the
    // read below then fails.
    if (!data->IsDataAvailable(format.cfFormat)) break;
    if (IsDroppedTextFormat(format.cfFormat)) break;
  }
  MediumGuard got;
  if (!data->GetData(format.cfFormat, &got.medium, &format)) return CString();
  if (got.medium.tymed != TYMED_HGLOBAL || !got.medium.hGlobal) return CString();
  const std::size_t units = GlobalSize(got.medium.hGlobal) / sizeof(char16_t);
  const auto* locked = static_cast<const char16_t*>(GlobalLock(got.medium.hGlobal));
  if (!locked) return CString();
  std::vector<char16_t> copy(locked, locked + units);
  GlobalUnlock(got.medium.hGlobal);
  const std::size_t length = std::find(copy.begin(), copy.end(), u'\0') - copy.begin();
  return CString(copy.data(), static_cast<int>(length));
}
