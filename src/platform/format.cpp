// The wide printf engine. Integers and strings are laid out here; doubles go
// through the C library's snprintf with the same flags, width and precision,
// whose output for %e/%f/%g matches the Windows runtime (two-digit minimum
// exponent, "inf"/"nan" spellings as the current Windows runtime prints them).
#include "qv_platform/format.h"

#include <cstdio>
#include <string>

#include "qv_platform/unicode.h"

namespace qvp {

namespace {

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  enum class Size { Default, Char, Short, Long, LongLong, Wide, Narrow } size = Size::Default;
};

void Pad(std::u16string& out, int count, char16_t ch) {
  if (count > 0) out.append(static_cast<std::size_t>(count), ch);
}

void EmitField(std::u16string& out, const Spec& spec, std::u16string_view body, bool allow_zero_pad) {
  const int fill = spec.width - static_cast<int>(body.size());
  if (spec.left) {
    out += body;
    Pad(out, fill, u' ');
  } else {
    Pad(out, fill, allow_zero_pad && spec.zero ? u'0' : u' ');
    out += body;
  }
}

// Reads an integer argument at the width the format asks for.
unsigned long long TakeBits(const FormatArg& a, Spec::Size size, bool is_signed, bool* negative) {
  unsigned long long raw = a.kind == FormatArg::Kind::Double ? 0 : a.u;
  if (a.kind == FormatArg::Kind::Ptr) raw = reinterpret_cast<std::uintptr_t>(a.p);
  *negative = false;
  switch (size) {
    case Spec::Size::Char:
      if (is_signed) {
        auto v = static_cast<signed char>(raw);
        *negative = v < 0;
        return *negative ? 0ull - static_cast<unsigned long long>(static_cast<long long>(v)) : static_cast<unsigned long long>(v);
      }
      return static_cast<unsigned char>(raw);
    case Spec::Size::Short:
      if (is_signed) {
        auto v = static_cast<short>(raw);
        *negative = v < 0;
        return *negative ? 0ull - static_cast<unsigned long long>(static_cast<long long>(v)) : static_cast<unsigned long long>(v);
      }
      return static_cast<unsigned short>(raw);
    case Spec::Size::LongLong:
      if (is_signed) {
        auto v = static_cast<long long>(raw);
        *negative = v < 0;
        return *negative ? 0ull - raw : raw;
      }
      return raw;
    default:
      if (is_signed) {
        auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
        *negative = v < 0;
        return *negative ? 0ull - static_cast<unsigned long long>(static_cast<long long>(v)) : static_cast<unsigned long long>(v);
      }
      return static_cast<std::uint32_t>(raw);
  }
}

void FormatInteger(std::u16string& out, const Spec& spec, char conv, const FormatArg& a) {
  const bool is_signed = conv == 'd' || conv == 'i';
  bool negative = false;
  unsigned long long v = TakeBits(a, spec.size, is_signed, &negative);
  const unsigned base = (conv == 'o') ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
  const char* digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string num;
  if (!(v == 0 && spec.precision == 0)) {
    do {
      num.insert(num.begin(), static_cast<char16_t>(digits[v % base]));
      v /= base;
    } while (v);
  }
  if (spec.precision >= 0 && static_cast<int>(num.size()) < spec.precision)
    num.insert(0, static_cast<std::size_t>(spec.precision) - num.size(), u'0');
  if (spec.alt && base == 8 && (num.empty() || num[0] != u'0')) num.insert(num.begin(), u'0');
  std::u16string prefix;
  if (negative) prefix = u"-";
  else if (is_signed && spec.plus) prefix = u"+";
  else if (is_signed && spec.space) prefix = u" ";
  if (spec.alt && base == 16 && !num.empty() && num.find_first_not_of(u'0') != std::u16string::npos)
    prefix += conv == 'X' ? u"0X" : u"0x";
  const bool zero_pad = spec.zero && !spec.left && spec.precision < 0;
  if (zero_pad) {
    const int fill = spec.width - static_cast<int>(prefix.size() + num.size());
    out += prefix;
    Pad(out, fill, u'0');
    out += num;
  } else {
    Spec s = spec;
    s.zero = false;
    EmitField(out, s, prefix + num, false);
  }
}

void FormatDouble(std::u16string& out, const Spec& spec, char conv, const FormatArg& a) {
  double d = a.kind == FormatArg::Kind::Double ? a.d
             : a.kind == FormatArg::Kind::Int  ? static_cast<double>(a.i)
             : a.kind == FormatArg::Kind::UInt ? static_cast<double>(a.u)
                                               : 0.0;
  std::string f = "%";
  if (spec.left) f += '-';
  if (spec.plus) f += '+';
  if (spec.space) f += ' ';
  if (spec.alt) f += '#';
  if (spec.zero) f += '0';
  if (spec.width > 0) f += std::to_string(spec.width);
  if (spec.precision >= 0) f += "." + std::to_string(spec.precision);
  f += conv;
  char small[128];
  int n = std::snprintf(small, sizeof small, f.c_str(), d);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof small) {
    out.append(small, small + n);
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), f.c_str(), d);
  out.append(big.begin(), big.begin() + n);
}

