// The elements of an XML text as one line, from a loaded document or from
// an element-by-element scan, so that the two can be held to each other:
// "<name a=[value] ...>" for each start tag and "</>" for each end.
#pragma once

#include <string>

#include "qv_platform/xml_scan.h"
#include "qv_platform/xmldom.h"

namespace qvtest {

struct ScanTrace final : qvp::XmlScanHandler {
  std::string out;
  int stopAfter = -1;  // start tags to take before stopping the scan; -1 for all
  bool StartElement(std::string_view name, std::span<const qvp::XmlScanAttribute> attributes, std::size_t) override {
    if (stopAfter == 0) return false;
    if (stopAfter > 0) --stopAfter;
    out += '<';
    out += name;
    for (const auto& a : attributes) out += " " + std::string(a.name) + "=[" + std::string(a.value) + "]";
    out += '>';
    return true;
  }
  bool EndElement(std::string_view) override {
    out += "</>";
    return true;
  }
};

inline void AppendTrace(const qvp::XmlNode& n, std::string& out) {
  for (qvp::XmlNode c = n.FirstChild(); c; c = c.NextSibling()) {
    if (c.Type() != qvp::XmlNodeType::Element) continue;
    out += '<';
    out += c.NodeNameUtf8();
    for (qvp::XmlAttribute a = c.FirstAttribute(); a; a = a.Next())
      out += " " + std::string(a.NameUtf8()) + "=[" + std::string(a.ValueUtf8()) + "]";
    out += '>';
    AppendTrace(c, out);
    out += "</>";
  }
}

inline std::string TraceOf(const qvp::XmlDocument& doc) {
  std::string out;
  AppendTrace(doc.AsNode(), out);
  return out;
}

}  // namespace qvtest
