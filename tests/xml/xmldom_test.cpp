// The document object the XML readers and writers are built on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/file_faults.h"
#include "qv_platform/com_error.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"
#include "support/scratch.h"

namespace {

using qvtest::ReadFile;
using qvtest::TempDir;

using qvp::XmlDocument;
using qvp::XmlNode;

TEST(XmlDom, BuildSaveAndReloadKeepsOrderAndTypedValues) {
  TempDir dir;
  XmlDocument doc;
  doc.AsNode().AppendChild(doc.CreateProcessingInstruction(u"xml", u"version=\"1.0\" encoding=\"UTF-8\""));
  XmlNode root = doc.CreateElement("vtedl");
  doc.AsNode().AppendChild(root);
  root.SetAttribute("version", std::int32_t{3});
  root.SetAttribute("length", std::int64_t{-9000000000});
  root.SetAttribute("name", u"片头 <&\"'>");
  root.SetAttribute("fps", 25.0);
  root.SetAttribute("zfps", 29.97);
  root.SetAttribute("afps", 0.1);
  XmlNode a = root.AppendChild(doc.CreateElement("b"));
  root.AppendChild(doc.CreateElement("a"));
  a.SetText(u"text ü");

  const std::u16string path = dir.Wide("x.xml");
  doc.Save(path);
  const std::string bytes = ReadFile(qvp::Utf16ToUtf8(path));
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vtedl version=\"3\" length=\"-9000000000\"", 0), 0u)
      << bytes;
  EXPECT_NE(bytes.find("fps=\"25\" zfps=\"29.97\" afps=\"0.1\""), std::string::npos) << bytes;

  XmlDocument back;
  ASSERT_TRUE(back.LoadFile(path));
  XmlNode r = back.DocumentElement();
  ASSERT_TRUE(r);
  EXPECT_EQ(r.NodeName(), u"vtedl");
  std::vector<std::string> names;
  for (auto at = r.FirstAttribute(); at; at = at.Next()) names.emplace_back(at.NameUtf8());
  EXPECT_EQ(names, (std::vector<std::string>{"version", "length", "name", "fps", "zfps", "afps"}));
  std::u16string v;
  EXPECT_EQ(r.GetAttribute("name", v), S_OK);
  EXPECT_EQ(v, u"片头 <&\"'>");
  EXPECT_EQ(r.GetAttribute("Name", v), S_FALSE);  // names are case-sensitive
  EXPECT_EQ(r.SelectSingleNode("b").Text(), u"text ü");
  EXPECT_EQ(r.SelectNodes("*").Length(), 2);
  EXPECT_EQ(r.SelectNodes("*").Item(1).NodeName(), u"a");  // document order, not name order
}

TEST(XmlDom, SelectionPathsAndDetachedNodes) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(u"<r><a><b i='1'/><b i='2'/></a><a><b i='3'/></a><c/></r>"));
  XmlNode r = doc.DocumentElement();
  auto bs = r.SelectNodes("a/b");
  ASSERT_EQ(bs.Length(), 3);
  std::u16string v;
  bs.Item(2).GetAttribute("i", v);
  EXPECT_EQ(v, u"3");
  EXPECT_TRUE(r.SelectSingleNode("./c"));
  EXPECT_FALSE(r.SelectSingleNode("missing"));
  EXPECT_EQ(doc.AsNode().SelectSingleNode("r"), r);

  // A removed child stays usable and can be put back; it is never serialised.
  XmlNode c = r.RemoveChild(r.SelectSingleNode("c"));
  EXPECT_EQ(doc.Xml().find(u"<c"), std::u16string::npos);
  r.AppendChild(c);
  EXPECT_EQ(doc.Xml(), u"<r><a><b i=\"1\"/><b i=\"2\"/></a><a><b i=\"3\"/></a><c/></r>\r\n");
  // A handle outlives its document.
  XmlNode kept;
  {
    XmlDocument tmp;
    ASSERT_TRUE(tmp.LoadXml(u"<x>keep</x>"));
    kept = tmp.DocumentElement();
  }
  EXPECT_EQ(kept.Text(), u"keep");
}

