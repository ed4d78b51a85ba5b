// winprobe-lang: en_US.UTF-8
/* GUID text parsing: CLSIDFromString and IIDFromString on well-formed and
 * malformed text and on program ids. Rows:
 *   FUNC TEXT HRESULT GUID
 * where GUID is what the output record holds afterwards (it starts filled
 * with 0xCC bytes), printed as its 16 bytes in memory order. A TEXT of
 * "(null)" is a null pointer. */
#include "probe.h"
#include <objbase.h>

static const WCHAR* const kTexts[] = {
    L"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E}",
    L"{00a1b2c3-0d4e-f506-0718-293a4b5c6d7e}",
    L"",
    L"{",
    L"{00A1B2C3",
    L"{00A1B2C3-0D4E",
    L"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E",
    L"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E}x",
    L"{00A1B2C3-0D4E-F506-0718293A-4B5C6D7E}",
    L"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7G}",
    L"{00A1B2C3-0D4E-F5X6-0718-293A4B5C6D7E}",
    L"{00A1B2C3-0D4E-F506-07X8-293A4B5C6D7E}",
    L"{00A1B2C3-0D4E-F506-0718-293A4BXC6D7E}",
    L"{00A1BXC3-0D4E-F506-0718-293A4B5C6D7E}",
    L"{00A1B2C3+0D4E-F506-0718-293A4B5C6D7E}",
    L"00A1B2C3-0D4E-F506-0718-293A4B5C6D7E",
    L"(00A1B2C3-0D4E-F506-0718-293A4B5C6D7E)",
    L"{+0A1B2C3-0D4E-F506-0718-293A4B5C6D7E}",
    L"{ 0A1B2C3-0D4E-F506-0718-293A4B5C6D7E}",
    L"{00A1B2C3-0D4E-F506-0718-293A4B5C6D7E} ",
    L"Msxml2.DOMDocument",
    L"Msxml2.DOMDocument.4.0",
    L"Msxml2.DOMDocument.6.0",
    L"Microsoft.XMLDOM",
    L"ADODB.Recordset",
    L"ADODB.Stream",
    L"adodb.recordset",
    L"No.Such.ProgId",
    L"{Msxml2.DOMDocument}",
    NULL};

static void row(const char* func, const WCHAR* text, HRESULT (*parse)(LPCOLESTR, GUID*)) {
  GUID g;
  memset(&g, 0xCC, sizeof g);
  HRESULT hr = parse(text, &g);
  printf("%s\t", func);
  if (!text) printf("(null)");
  else for (const WCHAR* p = text; *p; ++p) printf("%c", (char)*p);
  printf("\t%08lX\t", (unsigned long)hr);
  put_hex_bytes((const unsigned char*)&g, 16);
  printf("\n");
}

static HRESULT clsid(LPCOLESTR t, GUID* g) { return CLSIDFromString(t, g); }
static HRESULT iid(LPCOLESTR t, GUID* g) { return IIDFromString(t, g); }

int wmain(void) {
  CoInitialize(NULL);
  for (int i = 0; kTexts[i]; ++i) row("clsid", kTexts[i], clsid);
  for (int i = 0; kTexts[i]; ++i) row("iid", kTexts[i], iid);
  row("clsid", NULL, clsid);
  row("iid", NULL, iid);
  return 0;
}
