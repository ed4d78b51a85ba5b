// The root values of a first-generation list in their text forms.
#include <cctype>

#include "edl/edl_v1.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass::edl_v1 {

std::string DateToText(const COleDateTime& date) {
  return date.Format(u"%Y-%m-%d %H:%M:%S").ToUtf8();
}

bool TextToDate(std::string_view text, COleDateTime& date) {
  COleDateTime parsed;
  const std::u16string wide = qvp::Utf8ToUtf16(text);
  if (!parsed.ParseDateTime(wide.c_str())) return false;
  date = parsed;
  return true;
}

bool TextToBool(std::string_view text, BOOL& value) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  auto is = [text](std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return true;
  };
  if (is("true")) {
    value = -1;
    return true;
  }
  if (is("false")) {
    value = 0;
    return true;
  }
  double number;
  if (QVXmlTextToDouble(text, number) != S_OK) return false;
  value = number != 0.0 ? -1 : 0;
  return true;
}

}  // namespace qv_commonclass::edl_v1
