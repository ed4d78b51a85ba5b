#include "xml_wellformed.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "qv_platform/unicode.h"
#include "qv_platform/xml_scan.h"
#include "qv_platform/xmldom.h"

namespace qvp::xml_detail {

namespace {

// Byte classes of ASCII; bytes from 0x80 up have none and are decoded.
enum : unsigned char { kNameStart = 1, kNameChar = 2, kSpace = 4, kTextPlain = 8, kValuePlain = 16, kPlain = 32 };
constexpr std::array<unsigned char, 256> kClass = [] {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 0x80; ++c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    const bool printable = c >= 0x20 && c < 0x7F;
    unsigned char v = 0;
    if (letter) v |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') v |= kNameChar;
    if (space) v |= kSpace;
    if ((printable || space) && c != '<' && c != '&' && c != ']') v |= kTextPlain;
    // White space other than ' ' leaves the plain run too: a loaded value
    // has it normalized, so a scan must know where it stands.
    if (printable && c != '<' && c != '&' && c != '"' && c != '\'') v |= kValuePlain;
    if (printable) v |= kPlain;
    t[static_cast<std::size_t>(c)] = v;
  }
  t[0x7F] = kTextPlain | kValuePlain | kPlain;
  return t;
}();

bool Is(char c, unsigned char bits) { return kClass[static_cast<unsigned char>(c)] & bits; }

// SkipValuePlain steps over the bytes an attribute value holds as written
// (printable ASCII other than < & " '), sixteen at a time where it can:
// values make up most of a large document.
const char* SkipValuePlain(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i control = _mm_set1_epi8(0x1F);
  const __m128i lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&'), dq = _mm_set1_epi8('"'), sq = _mm_set1_epi8('\'');
  while (end - p >= 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, lt), _mm_cmpeq_epi8(b, amp)),
                                         _mm_or_si128(_mm_cmpeq_epi8(b, dq), _mm_cmpeq_epi8(b, sq)));
    // Signed: bytes from 0x80 up compare below 0x1F, as control bytes do.
    const __m128i plain = _mm_andnot_si128(special, _mm_cmpgt_epi8(b, control));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(plain));
    if (mask != 0xFFFFu) return p + __builtin_ctz(~mask);
    p += 16;
  }
#endif
  while (p < end && Is(*p, kValuePlain)) ++p;
  return p;
}

