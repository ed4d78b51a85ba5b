/* Records how one ANSI code page converts: every byte and (for a
 * double-byte code page) every lead/trail pair to UTF-16, every UTF-16 unit
 * of the Basic Multilingual Plane back, with and without best-fit mapping,
 * and a list of cases with flags, default characters and errors.
 *
 * Rows (tab-separated):
 *   mb  FIRST LAST OUT STEP   inputs FIRST..LAST (hex bytes; pairs step in
 *                             their trail byte) give OUT (hex units), the
 *                             single unit growing by STEP (0 or 1) per input
 *   wc  FLAGS FIRST LAST KIND units FIRST..LAST: KIND "rt" converts to the
 *                             bytes that convert back to the unit, "def" to
 *                             the default character with used-default set
 *   bf  FLAGS UNIT BYTES USED a unit that neither round-trips nor becomes
 *                             the default character (a best-fit mapping)
 *   case FUNC CP FLAGS IN DEFAULT -> RET ERROR OUT USED
 */
#include "probe.h"

#ifndef PROBE_CP
#error define PROBE_CP
#endif

struct Run {
  int open;
  char kind[8];
  unsigned flags;
  unsigned first, last; /* inputs: byte, or lead << 8 | trail */
  int width;            /* hex digits of an input */
  WCHAR out[8];
  int out_len;
  int step;
};

static void run_flush(struct Run* r) {
  if (!r->open) return;
  if (strcmp(r->kind, "mb") == 0) {
    printf("mb\t%0*X\t%0*X\t", r->width, r->first, r->width, r->last);
    put_hex_units(r->out, r->out_len);
    printf("\t%d\n", r->step);
  } else {
    printf("wc\t%X\t%04X\t%04X\t%s\n", r->flags, r->first, r->last, r->kind);
  }
  r->open = 0;
}

static void mb_add(struct Run* r, unsigned input, int width, const WCHAR* out, int n) {
  if (r->open && n == 1 && r->out_len == 1 && r->width == width && input == r->last + 1 &&
      (width == 2 || (input >> 8) == (r->first >> 8))) {
    const int delta = (int)out[0] - (int)(r->out[0] + r->step * (int)(r->last - r->first));
    if (r->first == r->last && (delta == 0 || delta == 1)) {
      r->step = delta;
      r->last = input;
      return;
    }
    if (r->first != r->last && delta == r->step) {
      r->last = input;
      return;
    }
  }
  run_flush(r);
  r->open = 1;
  strcpy(r->kind, "mb");
  r->first = r->last = input;
  r->width = width;
  r->out_len = n < 8 ? n : 8;
  memcpy(r->out, out, sizeof(WCHAR) * (size_t)r->out_len);
  r->step = 0;
}

static void probe_mb(void) {
  struct Run r = {0};
  WCHAR out[8];
  for (unsigned b = 0; b < 256; ++b) {
    const char in = (char)b;
    const int n = MultiByteToWideChar(PROBE_CP, 0, &in, 1, out, 8);
    mb_add(&r, b, 2, out, n);
  }
  for (unsigned lead = 0x80; lead < 0x100; ++lead) {
    if (!IsDBCSLeadByteEx(PROBE_CP, (BYTE)lead)) continue;
    for (unsigned trail = 0; trail < 0x100; ++trail) {
      const char in[2] = {(char)lead, (char)trail};
      const int n = MultiByteToWideChar(PROBE_CP, 0, in, 2, out, 8);
      mb_add(&r, lead << 8 | trail, 4, out, n);
    }
  }
  run_flush(&r);
}

static void probe_wc(unsigned flags) {
  struct Run r = {0};
  for (unsigned u = 0; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue; /* halves: see the cases */
    const WCHAR in = (WCHAR)u;
    unsigned char bytes[8];
    BOOL used = FALSE;
    const int n = WideCharToMultiByte(PROBE_CP, flags, &in, 1, (char*)bytes, 8, NULL, &used);
    WCHAR back[4];
    const int m = MultiByteToWideChar(PROBE_CP, 0, (const char*)bytes, n, back, 4);
    const char* kind = NULL;
    if (!used && m == 1 && back[0] == in) kind = "rt";
    else if (used && n == 1 && bytes[0] == '?') kind = "def";
    if (!kind) {
      run_flush(&r);
      printf("bf\t%X\t%04X\t", flags, u);
      put_hex_bytes(bytes, n);
      printf("\t%d\n", used ? 1 : 0);
      continue;
    }
    if (r.open && strcmp(r.kind, kind) == 0 && u == r.last + 1) {
      r.last = u;
      continue;
    }
    run_flush(&r);
    r.open = 1;
    strcpy(r.kind, kind);
    r.flags = flags;
    r.first = r.last = u;
  }
  run_flush(&r);
}

struct MbCase { unsigned cp, flags; const char* in; };
struct WcCase { unsigned cp, flags; const WCHAR* in; int in_len; const char* def; };

static void probe_cases(const struct MbCase* mb, const struct WcCase* wc) {
  for (; mb->in; ++mb) {
    unsigned char in[64];
    const int len = parse_hex(mb->in, in);
    WCHAR out[64];
    SetLastError(0);
    const int n = MultiByteToWideChar(mb->cp, mb->flags, (const char*)in, len, out, 64);
    printf("case\tmb\t%u\t%X\t%s\t-\t%d\t%lu\t", mb->cp, mb->flags, mb->in, n, GetLastError());
    put_hex_units(out, n);
    printf("\t-\n");
  }
  for (; wc->in; ++wc) {
    char out[64];
    BOOL used = 7;
    SetLastError(0);
    const int n = WideCharToMultiByte(wc->cp, wc->flags, wc->in, wc->in_len, out, 64, wc->def, &used);
    printf("case\twc\t%u\t%X\t", wc->cp, wc->flags);
    for (int i = 0; i < wc->in_len; ++i) printf("%04X", (unsigned)wc->in[i]);
    printf("\t");
    if (wc->def) put_hex_bytes((const unsigned char*)wc->def, (int)strlen(wc->def));
    else printf("-");
    printf("\t%d\t%lu\t", n, GetLastError());
    put_hex_bytes((const unsigned char*)out, n);
    printf("\t%d\n", used);
  }
}

/* probe_code_page prints every table of PROBE_CP, then the cases. */
static int probe_code_page(const struct MbCase* mb, const struct WcCase* wc) {
  probe_mb();
  probe_wc(0);
  probe_wc(0x400 /* WC_NO_BEST_FIT_CHARS */);
  probe_cases(mb, wc);
  return 0;
}
