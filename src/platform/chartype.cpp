#include "qv_platform/chartype.h"

namespace qvp {

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

}  // namespace qvp
