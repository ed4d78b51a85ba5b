// The typed DOM wrapper. Every operation is one or two calls on the platform
// document plus the conversion of a value to element text and back. The
// platform raises qvp::ComError (and std::bad_alloc may come from anywhere);
// each operation here catches everything and gives its stated failure
// result instead, so nothing leaves the wrapper.
#include <charconv>
#include <string>

#include "qv_commonclass/text.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/crt.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/fileio.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

namespace {

// Guarded runs `body` and gives `failed` when it throws.
template <class T, class Body>
T Guarded(T failed, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failed;
  }
}

template <class Body>
void Guarded(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

std::u16string_view View(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

std::string Utf8(LPCWSTR text) { return qvp::Utf16ToUtf8(View(text)); }

bool IsElement(const qvp::XmlNode& node) noexcept { return node.Type() == qvp::XmlNodeType::Element; }

constexpr const char16_t* kDateFormat = u"%Y-%m-%d %H:%M:%S";

}  // namespace

// ---- CQVXmlDomElement ----------------------------------------------------------

CQVXmlDomElement::CQVXmlDomElement(const qvp::XmlNode& node) noexcept {
  if (IsElement(node)) node_ = node;
}

CQVXmlDomElement::CQVXmlDomElement(qvp::XmlNode&& node) noexcept {
  if (IsElement(node)) node_ = std::move(node);
}

CQVXmlDomElement::CQVXmlDomElement(const qvp::XmlNode* node) noexcept {
  if (node && IsElement(*node)) node_ = *node;
}

CString CQVXmlDomElement::GetText() const {
  if (!IsValid()) return CString();
  return Guarded(CString(), [&] { return CString(node_.Text()); });
}

void CQVXmlDomElement::SetText(LPCWSTR text) {
  if (IsValid()) Guarded([&] { node_.SetText(View(text)); });
}

CString CQVXmlDomElement::GetXml() const {
  if (!IsValid()) return CString();
  return Guarded(CString(), [&] { return CString(node_.Xml()); });
}

CString CQVXmlDomElement::GetName() const {
  if (!IsValid()) return CString();
  return Guarded(CString(), [&] { return CString(node_.NodeName()); });
}

void CQVXmlDomElement::AppendChild(const CQVXmlDomElement& child) {
  if (IsValid() && child.IsValid()) Guarded([&] { node_.AppendChild(child.node_); });
}

void CQVXmlDomElement::RemoveChild(const CQVXmlDomElement& child) {
  if (IsValid() && child.IsValid()) Guarded([&] { node_.RemoveChild(child.node_); });
}

// ---- Typed writers -------------------------------------------------------------

namespace {

// Decimal is the text of an integer as "%d", "%lu" and "%I64d" write it
// (digits, a '-' when negative), without the general formatter: the typed
// writers run once per element of large documents.
struct Decimal {
  char16_t text[24];
  template <class T>
  explicit Decimal(T value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    std::size_t n = 0;
    for (const char* p = digits; p != end; ++p) text[n++] = static_cast<char16_t>(*p);
    text[n] = 0;
  }
};

// AppendText creates `name` with `text` in `doc` and appends it to `parent`
// (when valid).
void AppendText(CQVXmlDomElement& parent, CQVXmlDomDocument& doc, LPCWSTR name, LPCWSTR text) {
  CQVXmlDomElement child = doc.CreateElement(name, text);
  if (child.IsValid()) parent.AppendChild(child);
}

}  // namespace

void CQVXmlDomElement::AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, const CString& value, bool force) {
  if (value.IsEmpty() && !force) return;
  AppendText(*this, doc, name, value.GetString());
}

void CQVXmlDomElement::AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, int value, bool force, int def) {
  if (!force && value == def) return;
  AppendText(*this, doc, name, Decimal(value).text);  // "%d"
}

void CQVXmlDomElement::AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, ULONG value, bool force, ULONG def) {
  if (!force && value == def) return;
  AppendText(*this, doc, name, Decimal(value).text);  // "%lu"
}

