// Uses the exported interface the way a client application does.
#include <cstdio>

#include "qv_commonclass/qv_commonclass.h"

int main() {
  CString s;
  s.Format(u"%s %d", u"frames", 25);
  if (s != CString(u"frames 25")) {
    std::puts("unexpected format result");
    return 1;
  }
  std::puts("consumer: library linked and working");
  return 0;
}
