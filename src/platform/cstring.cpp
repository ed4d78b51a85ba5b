#include "qv_platform/cstring.h"

#include <algorithm>
#include <stdexcept>

#include "qv_platform/chartype.h"
#include "qv_platform/unicode.h"

namespace {

char16_t AsciiUpper(char16_t c) noexcept { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
char16_t AsciiLower(char16_t c) noexcept { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool InSet(char16_t c, const char16_t* set) noexcept {
  if (!set) return false;
  for (; *set; ++set)
    if (*set == c) return true;
  return false;
}

std::u16string_view View(const char16_t* s) noexcept {
  return s ? std::u16string_view(s, qvp::WideLength(s)) : std::u16string_view();
}

}  // namespace

CString::CString(const char16_t* s) : s_(View(s)) {}
CString::CString(const char16_t* s, int length) {
  if (s && length > 0) s_.assign(s, static_cast<std::size_t>(length));
}
CString::CString(char16_t ch, int repeat) {
  if (repeat > 0) s_.assign(static_cast<std::size_t>(repeat), ch);
}
CString::CString(const char* utf8) {
  if (utf8) s_ = qvp::Utf8ToUtf16(utf8);
}
CString::CString(const std::string& utf8) : s_(qvp::Utf8ToUtf16(utf8)) {}

char16_t CString::GetAt(int index) const {
  if (index < 0 || index >= GetLength()) throw std::out_of_range("CString::GetAt");
  return s_[static_cast<std::size_t>(index)];
}

void CString::SetAt(int index, char16_t ch) {
  if (index < 0 || index >= GetLength()) throw std::out_of_range("CString::SetAt");
  s_[static_cast<std::size_t>(index)] = ch;
}

int CString::Find(char16_t ch, int start) const noexcept {
  if (start < 0 || start >= GetLength()) return -1;
  auto pos = s_.find(ch, static_cast<std::size_t>(start));
  return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char16_t* sub, int start) const noexcept {
  if (!sub || start < 0 || start > GetLength()) return -1;
  auto pos = s_.find(View(sub), static_cast<std::size_t>(start));
  return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char16_t ch) const noexcept {
  auto pos = s_.rfind(ch);
  return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const char16_t* chars) const noexcept {
  for (std::size_t i = 0; i < s_.size(); ++i)
    if (InSet(s_[i], chars)) return static_cast<int>(i);
  return -1;
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  if (first < 0) first = 0;
  if (count < 0) count = 0;
  const int len = GetLength();
  if (first > len) first = len;
  if (count > len - first) count = len - first;
  return CString(s_.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
  if (count < 0) count = 0;
  const int len = GetLength();
  if (count > len) count = len;
  return Mid(len - count, count);
}

CString CString::SpanIncluding(const char16_t* chars) const {
  std::size_t i = 0;
  while (i < s_.size() && InSet(s_[i], chars)) ++i;
  return CString(s_.substr(0, i));
}

CString CString::SpanExcluding(const char16_t* chars) const {
  std::size_t i = 0;
  while (i < s_.size() && !InSet(s_[i], chars)) ++i;
  return CString(s_.substr(0, i));
}

CString CString::Tokenize(const char16_t* delimiters, int& start) const {
  if (start < 0) return CString();
  std::size_t i = static_cast<std::size_t>(start);
  while (i < s_.size() && InSet(s_[i], delimiters)) ++i;
  if (i >= s_.size()) {
    start = -1;
    return CString();
  }
  std::size_t j = i;
  while (j < s_.size() && !InSet(s_[j], delimiters)) ++j;
  start = static_cast<int>(j < s_.size() ? j + 1 : j);
  return CString(s_.substr(i, j - i));
}

int CString::Replace(char16_t old_ch, char16_t new_ch) {
  int n = 0;
  if (old_ch == new_ch) return static_cast<int>(std::count(s_.begin(), s_.end(), old_ch));
  for (auto& c : s_)
    if (c == old_ch) {
      c = new_ch;
      ++n;
    }
  return n;
}

int CString::Replace(const char16_t* old_text, const char16_t* new_text) {
  const std::u16string_view from = View(old_text);
  if (from.empty()) return 0;
  const std::u16string_view to = View(new_text);
  std::u16string out;
  int n = 0;
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = s_.find(from, pos);
    if (hit == std::u16string::npos) break;
    out.append(s_, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
    ++n;
  }
  if (n) {
    out.append(s_, pos, std::u16string::npos);
    s_.swap(out);
  }
  return n;
}

int CString::Remove(char16_t ch) {
  const auto before = s_.size();
  s_.erase(std::remove(s_.begin(), s_.end(), ch), s_.end());
  return static_cast<int>(before - s_.size());
}

int CString::Insert(int index, char16_t ch) {
  if (index < 0) index = 0;
  if (index > GetLength()) index = GetLength();
  s_.insert(s_.begin() + index, ch);
  return GetLength();
}

int CString::Insert(int index, const char16_t* text) {
  if (index < 0) index = 0;
  if (index > GetLength()) index = GetLength();
  s_.insert(static_cast<std::size_t>(index), View(text));
  return GetLength();
}

int CString::Delete(int index, int count) {
  if (index < 0) index = 0;
  if (count > 0 && index < GetLength()) {
    s_.erase(static_cast<std::size_t>(index),
             std::min<std::size_t>(static_cast<std::size_t>(count), s_.size() - static_cast<std::size_t>(index)));
  }
  return GetLength();
}

CString& CString::TrimLeft() {
  std::size_t i = 0;
  while (i < s_.size() && qvp::IsWideSpace(s_[i])) ++i;
  s_.erase(0, i);
  return *this;
}
CString& CString::TrimRight() {
  std::size_t n = s_.size();
  while (n > 0 && qvp::IsWideSpace(s_[n - 1])) --n;
  s_.resize(n);
  return *this;
}
CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft(const char16_t* chars) {
  std::size_t i = 0;
  while (i < s_.size() && InSet(s_[i], chars)) ++i;
  s_.erase(0, i);
  return *this;
}
CString& CString::TrimRight(const char16_t* chars) {
  std::size_t n = s_.size();
  while (n > 0 && InSet(s_[n - 1], chars)) --n;
  s_.resize(n);
  return *this;
}
CString& CString::Trim(const char16_t* chars) { return TrimRight(chars).TrimLeft(chars); }

CString& CString::TrimLeft(char16_t ch) {
  const char16_t set[2] = {ch, 0};
  return TrimLeft(set);
}
CString& CString::TrimRight(char16_t ch) {
  const char16_t set[2] = {ch, 0};
  return TrimRight(set);
}
CString& CString::Trim(char16_t ch) { return TrimRight(ch).TrimLeft(ch); }

CString& CString::MakeUpper() {
  for (auto& c : s_) c = AsciiUpper(c);
  return *this;
}
CString& CString::MakeLower() {
  for (auto& c : s_) c = AsciiLower(c);
  return *this;
}
CString& CString::MakeReverse() {
  std::reverse(s_.begin(), s_.end());
  return *this;
}

int CString::Compare(const char16_t* other) const noexcept {
  const int r = std::u16string_view(s_).compare(View(other));
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int CString::CompareNoCase(const char16_t* other) const noexcept {
  const std::u16string_view b = View(other);
  const std::size_t n = std::min(s_.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    // The runtime folds to lower case before comparing.
    const char16_t x = AsciiLower(s_[i]), y = AsciiLower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return s_.size() == b.size() ? 0 : s_.size() < b.size() ? -1 : 1;
}

char16_t* CString::GetBuffer(int min_length) {
  if (min_length > GetLength()) s_.resize(static_cast<std::size_t>(min_length));
  return s_.data();
}

char16_t* CString::GetBufferSetLength(int length) {
  s_.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
  return s_.data();
}

void CString::ReleaseBuffer(int new_length) {
  if (new_length < 0) {
    s_.resize(qvp::WideLength(s_.c_str()));
  } else if (static_cast<std::size_t>(new_length) <= s_.size()) {
    s_.resize(static_cast<std::size_t>(new_length));
  }
}

CString& CString::operator=(const char16_t* s) {
  s_.assign(View(s));
  return *this;
}
CString& CString::operator=(const char* utf8) {
  s_ = utf8 ? qvp::Utf8ToUtf16(utf8) : std::u16string();
  return *this;
}
CString& CString::operator=(char16_t ch) {
  s_.assign(1, ch);
  return *this;
}
CString& CString::operator+=(const char16_t* s) {
  s_.append(View(s));
  return *this;
}
CString& CString::operator+=(const char* utf8) {
  if (utf8) s_ += qvp::Utf8ToUtf16(utf8);
  return *this;
}

std::string CString::ToUtf8() const { return qvp::Utf16ToUtf8(s_); }
CString CString::FromUtf8(std::string_view utf8) { return CString(qvp::Utf8ToUtf16(utf8)); }

bool operator==(const CString& a, const char16_t* b) noexcept { return std::u16string_view(a.str()) == View(b); }
bool operator==(const CString& a, const char* utf8) { return a.str() == qvp::Utf8ToUtf16(utf8 ? utf8 : ""); }

CString operator+(const CString& a, const CString& b) { return CString(a.str() + b.str()); }
CString operator+(const CString& a, const char16_t* b) { CString r(a); r += b; return r; }
CString operator+(const char16_t* a, const CString& b) { CString r(a); r += b; return r; }
CString operator+(const CString& a, char16_t b) { CString r(a); r += b; return r; }
CString operator+(char16_t a, const CString& b) { CString r(a); r += b; return r; }
