// The typed DOM wrapper: writers, readers, the date algorithm, null handles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "qv_commonclass/text.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/debug_output.h"
#include "support/scratch.h"

namespace {

using namespace qv_commonclass;

// A document with the root "r" and the children that `body` holds.
struct Doc {
  CQVXmlDomDocument doc;
  CQVXmlDomElement root;
  explicit Doc(const char16_t* body = u"") {
    CString xml = CString(u"<r>") + body + u"</r>";
    EXPECT_TRUE(doc.LoadXml(xml));
    root = doc.GetDocumentElement();
  }
};

std::string Xml(const CQVXmlDomElement& e) { return e.GetXml().ToUtf8(); }

// ---- Writers ---------------------------------------------------------------------

TEST(XmlDomWriters, ForceAndDefaultDecideWhatIsWritten) {
  struct Case {
    const char* what;
    void (*write)(Doc&);
    const char* xml;
  } cases[] = {
      {"empty string, not forced", [](Doc& d) { d.root.AppendChild(d.doc, u"s", CString(), false); }, "<r/>"},
      {"empty string, forced", [](Doc& d) { d.root.AppendChild(d.doc, u"s", CString(), true); }, "<r><s/></r>"},
      {"string", [](Doc& d) { d.root.AppendChild(d.doc, u"s", CString(u"a<b"), false); }, "<r><s>a&lt;b</s></r>"},
      {"long equal to default", [](Doc& d) { d.root.AppendChild(d.doc, u"n", 5, false, 5); }, "<r/>"},
      {"long, default 0", [](Doc& d) { d.root.AppendChild(d.doc, u"n", 5, false, 0); }, "<r><n>5</n></r>"},
      {"long forced", [](Doc& d) { d.root.AppendChild(d.doc, u"n", -5, true, -5); }, "<r><n>-5</n></r>"},
      {"unsigned long max", [](Doc& d) { d.root.AppendChild(d.doc, u"u", ULONG{0xFFFFFFFFu}, false); },
       "<r><u>4294967295</u></r>"},
      {"uint64 max as signed", [](Doc& d) { d.root.AppendChild(d.doc, u"q", ~ULONGLONG{0}, false); },
       "<r><q>-1</q></r>"},
      {"uint64 equal to default", [](Doc& d) { d.root.AppendChild(d.doc, u"q", ULONGLONG{9}, false, 9ull); }, "<r/>"},
      {"double six decimals", [](Doc& d) { d.root.AppendChild(d.doc, u"d", 25.0, false); },
       "<r><d>25.000000</d></r>"},
      {"double exact compare", [](Doc& d) { d.root.AppendChild(d.doc, u"d", 0.1 + 0.2, false, 0.3); },
       "<r><d>0.300000</d></r>"},
      {"null GUID not forced", [](Doc& d) { d.root.AppendChild(d.doc, u"g", GUID_NULL, false); }, "<r/>"},
      {"null GUID forced", [](Doc& d) { d.root.AppendChild(d.doc, u"g", GUID_NULL, true); },
       "<r><g>00000000000000000000000000000000</g></r>"},
      {"GUID", [](Doc& d) {
         d.root.AppendChild(d.doc, u"g", GUID{0x1234ABCD, 0x1, 0x2, {0xA, 0xB, 0xC, 0xD, 0xE, 0xF, 0x10, 0xFF}}, false);
       }, "<r><g>1234abcd000100020a0b0c0d0e0f10ff</g></r>"},
      {"date ignores force", [](Doc& d) { d.root.AppendChild(d.doc, u"t", COleDateTime(2009, 5, 1, 8, 30, 0), false); },
       "<r><t>2009-05-01 08:30:00</t></r>"},
      {"null date", [](Doc& d) {
         COleDateTime t;
         t.SetStatus(COleDateTime::null);
         d.root.AppendChild(d.doc, u"t", t, false);
       }, "<r><t/></r>"},
      {"invalid date", [](Doc& d) {
         COleDateTime t;
         t.SetStatus(COleDateTime::invalid);
         d.root.AppendChild(d.doc, u"t", t, false);
       }, "<r><t>Invalid DateTime</t></r>"},
      {"not an XML name", [](Doc& d) { d.root.AppendChild(d.doc, u"1 bad", 5, true); }, "<r/>"},
  };
  for (const Case& c : cases) {
    Doc d;
    c.write(d);
    EXPECT_EQ(Xml(d.root), c.xml) << c.what;
  }
}

TEST(XmlDomWriters, DatesAreRoundedToTheNearestSecond) {
  // 2009-05-01 23:59:59.5 (OLE serial 39934.999994212965, computed with
  // Python's datetime from 1899-12-30) rounds up into the next day.
  Doc d;
  d.root.AppendChild(d.doc, u"t", COleDateTime(39934.0 + 86399.5 / 86400.0), true);
  d.root.AppendChild(d.doc, u"u", COleDateTime(39934.0 + 86399.4 / 86400.0), true);
  EXPECT_EQ(Xml(d.root), "<r><t>2009-05-02 00:00:00</t><u>2009-05-01 23:59:59</u></r>");
}

TEST(XmlDomWriters, AnInvalidParentCreatesButDoesNotAttach) {
  CQVXmlDomDocument doc;
  CQVXmlDomElement invalid;
  invalid.AppendChild(doc, u"x", 1, true);
  EXPECT_EQ(doc.GetXml(), u"");
  EXPECT_FALSE(invalid.IsValid());
}

// ---- Readers ---------------------------------------------------------------------

TEST(XmlDomReaders, NumbersMissingEmptyAndMalformed) {
  Doc d(u"<n>42</n><e></e><bad>abc</bad><neg>-3</neg><big>99999999999</big><f>2.5e1</f><u>-1</u>");
  struct Case {
    const char16_t* name;
    bool required;
    int expect_value;
    int expect_result;
  } ints[] = {
      {u"n", true, 42, 1},     {u"missing", true, 7, 0}, {u"missing", false, 7, 1},
      {u"e", false, 7, 0},     {u"e", true, 7, 0},       {u"bad", false, -99, 1},  // swscanf stores nothing
      {u"neg", true, -3, 1},   {u"f", true, 2, 1},
  };
  for (const Case& c : ints) {
    int v = -99;
    EXPECT_EQ(d.root.GetChild(c.name, v, c.required, 7), c.expect_result) << CString(c.name);
    EXPECT_EQ(v, c.expect_value) << CString(c.name);
  }
  ULONG u = 1;
  EXPECT_EQ(d.root.GetChild(u"u", u, true), 1);
  EXPECT_EQ(u, 0xFFFFFFFFu);
  EXPECT_EQ(d.root.GetChild(u"e", u, false, 3u), 0);
  EXPECT_EQ(u, 3u);

  double f = -1;
  EXPECT_EQ(d.root.GetChild(u"f", f, true), 1);
  EXPECT_EQ(f, 25.0);
  EXPECT_EQ(d.root.GetChild(u"e", f, false, 1.5), 0);
  EXPECT_EQ(f, 1.5);
  EXPECT_EQ(d.root.GetChild(u"bad", f, false, 1.5), 1);
  EXPECT_EQ(f, 0.0);
  EXPECT_EQ(d.root.GetChild(u"missing", f, true, 1.5), 0);
  EXPECT_EQ(f, 1.5);
}

TEST(XmlDomReaders, UnsignedSixtyFourBitsRoundTripThroughTheSignedText) {
  Doc d;
  const ULONGLONG values[] = {0, 1, 0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull, ~0ull};
  for (ULONGLONG v : values) {
    Doc w;
    w.root.AppendChild(w.doc, u"q", v, true);
    ULONGLONG back = 12345;
    EXPECT_EQ(w.root.GetChild(u"q", back, true), 1);
    EXPECT_EQ(back, v);
  }
  // An empty text keeps the variable and succeeds; a missing child gives the default.
  Doc e(u"<q/>");
  ULONGLONG keep = 77;
  EXPECT_EQ(e.root.GetChild(u"q", keep, true, 5), 1);
  EXPECT_EQ(keep, 77u);
  EXPECT_EQ(e.root.GetChild(u"none", keep, true, 5), 0);
  EXPECT_EQ(keep, 5u);
}

TEST(XmlDomReaders, OverlongTextsGiveTheRuntimesResults) {
  // 100,000 digits: swscanf keeps the low bits, _wtof overflows to infinity,
  // the date reader refuses it; nothing is read past the text.
  const CString digits(u'9', 100000);
  const CString letters(u'x', 100000);
  Doc d(CString(u"<n>") + digits + u"</n><s>" + letters + u"</s>");
  int i = 0;
  EXPECT_EQ(d.root.GetChild(u"n", i, true), 1);
  double f = 0;
  EXPECT_EQ(d.root.GetChild(u"n", f, true), 1);
  EXPECT_TRUE(std::isinf(f));
  COleDateTime t;
  EXPECT_EQ(d.root.GetChild(u"n", t, true), 0);
  EXPECT_EQ(t.GetStatus(), COleDateTime::invalid);
  // Malformed GUID text: what the GUID parser makes of it.
  GUID g, parsed;
  std::memset(&g, 0xAB, sizeof g);
  std::memset(&parsed, 0xAB, sizeof parsed);
  QV_FromStringToGUID(parsed, letters);
  EXPECT_EQ(d.root.GetChild(u"s", g, true), 1);
  EXPECT_EQ(g, parsed);
  CString s;
  EXPECT_EQ(d.root.GetChild(u"s", s, true), 1);
  EXPECT_EQ(s.GetLength(), 100000);
}

TEST(XmlDomReaders, TextAndGuid) {
  Doc d(u"<s>héllo <i>w</i></s><g>1234ABCD-0001-0002-0A0B-0C0D0E0F10FF</g><bad>xyz</bad>");
  CString s = u"junk";
  EXPECT_EQ(d.root.GetChild(u"s", s, true), 1);
  EXPECT_EQ(s, u"héllo w");
  EXPECT_EQ(d.root.GetChild(u"none", s, true), 0);
  EXPECT_EQ(s, u"");
  s = u"junk";
  EXPECT_EQ(d.root.GetChild(u"none", s, false), 1);
  EXPECT_EQ(s, u"");

  GUID g{};
  EXPECT_EQ(d.root.GetChild(u"g", g, true), 1);
  EXPECT_EQ(g, (GUID{0x1234ABCD, 0x1, 0x2, {0xA, 0xB, 0xC, 0xD, 0xE, 0xF, 0x10, 0xFF}}));
  std::memset(&g, 0xAB, sizeof g);
  EXPECT_EQ(d.root.GetChild(u"none", g, true), 0);
  EXPECT_EQ(g, GUID_NULL);
  // Not required: the empty text goes to the GUID parser, whose answer is 1.
  std::memset(&g, 0xAB, sizeof g);
  GUID expected;
  std::memset(&expected, 0xAB, sizeof expected);
  const int parser = QV_FromStringToGUID(expected, CString());
  EXPECT_EQ(d.root.GetChild(u"none", g, false), parser);
  EXPECT_EQ(g, expected);
  // Malformed text: the GUID holds what the parser read before the error.
  GUID from_parser = g;
  QV_FromStringToGUID(from_parser, CString(u"xyz"));
  EXPECT_EQ(d.root.GetChild(u"bad", g, true), 1);
  EXPECT_EQ(g, from_parser);
}

struct DateCase {
  const char16_t* text;
  int result_required;
  COleDateTime::DateTimeStatus status;
  double ole;  // OLE serials computed with Python's datetime from 1899-12-30
};

TEST(XmlDomReaders, DateAlgorithm) {
  const DateCase cases[] = {
      {u"2009-05-01T08:30:00Z", 1, COleDateTime::valid, 39934.354166666664},
      {u"2009-05-01t08:30:00zjunk", 1, COleDateTime::valid, 39934.354166666664},
      {u"2009-05-01 08:30:00.500", 1, COleDateTime::valid, 39934.354166666664},  // cut, not rounded
      {u"2009-05-01 08:30:00.999", 1, COleDateTime::valid, 39934.354166666664},
      {u"2009-5-1 8:30:0", 1, COleDateTime::valid, 39934.354166666664},
      {u"2009-13-01 00:00:00", 1, COleDateTime::invalid, 0.0},  // six fields, out of range
      {u"2009-05-01", 1, COleDateTime::valid, 39934.0},         // the parser's turn
      {u"2009/05/01 08:30", 1, COleDateTime::valid, 39934.354166666664},
      {u"May 1, 2009", 1, COleDateTime::valid, 39934.0},
      {u"not a date", 0, COleDateTime::invalid, 0.0},
      {u"", 0, COleDateTime::invalid, 0.0},
  };
  for (const DateCase& c : cases) {
    Doc d(CString(u"<t>") + c.text + u"</t>");
    COleDateTime v(1.0);
    EXPECT_EQ(d.root.GetChild(u"t", v, true), c.result_required) << CString(c.text);
    EXPECT_EQ(v.GetStatus(), c.status) << CString(c.text);
    if (c.status == COleDateTime::valid) {
      EXPECT_NEAR(v.m_dt, c.ole, 1e-9) << CString(c.text);
    }
    COleDateTime w(1.0);
    EXPECT_EQ(d.root.GetChild(u"t", w, false), 1) << CString(c.text);
  }
}

TEST(XmlDomReaders, AFailedDateGoesToTheDebuggerOutputOnly) {
  Doc d(u"<when>T12Z</when>");
  qvp::DebugOutputCapture capture;
  COleDateTime v;
  EXPECT_EQ(d.root.GetChild(u"when", v, true), 0);
  EXPECT_EQ(capture.Count(), 1);
  EXPECT_EQ(capture.Text(), u"XML解析中出现日期解析失败-> Name: when    Value:  12");
  const COleDateTime def(2000, 1, 1, 0, 0, 0);
  EXPECT_EQ(d.root.GetChild(u"none", v, true, def), 0);
  EXPECT_EQ(v, def);
  EXPECT_EQ(capture.Count(), 1);
}

// ---- Elements, selection and maps ---------------------------------------------------

TEST(XmlDomElement, TheInvalidElementAnswersEveryOperation) {
  CQVXmlDomElement e;
  CQVXmlDomDocument doc;
  EXPECT_FALSE(e.IsValid());
  EXPECT_EQ(e.GetElementPtr(), nullptr);
  EXPECT_EQ(e.GetText(), u"");
  EXPECT_EQ(e.GetXml(), u"");
  EXPECT_EQ(e.GetName(), u"");
  e.SetText(u"x");
  e.AppendChild(e);
  e.RemoveChild(e);
  EXPECT_FALSE(e.GetChild(u"a").GetChild(u"b").IsValid());
  CQVXmlDomElement child = doc.CreateElement(u"c", nullptr);
  EXPECT_EQ(e.GetChild(u"a", child), 0);
  EXPECT_FALSE(child.IsValid());
  int i = 3;
  EXPECT_EQ(e.GetChild(u"a", i, true, 9), 0);
  EXPECT_EQ(i, 9);
  EXPECT_EQ(e.SetChild(u"a", u"x"), 0);
  EXPECT_TRUE(e.GetChilds(u"a").empty());
  CMapStringToString map;
  EXPECT_EQ(e.GetChilds(map), 0);
  EXPECT_EQ(e.GetAttributeString(u"a"), u"");
  EXPECT_EQ(e.GetAttributeInt32(u"a"), 0);
  EXPECT_EQ(e.GetAttributeDouble(u"a", 2.5), 2.5);
  EXPECT_EQ(e.GetAttributeDateTime(u"a", COleDateTime(5.0)), COleDateTime(5.0));
  e.SetAttributeString(u"a", u"b");
  e.SetAttributeInt32(u"a", 1);
  // Null names and texts are safe too.
  Doc d(u"<a/>");
  EXPECT_FALSE(d.root.GetChild(nullptr).IsValid());
  d.root.SetText(nullptr);
  EXPECT_EQ(Xml(d.root), "<r/>");
}

TEST(XmlDomElement, CopiesShareTheNodeAndOutliveTheirSources) {
  CQVXmlDomElement kept;
  {
    Doc d(u"<a>1</a>");
    CQVXmlDomElement a = d.root.GetChild(u"a");
    CQVXmlDomElement copy = a;
    copy.SetText(u"2");
    EXPECT_EQ(a.GetText(), u"2");
    copy = copy;  // self-assignment keeps the node
    EXPECT_EQ(copy.GetText(), u"2");
    kept = a;
  }
  EXPECT_TRUE(kept.IsValid());
  EXPECT_EQ(kept.GetXml(), u"<a>2</a>");
}

TEST(XmlDomElement, SelectionNamesPathsAndTheSubset) {
  Doc d(u"<a id='1'><b>x</b></a><a id='2'><b>y</b></a><c/>");
  EXPECT_EQ(d.root.GetChild(u"a/b").GetText(), u"x");
  EXPECT_EQ(d.root.GetChild(u"a[@id='2']/b").GetText(), u"y");
  EXPECT_EQ(d.root.GetChild(u"a[2]").GetAttributeInt32(u"id"), 2);
  EXPECT_FALSE(d.root.GetChild(u"a/@id").IsValid());  // an attribute is not an element
  EXPECT_FALSE(d.root.GetChild(u"a[last()]").IsValid());  // not supported: not found
  EXPECT_EQ(d.root.GetChilds(u"//b").size(), 2u);
  EXPECT_TRUE(d.root.GetChilds(u"text()").empty());
  const auto attributes = d.root.GetChilds(u"a/@id");
  ASSERT_EQ(attributes.size(), 2u);
  EXPECT_FALSE(attributes[0].IsValid());
  EXPECT_EQ(d.root.SetChild(u"a[2]/b", u"z"), 1);
  EXPECT_EQ(d.root.SetChild(u"missing", u"z"), 0);
  EXPECT_EQ(Xml(d.root), "<r><a id=\"1\"><b>x</b></a><a id=\"2\"><b>z</b></a><c/></r>");
}

TEST(XmlDomElement, ChildMapTakesEveryNodeKindAndTheLastOfAName) {
  Doc d(u"<a>x<b>1</b><b>2</b><!--n--><![CDATA[c]]></a>");
  CMapStringToString map;
  map[u"kept"] = u"yes";
  EXPECT_EQ(d.root.GetChild(u"a").GetChilds(map), 1);
  EXPECT_EQ(map.GetCount(), 5);
  EXPECT_EQ(map[u"#text"], u"x");
  EXPECT_EQ(map[u"b"], u"2");
  EXPECT_EQ(map[u"#comment"], u"n");
  EXPECT_EQ(map[u"#cdata-section"], u"c");
  EXPECT_EQ(map[u"kept"], u"yes");
}

TEST(XmlDomElement, Attributes) {
  Doc d;
  d.root.SetAttributeString(u"s", u"v & w");
  d.root.SetAttributeInt32(u"n", -12);
  d.root.SetAttributeString(u"half", u" 2.5 ");
  d.root.SetAttributeString(u"word", u"abc");
  d.root.SetAttributeString(u"big", u"3000000000");
  d.root.SetAttributeString(u"iso", u"2009-05-01T08:30:00.123");
  d.root.SetAttributeString(u"plain", u"2009-05-01 08:30:00");
  d.root.SetAttributeString(u"junk", u"soon");
  EXPECT_EQ(d.root.GetAttributeString(u"s"), u"v & w");
  EXPECT_EQ(d.root.GetAttributeString(u"absent"), u"");
  EXPECT_EQ(d.root.GetAttributeInt32(u"n"), -12);
  EXPECT_EQ(d.root.GetAttributeInt32(u"half"), 2);  // halves to even
  EXPECT_EQ(d.root.GetAttributeInt32(u"word"), 0);
  EXPECT_EQ(d.root.GetAttributeInt32(u"big"), 0);
  EXPECT_EQ(d.root.GetAttributeDouble(u"half", 9), 2.5);
  EXPECT_EQ(d.root.GetAttributeDouble(u"word", 9), 9);
  EXPECT_EQ(d.root.GetAttributeDouble(u"absent", 9), 9);
  const COleDateTime def(7.0);
  EXPECT_NEAR(d.root.GetAttributeDateTime(u"iso", def).m_dt, 39934.354166666664, 1e-9);
  EXPECT_NEAR(d.root.GetAttributeDateTime(u"plain", def).m_dt, 39934.354166666664, 1e-9);
  EXPECT_EQ(d.root.GetAttributeDateTime(u"absent", def), def);
  const COleDateTime junk = d.root.GetAttributeDateTime(u"junk", def);
  EXPECT_EQ(junk.GetStatus(), COleDateTime::invalid);
  EXPECT_EQ(junk.m_dt, 0.0);
  EXPECT_EQ(Xml(d.root).substr(0, 25), "<r s=\"v &amp; w\" n=\"-12\" ");
}

// ---- Document --------------------------------------------------------------------------

TEST(XmlDomDocument, CdataSectionElements) {
  CQVXmlDomDocument doc;
  EXPECT_EQ(doc.CreateCDATASection(u"n", nullptr, nullptr).GetXml(), u"<n><![CDATA[n]]></n>");
  EXPECT_EQ(doc.CreateCDATASection(u"n", u"t", u"<x>").GetXml(), u"<n>t<![CDATA[<x>]]></n>");
  EXPECT_EQ(doc.CreateCDATASection(u"n", nullptr, u"a]]>b").GetXml(), u"<n/>");
  EXPECT_FALSE(doc.CreateCDATASection(u"bad name", nullptr, nullptr).IsValid());
}

TEST(XmlDomDocument, BuildSaveLoadAndFailures) {
  const qvtest::TempDir tmp;
  const std::filesystem::path& dir = tmp.path;
  const CString path = CString((dir / "h.xml").string());

  CQVXmlDomDocument doc;
  EXPECT_EQ(doc.AppendProcessingInstruction(), 1);
  CQVXmlDomElement root = doc.CreateElement(u"DragHeader", nullptr);
  doc.SetDocumentElement(root);
  root.AppendChild(doc, u"VERSION", 2, true);
  EXPECT_EQ(doc.GetXml(), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DragHeader><VERSION>2</VERSION></DragHeader>\r\n");
  EXPECT_EQ(doc.GetText(), doc.GetXml());
  doc.Save(path);

  CQVXmlDomDocument back;
  ASSERT_TRUE(back.Load(path));
  int version = 0;
  EXPECT_EQ(back.GetDocumentElement().GetChild(u"VERSION", version, true), 1);
  EXPECT_EQ(version, 2);
  back.SetText(u"plain");
  EXPECT_EQ(back.GetDocumentElement().GetXml(), u"<DragHeader>plain</DragHeader>");

  CQVXmlDomDocument failed;
  EXPECT_FALSE(failed.Load(CString((dir / "missing.xml").string())));
  std::ofstream(dir / "bad.xml") << "<a><b></a>";
  EXPECT_FALSE(failed.Load(CString((dir / "bad.xml").string())));
  EXPECT_FALSE(failed.Load(CString(dir.string())));  // a folder
  EXPECT_FALSE(failed.LoadXml(u"<a>"));
  EXPECT_FALSE(failed.LoadXml(nullptr));
  EXPECT_FALSE(failed.GetDocumentElement().IsValid());
  EXPECT_EQ(failed.GetXml(), u"");
  failed.Save(CString((dir / "no/such/folder/x.xml").string()));  // not reported
  EXPECT_EQ(failed.AppendProcessingInstruction(u"xml", u"a?>b"), 0);
}

}  // namespace
