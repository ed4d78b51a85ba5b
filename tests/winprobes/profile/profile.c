// winprobe-lang: zh_CN.UTF-8
/* Private-profile files: reads and writes on files of given bytes, in code
 * page 936. Rows (text fields are hex UTF-16 units, "(null)" for a null
 * pointer; file contents are hex bytes, "-" for none):
 *   read  FILE SECTION KEY  RET VALUE
 *         GetPrivateProfileStringW(SECTION, KEY, "dflt", buffer of 256)
 *   write FILE SECTION KEY VALUE  RET FILE-AFTER
 *         WritePrivateProfileStringW; FILE "-" when no file exists first */
#include "probe.h"

#define F(text) text, (int)(sizeof(text) - 1)

struct ReadCase { const char* bytes; int len; const WCHAR* section; const WCHAR* key; };
struct WriteCase { const char* bytes; int len; const WCHAR* section; const WCHAR* key; const WCHAR* value; };

static const struct ReadCase kReads[] = {
    {F("[S]\r\n=v\r\nk=1\r\n"), L"S", L""},
    {F("[S]\r\n=v\r\nk=1\r\n"), L"S", NULL},
    {F("[S]\r\n;k=commented\r\nk=1\r\n"), L"S", L";k"},
    {F("[S]\r\n;k=commented\r\nk=1\r\n"), L"S", NULL},
    {F("[S]\rk=cr\rj=2\r"), L"S", L"k"},
    {F("[S]\rk=cr\rj=2\r"), L"S", L"j"},
    {F("top=1\r\n[S]\r\nk=2\r\n"), L"", L"top"},
    {F("top=1\r\n[S]\r\nk=2\r\n"), NULL, NULL},
    {F("top=1\r\n[S]\r\nk=2\r\n"), L"S", L"top"},
    {F("[S\r\nk=1\r\n"), L"S", L"k"},
    {F("[S\r\nk=1\r\n"), NULL, NULL},
    {F("[S\r\nk=1\r\n"), L"[S", NULL},
    {F("[S]\r\nk=1\r\n\x1A\r\nj=2\r\n"), L"S", L"j"},
    {F("[S]\r\nk=a\x1A" "b\r\n"), L"S", L"k"},
    {F("[S]\r\nk=a\0b\r\nj=2\r\n"), L"S", L"k"},
    {F("[S]\r\nk=a\0b\r\nj=2\r\n"), L"S", L"j"},
    {F("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\x2D\x4E\r\0\n\0"), L"S", L"k"},
    {F("\xFE\xFF\0[\0S\0]\0\r\0\n\0k\0=\x4E\x2D\0\r\0\n"), L"S", L"k"},
    {F("\xEF\xBB\xBF[S]\r\nk=v\r\n"), L"S", L"k"},
    {F("\xEF\xBB\xBF\r\n[S]\r\nk=\xC3\xA9\r\n"), L"S", L"k"},
    {F("[S]\r\nk=\xAD\xE6\r\n"), L"S", L"k"},
    {F("[S]\r\nk=\xD6\xD0\xCE\xC4\r\n"), L"S", L"k"},
    {F("[S]\r\nk=  padded  \r\n"), L"S", L"k"},
    {F("[S]\r\nk=\"quoted\"\r\n"), L"S", L"k"},
    {F("[S]\r\nk=\"x'\r\n"), L"S", L"k"},
    {F("[S]\r\n  k  =  v  \r\n"), L"S", L"k"},
    {F("  [ S ]  \r\nk=v\r\n"), L"S", L"k"},
    {F("[S] junk\r\nk=v\r\n"), L"S", L"k"},
    {F("[S]x]\r\nk=v\r\n"), NULL, NULL},
    {F("[S]\r\nk=1\r\n[S]\r\nk=2\r\nj=3\r\n"), L"S", L"j"},
    {F("[S]\r\nk=1\r\nk=2\r\n"), L"S", L"k"},
    {F("[S]\r\nnovalue\r\nk=1\r\n"), L"S", NULL},
    {F("[S]\r\nnovalue\r\nk=1\r\n"), L"S", L"novalue"},
    {F("[S]\r\nk=1\r\n"), L" S ", L" k "},
    {F("[S]\r\nk=v\t;c\r\n"), L"S", L"k"},
    {NULL, 0, NULL, NULL}};

