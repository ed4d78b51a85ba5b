// The user-interface services' one rule for handing a name to a caller's
// buffer: at most max_count - 1 characters and a NUL, the count copied
// returned.
#pragma once

#include <algorithm>

#include "qv_platform/cstring.h"

namespace qvp::windowing {

inline int CopyName(const CString& name, char16_t* buffer, int max_count) {
  if (!buffer || max_count < 1) return 0;
  const int n = std::min(name.GetLength(), max_count - 1);
  std::copy_n(name.GetString(), n, buffer);
  buffer[n] = 0;
  return n;
}

}  // namespace qvp::windowing
