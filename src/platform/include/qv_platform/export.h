// Symbol visibility for the platform layer. Everything is hidden by default;
// only what carries QVP_API is part of the shared object's interface.
#pragma once

#if defined(_WIN32)
#  if defined(QVP_BUILDING)
#    define QVP_API __declspec(dllexport)
#  else
#    define QVP_API __declspec(dllimport)
#  endif
#else
#  define QVP_API __attribute__((visibility("default")))
#endif
