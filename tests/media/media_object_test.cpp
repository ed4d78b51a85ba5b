// The media object record, its functions and the status texts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>

#include "qv_commonclass/media.h"

namespace {

using namespace qv_commonclass;

TEST(MediaObject, InitialValuesKindsAndSlotOrder) {
  stu_QVObject o;
  EXPECT_EQ(o.lObjectID, 0);
  EXPECT_EQ(o.guidObject, GUID_NULL);
  EXPECT_EQ(o.llModifyFlag, -1);
  EXPECT_EQ(o.lReserved8, -1);
  EXPECT_EQ(o.lReserved9, -1);
  EXPECT_EQ(o.emVideoStandard, QV_VIDEOSTANDARD_DEFAULT);
  EXPECT_TRUE(o.strArchiveNote.IsEmpty());
  EXPECT_EQ(o.GetObjectKind(), 1);
  EXPECT_TRUE(o.IsKindOf(1));
  EXPECT_FALSE(o.IsKindOf(3));

  stu_QVClipInfo clip;
  stu_QVObject& base = clip;
  EXPECT_EQ(base.GetObjectKind(), 3);
  EXPECT_TRUE(base.IsKindOf(3));
  EXPECT_TRUE(base.IsKindOf(1));
  EXPECT_FALSE(base.IsKindOf(2));

  // Reset puts back every value, whatever the clients did to the record.
  o.lObjectID = 5;
  o.llModifyFlag = 0;
  o.lReserved9 = 4;
  o.dReserved8 = 1.5;
  o.byReserved5[3] = 9;
  o.strReserved14 = u"x";
  o.Reset();
  EXPECT_EQ(o.lObjectID, 0);
  EXPECT_EQ(o.llModifyFlag, -1);
  EXPECT_EQ(o.lReserved9, -1);
  EXPECT_EQ(o.dReserved8, 0.0);
  EXPECT_EQ(o.byReserved5[3], 0);
  EXPECT_TRUE(o.strReserved14.IsEmpty());

  stu_QVClipFile f;
  EXPECT_EQ(f.lSpare5, -1);
  EXPECT_EQ(f.lClipIn, 0);
  EXPECT_TRUE(f.strClipFile.IsEmpty());
}

TEST(MediaObject, ReleaseDeletesThroughTheVirtualDestructorAndSkipsNull) {
  CArray<stu_QVObject*, stu_QVObject*> objects;
  auto* clip = new stu_QVClipInfo;
  clip->arrClipFile.Add(new stu_QVClipFile);  // freed by the clip (the sanitizer build checks)
  objects.Add(new stu_QVObject);
  objects.Add(nullptr);
  objects.Add(clip);
  EXPECT_EQ(QVReleaseObjectData(objects), 1);
  EXPECT_EQ(objects.GetSize(), 0);
  EXPECT_EQ(QVReleaseObjectData(objects), 1);
}

TEST(MediaObject, ClipTypeToFileIndex) {
  const struct {
    ULONG type, index;
  } cases[] = {{0x1, 0},     {0x2, 1},   {0x6, 1},       {0x80, 7},       {0x100, 8},     {0x80000, 9},
               {0x80001, 0}, {0x80100, 8}, {0, 0},       {0x200, 0},      {0xFFFFFFFF, 0}, {0x80200, 9}};
  for (const auto& c : cases) EXPECT_EQ(QVClipTypeToFileIndex(c.type), c.index) << std::hex << c.type;
}

TEST(MediaObject, MediaTypeNames) {
  const struct {
    ULONG code;
    const char16_t* name;
  } names[] = {{0x1, u"video"},   {0x2, u"Audio1"},  {0x4, u"Audio2"},  {0x8, u"Audio3"}, {0x10, u"Audio4"},
               {0x20, u"Audio5"}, {0x40, u"Audio6"}, {0x80, u"Audio7"}, {0x100, u"Audio8"}};
  for (const auto& n : names) {
    CString text;
    EXPECT_EQ(QVGetMediaTypeStr(n.code, text), 1);
    EXPECT_EQ(text, n.name);
  }
  for (ULONG other : {0u, 3u, 0x200u, 0x80000u}) {
    CString text = u"kept";
    EXPECT_EQ(QVGetMediaTypeStr(other, text), 0);
    EXPECT_EQ(text, u"kept");
  }
}

TEST(MediaObject, DragHeader) {
  CQVXmlDomDocument doc;
  ASSERT_TRUE(doc.LoadXml(
      u"<H><VERSION>2</VERSION><TYPE>7</TYPE><USERCODE>u01</USERCODE><IPADDRESS>10.0.0.1</IPADDRESS>"
      u"<SITEID>x</SITEID></H>"));
  stu_QVDragHeaderDef h;
  h.lSource = 99;
  h.lSiteId = 42;
  EXPECT_EQ(QVGetDragHeader(doc, h), 1);
  EXPECT_EQ(h.lVersion, 2);
  EXPECT_EQ(h.lType, 7);
  EXPECT_EQ(h.lSource, 0);   // missing: the default
  EXPECT_EQ(h.lSiteId, 42);  // not a number: left as it was
  EXPECT_EQ(h.strUserCode, u"u01");
  EXPECT_EQ(h.strIpAddress, u"10.0.0.1");

  CQVXmlDomDocument empty;
  stu_QVDragHeaderDef none;
  none.strUserCode = u"old";
  EXPECT_EQ(QVGetDragHeader(empty, none), 1);
  EXPECT_EQ(none.strUserCode, u"");
}

TEST(MediaObject, ModifyClipInOut) {
  stu_QVObject base;
  base.lInPoint = 5;
  EXPECT_EQ(QVModifyClipInOut(&base), 0);
  EXPECT_EQ(base.lInPoint, 5);
  EXPECT_EQ(QVModifyClipInOut(nullptr), 0);

  stu_QVClipInfo clip;
  EXPECT_EQ(QVModifyClipInOut(&clip), 0);  // no clip files
  for (auto [begin, end] : {std::pair{100, 200}, std::pair{50, 150}, std::pair{120, 300}}) {
    auto* f = new stu_QVClipFile;
    f->lBegin = begin;
    f->lEnd = end;
    clip.arrClipFile.Add(f);
  }
  clip.arrClipFile.Add(nullptr);
  clip.llModifyFlag = 0;
  clip.lOutPoint = 300;
  EXPECT_EQ(QVModifyClipInOut(&clip), 1);
  EXPECT_EQ(clip.lInPoint, 50);
  EXPECT_EQ(clip.lOutPoint, 300);
  EXPECT_EQ(clip.llModifyFlag, QV_MODIFY_INPOINT);
  EXPECT_EQ(QVModifyClipInOut(&clip), 0);  // nothing left to change
  clip.arrClipFile[0]->lEnd = 400;
  EXPECT_EQ(QVModifyClipInOut(&clip), 1);
  EXPECT_EQ(clip.llModifyFlag, QV_MODIFY_INPOINT | QV_MODIFY_OUTPOINT);
}

TEST(MediaObject, ValidSearchCondition) {
  const struct {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"", u""},          {u"a b", u"a+b"},   {u"a+b", u"a b"},     {u"a-b", u"a b"},  {u"a/+b", u"ab"},
      {u"a/ b", u"a+b"},   {u"a/&b", u"a+b"},  {u"a/-b", u"a-b"},    {u"a/|b", u"a b"}, {u"a/xb", u"axb"},
      {u"a//b", u"a/b"},   {u"ab/", u"ab"},    {u"新闻 联播", u"新闻+联播"}, {u"/", u""},
  };
  for (const auto& c : cases) {
    CString in = c.in;
    EXPECT_EQ(QVGetValidSearchCondition(in), c.out) << in;
    EXPECT_EQ(in, c.in);
  }
}

