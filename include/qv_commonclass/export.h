// Symbol visibility of the library: hidden by default, QV_API exports.
#pragma once

#if defined(_WIN32)
#  if defined(QV_BUILDING)
#    define QV_API __declspec(dllexport)
#  else
#    define QV_API __declspec(dllimport)
#  endif
#else
#  define QV_API __attribute__((visibility("default")))
#endif
