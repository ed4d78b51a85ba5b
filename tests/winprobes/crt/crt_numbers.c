/* Probe of the Windows C runtime's wide number conversions.
 *
 * Build and run (mingw-w64 and Wine):
 *   x86_64-w64-mingw32-gcc -O0 -o crt_numbers.exe crt_numbers.c
 *   WINEDEBUG=-all wine crt_numbers.exe > crt_numbers.tsv
 * then copy the output to tests/data/winprobes/crt_numbers.tsv below its
 * '#' header lines. Linked against msvcrt.dll, mingw-w64's default: with
 * -lucrt added the program mixes both runtimes and hangs under Wine 8.0.
 * Wine builds msvcrt.dll and ucrtbase.dll from one source for these
 * functions, so the results stand for both of its runtimes.
 *
 * Output: one line per case, tab-separated:
 *   function  base  input  value  used  errno
 * `input` is the text with every unit outside printable ASCII, and '\',
 * written as \uXXXX; `value` is %lld / %llu for integers and %.17g for
 * doubles; `used` is the number of units consumed (the end pointer), or -
 * for functions without one; errno is 0 or ERANGE/EINVAL by name.
 * For swscanf the value column holds "ret=R v=V" for the format in `base`.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static void put_text(const wchar_t* s) {
  for (; *s; ++s) {
    if (*s >= 0x20 && *s < 0x7f && *s != L'\\') putchar((int)*s);
    else printf("\\u%04X", (unsigned)*s);
  }
}

static const char* err_name(int e) { return e == 0 ? "0" : e == ERANGE ? "ERANGE" : e == EINVAL ? "EINVAL" : "other"; }

static void head(const char* fn, const char* base, const wchar_t* s) {
  printf("%s\t%s\t", fn, base);
  put_text(s);
  putchar('\t');
}

static const wchar_t* kIntegers[] = {
    L"123", L"  \t-42abc", L"+7", L"\u3000 12", L"\u00A012", L"\u200B12", L"\u202F12", L"\x1C" L"12", L"\x85" L"12",
    L"\xFF11\xFF12", L"\x0661\x0662\x0663", L"\x06F1\x06F2", L"\x0967\x0968", L"\x0E51\x0E52", L"\x1811\x1812",
    L"\x1041\x1042", L"\x17E1\x17E2", L"\x0F21\x0F22", L"\x07C1\x07C2", L"\x1946\x1947", L"\x19D1", L"\xA621",
    L"\xABF1", L"\x00B2", L"\x2460", L"1\xFF12" L"3", L"2147483647", L"2147483648", L"-2147483648", L"-2147483649",
    L"4294967295", L"4294967296", L"-1", L"99999999999999999999999", L"9223372036854775807",
    L"9223372036854775808", L"-9223372036854775809", L"18446744073709551615", L"18446744073709551616",
    L"0x1F", L"0X1f", L"017", L"0xg", L"zz", L"", L"  -", L"-", L"+", L"abc", L"- 1", L"\xFF0D" L"1",
    L"\xFF10x1F", L"1e3", L"12.9",
};

static const wchar_t* kDoubles[] = {
    L"1.5", L"  -2.5e3x", L".5", L"5.", L".", L"1e", L"1e+", L"1e-2", L"0x1.8p3", L"0X1P-2", L"0x", L"0xg",
    L"inf", L"-INF", L"infinity", L"infinit", L"nan", L"NaN(123)", L"nan(", L"1e400", L"-1e400", L"1e-400",
    L"4.9e-324", L"\xFF11.5", L"1\xFF12", L"\x0661.5", L"\u3000 3.25", L"1,5", L"1d3", L"+.e1", L"0.1",
    L"123456789012345678901234567890", L"2.2250738585072011e-308",
};

int main(void) {
  const int bases[] = {10, 0, 16, 36, 8, 2, 1, 37};
  for (size_t i = 0; i < sizeof kIntegers / sizeof *kIntegers; ++i) {
    const wchar_t* s = kIntegers[i];
    /* The end pointer is set to the start before every call: a call that
     * refuses its base leaves it alone. */
    wchar_t* end;
    long long v;
    errno = 0; v = _wtoi(s); head("_wtoi", "10", s); printf("%lld\t-\t%s\n", v, err_name(errno));
    errno = 0; v = _wtol(s); head("_wtol", "10", s); printf("%lld\t-\t%s\n", v, err_name(errno));
    errno = 0; v = _wtoi64(s); head("_wtoi64", "10", s); printf("%lld\t-\t%s\n", v, err_name(errno));
    for (size_t b = 0; b < sizeof bases / sizeof *bases; ++b) {
      char base[8];
      snprintf(base, sizeof base, "%d", bases[b]);
      end = (wchar_t*)s; errno = 0; v = wcstol(s, &end, bases[b]);
      head("wcstol", base, s); printf("%lld\t%d\t%s\n", v, (int)(end - s), err_name(errno));
      if (bases[b] != 10) continue;
      end = (wchar_t*)s; errno = 0; unsigned long u = wcstoul(s, &end, bases[b]);
      head("wcstoul", base, s); printf("%lu\t%d\t%s\n", u, (int)(end - s), err_name(errno));
      end = (wchar_t*)s; errno = 0; v = _wcstoi64(s, &end, bases[b]);
      head("_wcstoi64", base, s); printf("%lld\t%d\t%s\n", v, (int)(end - s), err_name(errno));
      end = (wchar_t*)s; errno = 0; unsigned long long uu = _wcstoui64(s, &end, bases[b]);
      head("_wcstoui64", base, s); printf("%llu\t%d\t%s\n", uu, (int)(end - s), err_name(errno));
    }
    int d = -7, r;
    long l = -7;
    unsigned u32 = 7;
    long long ll = -7;
    errno = 0; r = swscanf(s, L"%d", &d); head("swscanf", "%d", s); printf("ret=%d v=%d\t-\t0\n", r, d);
    errno = 0; r = swscanf(s, L"%ld", &l); head("swscanf", "%ld", s); printf("ret=%d v=%ld\t-\t0\n", r, l);
    errno = 0; r = swscanf(s, L"%u", &u32); head("swscanf", "%u", s); printf("ret=%d v=%u\t-\t0\n", r, u32);
    errno = 0; r = swscanf(s, L"%I64d", &ll); head("swscanf", "%I64d", s); printf("ret=%d v=%lld\t-\t0\n", r, ll);
  }
  for (size_t i = 0; i < sizeof kDoubles / sizeof *kDoubles; ++i) {
    const wchar_t* s = kDoubles[i];
    wchar_t* end;
    double v;
    float f = -7.0f;
    int r;
    errno = 0; v = _wtof(s); head("_wtof", "-", s); printf("%.17g\t-\t%s\n", v, err_name(errno));
    errno = 0; v = wcstod(s, &end); head("wcstod", "-", s); printf("%.17g\t%d\t%s\n", v, (int)(end - s), err_name(errno));
    errno = 0; r = swscanf(s, L"%f", &f); head("swscanf", "%f", s); printf("ret=%d v=%.9g\t-\t0\n", r, (double)f);
  }
  return 0;
}
