// _bstr_t: the COM text type that several exported functions take XML text
// in. A value type over UTF-16 text; a null pointer gives the empty text, as
// a null BSTR reads as empty.
#pragma once

#include <string>
#include <string_view>

#include "qv_platform/cstring.h"
#include "qv_platform/unicode.h"

class _bstr_t {
 public:
  _bstr_t() = default;
  _bstr_t(const char16_t* s) : s_(s ? s : u"") {}                       // NOLINT: implicit like the original
  _bstr_t(std::u16string s) : s_(std::move(s)) {}                        // NOLINT
  _bstr_t(std::u16string_view s) : s_(s) {}                              // NOLINT
  _bstr_t(const CString& s) : s_(s.str()) {}                             // NOLINT
  _bstr_t(const char* utf8) : s_(utf8 ? qvp::Utf8ToUtf16(utf8) : u"") {}  // NOLINT

  unsigned int length() const noexcept { return static_cast<unsigned int>(s_.size()); }
  operator const char16_t*() const noexcept { return s_.c_str(); }  // NOLINT
  std::u16string_view view() const noexcept { return s_; }
  const std::u16string& str() const noexcept { return s_; }

  friend bool operator==(const _bstr_t& a, const _bstr_t& b) noexcept { return a.s_ == b.s_; }

 private:
  std::u16string s_;
};
