// Fuzzing the typed readers of the DOM wrapper over loaded documents. The
// input is a selection expression, a newline, then XML text. Every typed
// reader runs on the expression and on every child name of the root, the
// attribute getters on every attribute, and the archive note functions on
// the XML as a note. Besides "no crash, no leak, no hang": a value set in a
// note under an element name must read back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qv_commonclass/media.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

namespace {

void ReadEverything(const CQVXmlDomElement& e, const CString& name) {
  int i = 0;
  ULONG u = 0;
  ULONGLONG q = 0;
  double d = 0;
  CString s;
  GUID g{};
  COleDateTime t;
  for (bool required : {false, true}) {
    e.GetChild(name, i, required, 7);
    e.GetChild(name, u, required, 7u);
    e.GetChild(name, q, required, 7ull);
    e.GetChild(name, d, required, 7.0);
    e.GetChild(name, s, required);
    e.GetChild(name, g, required);
    e.GetChild(name, t, required, COleDateTime(1.0));
  }
  for (const CQVXmlDomElement& c : e.GetChilds(name)) {
    c.GetText();
    c.GetName();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  if (newline == std::string_view::npos || newline > 200) return 0;
  const CString expression(qvp::Utf8ToUtf16(input.substr(0, newline)));
  const CString xml(qvp::Utf8ToUtf16(input.substr(newline + 1)));

  CQVXmlDomDocument doc;
  const bool loaded = doc.LoadXml(xml);
  const CQVXmlDomElement root = doc.GetDocumentElement();
  if (loaded != root.IsValid()) __builtin_trap();
  ReadEverything(root, expression);
  if (!loaded) return 0;

  CMapStringToString children;
  root.GetChilds(children);
  for (const auto& [name, text] : children) ReadEverything(root, name);
  if (const qvp::XmlNode* node = root.GetElementPtr()) {
    for (qvp::XmlAttribute a = node->FirstAttribute(); a; a = a.Next()) {
      const CString name(a.Name());
      root.GetAttributeString(name);
      root.GetAttributeInt32(name);
      root.GetAttributeDouble(name, 1.0);
      root.GetAttributeDateTime(name, COleDateTime(1.0));
    }
  }

  // The document as an archive note: what is set under an element name
  // reads back.
  for (const auto& [name, text] : children) {
    if (name.IsEmpty() || name[0] == u'#' || name.Find(u"::") >= 0) continue;
    stu_QVObject object;
    object.strArchiveNote = xml;
    if (!QVSetElementToArchiveNote(&object, name, u"v1")) __builtin_trap();
    CString back;
    if (!QVGetElementFromArchiveNote(&object, name, back) || back != u"v1") __builtin_trap();
  }
  return 0;
}
