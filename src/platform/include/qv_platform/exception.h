// Structured-exception records. Windows hands these to an exception filter;
// here a signal handler or a guard fills them from the signal's information.
#pragma once

#include <cstdint>

#include "qv_platform/wintypes.h"

inline constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005;
inline constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094;
inline constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001D;
inline constexpr DWORD EXCEPTION_STACK_OVERFLOW = 0xC00000FD;
inline constexpr int EXCEPTION_EXECUTE_HANDLER = 1;
inline constexpr int EXCEPTION_CONTINUE_SEARCH = 0;
inline constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;

struct EXCEPTION_RECORD {
  DWORD ExceptionCode = 0;
  DWORD ExceptionFlags = 0;
  EXCEPTION_RECORD* ExceptionRecord = nullptr;  // chained record, or null
  void* ExceptionAddress = nullptr;
  DWORD NumberParameters = 0;
  std::uintptr_t ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS] = {};
};

// CONTEXT keeps the registers a crash report needs: instruction, stack and
// frame pointer.
struct CONTEXT {
  std::uint64_t InstructionPointer = 0;
  std::uint64_t StackPointer = 0;
  std::uint64_t FramePointer = 0;
};

// What a structured-exception guard hands to its filter expression.
struct EXCEPTION_POINTERS {
  EXCEPTION_RECORD* ExceptionRecord = nullptr;
  CONTEXT* ContextRecord = nullptr;
};