bool IsChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsNameStartCode(char32_t c) {
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}
bool IsNameCode(char32_t c) {
  return IsNameStartCode(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Decode gives the length of the UTF-8 sequence at `p` (before `end`) and
// its code point; 0 when the bytes are not UTF-8 (overlong forms and values
// above U+10FFFF included; surrogates decode and are refused as characters).
std::size_t Decode(const char* p, const char* end, char32_t& cp) {
  const unsigned char b0 = static_cast<unsigned char>(*p);
  std::size_t n;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (static_cast<std::size_t>(end - p) < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const unsigned char b = static_cast<unsigned char>(p[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return cp < min || cp > 0x10FFFF ? 0 : n;
}

constexpr char16_t kBadEncoding[] = u"Invalid byte sequence: the text is not UTF-8.";
constexpr char16_t kBadChar[] = u"An invalid character was found in text content.";
constexpr char16_t kEndOfInput[] = u"Unexpected end of input.";

// A value as a loaded document holds it: references resolved, each of tab,
// LF, CR and CR LF one space. Appends to `out`, never more bytes than `raw`
// has. `raw` has passed the check.
void AppendAttributeValue(std::string_view raw, std::string& out) {
  for (std::size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    if (c == '\r') {
      out += ' ';
      i += i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
    } else if (c == '\t' || c == '\n') {
      out += ' ';
      ++i;
    } else if (c != '&') {
      std::size_t j = i + 1;  // a run that loads as written
      while (j < raw.size() && raw[j] != '&' && raw[j] != '\r' && raw[j] != '\t' && raw[j] != '\n') ++j;
      out.append(raw.data() + i, j - i);
      i = j;
    } else if (raw[i + 1] == '#') {
      const bool hex = raw[i + 2] == 'x';
      std::size_t k = i + (hex ? 3 : 2);
      char32_t value = 0;
      for (; raw[k] != ';'; ++k) {
        const unsigned d = static_cast<unsigned char>(raw[k]);
        value = value * (hex ? 16 : 10) + (d <= '9' ? d - '0' : (d | 0x20u) - 'a' + 10);
      }
      AppendUtf8(out, value);
      i = k + 1;
    } else {
      const std::size_t semi = raw.find(';', i);
      const std::string_view name = raw.substr(i + 1, semi - i - 1);
      out += name == "lt" ? '<' : name == "gt" ? '>' : name == "amp" ? '&' : name == "quot" ? '"' : '\'';
      i = semi + 1;
    }
  }
}

class Checker {
 public:
  Checker(std::string_view text, WellFormedFault& fault, XmlScanHandler* handler = nullptr)
      : s_(text.data()), p_(text.data()), end_(text.data() + text.size()), fault_(fault), handler_(handler) {}

  bool Document() {
    if (Starts("<?xml") && end_ - p_ > 5 && (Is(p_[5], kSpace) || p_[5] == '?') && !Declaration()) return false;
    bool root = false, doctype = false;
    for (;;) {
      SkipSpace();
      if (p_ == end_) break;
      if (Starts("<?")) {
        if (!Pi()) return false;
      } else if (Starts("<!--")) {
        if (!Comment()) return false;
      } else if (Starts("<!DOCTYPE")) {
        if (doctype || root) return Fail(p_, kXmlErrorSyntax, u"A DOCTYPE may only come once, before the document element.");
        doctype = true;
        // A scan takes no document type declaration, as a reader that
        // prohibits them: what the loads make of one is theirs alone.
        if (handler_) return Stop();
        if (!Doctype()) return false;
      } else if (*p_ == '<' && !root && end_ - p_ > 1 && p_[1] != '/' && p_[1] != '!') {
        root = true;
        if (!Element()) return false;
      } else if (*p_ == '<' && root && end_ - p_ > 1 && (Is(p_[1], kNameStart) || static_cast<unsigned char>(p_[1]) >= 0x80)) {
        return Fail(p_, kXmlErrorMultiRoot, u"Only one top level element is allowed in an XML document.");
      } else {
        return Fail(p_, kXmlErrorSyntax, u"Invalid at the top level of the document.");
      }
    }
    if (!root) return Fail(p_, kXmlErrorNoRoot, u"XML document must have a top level element.");
    return true;
  }

 private:
  bool Fail(const char* at, HRESULT code, std::u16string reason) {
    fault_.offset = static_cast<std::size_t>(at - s_);
    fault_.code = code;
    fault_.reason = std::move(reason);
    return false;
  }
  bool Starts(std::string_view lit) const {
    return static_cast<std::size_t>(end_ - p_) >= lit.size() && std::memcmp(p_, lit.data(), lit.size()) == 0;
  }
  void SkipSpace() {
    while (p_ < end_ && Is(*p_, kSpace)) ++p_;
  }

  // NextChar steps over one character, which must be an XML character.
  bool NextChar() {
    char32_t cp;
    const std::size_t n = Decode(p_, end_, cp);
    if (n == 0) return Fail(p_, kXmlErrorSyntax, kBadEncoding);
    if (!IsChar(cp)) return Fail(p_, kXmlErrorSyntax, kBadChar);
    p_ += n;
    return true;
  }

  bool Name(std::string_view& name, HRESULT code) {
    const char* const start = p_;
    while (p_ < end_) {
      const bool first = p_ == start;
      if (static_cast<unsigned char>(*p_) < 0x80) {
        if (!Is(*p_, first ? kNameStart : kNameChar)) break;
        ++p_;
        continue;
      }
      char32_t cp;
      const std::size_t n = Decode(p_, end_, cp);
      if (n == 0) return Fail(p_, kXmlErrorSyntax, kBadEncoding);
      if (!(first ? IsNameStartCode(cp) : IsNameCode(cp))) break;
      p_ += n;
    }
    if (p_ == start) {
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
      return Fail(p_, code, u"A name was started with an invalid character.");
    }
    name = std::string_view(start, static_cast<std::size_t>(p_ - start));
    return true;
  }

  // Reference: "&name;" of a predefined entity or a character reference.
  bool Reference() {
    const char* const at = p_++;
    if (p_ < end_ && *p_ == '#') {
      const bool hex = ++p_ < end_ && *p_ == 'x';
      if (hex) ++p_;
      char32_t value = 0;
      int digits = 0;
      for (; p_ < end_; ++p_, ++digits) {
        const unsigned c = static_cast<unsigned char>(*p_);
        unsigned d;
        if (c - '0' < 10u) d = c - '0';
        else if (hex && (c | 0x20u) - 'a' < 6u) d = (c | 0x20u) - 'a' + 10;
        else break;
        if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + d;  // stays above the range once there
      }
      if (digits == 0 || p_ == end_ || *p_ != ';') return Fail(at, kXmlErrorSyntax, u"Invalid character reference.");
      if (!IsChar(value)) return Fail(at, kXmlErrorSyntax, u"A character reference names an invalid character.");
      ++p_;
      return true;
    }
    std::string_view name;
    if (p_ == end_ || !(Is(*p_, kNameStart) || static_cast<unsigned char>(*p_) >= 0x80))
      return Fail(at, kXmlErrorSyntax, u"'&' must start an entity or character reference.");
    if (!Name(name, kXmlErrorSyntax)) return false;
    if (p_ == end_ || *p_ != ';') return Fail(p_, kXmlErrorSyntax, u"Missing semicolon after an entity reference.");
    ++p_;
    if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") return true;
    return Fail(at, kXmlErrorSyntax, u"Reference to undefined entity '" + Utf8ToUtf16(name) + u"'.");
  }

  bool Text() {
    for (;;) {
      while (p_ < end_ && Is(*p_, kTextPlain)) ++p_;
      if (p_ == end_ || *p_ == '<') return true;
      if (*p_ == '&') {
        if (!Reference()) return false;
      } else if (*p_ == ']') {
        if (end_ - p_ >= 3 && p_[1] == ']' && p_[2] == '>')
          return Fail(p_, kXmlErrorSyntax, u"The literal string ']]>' is not allowed in element content.");
        ++p_;
      } else if (!NextChar()) {
        return false;
      }
    }
  }

  // AttributeValue scans a value up to its closing quote; `changes` is set
  // when loading it changes its text (a reference or white space to
  // normalize).
  bool AttributeValue(char quote, bool& changes) {
    for (;;) {
      p_ = SkipValuePlain(p_, end_);
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
      const char c = *p_;
      if (c == quote) {
        ++p_;
        return true;
      }
      if (c == '<') return Fail(p_, kXmlErrorBadAttr, u"The character '<' cannot be used in an attribute value.");
      if (c == '&') {
        changes = true;
        if (!Reference()) return false;
      } else if (c == '"' || c == '\'') {
        ++p_;
      } else {
        changes |= c == '\t' || c == '\n' || c == '\r';
        if (!NextChar()) return false;
      }
    }
  }

  // NewAttribute is false when the element already has an attribute of that
  // name. A few names are compared directly; many go through a set, so that
  // an element with very many attributes costs no more than linear time.
  bool NewAttribute(std::string_view name) {
    constexpr std::size_t kFew = 16;
    if (names_.size() < kFew) {
      for (const std::string_view n : names_)  // the first byte settles most
        if (n.size() == name.size() && n[0] == name[0] && n == name) return false;
      names_.push_back(name);
      if (names_.size() == kFew) many_.insert(names_.begin(), names_.end());
      return true;
    }
    return many_.insert(name).second;
  }

  // StartTag from its '<' past its '>'; an element that is not empty is
  // pushed as open.
  bool StartTag() {
    const char* const tag = p_++;
    std::string_view name;
    if (!Name(name, kXmlErrorBadTag)) return false;
    names_.clear();
    if (!many_.empty()) many_.clear();
    if (handler_) attributes_.clear(), changed_.clear();
    for (;;) {
      const char* const before = p_;
      SkipSpace();
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
      if (*p_ == '>') {
        ++p_;
        if (handler_ && !Report(name, tag)) return Stop();
        open_.push_back(name);
        return true;
      }
      if (*p_ == '/') {
        if (end_ - p_ > 1 && p_[1] == '>') {
          p_ += 2;
          if (handler_ && (!Report(name, tag) || !handler_->EndElement(name))) return Stop();
          return true;
        }
        return Fail(p_, kXmlErrorBadTag, u"Expecting '>'.");
      }
      if (p_ == before) return Fail(p_, kXmlErrorBadAttr, u"Missing white space before an attribute.");
      const char* const at = p_;
      std::string_view attribute;
      if (!Name(attribute, kXmlErrorBadAttr)) return false;
      SkipSpace();
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
      if (*p_ != '=') return Fail(p_, kXmlErrorBadAttr, u"Missing equals sign between attribute and attribute value.");
      ++p_;
      SkipSpace();
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
      if (*p_ != '"' && *p_ != '\'')
        return Fail(p_, kXmlErrorBadAttr, u"A string literal was expected, but no opening quotation mark was found.");
      const char quote = *p_++;
      const char* const value = p_;
      bool changes = false;
      if (!AttributeValue(quote, changes)) return false;
      if (!NewAttribute(attribute))
        return Fail(at, kXmlErrorBadAttr, u"Duplicate attribute '" + Utf8ToUtf16(attribute) + u"'.");
      if (handler_) {
        if (changes) changed_.push_back(attributes_.size());
        attributes_.push_back({attribute, std::string_view(value, static_cast<std::size_t>(p_ - 1 - value))});
      }
    }
  }

  // Report hands a start tag to the handler, its values as loaded.
  bool Report(std::string_view name, const char* tag) {
    if (!changed_.empty()) {
      std::size_t room = 0;
      for (const std::size_t k : changed_) room += attributes_[k].value.size();
      values_.clear();
      values_.reserve(room);  // views into it stay put
      for (const std::size_t k : changed_) {
        const std::size_t from = values_.size();
        AppendAttributeValue(attributes_[k].value, values_);
        attributes_[k].value = std::string_view(values_).substr(from);
      }
    }
    return handler_->StartElement(name, attributes_, static_cast<std::size_t>(tag - s_));
  }

  // Stop ends the scan where the handler asked.
  bool Stop() { return Fail(p_, E_ABORT, u"The scan was stopped."); }

  bool EndTag() {
    const char* const at = p_;
    p_ += 2;
    std::string_view name;
    if (!Name(name, kXmlErrorBadTag)) return false;
    SkipSpace();
    if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
    if (*p_ != '>') return Fail(p_, kXmlErrorBadTag, u"Expecting '>'.");
    if (name != open_.back())
      return Fail(at, kXmlErrorEndTag,
                  u"End tag '" + Utf8ToUtf16(name) + u"' does not match the start tag '" + Utf8ToUtf16(open_.back()) +
                      u"'.");
    ++p_;
    open_.pop_back();
    if (handler_ && !handler_->EndElement(name)) return Stop();
    return true;
  }

  // Element: the document element with everything in it, without recursion.
  bool Element() {
    if (!StartTag()) return false;
    while (!open_.empty()) {
      if (!Text()) return false;
      if (p_ == end_) {
        std::u16string names;
        const std::size_t from = open_.size() > 10 ? open_.size() - 10 : 0;
        for (std::size_t i = from; i < open_.size(); ++i) names += (i > from ? u", " : u"") + Utf8ToUtf16(open_[i]);
        return Fail(p_, kXmlErrorUnclosed, u"The following tags were not closed: " + names + u".");
      }
      bool ok;
      if (end_ - p_ > 1 && p_[1] == '/') ok = EndTag();
      else if (Starts("<!--")) ok = Comment();
      else if (Starts("<![CDATA[")) ok = CData();
      else if (Starts("<?")) ok = Pi();
      else if (end_ - p_ > 1 && p_[1] == '!') ok = Fail(p_, kXmlErrorSyntax, u"Invalid markup in element content.");
      else ok = StartTag();
      if (!ok) return false;
    }
    return true;
  }

  bool Comment() {
    const char* const at = p_;
    p_ += 4;
    for (;;) {
      while (p_ < end_ && *p_ != '-' && Is(*p_, kPlain)) ++p_;
      if (p_ == end_) return Fail(at, kXmlErrorUnclosed, u"The comment is not closed.");
      if (*p_ != '-') {
        if (!NextChar()) return false;
      } else if (end_ - p_ > 1 && p_[1] == '-') {
        if (end_ - p_ > 2 && p_[2] == '>') {
          p_ += 3;
          return true;
        }
        return Fail(p_, kXmlErrorSyntax, u"A comment cannot contain '--'.");
      } else {
        ++p_;
      }
    }
  }

  bool CData() {
    const char* const at = p_;
    p_ += 9;
    for (;;) {
      while (p_ < end_ && *p_ != ']' && Is(*p_, kPlain)) ++p_;
      if (p_ == end_) return Fail(at, kXmlErrorUnclosed, u"The CDATA section is not closed.");
      if (*p_ != ']') {
        if (!NextChar()) return false;
      } else if (end_ - p_ > 2 && p_[1] == ']' && p_[2] == '>') {
        p_ += 3;
        return true;
      } else {
        ++p_;
      }
    }
  }

  bool Pi() {
    const char* const at = p_;
    p_ += 2;
    std::string_view target;
    if (!Name(target, kXmlErrorSyntax)) return false;
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l')
      return Fail(at, kXmlErrorSyntax, u"The XML declaration must be the first thing in the document.");
    if (Starts("?>")) {
      p_ += 2;
      return true;
    }
    if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
    if (!Is(*p_, kSpace)) return Fail(p_, kXmlErrorSyntax, u"Missing white space after a processing instruction's target.");
    for (;;) {
      while (p_ < end_ && *p_ != '?' && Is(*p_, kPlain)) ++p_;
      if (p_ == end_) return Fail(at, kXmlErrorUnclosed, u"The processing instruction is not closed.");
      if (*p_ != '?') {
        if (!NextChar()) return false;
      } else if (end_ - p_ > 1 && p_[1] == '>') {
        p_ += 2;
        return true;
      } else {
        ++p_;
      }
    }
  }

  // Declaration: "<?xml" version, then optionally encoding and standalone,
  // in that order.
  bool Declaration() {
    const char* const at = p_;
    p_ += 5;
    static constexpr std::string_view kNames[] = {"version", "encoding", "standalone"};
    std::size_t next = 0;
    for (;;) {
      const char* const before = p_;
      SkipSpace();
      if (Starts("?>")) {
        if (next == 0) return Fail(at, kXmlErrorSyntax, u"The XML declaration has no version.");
        p_ += 2;
        return true;
      }
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
      if (p_ == before) return Fail(p_, kXmlErrorSyntax, u"Invalid XML declaration.");
      const char* const name_at = p_;
      std::string_view name;
      if (!Name(name, kXmlErrorSyntax)) return false;
      std::size_t k = next;
      while (k < 3 && kNames[k] != name) ++k;
      if (k == 3 || (next == 0 && k != 0)) return Fail(name_at, kXmlErrorSyntax, u"Invalid XML declaration.");
      next = k + 1;
      SkipSpace();
      if (p_ == end_ || *p_ != '=') return Fail(p_, kXmlErrorSyntax, u"Invalid XML declaration.");
      ++p_;
      SkipSpace();
      if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return Fail(p_, kXmlErrorSyntax, u"Invalid XML declaration.");
      const char quote = *p_++;
      const char* const value_at = p_;
      while (p_ < end_ && *p_ != quote) ++p_;
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, kEndOfInput);
      const std::string_view v(value_at, static_cast<std::size_t>(p_ - value_at));
      ++p_;
      bool ok = !v.empty();
      if (k == 0) {
        ok = v.size() > 2 && v.substr(0, 2) == "1.";
        for (std::size_t i = 2; ok && i < v.size(); ++i) ok = v[i] >= '0' && v[i] <= '9';
      } else if (k == 1) {
        ok = ok && ((v[0] | 0x20) >= 'a' && (v[0] | 0x20) <= 'z');
        for (std::size_t i = 1; ok && i < v.size(); ++i)
          ok = Is(v[i], kNameChar) && v[i] != ':';
      } else {
        ok = v == "yes" || v == "no";
      }
      if (!ok) return Fail(value_at, kXmlErrorSyntax, u"Invalid XML declaration.");
    }
  }

  // Doctype: skipped (its quoted texts, comments and processing
  // instructions are respected so that its end is found where it is).
  bool Doctype() {
    p_ += 9;
    if (p_ == end_ || !Is(*p_, kSpace)) return Fail(p_, kXmlErrorSyntax, u"Invalid DOCTYPE declaration.");
    bool subset = false;
    for (;;) {
      if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, u"The DOCTYPE declaration is not closed.");
      const char c = *p_;
      if (c == '"' || c == '\'') {
        ++p_;
        while (p_ < end_ && *p_ != c)
          if (!NextChar()) return false;
        if (p_ == end_) return Fail(p_, kXmlErrorUnclosed, u"The DOCTYPE declaration is not closed.");
        ++p_;
        continue;
      }
      if (subset) {
        if (Starts("<!--")) {
          if (!Comment()) return false;
          continue;
        }
        if (Starts("<?")) {
          if (!Pi()) return false;
          continue;
        }
        if (c == ']') subset = false;
      } else if (c == '[') {
        subset = true;
      } else if (c == '>') {
        ++p_;
        return true;
      }
      if (!NextChar()) return false;
    }
  }

  const char* const s_;
  const char* p_;
  const char* const end_;
  WellFormedFault& fault_;
  XmlScanHandler* const handler_;  // null: check only
  // The start tag's attributes, values as written until Report, and which
  // of them loading changes (those are given from values_).
  std::vector<XmlScanAttribute> attributes_;
  std::vector<std::size_t> changed_;
  std::string values_;
  std::vector<std::string_view> open_;   // names of the open elements, outermost first
  std::vector<std::string_view> names_;  // attribute names of the current start tag
  std::unordered_set<std::string_view> many_;
};

void PutUtf8(std::string& out, char32_t c) {
  if (c <= 0x10FFFF) {
    qvp::AppendUtf8(out, c);
  } else {
    out += '\xFF';  // never UTF-8
  }
}

// DeclaresLatin1: the declaration names ISO-8859-1 (as pugixml reads it).
bool DeclaresLatin1(std::string_view b) {
  if (b.substr(0, 5) != "<?xml") return false;
  const std::size_t end = b.find("?>");
  const std::string_view decl = b.substr(0, end);
  const std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return false;
  std::size_t i = at + 8;
  while (i < decl.size() && Is(decl[i], kSpace)) ++i;
  if (i >= decl.size() || decl[i] != '=') return false;
  ++i;
  while (i < decl.size() && Is(decl[i], kSpace)) ++i;
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return false;
  const std::size_t close = decl.find(decl[i], i + 1);
  if (close == std::string_view::npos) return false;
  std::string v(decl.substr(i + 1, close - i - 1));
  for (char& c : v) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
  return v == "iso-8859-1" || v == "latin1";
}

}  // namespace

bool CheckWellFormed(std::string_view text, WellFormedFault& fault) { return Checker(text, fault).Document(); }

}  // namespace qvp::xml_detail

namespace qvp {

bool ScanXmlUtf8(std::string_view xml, XmlScanHandler& handler) {
  if (xml.substr(0, 3) == "\xEF\xBB\xBF") xml.remove_prefix(3);
  xml_detail::WellFormedFault fault;
  return xml_detail::Checker(xml, fault, &handler).Document();
}

}  // namespace qvp

namespace qvp::xml_detail {

std::string ToUtf8KeepingSurrogates(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    }
    PutUtf8(out, c);
  }
  return out;
}

