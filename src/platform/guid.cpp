#include "qv_platform/guid.h"

#include <uuid/uuid.h>

#include <atomic>

namespace {

std::atomic<HRESULT> g_forced_failure{S_OK};

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

int HexValue(char16_t ch) noexcept {
  if (ch >= u'0' && ch <= u'9') return ch - u'0';
  if (ch >= u'A' && ch <= u'F') return ch - u'A' + 10;
  if (ch >= u'a' && ch <= u'f') return ch - u'a' + 10;
  return -1;
}

// ReadHex reads `digits` hexadecimal digits from text[pos...]. It looks at
// one character at a time and stops at the first that is not a digit, so a
// NUL ends the read before anything beyond it is touched.
bool ReadHex(const char16_t* text, int& pos, int digits, unsigned long long& value) noexcept {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[pos]);
    if (v < 0) return false;
    value = (value << 4) | static_cast<unsigned>(v);
    ++pos;
  }
  return true;
}

bool Expect(const char16_t* text, int& pos, char16_t ch) noexcept {
  if (text[pos] != ch) return false;
  ++pos;
  return true;
}

bool ParseRegistryForm(const char16_t* text, GUID& out) noexcept {
  GUID g{};
  int pos = 0;
  unsigned long long v = 0;
  if (!Expect(text, pos, u'{') || !ReadHex(text, pos, 8, v)) return false;
  g.Data1 = static_cast<DWORD>(v);
  if (!Expect(text, pos, u'-') || !ReadHex(text, pos, 4, v)) return false;
  g.Data2 = static_cast<WORD>(v);
  if (!Expect(text, pos, u'-') || !ReadHex(text, pos, 4, v)) return false;
  g.Data3 = static_cast<WORD>(v);
  if (!Expect(text, pos, u'-')) return false;
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !Expect(text, pos, u'-')) return false;
    if (!ReadHex(text, pos, 2, v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  if (!Expect(text, pos, u'}') || text[pos] != 0) return false;
  out = g;
  return true;
}

}  // namespace

HRESULT CoCreateGuid(GUID* guid) {
  if (guid == nullptr) return E_INVALIDARG;
  if (const HRESULT forced = g_forced_failure.load(); FAILED(forced)) return forced;
  uuid_t raw;
  uuid_generate_random(raw);
  // The UUID's bytes are in network order; COM keeps the first three fields
  // as numbers.
  guid->Data1 = (DWORD{raw[0]} << 24) | (DWORD{raw[1]} << 16) | (DWORD{raw[2]} << 8) | raw[3];
  guid->Data2 = static_cast<WORD>((raw[4] << 8) | raw[5]);
  guid->Data3 = static_cast<WORD>((raw[6] << 8) | raw[7]);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = raw[8 + i];
  return S_OK;
}

int StringFromGUID2(REFGUID guid, char16_t* buffer, int max_chars) {
  constexpr int kChars = 39;
  if (buffer == nullptr || max_chars < kChars) return 0;
  char16_t* p = buffer;
  auto put = [&p](unsigned long long value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *p++ = kHexDigits[(value >> shift) & 0xF];
  };
  *p++ = u'{';
  put(guid.Data1, 8);
  *p++ = u'-';
  put(guid.Data2, 4);
  *p++ = u'-';
  put(guid.Data3, 4);
  *p++ = u'-';
  put(guid.Data4[0], 2);
  put(guid.Data4[1], 2);
  *p++ = u'-';
  for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
  *p++ = u'}';
  *p = 0;
  return kChars;
}

HRESULT CLSIDFromString(const char16_t* text, CLSID* clsid) {
  if (clsid == nullptr) return E_INVALIDARG;
  if (text == nullptr) {
    *clsid = GUID_NULL;
    return S_OK;
  }
  if (ParseRegistryForm(text, *clsid)) return S_OK;
  // Windows would go on to look the text up as a program id; this platform
  // has no class registry, so the text is simply not a class string.
  *clsid = GUID_NULL;
  return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(const char16_t* text, IID* iid) {
  const HRESULT hr = CLSIDFromString(text, iid);
  return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}

namespace qvp {
void SetGuidCreationFailureForTesting(HRESULT hr) noexcept { g_forced_failure.store(hr); }
}  // namespace qvp