void CQVXmlDomElement::AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, ULONGLONG value, bool force,
                                   ULONGLONG def) {
  if (!force && value == def) return;
  // "%I64d", the signed form: the reader takes the text back to the same bits.
  AppendText(*this, doc, name, Decimal(static_cast<LONGLONG>(value)).text);
}

void CQVXmlDomElement::AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, double value, bool force, double def) {
  if (!force && value == def) return;
  Guarded([&] {
    CString text;
    text.Format(u"%f", value);
    AppendText(*this, doc, name, text);
  });
}

void CQVXmlDomElement::AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, const COleDateTime& value,
                                   bool /*force: a date is always written*/) {
  Guarded([&] { AppendText(*this, doc, name, value.Format(kDateFormat)); });
}

void CQVXmlDomElement::AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, const GUID& value, bool force) {
  if (!force && value == GUID_NULL) return;
  Guarded([&] {
    CString text;
    QV_FromGUIDToString(value, text);
    AppendChild(doc, name, text, true);
  });
}

// ---- Lookup and typed readers --------------------------------------------------

CQVXmlDomElement CQVXmlDomElement::GetChild(LPCWSTR name) const {
  if (!IsValid() || !name) return CQVXmlDomElement();
  return Guarded(CQVXmlDomElement(), [&] { return CQVXmlDomElement(node_.SelectSingleNode(Utf8(name))); });
}

int CQVXmlDomElement::GetChild(LPCWSTR name, CQVXmlDomElement& child) const {
  child = GetChild(name);
  return child.IsValid() ? 1 : 0;
}

namespace {

// ReadNumber is the shape shared by the int, ULONG and double readers: a
// missing child gives `def` (result by `required`), an empty text `def`
// with result 0, anything else the conversion's value with result 1.
template <class T, class Convert>
int ReadNumber(const CQVXmlDomElement& parent, LPCWSTR name, T& value, bool required, T def, Convert convert) {
  const CQVXmlDomElement child = parent.GetChild(name);
  if (!child.IsValid()) {
    value = def;
    return required ? 0 : 1;
  }
  const CString text = child.GetText();
  if (text.IsEmpty()) {
    value = def;
    return 0;
  }
  convert(text.GetString(), value);
  return 1;
}

}  // namespace

int CQVXmlDomElement::GetChild(LPCWSTR name, int& value, bool required, int def) const {
  return ReadNumber(*this, name, value, required, def, [](LPCWSTR t, int& v) { swscanf(t, u"%d", &v); });
}

int CQVXmlDomElement::GetChild(LPCWSTR name, ULONG& value, bool required, ULONG def) const {
  return ReadNumber(*this, name, value, required, def, [](LPCWSTR t, ULONG& v) { swscanf(t, u"%u", &v); });
}

int CQVXmlDomElement::GetChild(LPCWSTR name, double& value, bool required, double def) const {
  return ReadNumber(*this, name, value, required, def, [](LPCWSTR t, double& v) { v = _wtof(t); });
}

int CQVXmlDomElement::GetChild(LPCWSTR name, ULONGLONG& value, bool required, ULONGLONG def) const {
  const CQVXmlDomElement child = GetChild(name);
  if (!child.IsValid()) {
    value = def;
    return required ? 0 : 1;
  }
  const CString text = child.GetText();
  LONGLONG bits = 0;
  if (swscanf(text.GetString(), u"%I64d", &bits) == 1) value = static_cast<ULONGLONG>(bits);
  return 1;
}

int CQVXmlDomElement::GetChild(LPCWSTR name, CString& value, bool required) const {
  const CQVXmlDomElement child = GetChild(name);
  if (!child.IsValid()) {
    value.Empty();
    return required ? 0 : 1;
  }
  value = child.GetText();
  return 1;
}

int CQVXmlDomElement::GetChild(LPCWSTR name, GUID& value, bool required) const {
  CString text;
  if (GetChild(name, text, required) == 0) {
    value = GUID_NULL;
    return 0;
  }
  return QV_FromStringToGUID(value, text);
}

