// winprobe-lang: en_US.UTF-8
/* Character classes of the current Windows C runtime (ucrtbase) for every
 * UTF-16 unit, as runs:
 *   FIRST LAST CLASSES BLANK
 * CLASSES is iswctype(unit, 0x1FF) (upper 1, lower 2, digit 4, space 8,
 * punct 0x10, cntrl 0x20, blank 0x40, xdigit 0x80, alpha 0x100) and BLANK is
 * iswblank(unit) != 0, for units FIRST..LAST. */
#include "probe.h"

typedef int(__cdecl* IswCtype)(unsigned short, unsigned short);
typedef int(__cdecl* IswBlank)(unsigned short);

int wmain(void) {
  IswCtype ctype = (IswCtype)GetProcAddress(ucrt(), "iswctype");
  IswBlank blank = (IswBlank)GetProcAddress(ucrt(), "iswblank");
  if (!ctype || !blank) return 1;
  unsigned first = 0, classes = ctype(0, 0x1FF), is_blank = blank(0) != 0;
  for (unsigned u = 1; u <= 0x10000; ++u) {
    unsigned c = 0, b = 0;
    if (u < 0x10000) {
      c = ctype((unsigned short)u, 0x1FF);
      b = blank((unsigned short)u) != 0;
    }
    if (u == 0x10000 || c != classes || b != is_blank) {
      printf("%04X\t%04X\t%03X\t%u\n", first, u - 1, classes, is_blank);
      first = u;
      classes = c;
      is_blank = b;
    }
  }
  return 0;
}
