// winprobe-lang: zh_CN.UTF-8
/* Code page 936 (simplified Chinese), and UTF-8's error flags. */
#define PROBE_CP 936
#include "codepage_probe.h"

static const struct MbCase kMb[] = {
    {936, 0, "8130"}, {936, 0, "813041"}, {936, 0, "81"}, {936, 0, "4181"}, {936, 0, "80"}, {936, 0, "FF"},
    {936, 0, "ADE6"}, {936, 0, "817F"}, {936, 0, "81FF"}, {936, 0, "A1A1"}, {936, 0, "D6D0CEC4"},
    {936, 8, "8130"}, {936, 8, "81"}, {936, 8, "FF"}, {936, 8, "80"}, {936, 8, "D6D0"}, {936, 8, "ADE6"},
    {936, 8, "817F"}, {936, 8, "41"},
    {65001, 0, "C0AF"}, {65001, 8, "C0AF"}, {65001, 8, "EDA080"}, {65001, 8, "FF"}, {65001, 8, "E4B8"},
    {65001, 8, "E4B8AD"}, {65001, 0, "E4B8"},
    {0, 0, NULL}};

static const WCHAR kPair[] = {0xD83D, 0xDE00};
static const WCHAR kHigh[] = {0xD800};
static const WCHAR kLow[] = {0xDE00};
static const WCHAR kMixed[] = {'a', 0x0100, 0x4E2D, 0x3000, 0x00B7, 0x20AC, 0xF8F5, 0xE15F};
static const WCHAR kLatin[] = {0x00E9, 0x00E0, 0x00C5, 0x00DF};

static const struct WcCase kWc[] = {
    {936, 0, kPair, 2, NULL}, {936, 0x400, kPair, 2, NULL}, {936, 0, kHigh, 1, NULL}, {936, 0, kLow, 1, NULL},
    {936, 0, kMixed, 8, NULL}, {936, 0x400, kMixed, 8, NULL}, {936, 0, kLatin, 4, NULL},
    {936, 0x400, kLatin, 4, NULL}, {936, 0x400, kLatin, 4, "*"}, {936, 0x80, kMixed, 8, NULL},
    {936, 0x80, kHigh, 1, NULL},
    {65001, 0, kHigh, 1, NULL}, {65001, 0x80, kHigh, 1, NULL}, {65001, 0x80, kLow, 1, NULL},
    {65001, 0x80, kPair, 2, NULL}, {65001, 0x80, kMixed, 8, NULL},
    {0, 0, NULL, 0, NULL}};

int wmain(void) { return probe_code_page(kMb, kWc); }