int CQVXmlDomElement::GetChild(LPCWSTR name, COleDateTime& value, bool required, COleDateTime def) const {
  const CQVXmlDomElement child = GetChild(name);
  if (!child.IsValid()) {
    value = def;
    return required ? 0 : 1;
  }
  // ISO 8601 marks: the 'T' between date and time reads as a blank and a
  // 'Z' (UTC) ends the text.
  CString text = child.GetText();
  std::u16string& s = text.str();
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'T' || s[i] == u't') {
      s[i] = u' ';
    } else if (s[i] == u'Z' || s[i] == u'z') {
      s.resize(i);
      break;
    }
  }
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (swscanf(text.GetString(), u"%04d-%02d-%02d %02d:%02d:%02d", &year, &month, &day, &hour, &minute, &second) ==
      6) {
    value.SetDateTime(year, month, day, hour, minute, second);
    return 1;
  }
  if (value.ParseDateTime(text.GetString(), 0, LANG_USER_DEFAULT)) return 1;
  Guarded([&] {
    CString message;
    message.Format(u"XML解析中出现日期解析失败-> Name: %s    Value: %s", name ? name : u"", text.GetString());
    OutputDebugStringW(message.GetString());
  });
  return required ? 0 : 1;
}

int CQVXmlDomElement::SetChild(LPCWSTR name, LPCWSTR text) {
  CQVXmlDomElement child = GetChild(name);
  if (!child.IsValid()) return 0;
  child.SetText(text);
  return 1;
}

std::vector<CQVXmlDomElement> CQVXmlDomElement::GetChilds(LPCWSTR name) const {
  if (!IsValid() || !name) return {};
  return Guarded(std::vector<CQVXmlDomElement>(), [&] {
    const qvp::XmlNodeList list = node_.SelectNodes(Utf8(name));
    std::vector<CQVXmlDomElement> out;
    out.reserve(static_cast<std::size_t>(list.Length()));
    for (long i = 0; i < list.Length(); ++i) out.emplace_back(list.Item(i));
    return out;
  });
}

int CQVXmlDomElement::GetChilds(CMapStringToString& map) const {
  if (!IsValid()) return 0;
  return Guarded(0, [&] {
    for (qvp::XmlNode c = node_.FirstChild(); c; c = c.NextSibling()) {
      // A child whose name or text cannot be read is skipped.
      Guarded([&] {
        CString key(c.NodeName());
        CString text(c.Text());
        map[key] = text;
      });
    }
    return 1;
  });
}

// ---- Attributes ----------------------------------------------------------------

CString CQVXmlDomElement::GetAttributeString(LPCWSTR name) const {
  if (!IsValid() || !name) return CString();
  return Guarded(CString(), [&] {
    std::u16string value;
    return node_.GetAttribute(Utf8(name), value) == S_OK ? CString(std::move(value)) : CString();
  });
}

LONG CQVXmlDomElement::GetAttributeInt32(LPCWSTR name) const {
  if (!IsValid() || !name) return 0;
  return Guarded(LONG{0}, [&] {
    std::u16string text;
    std::int32_t value = 0;
    if (node_.GetAttribute(Utf8(name), text) != S_OK || QVXmlTextToInt32(std::u16string_view(text), value) != S_OK)
      return LONG{0};
    return static_cast<LONG>(value);
  });
}

double CQVXmlDomElement::GetAttributeDouble(LPCWSTR name, double def) const {
  if (!IsValid() || !name) return def;
  return Guarded(def, [&] {
    std::u16string text;
    double value = def;
    if (node_.GetAttribute(Utf8(name), text) != S_OK || QVXmlTextToDouble(std::u16string_view(text), value) != S_OK)
      return def;
    return value;
  });
}