bool DecodeToUtf8(std::string_view bytes, std::string& out) {
  enum { kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be, kLatin1 } encoding;
  if (bytes.size() < 4) return false;
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::size_t skip = 0;
  if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) encoding = kUtf32Be, skip = 4;
  else if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) encoding = kUtf32Le, skip = 4;
  else if (b(0) == 0xFE && b(1) == 0xFF) encoding = kUtf16Be, skip = 2;
  else if (b(0) == 0xFF && b(1) == 0xFE) encoding = kUtf16Le, skip = 2;
  else if (b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) return false;
  else if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == '<') encoding = kUtf32Be;
  else if (b(0) == '<' && b(1) == 0 && b(2) == 0 && b(3) == 0) encoding = kUtf32Le;
  else if (b(0) == 0 && b(1) == '<') encoding = kUtf16Be;
  else if (b(0) == '<' && b(1) == 0) encoding = kUtf16Le;
  else if (DeclaresLatin1(bytes)) encoding = kLatin1;
  else return false;

  out.clear();
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  if (encoding == kLatin1) {
    for (std::size_t i = 0; i < n; ++i) PutUtf8(out, b(i));
  } else if (encoding == kUtf32Le || encoding == kUtf32Be) {
    std::size_t i = skip;
    for (; i + 4 <= n; i += 4) {
      const char32_t c = encoding == kUtf32Le
                             ? b(i) | b(i + 1) << 8 | b(i + 2) << 16 | static_cast<char32_t>(b(i + 3)) << 24
                             : static_cast<char32_t>(b(i)) << 24 | b(i + 1) << 16 | b(i + 2) << 8 | b(i + 3);
      PutUtf8(out, c);  // surrogates come out in their own form and are refused by the check
    }
    if (i != n) out += '\xFF';
  } else {
    std::u16string units;
    units.reserve((n - skip) / 2);
    std::size_t i = skip;
    for (; i + 2 <= n; i += 2)
      units += static_cast<char16_t>(encoding == kUtf16Le ? b(i) | b(i + 1) << 8 : b(i) << 8 | b(i + 1));
    out = ToUtf8KeepingSurrogates(units);
    if (i != n) out += '\xFF';
  }
  return true;
}

}  // namespace qvp::xml_detail
