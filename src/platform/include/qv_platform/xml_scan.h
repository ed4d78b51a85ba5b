// Reading an XML text element by element without building a document, as
// the platform's SAX-style reader does: for a large document whose parts
// are consumed as they come, the tree of a loaded document is memory and
// time spent for nothing.
//
// The text goes through the same well-formedness check as the loads of
// XmlDocument (xmldom.h), so a text scans to its end exactly when it loads,
// except that a scan stops at a document type declaration (as a reader that
// prohibits them does).
// Attribute values come with references resolved and white space
// normalized as a loaded document gives them (tab, LF, CR and CR LF each
// become one space; a character reference stays the character it names).
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "qv_platform/export.h"

namespace qvp {

struct XmlScanAttribute {
  std::string_view name;
  std::string_view value;
};

// Receives the elements of a document in document order. Views are valid
// during the call only. Returning false stops the scan.
class XmlScanHandler {
 public:
  // An element's start tag: its name, its attributes in order, and the byte
  // offset of its '<' in the scanned text. An empty element's EndElement
  // follows at once.
  virtual bool StartElement(std::string_view name, std::span<const XmlScanAttribute> attributes,
                            std::size_t offset) = 0;
  virtual bool EndElement(std::string_view name) = 0;

 protected:
  ~XmlScanHandler() = default;
};

// ScanXmlUtf8 reports the elements of `xml` (UTF-8; a leading byte order
// mark is skipped) to `handler`. Returns true when the whole text is a
// well-formed document without a document type declaration and the handler
// never stopped the scan; false
// otherwise, after the elements before the fault were reported. The fault
// is not described: XmlDocument::LoadXmlUtf8 of the same text describes it.
QVP_API bool ScanXmlUtf8(std::string_view xml, XmlScanHandler& handler);

}  // namespace qvp
