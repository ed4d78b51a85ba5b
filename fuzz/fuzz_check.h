// The property checks of the fuzz targets: a broken property prints what was
// expected and stops the run with a trap, which libFuzzer reports as a crash
// and saves the input for.
#pragma once

#include <cstdio>

#define QV_FUZZ_CHECK(condition)                                                                  \
  do {                                                                                            \
    if (!(condition)) {                                                                           \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);      \
      __builtin_trap();                                                                           \
    }                                                                                             \
  } while (0)