static const struct WriteCase kWrites[] = {
    {F("[A]\r\nB=2\r\n"), L"ADVANCE", L"k", L"v"},
    {F("[A]\r\nB=2"), L"ADVANCE", L"k", L"v"},
    {F("[A]\r\nB=2\r\n\r\n"), L"ADVANCE", L"k", L"v"},
    {F("[A]\r\nB=2\r\n"), L"A", L"k", L"two\r\nlines"},
    {F("[A]\r\nB=2\r\n"), L"A", L"a=b", L"c"},
    {F("[A]\r\nB=2\r\n"), L"A", L"k", L"  padded  "},
    {F("[A]\r\nB=2\r\n"), L"A", L"B", L"  padded  "},
    {F("[A]\r\nB=2\r\n"), L" A ", L" k ", L" v "},
    {F("[A]\r\nB=2\r\nC=3\r\n"), L"A", L"B", L"5"},
    {F("[A]\r\nB=2\r\n[C]\r\nD=4\r\n"), L"A", L"E", L"5"},
    {F("[A]\r\nB=2\r\nC=3\r\n[D]\r\nE=4\r\n"), L"A", L"B", NULL},
    {F("[A]\r\nB=2\r\n[D]\r\nE=4\r\n"), L"A", NULL, NULL},
    {F("[A]\r\nB=2\r\n"), L"A", L"k", L"\x4E2D\x6587"},
    {F("[A]\r\nB=2\r\n"), L"A", L"k", L"\xE15F"},
    {F("[A]\r\nB=2\r\n"), L"A", L"k", L""},
    {F("[A]\r\nB=2\r\n"), L"S]", L"k", L"v"},
    {F("[A]\r\nB=2\r\n"), L"A", L";k", L"v"},
    {F("[A]\r\nB=2\r\n"), L"A", L"[k", L"v"},
    {F("[A]\r\nB=2\r\n"), L"A", L"", L"v"},
    {NULL, 0, L"A", L"k", L"v"},
    {F(""), L"A", L"k", L"v"},
    {NULL, 0, NULL, NULL, NULL},
    {NULL, 0, NULL, NULL, NULL}};

static void put_text(const WCHAR* s) {
  if (!s) { printf("(null)"); return; }
  if (!*s) { printf("-"); return; }
  put_hex_units(s, lstrlenW(s));
}

static void make_file(const WCHAR* path, const char* bytes, int len) {
  DeleteFileW(path);
  if (!bytes) return;
  HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD done = 0;
  WriteFile(h, bytes, (DWORD)len, &done, NULL);
  CloseHandle(h);
}

static void put_file(const WCHAR* path) {
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) { printf("-"); return; }
  unsigned char buf[4096];
  DWORD n = 0;
  ReadFile(h, buf, sizeof buf, &n, NULL);
  CloseHandle(h);
  put_hex_bytes(buf, (int)n);
}

int wmain(void) {
  WCHAR dir[MAX_PATH], path[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, dir);
  int n = 0;
  for (const struct ReadCase* c = kReads; c->bytes; ++c) {
    /* A new file name for every case: the profile cache keys on the name. */
    wsprintfW(path, L"%s\\r%d.ini", dir, n++);
    make_file(path, c->bytes, c->len);
    WCHAR out[256];
    const DWORD got = GetPrivateProfileStringW(c->section, c->key, L"dflt", out, 256, path);
    printf("read\t");
    put_hex_bytes((const unsigned char*)c->bytes, c->len);
    printf("\t");
    put_text(c->section);
    printf("\t");
    put_text(c->key);
    printf("\t%lu\t", got);
    put_hex_units(out, (int)got);
    printf("\n");
  }
  int flush_cases = 0;
  for (const struct WriteCase* c = kWrites;; ++c) {
    if (!c->section && !c->bytes && ++flush_cases > 1) break;
    wsprintfW(path, L"%s\\w%d.ini", dir, n++);
    make_file(path, c->bytes, c->len);
    SetLastError(0);
    const BOOL ok = WritePrivateProfileStringW(c->section, c->key, c->value, path);
    printf("write\t");
    if (c->bytes) put_hex_bytes((const unsigned char*)c->bytes, c->len); else printf("-");
    printf("\t");
    put_text(c->section);
    printf("\t");
    put_text(c->key);
    printf("\t");
    put_text(c->value);
    printf("\t%d\t", ok);
    put_file(path);
    printf("\n");
  }
  return 0;
}