void FormatString(std::u16string& out, const Spec& spec, bool wide, const FormatArg& a) {
  std::u16string text;
  if (a.kind == FormatArg::Kind::WStr) {
    wide = true;
  } else if (a.kind == FormatArg::Kind::Str) {
    wide = false;
  }
  if (wide) {
    const char16_t* s = a.kind == FormatArg::Kind::WStr ? a.ws : nullptr;
    if (!s) {
      text = u"(null)";
    } else {
      std::size_t n = 0;
      while (s[n] && (spec.precision < 0 || n < static_cast<std::size_t>(spec.precision))) ++n;
      text.assign(s, n);
    }
  } else {
    const char* s = a.kind == FormatArg::Kind::Str ? a.s : nullptr;
    if (!s) {
      text = u"(null)";
    } else {
      std::size_t n = 0;
      while (s[n]) ++n;
      text = Utf8ToUtf16(std::string_view(s, n));
      if (spec.precision >= 0 && text.size() > static_cast<std::size_t>(spec.precision))
        text.resize(static_cast<std::size_t>(spec.precision));
    }
  }
  if (spec.precision >= 0 && text.size() > static_cast<std::size_t>(spec.precision))
    text.resize(static_cast<std::size_t>(spec.precision));
  EmitField(out, spec, text, true);
}

}  // namespace

std::u16string FormatV(std::u16string_view fmt, const FormatArg* args, std::size_t count) {
  std::u16string out;
  out.reserve(fmt.size() + 16);
  std::size_t next = 0;
  const FormatArg none;
  auto take = [&]() -> const FormatArg& { return next < count ? args[next++] : (++next, none); };
  auto take_int = [&]() -> long long {
    const FormatArg& a = take();
    return a.kind == FormatArg::Kind::UInt ? static_cast<long long>(a.u) : a.i;
  };

  const std::size_t n = fmt.size();
  std::size_t i = 0;
  while (i < n) {
    const char16_t c = fmt[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::size_t start = i++;
    if (i < n && fmt[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    Spec spec;
    for (; i < n; ++i) {
      const char16_t f = fmt[i];
      if (f == u'-') spec.left = true;
      else if (f == u'+') spec.plus = true;
      else if (f == u' ') spec.space = true;
      else if (f == u'#') spec.alt = true;
      else if (f == u'0') spec.zero = true;
      else break;
    }
    if (i < n && fmt[i] == u'*') {
      long long w = take_int();
      if (w < 0) {
        spec.left = true;
        w = -w;
      }
      spec.width = static_cast<int>(w > 1 << 20 ? 1 << 20 : w);
      ++i;
    } else {
      while (i < n && fmt[i] >= u'0' && fmt[i] <= u'9') {
        spec.width = spec.width * 10 + (fmt[i] - u'0');
        if (spec.width > 1 << 20) spec.width = 1 << 20;
        ++i;
      }
    }
    if (i < n && fmt[i] == u'.') {
      ++i;
      spec.precision = 0;
      if (i < n && fmt[i] == u'*') {
        long long p = take_int();
        spec.precision = p < 0 ? -1 : static_cast<int>(p > 1 << 20 ? 1 << 20 : p);
        ++i;
      } else {
        while (i < n && fmt[i] >= u'0' && fmt[i] <= u'9') {
          spec.precision = spec.precision * 10 + (fmt[i] - u'0');
          if (spec.precision > 1 << 20) spec.precision = 1 << 20;
          ++i;
        }
      }
    }
    // Size prefixes, Windows spellings included.
    auto at = [&](std::u16string_view s) { return fmt.substr(i, s.size()) == s; };
    if (at(u"I64")) { spec.size = Spec::Size::LongLong; i += 3; }
    else if (at(u"I32")) { spec.size = Spec::Size::Default; i += 3; }
    else if (at(u"hh")) { spec.size = Spec::Size::Char; i += 2; }
    else if (at(u"ll")) { spec.size = Spec::Size::LongLong; i += 2; }
    else if (i < n) {
      switch (fmt[i]) {
        case u'h': spec.size = Spec::Size::Short; ++i; break;
        case u'l': spec.size = Spec::Size::Long; ++i; break;
        case u'w': spec.size = Spec::Size::Wide; ++i; break;
        case u'I': case u'z': case u'j': case u't': spec.size = Spec::Size::LongLong; ++i; break;
        case u'L': ++i; break;
        default: break;
      }
    }
    if (i >= n) {
      out.append(fmt.substr(start));
      break;
    }
    const char16_t conv = fmt[i++];
    switch (conv) {
      case u'd': case u'i': case u'u': case u'o': case u'x': case u'X': {
        Spec s = spec;
        if (s.size == Spec::Size::Long || s.size == Spec::Size::Wide || s.size == Spec::Size::Narrow)
          s.size = Spec::Size::Default;
        FormatInteger(out, s, static_cast<char>(conv), take());
        break;
      }
      case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
        FormatDouble(out, spec, static_cast<char>(conv), take());
        break;
      case u'c': case u'C': {
        const FormatArg& a = take();
        char16_t ch = static_cast<char16_t>(a.kind == FormatArg::Kind::Int ? static_cast<unsigned long long>(a.i) : a.u);
        const bool narrow = spec.size == Spec::Size::Short || (conv == u'C' && spec.size != Spec::Size::Long && spec.size != Spec::Size::Wide);
        if (narrow) ch = static_cast<unsigned char>(ch);
        Spec s = spec;
        s.precision = -1;
        EmitField(out, s, std::u16string_view(&ch, 1), true);
        break;
      }
      case u's': case u'S': {
        const bool wide = conv == u's' ? spec.size != Spec::Size::Short
                                       : (spec.size == Spec::Size::Long || spec.size == Spec::Size::Wide);
        FormatString(out, spec, wide, take());
        break;
      }
      case u'p': {
        Spec s = spec;
        s.precision = 16;
        s.size = Spec::Size::LongLong;
        s.alt = false;
        FormatInteger(out, s, 'X', take());
        break;
      }
      case u'n':
        take();
        break;
      default:
        // An unknown conversion is copied as written.
        out.append(fmt.substr(start, i - start));
        break;
    }
  }
  return out;
}

}  // namespace qvp
