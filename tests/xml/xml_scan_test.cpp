// The element-by-element reader against the loaded document: the same
// elements, names and attribute values in the same order, and the same
// texts refused.
#include <gtest/gtest.h>

#include <string>

#include "qv_platform/xml_scan.h"
#include "qv_platform/xmldom.h"
#include "support/xml_trace.h"

namespace {

using qvtest::ScanTrace;
using qvtest::TraceOf;

TEST(XmlScan, ReportsWhatTheLoadedDocumentHolds) {
  const char* const texts[] = {
      "<a/>",
      "\xEF\xBB\xBF<?xml version='1.0'?><!-- c --><a x='1' y=\"two\"><b/><?pi x?><c z=''>text</c></a>",
      // References, and every kind of white space in a value.
      "<a v='&lt;&gt;&amp;&quot;&apos;' n='&#65;&#x42;&#x20AC;&#x1F600;' w='a\tb\nc\r\nd\re  f'/>",
      "<a cr='&#xD;&#xA;&#9;' mix='x&#13;\r\ny'><![CDATA[<not/>]]></a>",
      "<r:a xmlns:r='urn:x' r:b='\xC3\xA9\xE4\xB8\xAD'><r:c>\n\t<d e='1'/></r:c></r:a>",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    qvp::XmlDocument doc;
    ASSERT_TRUE(doc.LoadXmlUtf8(text));
    ScanTrace scanned;
    EXPECT_TRUE(qvp::ScanXmlUtf8(text, scanned));
    EXPECT_EQ(scanned.out, TraceOf(doc));
  }
}

TEST(XmlScan, RefusesWhatDoesNotLoadAndStopsWhenAsked) {
  for (const char* bad : {"", "<a>", "<a b='1' b='2'/>", "<a b='<'/>", "<a>&foo;</a>", "<a/><b/>", "<a></b>",
                          "<!DOCTYPE a><a/>"}) {  // loads, but a scan takes no DOCTYPE
    SCOPED_TRACE(bad);
    ScanTrace t;
    EXPECT_FALSE(qvp::ScanXmlUtf8(bad, t));
  }
  // Elements before the fault are reported.
  ScanTrace partial;
  EXPECT_FALSE(qvp::ScanXmlUtf8("<a><b/><c></a>", partial));
  EXPECT_EQ(partial.out, "<a><b></><c>");

  ScanTrace stopped;
  stopped.stopAfter = 2;
  EXPECT_FALSE(qvp::ScanXmlUtf8("<a><b/><c/><d/></a>", stopped));
  EXPECT_EQ(stopped.out, "<a><b></>");
}

TEST(XmlScan, GivesEachStartTagItsOffset) {
  struct Offsets final : qvp::XmlScanHandler {
    std::string seen;
    bool StartElement(std::string_view name, std::span<const qvp::XmlScanAttribute>, std::size_t at) override {
      seen += std::string(name) + "@" + std::to_string(at) + " ";
      return true;
    }
    bool EndElement(std::string_view) override { return true; }
  } o;
  // A byte order mark is not counted: offsets are into the text after it.
  ASSERT_TRUE(qvp::ScanXmlUtf8("\xEF\xBB\xBF<a>\r\n <bb x='&amp;'/><c/></a>", o));
  EXPECT_EQ(o.seen, "a@0 bb@6 c@21 ");
}

}  // namespace
