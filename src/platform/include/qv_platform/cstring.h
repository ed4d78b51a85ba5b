// CString: the framework's wide string, as a value type over std::u16string.
//
// Lengths and positions count UTF-16 code units (a character outside the
// Basic Multilingual Plane counts 2). Case mapping and case-insensitive
// comparison follow the Windows C runtime in its default "C" locale: only
// A-Z and a-z are mapped. Trim uses the platform's wide white-space class.
// Construction from `const char*` reads UTF-8 (Linux source files and system
// text are UTF-8); invalid bytes become U+FFFD.
#pragma once

#include <compare>
#include <ostream>
#include <string>
#include <string_view>

#include "qv_platform/export.h"
#include "qv_platform/format.h"
#include "qv_platform/wintypes.h"

class QVP_API CString {
 public:
  CString() = default;
  CString(const char16_t* s);                    // NOLINT: implicit like the framework's
  CString(const char16_t* s, int length);
  CString(char16_t ch, int repeat = 1);
  CString(std::u16string s) : s_(std::move(s)) {}  // NOLINT
  CString(std::u16string_view s) : s_(s) {}        // NOLINT
  CString(const char* utf8);                       // NOLINT
  CString(const std::string& utf8);                // NOLINT

  // Size and access.
  int GetLength() const noexcept { return static_cast<int>(s_.size()); }
  bool IsEmpty() const noexcept { return s_.empty(); }
  void Empty() noexcept { s_.clear(); }
  const char16_t* GetString() const noexcept { return s_.c_str(); }
  operator const char16_t*() const noexcept { return s_.c_str(); }  // NOLINT
  char16_t GetAt(int index) const;
  void SetAt(int index, char16_t ch);
  char16_t operator[](int index) const { return GetAt(index); }

  // Search. Positions are 0-based; -1 when not found or start is out of range.
  int Find(char16_t ch, int start = 0) const noexcept;
  int Find(const char16_t* sub, int start = 0) const noexcept;
  int Find(const CString& sub, int start = 0) const noexcept { return Find(sub.GetString(), start); }
  int ReverseFind(char16_t ch) const noexcept;
  int FindOneOf(const char16_t* chars) const noexcept;

  // Extraction. Counts and starts are clamped into range, as the framework does.
  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  CString Left(int count) const;
  CString Right(int count) const;
  CString SpanIncluding(const char16_t* chars) const;
  CString SpanExcluding(const char16_t* chars) const;
  // Tokenize returns the next token after `start` (which it advances) and
  // sets start to -1 when no token is left.
  CString Tokenize(const char16_t* delimiters, int& start) const;

  // Modification. Replace and Remove return how many were replaced/removed.
  int Replace(char16_t old_ch, char16_t new_ch);
  int Replace(const char16_t* old_text, const char16_t* new_text);
  int Remove(char16_t ch);
  int Insert(int index, char16_t ch);
  int Insert(int index, const char16_t* text);
  int Delete(int index, int count = 1);
  CString& Trim();
  CString& Trim(char16_t ch);
  CString& Trim(const char16_t* chars);
  CString& TrimLeft();
  CString& TrimLeft(char16_t ch);
  CString& TrimLeft(const char16_t* chars);
  CString& TrimRight();
  CString& TrimRight(char16_t ch);
  CString& TrimRight(const char16_t* chars);
  CString& MakeUpper();
  CString& MakeLower();
  CString& MakeReverse();

  // Comparison. Compare/CompareNoCase return <0, 0 or >0 by code unit.
  int Compare(const char16_t* other) const noexcept;
  int CompareNoCase(const char16_t* other) const noexcept;

  // Buffer access: GetBuffer(n) gives at least n+1 writable units (the
  // current text kept); ReleaseBuffer(-1) takes the length up to the first
  // NUL, ReleaseBuffer(n) sets it to n.
  char16_t* GetBuffer(int min_length = 0);
  char16_t* GetBufferSetLength(int length);
  void ReleaseBuffer(int new_length = -1);

  // Formatting with the Windows wide printf conventions (see format.h).
  template <class... Args>
  void Format(const char16_t* fmt, const Args&... args) {
    s_ = qvp::Format(fmt ? std::u16string_view(fmt) : std::u16string_view(), args...);
  }
  template <class... Args>
  void AppendFormat(const char16_t* fmt, const Args&... args) {
    s_ += qvp::Format(fmt ? std::u16string_view(fmt) : std::u16string_view(), args...);
  }

  CString& operator=(const char16_t* s);
  CString& operator=(const char* utf8);
  CString& operator=(char16_t ch);
  CString& operator+=(const CString& s) { s_ += s.s_; return *this; }
  CString& operator+=(const char16_t* s);
  CString& operator+=(char16_t ch) { s_ += ch; return *this; }
  CString& operator+=(const char* utf8);

  // Conversions for the rest of the system.
  std::string ToUtf8() const;
  static CString FromUtf8(std::string_view utf8);
  const std::u16string& str() const noexcept { return s_; }
  std::u16string& str() noexcept { return s_; }
  std::u16string_view view() const noexcept { return s_; }

  friend bool operator==(const CString& a, const CString& b) noexcept { return a.s_ == b.s_; }
  friend std::strong_ordering operator<=>(const CString& a, const CString& b) noexcept {
    return a.s_.compare(b.s_) <=> 0;
  }

 private:
  std::u16string s_;
};

QVP_API bool operator==(const CString& a, const char16_t* b) noexcept;
QVP_API bool operator==(const CString& a, const char* utf8);
QVP_API CString operator+(const CString& a, const CString& b);
QVP_API CString operator+(const CString& a, const char16_t* b);
QVP_API CString operator+(const char16_t* a, const CString& b);
QVP_API CString operator+(const CString& a, char16_t b);
QVP_API CString operator+(char16_t a, const CString& b);

// Streams as UTF-8 (for diagnostics and test output).
inline std::ostream& operator<<(std::ostream& os, const CString& s) { return os << s.ToUtf8(); }

template <>
struct std::hash<CString> {
  std::size_t operator()(const CString& s) const noexcept { return std::hash<std::u16string>{}(s.str()); }
};
