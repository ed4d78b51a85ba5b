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
//   %e %E %f %F %g %G %a %A   doubles
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
