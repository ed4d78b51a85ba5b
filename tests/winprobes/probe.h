/* Shared helpers of the Windows probes: small programs built with mingw-w64
 * and run under Wine by scripts/winprobe.sh. Each prints one table of
 * tab-separated rows to standard output; the runner stores it under
 * tests/data/winprobes/ and the unit tests compare the stand-ins with it.
 * Text is printed as hexadecimal code units so that the tables are pure
 * ASCII whatever the console's code page. */
#ifndef QV_WINPROBE_H
#define QV_WINPROBE_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

static inline void put_hex_bytes(const unsigned char* p, int n) {
  if (n <= 0) { fputs("-", stdout); return; }
  for (int i = 0; i < n; ++i) printf("%02X", p[i]);
}

static inline void put_hex_units(const WCHAR* p, int n) {
  if (n <= 0) { fputs("-", stdout); return; }
  for (int i = 0; i < n; ++i) printf("%s%04X", i ? " " : "", (unsigned)p[i]);
}

/* parse_hex reads pairs of hexadecimal digits into bytes; returns the count. */
static inline int parse_hex(const char* hex, unsigned char* out) {
  int n = 0;
  for (; hex[0] && hex[1]; hex += 2) {
    unsigned v;
    sscanf(hex, "%2x", &v);
    out[n++] = (unsigned char)v;
  }
  return n;
}

/* The current Windows C runtime, loaded by name: mingw links the older
 * msvcrt, whose printf and classes differ from the runtime of today. */
static inline HMODULE ucrt(void) {
  static HMODULE module;
  if (!module) module = LoadLibraryA("ucrtbase.dll");
  return module;
}

#endif
