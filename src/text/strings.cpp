// String conversion, escaping, word counting and splitting.

#include <cstdlib>
#include <cstring>
#include <new>

#include "qv_commonclass/text.h"
#include "qv_platform/chartype.h"
#include "qv_platform/codepage.h"
#include "qv_platform/com_error.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

// ---- Conversions --------------------------------------------------------------

namespace {

[[noreturn]] void RaiseConversionError() {
  const DWORD err = GetLastError();
  throw _com_error(HRESULT_FROM_WIN32(err != 0 ? err : ERROR_NO_UNICODE_TRANSLATION));
}

}  // namespace

char* QVConvertStringToChar(CString text) {
  // Measure and convert up to and including the terminator, as the text is
  // handed on as a C string.
  int size = 0;
  try {
    size = WideCharToMultiByte(CP_ACP, 0, text.GetString(), -1, nullptr, 0, nullptr, nullptr);
  } catch (const std::bad_alloc&) {
    throw _com_error(E_OUTOFMEMORY);
  }
  if (size <= 0) RaiseConversionError();
  char* out = new (std::nothrow) char[static_cast<std::size_t>(size)];
  if (out == nullptr) throw _com_error(E_OUTOFMEMORY);
  int written = 0;
  try {
    written = WideCharToMultiByte(CP_ACP, 0, text.GetString(), -1, out, size, nullptr, nullptr);
  } catch (const std::bad_alloc&) {
    delete[] out;
    throw _com_error(E_OUTOFMEMORY);
  }
  if (written <= 0) {
    delete[] out;
    RaiseConversionError();
  }
  out[size - 1] = 0;
  return out;
}

char* QVConvertToUTF8(CString text) {
  try {
    const std::string utf8 = qvp::Utf16ToUtf8(text.view());
    if (char* out = static_cast<char*>(std::calloc(utf8.size() + 1, 1))) {
      std::memcpy(out, utf8.data(), utf8.size());
      return out;
    }
  } catch (const std::bad_alloc&) {
  }
  // Callers never expect null; an empty text is the least harmful answer.
  return static_cast<char*>(std::calloc(1, 1));
}

CString QVConvertUTF8ToString(const char* utf8) {
  if (utf8 == nullptr) return CString();
  try {
    return CString(qvp::Utf8ToUtf16(std::string_view(utf8, std::strlen(utf8))));
  } catch (const std::bad_alloc&) {
    return CString();
  }
}

int QVGetStringLengthForB(CString text) {
  int total = 0;
  for (const char16_t unit : text.view()) total += (unit & 0xFF80) != 0 ? 4 : 1;
  return total;
}

// ---- Escaping -------------------------------------------------------------------

CString XmlConv(CString text) {
  text.Replace(u"&", u"&amp;");
  text.Replace(u"<", u"&lt;");
  text.Replace(u">", u"&gt;");
  text.Replace(u"'", u"&apos;");
  return text;
}

CString HtmlConv(const CString& text) {
  CString out = text;
  out.Replace(u"&", u"&amp;");
  out.Replace(u"<", u"&lt;");
  out.Replace(u">", u"&gt;");
  return out;
}

CString QV_ConvHtmlContent(CString text) {
  // The order matters: "&amp;" first, so that a doubly escaped reference
  // resolves completely.
  static constexpr struct {
    const char16_t* name;
    const char16_t* value;
  } kReferences[] = {
      {u"&amp;", u"&"},          {u"&lt;", u"<"},           {u"&gt;", u">"},
      {u"&quot;", u"\""},        {u"&apos;", u"'"},         {u"&nbsp;", u" "},
      {u"&tilde;", u"~"},        {u"&ndash;", u"\u2013"},   {u"&mdash;", u"\u2014"},
      {u"&lsquo;", u"\u2018"},   {u"&rsquo;", u"\u2019"},   {u"&sbquo;", u","},
      {u"&ldquo;", u"\u201C"},   {u"&rdquo;", u"\u201D"},   {u"&hellip;", u"\u2026"},
      {u"&Prime;", u"\u2033"},
  };
  for (const auto& ref : kReferences) text.Replace(ref.name, ref.value);
  return text;
}

// ---- Words and splitting -----------------------------------------------------

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsCountedMark(char16_t c) {
  switch (c) {
    case u'!': case u',': case u'.': case u':': case u';': case u'?':
    case 0x3002:  // ideographic full stop
    case 0xFF01: case 0xFF0C: case 0xFF1A: case 0xFF1B: case 0xFF1F:  // full-width ! , : ; ?
      return true;
    default:
      return false;
  }
}

}  // namespace

unsigned long QV_GetWordsFromText(CString text) {
  unsigned long count = 0;
  bool in_word = false;    // inside a run of ASCII letters
  bool in_number = false;  // inside a run of digits
  for (const char16_t c : text.view()) {
    if (qvp::IsWideAlpha(c)) {
      if (IsAsciiLetter(c)) {
        if (in_number) {
          ++count;
          in_number = false;
        }
        in_word = true;
      } else {
        if (in_word || in_number) {
          ++count;
          in_word = in_number = false;
        }
        ++count;
      }
    } else if (qvp::IsWideDigit(c)) {
      if (in_word) {
        ++count;
        in_word = false;
      }
      in_number = true;
    } else if (in_word || in_number) {
      ++count;
      in_word = in_number = false;
    } else if (IsCountedMark(c)) {
      ++count;
    }
  }
  if (in_word || in_number) ++count;
  return count;
}

void QV_SeparateStringToArray(CString source, CStringArray& out, CString separator) {
  out.RemoveAll();
  // `start` marks the remaining text inside `source`; searching from it
  // instead of cutting a new remainder each time keeps long lists linear.
  int start = 0;
  if (!separator.IsEmpty()) {
    for (int p = source.Find(separator, start); p >= 0; p = source.Find(separator, start)) {
      CString piece = source.Mid(start, p - start);
      piece.Trim();
      if (!piece.IsEmpty()) out.Add(piece);
      // One character past the match's start: for a one-character separator
      // that is just past it; a longer one leaves its tail on the next piece.
      start = p + 1;
    }
  }
  if (start < source.GetLength()) out.Add(source.Mid(start));
}

}  // namespace qv_commonclass