TEST(MediaObject, ArchiveNote) {
  stu_QVObject o;
  CString v = u"junk";
  EXPECT_EQ(QVGetElementFromArchiveNote(&o, u"x", v), 0);
  EXPECT_EQ(v, u"");

  o.strArchiveNote = u"  \r\n";
  EXPECT_EQ(QVSetElementToArchiveNote(&o, u"x", u"1"), 1);
  EXPECT_EQ(o.strArchiveNote, u"<Reserved4><x>1</x></Reserved4>");
  EXPECT_EQ(QVSetElementToArchiveNote(&o, u"x", u"2"), 1);
  EXPECT_EQ(o.strArchiveNote, u"<Reserved4><x>2</x></Reserved4>\r\n");
  EXPECT_EQ(QVSetElementToArchiveNote(&o, u"y", u"a&b"), 1);
  EXPECT_EQ(o.strArchiveNote, u"<Reserved4><x>2</x><y>a&amp;b</y></Reserved4>\r\n");
  EXPECT_EQ(QVGetElementFromArchiveNote(&o, u"y", v), 1);
  EXPECT_EQ(v, u"a&b");
  EXPECT_EQ(QVGetElementFromArchiveNote(&o, u"z", v), 1);
  EXPECT_EQ(v, u"");

  // Not XML: replaced whole when a value is set, nothing read from it.
  o.strArchiveNote = u"<Reserved4><x>1</Reserved4>";
  v = u"junk";
  EXPECT_EQ(QVGetElementFromArchiveNote(&o, u"x", v), 0);
  EXPECT_EQ(v, u"");
  EXPECT_EQ(QVSetElementToArchiveNote(&o, u"n", u"v"), 1);
  EXPECT_EQ(o.strArchiveNote, u"<Reserved4><n>v</n></Reserved4>");

  // The one-element note takes name and value as they stand: a value with
  // markup makes a note that is not XML, which the next set replaces.
  o.strArchiveNote.Empty();
  EXPECT_EQ(QVSetElementToArchiveNote(&o, u"n", u"a<b"), 1);
  EXPECT_EQ(o.strArchiveNote, u"<Reserved4><n>a<b</n></Reserved4>");
  EXPECT_EQ(QVGetElementFromArchiveNote(&o, u"n", v), 0);
  EXPECT_EQ(QVSetElementToArchiveNote(nullptr, u"n", u"v"), 0);
  stu_QVObject* const null_object = nullptr;
  EXPECT_EQ(QVGetElementFromArchiveNote(null_object, u"n", v), 0);
}

