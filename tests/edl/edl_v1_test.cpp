// First-generation list files: records, reader and writer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qv_commonclass/edl.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"
#include "support/scratch.h"

using namespace qv_commonclass;
namespace fs = std::filesystem;

namespace {

using qvtest::ReadFile;
using qvtest::TempDir;

_VEDL_ITEM_INFO_ Item(const char16_t* file, LONGLONG begin, LONG type, LONG channel) {
  _VEDL_ITEM_INFO_ it;
  it.strClipFile = file;
  it.llBegin = begin;
  it.llClipBegin = begin * 400000;
  it.llClipEnd = begin * 400000 + 9000000000LL;
  it.lClipType = type;
  it.lFormat = 7;
  it.lChannel = channel;
  return it;
}

void FillList(_VEDL_INFO_& info) {
  info.llLength = -5;
  info.lAudioCount = 2;
  info.dFps = 29.97;
  info.strName = u"晚间新闻 <final> & \"cut\"";
  info.strIp = u"10.1.2.3";
  info.strCreator = u"编辑 03";
  info.strId = u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
  info.dtCreationDate = COleDateTime(2026, 12, 6, 13, 45, 7);
  info.arrVideo.Add(Item(u"/media/新闻_01.mxf", 0, 1, 0));
  info.arrVideo.Add(Item(u"/media/b.mxf", 5, 1, 0));
  info.arrVideo[1].llBegin = INT64_MIN;  // the extremes travel unchanged
  info.arrVideo[1].llClipEnd = INT64_MAX;
  info.arrAudio[0].Add(Item(u"/media/a1.wav", 3, 2, 1));
  info.arrAudio[2].Add(Item(u"/media/a3.wav", 4, 8, 3));
}

void ExpectSameItems(const CVEDLItemArray& a, const CVEDLItemArray& b) {
  ASSERT_EQ(a.GetSize(), b.GetSize());
  for (int i = 0; i < a.GetSize(); ++i) {
    EXPECT_EQ(a[i].strClipFile, b[i].strClipFile);
    EXPECT_EQ(a[i].llBegin, b[i].llBegin);
    EXPECT_EQ(a[i].llClipBegin, b[i].llClipBegin);
    EXPECT_EQ(a[i].llClipEnd, b[i].llClipEnd);
    EXPECT_EQ(a[i].lClipType, b[i].lClipType);
    EXPECT_EQ(a[i].lFormat, b[i].lFormat);
    EXPECT_EQ(a[i].lChannel, b[i].lChannel);
  }
}

TEST(EdlV1, DefaultRecordWritesOnlyTheRoot) {
  TempDir dir;
  _VEDL_INFO_ info;
  ASSERT_EQ(QVWriteVEDLToFile(dir.Wide("a.xml").c_str(), &info), 1);
  EXPECT_EQ(ReadFile(dir.path / "a.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<vtedl version=\"1\" length=\"0\" name=\"\" ip=\"\" creator=\"\" creationdate=\"\" id=\"\" "
            "audiocount=\"0\" fps=\"0\" isclipcut=\"0\" />\n");
  LONG version = 0;
  EXPECT_EQ(QVGetVEDLVersion(dir.Wide("a.xml").c_str(), version), 1);
  EXPECT_EQ(version, 1);
  // The empty date does not convert: a record read into keeps its own date.
  _VEDL_INFO_ back;
  back.dtCreationDate = COleDateTime(2001, 2, 3, 4, 5, 6);
  ASSERT_EQ(QVReadVEDLFromFile(dir.Wide("a.xml").c_str(), &back), 1);
  EXPECT_EQ(back.lVersion, 1);
  EXPECT_EQ(back.bIsClipCut, 0);
  EXPECT_EQ(back.dtCreationDate, COleDateTime(2001, 2, 3, 4, 5, 6));
  EXPECT_TRUE(back.arrVideo.IsEmpty());
}

TEST(EdlV1, EveryFieldRoundTripsAndEmptyAudioTracksCloseUp) {
  TempDir dir;
  _VEDL_INFO_ info;
  FillList(info);
  ASSERT_EQ(QVWriteVEDLToFile(dir.Wide("new/sub/list.xml").c_str(), &info), 1);
  const std::string text = ReadFile(dir.path / "NEW/SUB/list.xml");
  EXPECT_NE(text.find("creationdate=\"2026-12-06 13:45:07\""), std::string::npos);
  EXPECT_NE(text.find("<ref clipfile=\"/media/a1.wav\" begin=\"3\" clipbegin=\"1200000\" clipend=\"9001200000\" "
                      "cliptype=\"2\" format=\"7\" channel=\"1\" />"),
            std::string::npos);
  _VEDL_INFO_ back;
  ASSERT_EQ(QVReadVEDLFromFile(dir.Wide("new/sub/list.xml").c_str(), &back), 1);
  EXPECT_EQ(back.lVersion, 1);
  EXPECT_EQ(back.llLength, -5);
  EXPECT_EQ(back.lAudioCount, 2);
  EXPECT_EQ(back.dFps, 29.97);
  EXPECT_EQ(back.strName, info.strName);
  EXPECT_EQ(back.strIp, info.strIp);
  EXPECT_EQ(back.strCreator, info.strCreator);
  EXPECT_EQ(back.strId, info.strId);
  EXPECT_EQ(back.dtCreationDate, info.dtCreationDate);
  ExpectSameItems(back.arrVideo, info.arrVideo);
  // Audio tracks 0 and 2 become the first and second "audio" element.
  ExpectSameItems(back.arrAudio[0], info.arrAudio[0]);
  ExpectSameItems(back.arrAudio[1], info.arrAudio[2]);
  EXPECT_TRUE(back.arrAudio[2].IsEmpty());
}

TEST(EdlV1, ClipCutListsKeepTheirVideoOnWriteButReadOnlyFileGroups) {
  TempDir dir;
  _VEDL_INFO_ info;
  FillList(info);
  info.bIsClipCut = 1;
  _VEDL_FILE_INFO_ group;
  group.strGroupType = u"hd";
  group.strMediaType = u"mxf";
  group.strPathFormat = u"/media/%s";
  group.arrItem.Add(Item(u"/media/g.mxf", 1, 1, 0));
  info.arrFile.Add(group);
  info.arrFile.Add(_VEDL_FILE_INFO_(group));
  ASSERT_EQ(QVWriteVEDLToFile(dir.Wide("c.xml").c_str(), &info), 1);
  EXPECT_NE(ReadFile(dir.path / "c.xml").find("<video>"), std::string::npos);
  _VEDL_INFO_ back;
  ASSERT_EQ(QVReadVEDLFromFile(dir.Wide("c.xml").c_str(), &back), 1);
  EXPECT_EQ(back.bIsClipCut, -1);
  EXPECT_TRUE(back.arrVideo.IsEmpty());
  EXPECT_TRUE(back.arrAudio[0].IsEmpty());
  ASSERT_EQ(back.arrFile.GetSize(), 2);
  EXPECT_EQ(back.arrFile[1].strGroupType, u"hd");
  EXPECT_EQ(back.arrFile[1].strMediaType, u"mxf");
  EXPECT_EQ(back.arrFile[1].strPathFormat, u"/media/%s");
  ExpectSameItems(back.arrFile[1].arrItem, group.arrItem);

  // Reading text appends the groups to those already held; reading a file
  // starts from empty lists.
  ASSERT_EQ(QVReadVEDL(_bstr_t(qvp::Utf8ToUtf16(ReadFile(dir.path / "c.xml"))), &back), 1);
  EXPECT_EQ(back.arrFile.GetSize(), 4);
  ASSERT_EQ(QVReadVEDLFromFile(dir.Wide("c.xml").c_str(), &back), 1);
  EXPECT_EQ(back.arrFile.GetSize(), 2);
}

TEST(EdlV1, TextInput) {
  struct Case {
    const char* name;
    const char* xml;
    int result;
    const char16_t* message;  // null: none expected
  };
  const Case cases[] = {
      {"not xml", "<vtedl", 0, u"加载XML串失败"},
      {"wrong root", "<list version='1'/>", 0, u"读取VEDL文件根节点<vtedl>失败！"},
      {"clip cut without file", "<vtedl isclipcut='1'><video><ref clipfile='a'/></video></vtedl>", 0,
       u"VEDL文件中不能找到<file>节点"},
      {"file without attributes", "<vtedl isclipcut='true'><file><ref clipfile='a'/></file></vtedl>", 0,
       u"VEDL文件中<file>节点无配置属性"},
      {"unknown elements and attributes", "<vtedl x='1'><other/><video><ref clipfile='a' y='2'/><map/></video></vtedl>",
       1, nullptr},
      {"empty tracks", "<vtedl><video/><audio/><audio></audio></vtedl>", 1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qvp::DebugOutputCapture out;
    _VEDL_INFO_ info;
    EXPECT_EQ(QVReadVEDL(_bstr_t(c.xml), &info), c.result);
    if (c.message) EXPECT_TRUE(out.Contains(c.message));
    else EXPECT_EQ(out.Count(), 0);
  }
  EXPECT_EQ(QVReadVEDL(_bstr_t("<vtedl/>"), nullptr), 0);
}

TEST(EdlV1, AttributeValuesThatDoNotConvertKeepTheField) {
  _VEDL_INFO_ info;
  info.dFps = 25;
  info.llLength = 77;
  ASSERT_EQ(QVReadVEDL(_bstr_t("<vtedl version='-1' length='9223372036854775808' fps='fast' audiocount='4294967295' "
                               "isclipcut='maybe' creationdate='2026-13-01'>"
                               "<video><ref/><ref clipfile='x' begin='-12' clipbegin='1e3' clipend='' "
                               "cliptype='2147483648' channel='+3' format='2.5'/></video></vtedl>"),
                       &info),
            1);
  EXPECT_EQ(info.lVersion, 1);  // a negative version is no unsigned number
  EXPECT_EQ(info.llLength, 77);
  EXPECT_EQ(info.dFps, 25);
  EXPECT_EQ(info.lAudioCount, -1);  // 4294967295 is stored as its 32 bits
  EXPECT_EQ(info.bIsClipCut, 0);
  EXPECT_EQ(info.dtCreationDate.GetStatus(), COleDateTime::null);
  ASSERT_EQ(info.arrVideo.GetSize(), 1);  // a "ref" without attributes is skipped
  const _VEDL_ITEM_INFO_& it = info.arrVideo[0];
  EXPECT_EQ(it.llBegin, -12);
  EXPECT_EQ(it.llClipBegin, 1000);
  EXPECT_EQ(it.llClipEnd, 0);
  EXPECT_EQ(it.lClipType, 0);
  EXPECT_EQ(it.lChannel, 3);
  EXPECT_EQ(it.lFormat, 2);  // halves round to even
}

TEST(EdlV1, TextReadsRefillOnlyTheTracksItHolds) {
  _VEDL_INFO_ info;
  FillList(info);
  ASSERT_EQ(QVReadVEDL(_bstr_t("<vtedl><audio><ref clipfile='n'/></audio></vtedl>"), &info), 1);
  EXPECT_EQ(info.arrVideo.GetSize(), 2);
  ASSERT_EQ(info.arrAudio[0].GetSize(), 1);
  EXPECT_EQ(info.arrAudio[0][0].strClipFile, u"n");
  EXPECT_EQ(info.arrAudio[2].GetSize(), 1);
  // More than eight "audio" elements: the surplus is ignored.
  std::string many = "<vtedl>";
  for (int i = 0; i < 10; ++i) many += "<audio><ref clipfile='" + std::to_string(i) + "'/></audio>";
  many += "</vtedl>";
  _VEDL_INFO_ nine;
  ASSERT_EQ(QVReadVEDL(_bstr_t(many.c_str()), &nine), 1);
  EXPECT_EQ(nine.arrAudio[7][0].strClipFile, u"7");
}

TEST(EdlV1, FileFailuresLeaveNothingBehind) {
  TempDir dir;
  _VEDL_INFO_ info;
  FillList(info);
  {
    qvp::DebugOutputCapture out;
    EXPECT_EQ(QVWriteVEDLToFile(u"relative/missing/list.xml", &info), 0);
    EXPECT_TRUE(out.Contains(u"创建VEDL文件保存路径失败"));
    EXPECT_FALSE(fs::exists("relative"));
  }
  EXPECT_EQ(QVWriteVEDLToFile(dir.Wide("x.xml").c_str(), nullptr), 0);
  EXPECT_EQ(QVWriteVEDLToFile(nullptr, &info), 0);
  EXPECT_FALSE(fs::exists(dir.path / "x.xml"));

  // A missing file changes nothing, not even the tracks.
  EXPECT_EQ(QVReadVEDLFromFile(dir.Wide("none.xml").c_str(), &info), 0);
  EXPECT_EQ(info.arrVideo.GetSize(), 2);
  EXPECT_EQ(QVReadVEDLFromFile(nullptr, &info), 0);

  std::ofstream(dir.path / "bad.xml") << "<vtedl><video></vtedl>";
  qvp::DebugOutputCapture out;
  EXPECT_EQ(QVReadVEDLFromFile(dir.Wide("bad.xml").c_str(), &info), 0);
  EXPECT_TRUE(out.Contains(u"Error:\nCode = 0x"));
  EXPECT_TRUE(info.arrVideo.IsEmpty());
}

TEST(EdlV1, RecordsCopyWhole) {
  _VEDL_INFO_ info;
  FillList(info);
  info.arrVideo[0].abSpare[15] = 0x5A;
  info.arrFile.Add(_VEDL_FILE_INFO_());
  info.arrFile[0].arrItem.Add(info.arrVideo[0]);
  _VEDL_INFO_ copy;
  copy.arrAudio[5].Add(_VEDL_ITEM_INFO_());
  copy = info;
  EXPECT_EQ(copy.strCreator, info.strCreator);
  EXPECT_EQ(copy.dtCreationDate, info.dtCreationDate);
  EXPECT_EQ(copy.arrVideo[0].abSpare[15], 0x5A);
  EXPECT_TRUE(copy.arrAudio[5].IsEmpty());
  ExpectSameItems(copy.arrFile[0].arrItem, info.arrFile[0].arrItem);
}

void ExpectSameList(const _VEDL_INFO_& a, const _VEDL_INFO_& b) {
  EXPECT_EQ(a.lVersion, b.lVersion);
  EXPECT_EQ(a.llLength, b.llLength);
  EXPECT_EQ(a.lAudioCount, b.lAudioCount);
  EXPECT_EQ(a.dFps, b.dFps);
  EXPECT_EQ(a.strName, b.strName);
  EXPECT_EQ(a.strIp, b.strIp);
  EXPECT_EQ(a.strCreator, b.strCreator);
  EXPECT_EQ(a.strId, b.strId);
  EXPECT_EQ(a.dtCreationDate, b.dtCreationDate);
  EXPECT_EQ(a.bIsClipCut, b.bIsClipCut);
  ExpectSameItems(a.arrVideo, b.arrVideo);
  for (int t = 0; t < _VEDL_INFO_::kAudioTracks; ++t) ExpectSameItems(a.arrAudio[t], b.arrAudio[t]);
  ASSERT_EQ(a.arrFile.GetSize(), b.arrFile.GetSize());
  for (int i = 0; i < a.arrFile.GetSize(); ++i) {
    EXPECT_EQ(a.arrFile[i].strGroupType, b.arrFile[i].strGroupType);
    EXPECT_EQ(a.arrFile[i].strPathFormat, b.arrFile[i].strPathFormat);
    ExpectSameItems(a.arrFile[i].arrItem, b.arrFile[i].arrItem);
  }
}

// Files in the writer's form are read straight from their bytes, others
// through the document object; both must give the same record, which is
// also what reading the text gives.
TEST(EdlV1, BothRoutesReadAlike) {
  TempDir dir;
  std::vector<std::string> texts;
  for (const char* sample : {"archive_v1.xml", "promo_ntsc_v1.xml", "clipcut_v1.xml"})
    texts.push_back(ReadFile(fs::path(QV_SOURCE_DIR) / "data" / "edl" / sample));
  const std::string promo = texts[1];
  texts.push_back("<!-- a comment sends the file the document way -->\n" + promo);
  texts.push_back(std::string(promo).replace(promo.find("<audio>"), 7, "<audio><ref/><other/>"));
  texts.push_back("<vtedl isclipcut='1'><file/></vtedl>");  // fails both ways
  texts.push_back("<vtedl isclipcut=\"1\"><video><ref clipfile=\"v\" /></video></vtedl>");
  texts.push_back("<vtedl isclipcut=\"0\"><file a=\"1\"><ref clipfile=\"f\" /></file><physical /></vtedl>");
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 120));
    std::ofstream(dir.path / "r.xml", std::ios::binary) << text;
    _VEDL_INFO_ from_file, from_text;
    const int file_result = QVReadVEDLFromFile(dir.Wide("r.xml").c_str(), &from_file);
    EXPECT_EQ(file_result, QVReadVEDL(_bstr_t(qvp::Utf8ToUtf16(text)), &from_text));
    if (file_result) ExpectSameList(from_file, from_text);
  }
}

// The writer produces text directly; the document object must save exactly
// the same bytes for it.
TEST(EdlV1, WrittenTextIsWhatTheDocumentObjectSaves) {
  TempDir dir;
  for (int round = 0; round < 3; ++round) {
    _VEDL_INFO_ info;
    if (round > 0) FillList(info);
    if (round == 2) {
      info.strName = u"a&b <c> \"d\" 'e' \t tab \n nl 片头 \U0001F3AC";
      info.arrVideo[0].strClipFile = u"/own \"quoted\" & <odd>\t.mxf";
      info.arrFile.Add(_VEDL_FILE_INFO_());  // a group without items
      info.arrFile.Add(_VEDL_FILE_INFO_());
      info.arrFile[1].strPathFormat = u"&<>";
      info.arrFile[1].arrItem.Add(info.arrVideo[0]);
    }
    const std::u16string path = dir.Wide("w.xml"), again = dir.Wide("again.xml");
    ASSERT_EQ(QVWriteVEDLToFile(path.c_str(), &info), 1);
    qvp::XmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(path)) << round;
    doc.Save(again);
    EXPECT_EQ(ReadFile(dir.path / "w.xml"), ReadFile(dir.path / "again.xml")) << round;
  }
}

}  // namespace
