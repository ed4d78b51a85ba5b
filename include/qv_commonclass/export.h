// Symbol visibility of the library: hidden by default, QV_API exports.
#pragma once

// The headers use concepts, three-way comparison and other C++20 features; a
// consumer built for an older language level gets this one clear line
// instead of errors deep inside them. CMake consumers get C++20 from the
// package's usage requirement; others pass -std=c++20 (see the README).
#if defined(__cplusplus) && __cplusplus < 202002L && !defined(_MSVC_LANG)
#  error "DIZudazaZuvodA needs C++20 or later: compile with -std=c++20 (CMake: link DIZudazaZuvodA::DIZudazaZuvodA, which requires cxx_std_20)"
#endif

#if defined(_WIN32)
#  if defined(QV_BUILDING)
#    define QV_API __declspec(dllexport)
#  else
#    define QV_API __declspec(dllimport)
#  endif
#else
#  define QV_API __attribute__((visibility("default")))
#endif