TEST(XmlDom, FailuresRaiseComErrors) {
  XmlDocument doc;
  XmlNode null;
  try {
    null.SelectNodes("ref");
    FAIL() << "no error raised";
  } catch (const qvp::ComError& e) {
    EXPECT_EQ(e.Error(), E_POINTER);
    EXPECT_EQ(e.ErrorMessage(), u"Invalid pointer");
  }
  EXPECT_THROW(doc.CreateElement("bad name"), qvp::ComError);
  EXPECT_THROW(doc.CreateElement(""), qvp::ComError);
  XmlNode root = doc.CreateElement("r");
  doc.AsNode().AppendChild(root);
  EXPECT_THROW(doc.AsNode().AppendChild(doc.CreateElement("second")), qvp::ComError);
  EXPECT_THROW(root.RemoveChild(doc.CreateElement("stranger")), qvp::ComError);
  EXPECT_THROW(doc.Save(u"/nonexistent-folder-qv/x.xml"), qvp::ComError);
}

struct BadXml {
  const char* text;
  long line;
  long linepos;
};

class XmlDomParseError : public ::testing::TestWithParam<BadXml> {};

TEST_P(XmlDomParseError, ReportsCodeLineAndColumn) {
  XmlDocument doc;
  EXPECT_FALSE(doc.LoadXmlUtf8(GetParam().text));
  const auto& e = doc.ParseError();
  EXPECT_LT(e.errorCode, 0);
  EXPECT_FALSE(e.reason.empty());
  EXPECT_EQ(e.line, GetParam().line);
  if (GetParam().linepos) {
    EXPECT_EQ(e.linepos, GetParam().linepos);
  }
  EXPECT_FALSE(doc.DocumentElement());
}

// The parser accepts more than XML allows; every row here is refused all the
// same, at the place of the fault.
INSTANTIATE_TEST_SUITE_P(Malformed, XmlDomParseError,
                         ::testing::Values(BadXml{"<a>\n  <b x=1/></a>", 2, 0},  // unquoted attribute
                                           BadXml{"<a>\n<b></a>", 2, 0},         // mismatched end tag
                                           BadXml{"<a><b>", 1, 0},               // truncated
                                           BadXml{"", 1, 0},                     // empty
                                           BadXml{"<a/><b/>", 1, 5},             // two roots
                                           BadXml{"<a b=\"1\" b=\"2\"/>", 1, 10},  // repeated attribute
                                           BadXml{"<a b=\"1\"c=\"2\"/>", 1, 9},    // no space between attributes
                                           BadXml{"<a b=\"x<y\"/>", 1, 8},       // '<' in a value
                                           BadXml{"<a>&foo;</a>", 1, 4},         // undefined entity
                                           BadXml{"<a b='&foo;'/>", 1, 7},       // ... in a value
                                           BadXml{"<a>&amp</a>", 1, 8},          // no semicolon
                                           BadXml{"<a>x & y</a>", 1, 6},         // bare ampersand
                                           BadXml{"<a>&#0;</a>", 1, 4},          // reference to no character
                                           BadXml{"<a>&#xFFFE;</a>", 1, 4},
                                           BadXml{"<a>&#x110000;</a>", 1, 4},
                                           BadXml{"<a>\n\x01</a>", 2, 1},        // control character
                                           BadXml{"<a>\xEF\xBF\xBF</a>", 1, 4},  // U+FFFF
                                           BadXml{"<a>\xED\xA0\x80</a>", 1, 4},  // surrogate
                                           BadXml{"<a>\xC3(</a>", 1, 4},         // not UTF-8
                                           BadXml{"<a>\xC0\xBC</a>", 1, 4},      // overlong '<'
                                           BadXml{"<a>x]]></a>", 1, 5},          // "]]>" in text
                                           BadXml{"<a><!-- x -- y --></a>", 1, 11},
                                           BadXml{"<a><!-- x ---></a>", 1, 11},
                                           BadXml{"<a/>x", 1, 5},                // text after the root
                                           BadXml{"x<a/>", 1, 1},                // text before it
                                           BadXml{"<a><?xml version='1.0'?></a>", 1, 4},
                                           BadXml{"<?xml encoding='UTF-8'?><a/>", 1, 7},
                                           BadXml{"<a/><!DOCTYPE a>", 1, 5}));