COleDateTime CQVXmlDomElement::GetAttributeDateTime(LPCWSTR name, COleDateTime def) const {
  CString text = GetAttributeString(name);
  if (text.IsEmpty()) return def;
  COleDateTime parsed;
  if (parsed.ParseDateTime(text.GetString(), 0, LANG_USER_DEFAULT)) return parsed;
  // A second try for the ISO form: 'T' as the separator and fractional
  // seconds, which the parser refuses, are dropped (cut, not rounded).
  text.Replace(u'T', u' ');
  const int dot = text.Find(u'.');
  if (dot > 0) text = text.Left(dot);
  parsed.ParseDateTime(text.GetString(), 0, LANG_USER_DEFAULT);
  return parsed;
}

void CQVXmlDomElement::SetAttributeString(LPCWSTR name, LPCWSTR value) {
  if (IsValid() && name) Guarded([&] { node_.SetAttribute(Utf8(name), View(value)); });
}

void CQVXmlDomElement::SetAttributeInt32(LPCWSTR name, LONG value) {
  if (IsValid() && name) Guarded([&] { node_.SetAttribute(Utf8(name), std::int32_t{value}); });
}

// ---- CQVXmlDomDocument ---------------------------------------------------------

CQVXmlDomDocument::CQVXmlDomDocument() noexcept : doc_(QVXmlCreateDocument()) {}

CQVXmlDomDocument::~CQVXmlDomDocument() = default;

bool CQVXmlDomDocument::Load(LPCWSTR path) {
  if (!doc_ || !path) return false;
  // A missing file is refused before the parser is asked.
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return false;
  return Guarded(false, [&] { return doc_->LoadFile(path); });
}

bool CQVXmlDomDocument::LoadXml(LPCWSTR xml) {
  if (!doc_ || !xml) return false;
  return Guarded(false, [&] { return doc_->LoadXml(xml); });
}

void CQVXmlDomDocument::Save(LPCWSTR path) {
  if (doc_ && path) Guarded([&] { doc_->Save(path); });
}

CQVXmlDomElement CQVXmlDomDocument::GetDocumentElement() const {
  if (!doc_) return CQVXmlDomElement();
  return Guarded(CQVXmlDomElement(), [&] { return CQVXmlDomElement(doc_->DocumentElement()); });
}

void CQVXmlDomDocument::SetDocumentElement(CQVXmlDomElement& root) {
  if (doc_ && root.IsValid()) Guarded([&] { doc_->SetDocumentElement(*root.GetElementPtr()); });
}

int CQVXmlDomDocument::AppendProcessingInstruction(LPCWSTR target, LPCWSTR data) {
  if (!doc_ || !target) return 0;
  return Guarded(0, [&] {
    doc_->AsNode().AppendChild(doc_->CreateProcessingInstruction(View(target), View(data)));
    return 1;
  });
}

CString CQVXmlDomDocument::GetText() const { return GetXml(); }

void CQVXmlDomDocument::SetText(LPCWSTR text) {
  if (doc_) Guarded([&] { doc_->AsNode().SetText(View(text)); });
}

CString CQVXmlDomDocument::GetXml() const {
  if (!doc_) return CString();
  return Guarded(CString(), [&] { return CString(doc_->Xml()); });
}

CQVXmlDomElement CQVXmlDomDocument::CreateElement(LPCWSTR name, LPCWSTR text) {
  if (!doc_ || !name) return CQVXmlDomElement();
  return Guarded(CQVXmlDomElement(), [&] {
    CQVXmlDomElement element(doc_->CreateElement(View(name)));
    if (text) element.SetText(text);
    return element;
  });
}

CQVXmlDomElement CQVXmlDomDocument::CreateCDATASection(LPCWSTR name, LPCWSTR text, LPCWSTR cdata) {
  if (!doc_ || !name) return CQVXmlDomElement();
  qvp::XmlNode section;
  Guarded([&] { section = doc_->CreateCDATASection(View(cdata ? cdata : name)); });
  CQVXmlDomElement element = CreateElement(name, text);
  if (element.IsValid() && !section.IsNull())
    Guarded([&] { element.GetElementPtr()->AppendChild(section); });
  return element;
}

}  // namespace qv_commonclass