TEST(MediaObject, TechTypeNames) {
  const struct {
    LONG code;
    const char16_t* text;
  } cases[] = {{1, u"黑场段"},     {2, u"彩条段"},     {3, u"单色段"},      {4, u"雪花场段"},  {5, u"色彩丢失段"},
               {6, u"静帧段"},     {7, u"亮度超标段"}, {8, u"色度超标段"},  {9, u"RGB值超标段"}, {256, u"音频静音"},
               {257, u"音量超标"}, {258, u"音频削波"}, {0, u"UnKown"},      {10, u"UnKown"},    {-1, u"UnKown"}};
  for (const auto& c : cases) EXPECT_EQ(QVTechTypeToString(c.code), c.text) << c.code;
}

// The shipped resource file holds a Chinese and an English text for every
// key either function can choose; a missing one would show the bare key.
TEST(MediaObject, EveryStatusKeyHasATextInBothLanguages) {
  for (const char* language : {"zh-CN", "en-US"}) {
    ::setenv("QV_UI_LANGUAGE", language, 1);
    for (LONG flag = -1; flag <= 0x20; ++flag) {
      const CString text = QVGetArchiveFlagString(flag);
      EXPECT_FALSE(text.IsEmpty());
      EXPECT_NE(text, CString(QVArchiveFlagKey(flag))) << language << " " << flag;
    }
    for (LONG flag : {0x3, 0x4, 0x8, 0x80000}) {
      EXPECT_EQ(QVCaptureFlagKey(flag), std::u16string_view(u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_NORMAL"));
    }
    for (LONG bit = 0; bit < 31; ++bit) {
      const LONG flag = LONG{1} << bit;
      const CString text = QVGetCaptureFlagString(flag);
      EXPECT_FALSE(text.IsEmpty());
      EXPECT_NE(text, CString(QVCaptureFlagKey(flag))) << language << " " << flag;
    }
  }
  ::setenv("QV_UI_LANGUAGE", "en-US", 1);
  EXPECT_EQ(QVGetArchiveFlagString(5), u"Unknown archive state");
  EXPECT_EQ(QVGetCaptureFlagString(0x3), u"Normal");
  EXPECT_EQ(QVGetArchiveFlagString(0x13), u"Retrieval failed");
  ::setenv("QV_UI_LANGUAGE", "zh-CN", 1);
  EXPECT_EQ(QVGetCaptureFlagString(0x3), u"正常");
  EXPECT_EQ(QVGetCaptureFlagString(0x4000), u"传输中");
  EXPECT_EQ(QVGetArchiveFlagString(5), u"未知归档状态");
  ::unsetenv("QV_UI_LANGUAGE");
}

}  // namespace