TEST(XmlDom, NoEntityOrDoctypeIsExpanded) {
  XmlDocument doc;
  // A DOCTYPE is skipped: an entity it declares is never fetched or
  // expanded, so a reference to it is one to an undefined entity.
  EXPECT_FALSE(doc.LoadXml(u"<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>"));
  EXPECT_EQ(doc.ParseError().linepos, 58);
  ASSERT_TRUE(doc.LoadXml(
      u"<!DOCTYPE r [<!ENTITY x SYSTEM \"a>b]\"><!-- ]> -->]><r a='&quot;&apos;&gt;'>&lt;&#65;&#x4E2D;&amp;</r>"));
  std::u16string v;
  doc.DocumentElement().GetAttribute("a", v);
  EXPECT_EQ(v, u"\"'>");
  EXPECT_EQ(doc.DocumentElement().Text(), u"<A中&");
  // Wide text with an unpaired surrogate is no XML either.
  EXPECT_FALSE(doc.LoadXml(u"<r>\xD800</r>"));
  EXPECT_EQ(doc.ParseError().linepos, 4);
}

TEST(XmlDom, LoadFileChecksTextInEveryEncoding) {
  TempDir dir;
  const auto load = [&](const std::string& bytes) {
    const std::u16string path = dir.Wide("e.xml");
    std::ofstream(qvp::Utf16ToUtf8(path), std::ios::binary) << bytes;
    XmlDocument doc;
    return doc.LoadFile(path) ? qvp::Utf16ToUtf8(doc.DocumentElement().Text()) : "fails";
  };
  EXPECT_EQ(load("\xEF\xBB\xBF<r>\xC3\xA9</r>"), "\xC3\xA9");
  EXPECT_EQ(load(std::string("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0", 18)), "\xC3\xA9");
  EXPECT_EQ(load(std::string("\xFF\xFE<\0r\0>\0\x00\xD8<\0/\0r\0>\0", 18)), "fails");  // unpaired surrogate
  EXPECT_EQ(load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xE9</r>"), "\xC3\xA9");
  EXPECT_EQ(load("<?xml version=\"1.0\"?><r>\xE9</r>"), "fails");  // not UTF-8
}

TEST(XmlDom, LoadFileOfMissingPathOrFolder) {
  XmlDocument doc;
  EXPECT_FALSE(doc.LoadFile(u"/nonexistent-qv/none.xml"));
  EXPECT_EQ(doc.ParseError().errorCode, qvp::kXmlErrorFileNotFound);
  EXPECT_FALSE(doc.LoadFile(u"/tmp"));
  EXPECT_EQ(doc.ParseError().errorCode, qvp::kXmlErrorFileNotFound);
}

TEST(XmlDom, ShortestDoubleText) {
  EXPECT_EQ(qvp::FormatDoubleShortest(25.0), "25");
  EXPECT_EQ(qvp::FormatDoubleShortest(29.97), "29.97");
  EXPECT_EQ(qvp::FormatDoubleShortest(30000.0 / 1001.0), "29.97002997002997");
  EXPECT_EQ(qvp::FormatDoubleShortest(-0.5), "-0.5");
  EXPECT_EQ(qvp::FormatDoubleShortest(1e300), "1e+300");
}

// Deep nesting is read, measured and serialised without recursion limits
// getting in the way of the parser or the text property.
TEST(XmlDom, DeeplyNestedTextDoesNotExhaustTheStack) {
  constexpr int kDepth = 200000;
  std::string xml;
  for (int i = 0; i < kDepth; ++i) xml += "<a>";
  xml += "x";
  for (int i = 0; i < kDepth; ++i) xml += "</a>";
  qvp::XmlDocument doc;
  ASSERT_TRUE(doc.LoadXmlUtf8(xml));
  EXPECT_EQ(doc.DocumentElement().Text(), u"x");
}

// Saving to a full disk raises the disk-full error; loading a file whose
// read fails reports an I/O error rather than a parse error.
TEST(XmlDom, SaveToAFullDiskAndLoadWithAFailingRead) {
  const TempDir dir;
  const std::u16string path = dir.Wide("full.xml");
  qvp::XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(u"<a><b>text</b></a>"));
  {
    qvtest::FileFaults faults;
    faults.Fail(qvtest::FileCall::kWrite, 1, 1000, ENOSPC);
    try {
      doc.Save(path);
      ADD_FAILURE() << "a save to a full disk must raise";
    } catch (const qvp::ComError& e) {
      EXPECT_EQ(e.Error(), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    }
  }
  doc.Save(path);
  qvp::XmlDocument back;
  {
    qvtest::FileFaults faults;
    faults.Fail(qvtest::FileCall::kRead, 1, 1000, EIO);
    EXPECT_FALSE(back.LoadFile(path));
    EXPECT_EQ(back.ParseError().errorCode, qvp::kXmlErrorIo);
  }
  EXPECT_TRUE(back.LoadFile(path));
}

}  // namespace
