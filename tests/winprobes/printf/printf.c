// winprobe-lang: en_US.UTF-8
/* Wide printf of the current Windows C runtime (ucrtbase), through its one
 * entry point __stdio_common_vswprintf with the options of _snwprintf.
 * Rows:
 *   fmt  FORMAT VALUE-BITS  RET OUTPUT
 *        one double (its 64 bits in hex) formatted with FORMAT
 *   snw  COUNT FORMAT INT  RET BUFFER
 *        _snwprintf into a buffer of COUNT units pre-filled with '#'
 *        (BUFFER shows COUNT + 1 units, hex)
 *   swp  COUNT FORMAT INT  RET BUFFER
 *        the same through swprintf's options (ISO, with a count) */
#include "probe.h"
#include <stdarg.h>
#include <stdint.h>

typedef int(__cdecl* CommonVswprintf)(unsigned __int64, wchar_t*, size_t, const wchar_t*, void*, va_list);
static CommonVswprintf common;

/* _CRT_INTERNAL_PRINTF_LEGACY_VSPRINTF_NULL_TERMINATION | _LEGACY_WIDE_SPECIFIERS */
static int snw(wchar_t* buf, size_t count, const wchar_t* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int r = common(1 | 4, buf, count, fmt, NULL, ap);
  va_end(ap);
  return r;
}

/* swprintf: _vswprintf_c_l, whose negative results all read as -1. */
static int swp(wchar_t* buf, size_t count, const wchar_t* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int r = common(4, buf, count, fmt, NULL, ap);
  va_end(ap);
  return r < 0 ? -1 : r;
}

static const wchar_t* const kFormats[] = {
    L"%f", L"%.0f", L"%.1f", L"%.2f", L"%.3f", L"%.20f", L"%e", L"%.0e", L"%.2e", L"%E", L"%g", L"%.3g",
    L"%.10g", L"%G", L"%#g", L"%#.0f", L"%#.0e", L"%a", L"%A", L"%.0a", L"%.1a", L"%.3a", L"%20a", L"%F",
    L"%+f", L"% f", L"%010.2f", L"%-10.2e|", L"%+.3e", L"%12g", L"%.0g", L"%#.3g", L"%.17g", L"%08.3a", NULL};

static const uint64_t kValues[] = {
    0x0000000000000000ull, /* 0 */
    0x8000000000000000ull, /* -0 */
    0x3FE0000000000000ull, /* 0.5 */
    0x3FF8000000000000ull, /* 1.5 */
    0x4004000000000000ull, /* 2.5 */
    0x3FC0000000000000ull, /* 0.125 */
    0x3FD8000000000000ull, /* 0.375 */
    0x4005666666666666ull, /* 2.675 */
    0x3FF0147AE147AE14ull, /* 1.005 */
    0x3FB999999999999Aull, /* 0.1 */
    0x3FF0000000000000ull, /* 1 */
    0xC00921FB54442D18ull, /* -pi */
    0x419D6F3454000000ull, /* 123456789 */
    0x3EE4F8B588E368F1ull, /* 1e-5 */
    0x3F1A36E2EB1C432Dull, /* 1e-4 */
    0x40F86A0000000000ull, /* 100000 */
    0x412E848000000000ull, /* 1e6 */
    0x430C6BF526340000ull, /* 1e15 */
    0x4415AF1D78B58C40ull, /* 1e20 */
    0x7FEFFFFFFFFFFFFFull, /* largest */
    0x0010000000000000ull, /* smallest normal */
    0x0000000000000001ull, /* smallest subnormal */
    0x000FFFFFFFFFFFFFull, /* largest subnormal */
    0x7FF0000000000000ull, /* inf */
    0xFFF0000000000000ull, /* -inf */
    0x7FF8000000000000ull, /* nan */
    0xFFF8000000000000ull, /* -nan: the default NaN of x86 */
    0x7FF0000000000001ull, /* signalling nan */
    0xFFF0000000000001ull, /* negative signalling nan */
    0x7FF8000000000001ull, /* quiet nan with payload */
    0};

int wmain(void) {
  common = (CommonVswprintf)GetProcAddress(ucrt(), "__stdio_common_vswprintf");
  if (!common) return 1;
  wchar_t out[512];
  for (int f = 0; kFormats[f]; ++f) {
    for (int v = 0; v == 0 || kValues[v]; ++v) {
      double d;
      memcpy(&d, &kValues[v], sizeof d);
      const int r = snw(out, 512, kFormats[f], d);
      printf("fmt\t");
      for (const wchar_t* p = kFormats[f]; *p; ++p) printf("%c", (char)*p);
      printf("\t%016llX\t%d\t", (unsigned long long)kValues[v], r);
      for (int i = 0; i < r; ++i) printf("%c", (char)out[i]);
      printf("\n");
    }
  }
  static const wchar_t* const kIntFormats[] = {L"%d", L"%5d", L"ab%dcd", NULL};
  for (int f = 0; kIntFormats[f]; ++f) {
    for (size_t count = 0; count <= 8; ++count) {
      wchar_t buf[16];
      for (int iso = 0; iso < 2; ++iso) {
        for (int i = 0; i < 16; ++i) buf[i] = L'#';
        const int r = iso ? swp(buf, count, kIntFormats[f], 12345) : snw(buf, count, kIntFormats[f], 12345);
        printf("%s\t%u\t", iso ? "swp" : "snw", (unsigned)count);
        for (const wchar_t* p = kIntFormats[f]; *p; ++p) printf("%c", (char)*p);
        printf("\t12345\t%d\t", r);
        put_hex_units((const WCHAR*)buf, (int)count + 1);
        printf("\n");
      }
    }
  }
  return 0;
}
