#include "qv_platform/chartype.h"

#include <algorithm>
#include <iterator>

namespace qvp {
namespace {

struct ClassRange {
  char16_t first;
  char16_t last;
  unsigned short classes;
};

#include "chartype_table.inc"

constexpr bool RangesSorted() {
  for (std::size_t i = 1; i < std::size(kWideClassRanges); ++i) {
    if (kWideClassRanges[i].first <= kWideClassRanges[i - 1].last) return false;
  }
  return true;
}
static_assert(RangesSorted(), "the generated class table must be sorted and disjoint");

unsigned TableClasses(char16_t ch) noexcept {
  if (ch < 0x100) return kLatin1Classes[ch];
  const auto* end = std::end(kWideClassRanges);
  // First range whose last unit is not below ch.
  const auto* it = std::lower_bound(std::begin(kWideClassRanges), end, ch,
                                    [](const ClassRange& r, char16_t c) { return r.last < c; });
  return (it != end && it->first <= ch) ? it->classes : 0u;
}

}  // namespace

unsigned WideCharClasses(char16_t ch) noexcept {
  return TableClasses(ch) | (IsWideSpace(ch) ? kCtSpace : 0u);
}

bool IsWideSpace(char16_t ch) noexcept {
  if (ch == 0x20 || (ch >= 0x09 && ch <= 0x0D)) return true;
  if (ch < 0x85) return false;
  switch (ch) {
    case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return ch >= 0x2000 && ch <= 0x200A;
  }
}

bool IsWideAlpha(char16_t ch) noexcept { return (TableClasses(ch) & kCtAlpha) != 0; }
bool IsWideDigit(char16_t ch) noexcept { return (TableClasses(ch) & kCtDigit) != 0; }
bool IsWideAlnum(char16_t ch) noexcept { return (TableClasses(ch) & (kCtAlpha | kCtDigit)) != 0; }
bool IsWideUpper(char16_t ch) noexcept { return (TableClasses(ch) & kCtUpper) != 0; }
bool IsWideLower(char16_t ch) noexcept { return (TableClasses(ch) & kCtLower) != 0; }
bool IsWidePunct(char16_t ch) noexcept { return (TableClasses(ch) & kCtPunct) != 0; }
bool IsWideCntrl(char16_t ch) noexcept { return (TableClasses(ch) & kCtCntrl) != 0; }
bool IsWideXDigit(char16_t ch) noexcept { return (TableClasses(ch) & kCtXDigit) != 0; }
// The runtime's blank class leaves the tab out; iswblank adds it.
bool IsWideBlank(char16_t ch) noexcept { return ch == u'\t' || (TableClasses(ch) & kCtBlank) != 0; }
bool IsWideGraph(char16_t ch) noexcept {
  return (TableClasses(ch) & (kCtPunct | kCtAlpha | kCtDigit)) != 0;
}
bool IsWidePrint(char16_t ch) noexcept {
  return (TableClasses(ch) & (kCtBlank | kCtPunct | kCtAlpha | kCtDigit)) != 0;
}

}  // namespace qvp
