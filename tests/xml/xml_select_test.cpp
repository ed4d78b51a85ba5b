// Selection by path expressions on the platform document.
#include <gtest/gtest.h>

#include <string>

#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"

namespace {

using qvp::XmlDocument;
using qvp::XmlNode;

// Every element carries an "id"; a selection is shown as the ids it found,
// "@" for an attribute match (listed as a null node), "#doc" for the
// document node.
constexpr const char* kDoc =
    "<r id='r'>"
    "<a id='a1' t='x'><b id='b1'/><b id='b2' t='y'><b id='b3'/></b></a>"
    "<c id='c1'><a id='a2' t='y'><b id='b4'/></a></c>"
    "<a id='a3'/>"
    "</r>";

std::string Ids(const qvp::XmlNodeList& list) {
  std::string out;
  for (long i = 0; i < list.Length(); ++i) {
    const XmlNode n = list.Item(i);
    if (!out.empty()) out += ' ';
    if (n.IsNull()) {
      out += '@';
    } else if (n.Type() == qvp::XmlNodeType::Document) {
      out += "#doc";
    } else {
      std::u16string id;
      n.GetAttribute("id", id);
      out += qvp::Utf16ToUtf8(id);
    }
  }
  return out;
}

struct SelectCase {
  const char* from;  // "r" (the root), "a1", "b2" or "doc"
  const char* path;
  const char* ids;
};

class SelectTest : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectTest, FindsTheNodesInDocumentOrder) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXmlUtf8(kDoc));
  const SelectCase& c = GetParam();
  XmlNode from = doc.DocumentElement();
  const std::string start = c.from;
  if (start == "doc") from = doc.AsNode();
  if (start == "a1") from = from.SelectSingleNode("a");
  if (start == "b2") from = from.SelectSingleNode("a/b[2]");
  ASSERT_FALSE(from.IsNull());
  EXPECT_EQ(Ids(from.SelectNodes(c.path)), c.ids) << c.path;
  // SelectSingleNode gives the first of the same list (null for none or an attribute).
  const XmlNode first = from.SelectSingleNode(c.path);
  const std::string ids = c.ids;
  const std::string head = ids.substr(0, ids.find(' '));
  if (head.empty() || head == "@") {
    EXPECT_TRUE(first.IsNull()) << c.path;
  } else {
    ASSERT_FALSE(first.IsNull()) << c.path;
    EXPECT_EQ(first, from.SelectNodes(c.path).Item(0)) << c.path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Subset, SelectTest,
    ::testing::Values(
        // plain child paths
        SelectCase{"r", "a", "a1 a3"}, SelectCase{"r", "a/b", "b1 b2"}, SelectCase{"r", "*", "a1 c1 a3"},
        SelectCase{"r", "./c/a", "a2"}, SelectCase{"r", "nothing", ""}, SelectCase{"r", "*/b", "b1 b2"},
        // any depth, in document order without repeats
        SelectCase{"r", "//b", "b1 b2 b3 b4"}, SelectCase{"r", ".//a", "a1 a2 a3"}, SelectCase{"r", "a//b", "b1 b2 b3"},
        SelectCase{"r", "//b//b", "b3"}, SelectCase{"r", "//*[@t]", "a1 b2 a2"},
        // absolute paths
        SelectCase{"a1", "/r/c", "c1"}, SelectCase{"b2", "//a", "a1 a2 a3"}, SelectCase{"r", "/", "#doc"},
        SelectCase{"doc", "r", "r"}, SelectCase{"doc", "/r/a[2]", "a3"},
        // self and parent
        SelectCase{"r", ".", "r"}, SelectCase{"a1", "..", "r"}, SelectCase{"r", "//b/..", "a1 b2 a2"},
        SelectCase{"b2", "../../c/a", "a2"},
        // positions are counted per parent
        SelectCase{"r", "a[2]", "a3"}, SelectCase{"r", "a[3]", ""}, SelectCase{"r", "a[0]", ""},
        SelectCase{"r", "//b[1]", "b1 b3 b4"}, SelectCase{"r", "a[99999999999999999999999]", ""},
        // attribute tests, chained predicates
        SelectCase{"r", "a[@t='x']", "a1"}, SelectCase{"r", "//a[@t=\"y\"]", "a2"},
        // (b2 and a2 are each the first match under their own parent)
        SelectCase{"r", "//*[@t='y'][2]", ""}, SelectCase{"r", "//*[ @t = 'y' ][1]", "b2 a2"},
        SelectCase{"r", "//b[@id='b2']/b[1]", "b3"},
        SelectCase{"r", "a[@id='a3'][@t]", ""}, SelectCase{"r", "a [ 1 ] / b", "b1 b2"},
        // attributes themselves
        SelectCase{"r", "a/@t", "@"}, SelectCase{"r", "//@t", "@ @ @"}, SelectCase{"r", "a[1]/@*", "@ @"},
        SelectCase{"r", "a/@t/b", ""}));

TEST(Select, UnsupportedExpressionsRaiseEFailNamingTheProblem) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXmlUtf8(kDoc));
  const XmlNode root = doc.DocumentElement();
  struct Bad {
    const char* path;
    const char* says;
  } cases[] = {
      {"", "empty"},
      {"a/", "missing"},
      {"a//", "missing"},
      {"text()", "function"},
      {"a[last()]", "predicate"},
      {"child::a", "axis"},
      {"a|b", "union"},
      {"a[@t!='x']", "'='"},
      {"a[@t='x'", "closed"},
      {"a[1", "']'"},
      {"a[@t=x]", "quoted"},
      {"a[1.5]", "whole"},
      {".[1]", "predicate"},
      {"$v", "variable"},
      {"a]", "without"},
      {"a b", "unexpected"},
  };
  for (const Bad& c : cases) {
    try {
      root.SelectNodes(c.path);
      ADD_FAILURE() << "no error for '" << c.path << "'";
    } catch (const qvp::ComError& e) {
      EXPECT_EQ(e.Error(), E_FAIL) << c.path;
      const std::string d = qvp::Utf16ToUtf8(e.Description());
      EXPECT_NE(d.find(c.says), std::string::npos) << c.path << ": " << d;
      EXPECT_NE(d.find(std::string("'") + c.path + "'"), std::string::npos) << d;
    }
    EXPECT_THROW(root.SelectSingleNode(c.path), qvp::ComError) << c.path;
  }
}

TEST(Select, DetachedNodesAreNotReachedFromTheDocument) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXmlUtf8(kDoc));
  XmlNode root = doc.DocumentElement();
  XmlNode a1 = root.SelectSingleNode("a");
  root.RemoveChild(a1);
  doc.CreateElement("b");  // a new, unattached element
  EXPECT_EQ(Ids(doc.AsNode().SelectNodes("//b")), "b4");
  // From the detached node itself its own subtree is still there.
  EXPECT_EQ(Ids(a1.SelectNodes(".//b")), "b1 b2 b3");
  EXPECT_TRUE(a1.SelectSingleNode("..").IsNull());
}

TEST(Select, DeepNestingIsWalkedWithoutRecursion) {
  std::string xml;
  constexpr int kDepth = 50000;
  for (int i = 0; i < kDepth; ++i) xml += "<d>";
  xml += "<leaf id='x'/>";
  for (int i = 0; i < kDepth; ++i) xml += "</d>";
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXmlUtf8(xml));
  EXPECT_EQ(Ids(doc.AsNode().SelectNodes("//leaf")), "x");
  EXPECT_EQ(doc.AsNode().SelectNodes("//d[1]").Length(), kDepth);
}

}  // namespace
