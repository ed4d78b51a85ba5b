// Wide printf-style formatting with the Windows C runtime's conventions, made
// type-safe: arguments are captured with their types by a variadic template
// and never read through C varargs.
//
// Conventions (those of the Windows wide printf family):
//   %s, %ls, %ws   wide string (char16_t*, CString, std::u16string); null -> "(null)"
//   %S, %hs        narrow string (char*, std::string), read as UTF-8
//   %c / %C %hc    a character
//   %d %i %u %o %x %X   32-bit unless sized: h (16), hh (8), l (32: Windows
//                  long is 32-bit), ll / I64 / I / z / j / t (64), I32 (32)
//   %e %E %f %F %g %G %a %A   doubles, as the current Windows runtime prints
//                  them: exact ties rounded to even ("%.0f" of 2.5 is "2"),
//                  %a with 13 hexadecimal digits unless a precision is given
//                  ("0x1.8000000000000p+0"), infinities and NaNs as "inf",
//                  "nan", "nan(ind)" (the indefinite NaN of 0/0, sign shown)
//                  and "nan(snan)", upper case under %E %F %G %A
//   %p             pointer, 16 upper-case hex digits without prefix
//   flags - + space # 0, width and precision (also as *), %%.
// An integer argument is converted to the width the format asks for, as the
// Windows runtime would read it from the stack (a 64-bit value under %d
// shows its low 32 bits). %n is not supported and prints nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "qv_platform/export.h"

namespace qvp {

struct FormatArg {
  enum class Kind : std::uint8_t { None, Int, UInt, Double, WStr, Str, Ptr };
  Kind kind = Kind::None;
  union {
    long long i;
    unsigned long long u;
    double d;
    const char16_t* ws;
    const char* s;
    const void* p;
  };
  FormatArg() : i(0) {}
};

// Anything with a GetString() returning const char16_t* (CString) formats as
// a wide string.
template <class T>
concept HasWideGetString = requires(const T& t) {
  { t.GetString() } -> std::convertible_to<const char16_t*>;
};

template <class T>
FormatArg MakeFormatArg(const T& v) {
  FormatArg a;
  using D = std::decay_t<T>;
  if constexpr (std::is_same_v<D, bool>) {
    a.kind = FormatArg::Kind::Int;
    a.i = v ? 1 : 0;
  } else if constexpr (std::is_enum_v<D>) {
    a.kind = FormatArg::Kind::Int;
    a.i = static_cast<long long>(v);
  } else if constexpr (std::is_same_v<D, char16_t> || std::is_same_v<D, char32_t> ||
                       std::is_same_v<D, wchar_t>) {
    a.kind = FormatArg::Kind::UInt;
    a.u = static_cast<unsigned long long>(v);
  } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
    a.kind = FormatArg::Kind::Int;
    a.i = static_cast<long long>(v);
  } else if constexpr (std::is_integral_v<D>) {
    a.kind = FormatArg::Kind::UInt;
    a.u = static_cast<unsigned long long>(v);
  } else if constexpr (std::is_floating_point_v<D>) {
    a.kind = FormatArg::Kind::Double;
    a.d = static_cast<double>(v);
  } else if constexpr (std::is_same_v<D, const char16_t*> || std::is_same_v<D, char16_t*>) {
    a.kind = FormatArg::Kind::WStr;
    a.ws = v;
  } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
    a.kind = FormatArg::Kind::Str;
    a.s = v;
  } else if constexpr (std::is_same_v<D, std::u16string>) {
    a.kind = FormatArg::Kind::WStr;
    a.ws = v.c_str();
  } else if constexpr (std::is_same_v<D, std::string>) {
    a.kind = FormatArg::Kind::Str;
    a.s = v.c_str();
  } else if constexpr (HasWideGetString<D>) {
    a.kind = FormatArg::Kind::WStr;
    a.ws = v.GetString();
  } else if constexpr (std::is_pointer_v<D> || std::is_null_pointer_v<D>) {
    a.kind = FormatArg::Kind::Ptr;
    a.p = static_cast<const void*>(v);
  } else {
    static_assert(sizeof(D) == 0, "type cannot be formatted");
  }
  return a;
}

// FormatV formats `fmt` with `count` captured arguments. Missing arguments
// format as 0 / empty; surplus ones are ignored.
QVP_API std::u16string FormatV(std::u16string_view fmt, const FormatArg* args, std::size_t count);

// CopyFormatted copies `text` into `buffer` of `count` units with the
// Windows runtime's rules and returns the result of the function it serves.
// Text shorter than `count` is copied with its NUL and its length returned.
// Otherwise, `legacy` (_snwprintf): the first `count` units, no NUL, and
// `count` when the text fits exactly, else -1; not legacy (swprintf): the
// first count - 1 units and a NUL, and -1. A null buffer or a count of 0
// writes nothing and gives -1.
QVP_API int CopyFormatted(std::u16string_view text, char16_t* buffer, std::size_t count, bool legacy) noexcept;

// Format is the type-safe front of FormatV.
template <class... Args>
std::u16string Format(std::u16string_view fmt, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatV(fmt, nullptr, 0);
  } else {
    const FormatArg captured[] = {MakeFormatArg(args)...};
    return FormatV(fmt, captured, sizeof...(Args));
  }
}

}  // namespace qvp

// _snwprintf and swprintf with the Windows runtime's signatures (UTF-16
// buffer, count in units) on the engine above, so that code written for
// Windows compiles unchanged; the arguments are typed, not C varargs.
// _snwprintf: the length written without the NUL; a result exactly `count`
// long is written without NUL and gives `count`; a longer one is cut to
// `count` units without NUL and gives -1. swprintf: the length written, or
// -1 with the text cut to count - 1 units and a NUL when it does not fit
// with its NUL. Both give -1 and write nothing for a null buffer or a count
// of 0.
template <class... Args>
int _snwprintf(char16_t* buffer, std::size_t count, const char16_t* format, const Args&... args) {
  return qvp::CopyFormatted(qvp::Format(format, args...), buffer, count, true);
}

template <class... Args>
int swprintf(char16_t* buffer, std::size_t count, const char16_t* format, const Args&... args) {
  return qvp::CopyFormatted(qvp::Format(format, args...), buffer, count, false);
}
