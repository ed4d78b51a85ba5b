// winprobe-lang: en_US.UTF-8
/* Code page 1252 (western European). */
#define PROBE_CP 1252
#include "codepage_probe.h"

static const struct MbCase kMb[] = {
    {1252, 0, "818D8F909D"}, {1252, 8, "81"}, {1252, 8, "80"}, {1252, 8, "41E9FF"}, {0, 0, NULL}};

static const WCHAR kPair[] = {0xD83D, 0xDE00};
static const WCHAR kHigh[] = {0xD800};
static const WCHAR kMixed[] = {'a', 0x0100, 0x4E2D, 0x3000, 0x00B7, 0x20AC, 0x2018, 0xFF21};

static const struct WcCase kWc[] = {
    {1252, 0, kPair, 2, NULL}, {1252, 0, kHigh, 1, NULL}, {1252, 0, kMixed, 8, NULL},
    {1252, 0x400, kMixed, 8, NULL}, {1252, 0x400, kMixed, 8, "#"}, {1252, 0x80, kMixed, 8, NULL},
    {0, 0, NULL, 0, NULL}};

int wmain(void) { return probe_code_page(kMb, kWc); }
