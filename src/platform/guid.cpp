#include "qv_platform/guid.h"

#include <uuid/uuid.h>

#include <atomic>
#include <cstddef>
#include <type_traits>

namespace {

std::atomic<HRESULT> g_forced_failure{S_OK};

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

int HexValue(char16_t ch) noexcept {
  if (ch >= u'0' && ch <= u'9') return ch - u'0';
  if (ch >= u'A' && ch <= u'F') return ch - u'A' + 10;
  if (ch >= u'a' && ch <= u'f') return ch - u'a' + 10;
  return -1;
}

// GuidFromString reads the registry text into `out` field by field, as
// Windows does: each field is stored as soon as it is read (a hexadecimal
// field digit by digit), so on malformed text `out` keeps what was read
// before the error. Text that does not start with '{' zeroes `out`.
bool GuidFromString(const char16_t* s, GUID& out) noexcept {
  if (s[0] != u'{') {
    out = GUID_NULL;
    return false;
  }
  auto field = [s](int from, int digits, auto& value) {
    value = 0;
    for (int i = from; i < from + digits; ++i) {
      const int v = HexValue(s[i]);
      if (v < 0) return false;
      value = static_cast<std::remove_reference_t<decltype(value)>>((value << 4) | static_cast<unsigned>(v));
    }
    return true;
  };
  // Every check stops at the first character that does not fit, so a NUL
  // ends the read before anything beyond it is touched.
  if (!field(1, 8, out.Data1) || s[9] != u'-') return false;
  if (!field(10, 4, out.Data2) || s[14] != u'-') return false;
  if (!field(15, 4, out.Data3) || s[19] != u'-') return false;
  for (int i = 20, b = 0; b < 8; ++b, i += 2) {
    if (i == 24) {
      if (s[i] != u'-') return false;
      ++i;
    }
    const int hi = HexValue(s[i]);
    if (hi < 0) return false;
    const int lo = HexValue(s[i + 1]);
    if (lo < 0) return false;
    out.Data4[b] = static_cast<BYTE>(hi << 4 | lo);
  }
  return s[37] == u'}' && s[38] == 0;
}

// The program ids of the classes this platform stands in for, with the
// class ids Windows registers for them.
struct ProgId {
  const char16_t* name;
  GUID clsid;
};
constexpr ProgId kProgIds[] = {
    {u"Msxml2.DOMDocument", {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}}},
    {u"Msxml2.DOMDocument.4.0", {0x88D969C0, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}}},
    {u"Msxml2.DOMDocument.6.0", {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}}},
    {u"Microsoft.XMLDOM", {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}}},
    {u"ADODB.Recordset", {0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}}},
    {u"ADODB.Stream", {0x00000566, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}}},
};

// Program ids are registry key names: compared without regard to ASCII case.
bool SameProgId(const char16_t* a, const char16_t* b) noexcept {
  auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
  for (; *a && *b; ++a, ++b) {
    if (fold(*a) != fold(*b)) return false;
  }
  return *a == *b;
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
  if (GuidFromString(text, *clsid)) return S_OK;
  for (const ProgId& p : kProgIds) {
    if (SameProgId(text, p.name)) {
      *clsid = p.clsid;
      return S_OK;
    }
  }
  return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(const char16_t* text, IID* iid) {
  if (iid == nullptr) return E_INVALIDARG;
  if (text == nullptr) {
    *iid = GUID_NULL;
    return S_OK;
  }
  // Only the 38-character registry text is an interface id; any other length
  // is refused before anything is read.
  std::size_t n = 0;
  while (text[n] && n < 39) ++n;
  if (n != 38) return E_INVALIDARG;
  if (text[0] != u'{') return CO_E_IIDSTRING;
  return GuidFromString(text, *iid) ? S_OK : CO_E_IIDSTRING;
}

namespace qvp {
void SetGuidCreationFailureForTesting(HRESULT hr) noexcept { g_forced_failure.store(hr); }
}  // namespace qvp
