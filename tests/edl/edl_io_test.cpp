// Reading and writing second-generation list files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "edl/edl_id_index.h"
#include "qv_commonclass/edl.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"
#include "support/edl_lists.h"
#include "support/scratch.h"

using namespace qv_commonclass;
namespace fs = std::filesystem;

namespace {

using qvtest::ReadFile;
using qvtest::TempDir;

_VEDL_ITEM_INFO_2 Item(LONG clipId, const char* file, LONGLONG begin, LONG fmtId) {
  _VEDL_ITEM_INFO_2 it;
  it.lClipId = clipId;
  it.strClipFile = CString(file);
  it.strExtFile = clipId >= 0 ? CString(std::string(file) + ".idx") : CString();
  it.llBegin = begin;
  it.llClipBegin = 100 + begin;
  it.llClipEnd = 350 + begin;
  it.lClipType = 1;
  it.lChannel = 2;
  it.lFormat = 4;
  it.lTransType = 7;
  it.lFmtId = fmtId;
  it.uFormat.video.lId = fmtId;
  return it;
}

// A list that uses every field the format carries.
void FillList(_VEDL_INFO_2& info) {
  info.lVersion = 3;
  info.llLength = 9000000000LL;
  info.dFps = 29.97;
  info.strName = u"晚间新闻 <final> & \"cut\"";
  info.strId = u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
  info.lFmtId = 12;
  info.lMaxId = 42;
  info.strExtEdlFile = u"/media/edl/extra list.xml";
  _VEDL_ITEM_INFO_2 v = Item(5, "/media/clips/新闻_01.mxf", 0, 1);
  stu_QVEDLItemVideoFormat& f = v.uFormat.video;
  f.lFileFmt = 3, f.dFps = 25, f.lVideoFmt = 9, f.lWidth = 1920, f.lHeight = 1080, f.lPixelFmt = 2;
  f.lBitrate = 50000000, f.lGopSize = 12, f.lBFrameCount = 2, f.lPFrameCount = 3, f.lBitsPerPixel = 24;
  f.lCompressType = 6;
  info.arrVideo.Add(v);
  _VEDL_ITEM_INFO_2 v2 = Item(6, "/media/clips/b.mxf", 250, 1);
  v2.uFormat = v.uFormat;
  info.arrVideo.Add(v2);
  for (int t = 0; t < 2; ++t) {
    _VEDL_ITEM_INFO_2 a = Item(10 + t, t ? "/media/a2.wav" : "/media/a1.wav", 0, 20 + t);
    a.uFormat.audio.lFileFmt = 1, a.uFormat.audio.dFps = 25, a.uFormat.audio.lAudioFmt = 3;
    a.uFormat.audio.lChannels = 2, a.uFormat.audio.lSampleRate = 48000, a.uFormat.audio.lBitsPerSample = 24;
    info.arrAudio[t].Add(a);
  }
}

void ExpectSameList(const _VEDL_INFO_2& back, const _VEDL_INFO_2& info) {
  EXPECT_EQ(back.lVersion, 3);
  EXPECT_EQ(back.llLength, info.llLength);
  EXPECT_EQ(back.dFps, info.dFps);
  EXPECT_EQ(back.strName, info.strName);
  EXPECT_EQ(back.strId, info.strId);
  EXPECT_EQ(back.lFmtId, info.lFmtId);
  EXPECT_EQ(back.lMaxId, info.lMaxId);
  EXPECT_EQ(back.strExtEdlFile, info.strExtEdlFile);
  qvtest::ExpectSameItems(back.arrVideo, info.arrVideo, qvtest::ItemsFrom::kVideoReadBack);
  for (int t = 0; t < 8; ++t) {
    SCOPED_TRACE(t);
    qvtest::ExpectSameItems(back.arrAudio[t], info.arrAudio[t], qvtest::ItemsFrom::kAudioReadBack);
  }
}

TEST(EdlIo, FileAndTextRoundTripsCarryEveryField) {
  TempDir dir;
  _VEDL_INFO_2 info;
  FillList(info);
  const std::u16string path = dir.Wide("list.xml");
  ASSERT_EQ(QVWriteVEDLToFile2(path.c_str(), &info), 1);

  _VEDL_INFO_2 back;
  back.arrVideo.Add(Item(-1, "/stale.mxf", 0, -1));  // emptied by the file reader
  ASSERT_EQ(QVReadVEDLFromFile2(path.c_str(), &back), 1);
  ExpectSameList(back, info);
  // The root-level table holds the video format only.
  ASSERT_EQ(back.mapFormat.size(), 1u);
  EXPECT_TRUE(back.mapFormat.at(1).video == info.arrVideo[0].uFormat.video);

  _VEDL_INFO_2 fromText;
  fromText.arrAudio[5].Add(Item(-1, "/untouched.wav", 0, 1));  // tracks the text does not hold stay
  const CString text = QVVEDL2ToString(&info);
  ASSERT_FALSE(text.IsEmpty());
  EXPECT_EQ(text.Find(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), 0);
  ASSERT_EQ(QVReadVEDL2(_bstr_t(text), &fromText), 1);
  ASSERT_EQ(fromText.arrAudio[5].GetSize(), 1);
  fromText.arrAudio[5].RemoveAll();
  ExpectSameList(fromText, info);

  // The file on disk is UTF-8 with the declaration first and the attribute
  // order the format fixes.
  const std::string bytes = ReadFile(dir.path / "list.xml");
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vtedl version=\"3\" length=\"9000000000\" name=", 0), 0u);
  EXPECT_NE(bytes.find("fmtid=\"12\" maxid=\"42\" id=\"{6F9619FF-8B86-D011-B42D-00C04FC964FF}\" fps=\"29.97\">"),
            std::string::npos);
  EXPECT_NE(bytes.find("<ref clipid=\"5\" begin=\"0\" clipbegin=\"100\" clipend=\"350\" cliptype=\"1\" channel=\"2\" "
                       "format=\"4\" transtype=\"7\" />"),
            std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("<fmt id=\"20\" filefmt=\"1\" videofmt=\"\" width=\"\" height=\"\" fps=\"25\" pixelfmt=\"\" "
                       "bitrate=\"\" gopsize=\"\" audiofmt=\"3\" samplerate=\"48000\" channels=\"2\" "
                       "bitspersample=\"24\" bframecount=\"\" pframecount=\"\" />"),
            std::string::npos)
      << bytes;
}

TEST(EdlIo, WriterAndReaderAsymmetries) {
  _VEDL_INFO_2 info;
  info.lVersion = 3;
  // Own file: written with "clipfile" and its clip id, read back as id -1
  // without a format although its "fmt" entry is written.
  _VEDL_ITEM_INFO_2 own = Item(-1, "/own.mxf", 0, 3);
  own.uFormat.video.lWidth = 720;
  info.arrVideo.Add(own);
  // Shared physical id: the second item's file is not written and comes back
  // as the first one's.
  info.arrVideo.Add(Item(5, "/first.mxf", 10, 3));
  info.arrVideo.Add(Item(5, "/second.mxf", 20, 3));
  // No file but an id: no "ref", yet a "map" with an empty clip file.
  info.arrVideo.Add(Item(7, "", 30, 3));
  const std::string xml = qvp::Utf16ToUtf8(QVVEDL2ToString(&info).view());
  EXPECT_NE(xml.find("<ref clipid=\"-1\" begin=\"0\" clipbegin=\"100\" clipend=\"350\" cliptype=\"1\" channel=\"2\" "
                     "format=\"4\" transtype=\"7\" clipfile=\"/own.mxf\"/>"),
            std::string::npos)
      << xml;
  EXPECT_EQ(xml.find("/second.mxf"), std::string::npos);
  EXPECT_NE(xml.find("<map id=\"7\" fmtid=\"3\" extfile=\".idx\" clipfile=\"\"/>"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("<map id=\"-1\""), std::string::npos);
  EXPECT_NE(xml.find("<fmt id=\"3\" filefmt=\"\" videofmt=\"\" width=\"720\" height=\"\" fps=\"\""), std::string::npos);

  _VEDL_INFO_2 back;
  ASSERT_EQ(QVReadVEDL2(_bstr_t(xml.c_str()), &back), 1);
  ASSERT_EQ(back.arrVideo.GetSize(), 3);
  EXPECT_EQ(back.arrVideo[0].lClipId, -1);
  EXPECT_EQ(back.arrVideo[0].uFormat.video.lWidth, 0);
  EXPECT_EQ(back.arrVideo[0].uFormat.video.lId, -1);
  EXPECT_EQ(back.arrVideo[0].lFormat, 0);  // "format" is not read
  EXPECT_EQ(back.arrVideo[2].strClipFile, u"/first.mxf");
  EXPECT_EQ(back.arrVideo[2].uFormat.video.lWidth, 720);
}

TEST(EdlIo, OnlyLeadingNonEmptyAudioTracksAreWritten) {
  _VEDL_INFO_2 info;
  info.lVersion = 3;
  info.arrAudio[0].Add(Item(-1, "/a1.wav", 0, 1));
  info.arrAudio[2].Add(Item(-1, "/a3.wav", 0, 1));
  const CString xml = QVVEDL2ToString(&info);
  EXPECT_NE(xml.Find(u"/a1.wav"), -1);
  EXPECT_EQ(xml.Find(u"/a3.wav"), -1);
  EXPECT_EQ(xml.Find(u"<video"), -1);
  EXPECT_NE(xml.Find(u"<format>"), -1);
  // Without a "video" element the reader refuses the list.
  qvp::DebugOutputCapture out;
  _VEDL_INFO_2 back;
  EXPECT_EQ(QVReadVEDL2(_bstr_t(xml), &back), 0);
  EXPECT_TRUE(out.Contains(u"解析VEDL文件异常: Invalid pointer"));
}

TEST(EdlIo, VersionRules) {
  for (LONG version : {1, 2, 4}) {
    TempDir dir;
    _VEDL_INFO_2 info;
    FillList(info);
    info.lVersion = version;
    qvp::DebugOutputCapture out;
    EXPECT_EQ(QVWriteVEDLToFile2(dir.Wide("x.xml").c_str(), &info), 0);
    EXPECT_FALSE(fs::exists(dir.path / "x.xml"));
    EXPECT_TRUE(QVVEDL2ToString(&info).IsEmpty());
    EXPECT_EQ(out.Count(), 0);
  }
  const char* body = "><video/><format/></vtedl>";
  struct {
    const char* root;
    int result;
    LONG version;
  } cases[] = {{"<vtedl version='1'", 0, 1}, {"<vtedl version='2'", 1, 2},
               {"<vtedl", 1, 77},  // no version: kept
               {"<vtedl version='x'", 0, 77}};
  for (const auto& c : cases) {
    _VEDL_INFO_2 info;
    info.lVersion = 77;
    qvp::DebugOutputCapture out;
    EXPECT_EQ(QVReadVEDL2(_bstr_t((std::string(c.root) + body).c_str()), &info), c.result) << c.root;
    EXPECT_EQ(info.lVersion, c.version) << c.root;
    EXPECT_FALSE(out.Contains(u"节点错误")) << c.root;
  }
}

struct ReadCase {
  const char* name;
  const char* xml;
  int result;
  const char16_t* message;  // expected on the debugger output (null: none expected)
};

class EdlReadCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(EdlReadCases, ResultAndMessage) {
  _VEDL_INFO_2 info;
  qvp::DebugOutputCapture out;
  EXPECT_EQ(QVReadVEDL2(_bstr_t(GetParam().xml), &info), GetParam().result);
  if (GetParam().message) {
    EXPECT_TRUE(out.Contains(GetParam().message)) << qvp::Utf16ToUtf8(out.Text());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, EdlReadCases,
    ::testing::Values(
        ReadCase{"NoVideo", "<vtedl version='3'><format/></vtedl>", 0, u"解析VEDL文件异常: Invalid pointer"},
        ReadCase{"NoFormat", "<vtedl version='3'><video><ref clipfile='/a'/></video></vtedl>", 0,
                 u"解析VEDL文件异常: Invalid pointer"},
        ReadCase{"UnknownClipId", "<vtedl version='3'><video><ref clipid='9'/></video><physical><map id='8' clipfile='/x'/></physical><format/></vtedl>",
                 0, u"VEDL文件中<video>节点错误"},
        ReadCase{"NoPhysical", "<vtedl version='3'><video><ref clipid='9'/></video><format/></vtedl>", 0,
                 u"解析VEDL文件异常: Invalid pointer"},
        ReadCase{"BadAudioRef", "<vtedl version='3'><video/><audio><ref clipid='1'/></audio><physical/><format/></vtedl>", 0,
                 u"VEDL文件中<audio>节点错误"},
        ReadCase{"WrongRoot", "<edl version='3'><video/><format/></edl>", 0, u"读取VEDL文件根节点<vtedl>失败！"},
        ReadCase{"NotXml", "<vtedl version='3'><video>", 0, u"加载XML串失败"},
        ReadCase{"NoExtEdlFile", "<vtedl version='3'><video/><format/></vtedl>", 1, u"读取附加edl文件路径节点失败<extedlfile>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EdlIo, ReaderDetails) {
  // transtype by track, nine audio tracks, a format with an empty filefmt,
  // non-numeric and overlong numbers, first map and fmt of an id win.
  const char* xml =
      "<vtedl version='3' length='99999999999999999999' fps='abc' name='n'>"
      "<video><ref clipid='1' transtype='7' begin='12x' clipbegin='5'/></video>"
      "<audio><ref clipid='1' transtype='7'/><ref clipfile='/own.wav'/></audio>"
      "<audio/><audio/><audio/><audio/><audio/><audio/><audio/>"
      "<audio><ref clipfile='/ninth.wav'/></audio>"
      "<physical><map id='1' clipfile='/v.mxf' extfile='/v.idx' fmtid='4'/><map id='1' clipfile='/dup.mxf'/></physical>"
      "<format><fmt id='4' filefmt='' videofmt='3' width='720' fps='25' channels='2'/><fmt id='4' width='1'/>"
      "<fmt id='5' filefmt='1' videofmt='0'/></format>"
      "<extedlfile>/more.xml</extedlfile></vtedl>";
  _VEDL_INFO_2 info;
  info.llLength = 5;
  info.dFps = 1.5;
  info.arrAudio[7].Add(Item(-1, "/kept.wav", 0, 1));
  ASSERT_EQ(QVReadVEDL2(_bstr_t(xml), &info), 1);
  EXPECT_EQ(info.llLength, 5);  // overlong: as if absent
  EXPECT_EQ(info.dFps, 1.5);    // not a number: as if absent
  const auto& v = info.arrVideo[0];
  EXPECT_EQ(v.lTransType, 7);
  EXPECT_EQ(v.llBegin, 0);
  EXPECT_EQ(v.llClipBegin, 5);
  EXPECT_EQ(v.strClipFile, u"/v.mxf");
  EXPECT_EQ(v.strExtFile, u"/v.idx");
  EXPECT_EQ(v.lFmtId, 4);
  EXPECT_EQ(v.uFormat.video.lId, 4);
  EXPECT_EQ(v.uFormat.video.lFileFmt, 0);
  EXPECT_EQ(v.uFormat.video.lWidth, 720);
  EXPECT_EQ(v.uFormat.video.dFps, 25.0);
  const auto& a = info.arrAudio[0][0];
  EXPECT_EQ(a.lTransType, 2);
  EXPECT_EQ(a.uFormat.audio.lChannels, 2);
  EXPECT_EQ(a.uFormat.audio.lAudioFmt, 0);  // "videofmt" and "width" are not read for audio
  EXPECT_EQ(info.arrAudio[0][1].lTransType, -1);
  EXPECT_EQ(info.arrAudio[7].GetSize(), 0);  // the eighth "audio" was read, the ninth ignored
  EXPECT_TRUE(info.mapFormat.empty());  // empty filefmt, videofmt 0: neither enters the table
  EXPECT_EQ(info.strExtEdlFile, u"/more.xml");
}

// Numbers read like the runtime's _wtol and _wtof on both routes: digits of
// other scripts count, as do hexadecimal floats.
TEST(EdlIo, NumbersReadLikeTheRuntime) {
  const char16_t* xml =
      u"<vtedl version='3'><video><ref clipid='1' transtype='\uFF13'/></video>"
      u"<physical><map id='1' clipfile='/v.mxf' fmtid='4'/></physical>"
      u"<format><fmt id='4' filefmt='1' videofmt='3' width='\uFF17\uFF12\uFF10' height=' +576x' fps='0x19'/></format>"
      u"</vtedl>";
  _VEDL_INFO_2 from_text;
  ASSERT_EQ(QVReadVEDL2(_bstr_t(xml), &from_text), 1);
  TempDir dir;
  std::ofstream(dir.path / "n.xml", std::ios::binary) << qvp::Utf16ToUtf8(xml);
  _VEDL_INFO_2 from_file;
  ASSERT_EQ(QVReadVEDLFromFile2(dir.Wide("n.xml").c_str(), &from_file), 1);
  for (const _VEDL_INFO_2* info : {&from_text, &from_file}) {
    const auto& v = info->arrVideo[0];
    EXPECT_EQ(v.lTransType, 3);
    EXPECT_EQ(v.uFormat.video.lWidth, 720);
    EXPECT_EQ(v.uFormat.video.lHeight, 576);
    EXPECT_EQ(v.uFormat.video.dFps, 25.0);
  }
}

TEST(EdlIo, FileReaderAndPaths) {
  TempDir dir;
  _VEDL_INFO_2 info;
  info.arrVideo.Add(Item(-1, "/kept.mxf", 0, 1));
  EXPECT_EQ(QVReadVEDLFromFile2(dir.Wide("none.xml").c_str(), &info), 0);
  EXPECT_EQ(info.arrVideo.GetSize(), 1);  // untouched
  EXPECT_EQ(QVReadVEDLFromFile2(nullptr, &info), 0);

  std::ofstream(dir.path / "bad.xml") << "<vtedl version='3'>\n<video>\n<ref";
  qvp::DebugOutputCapture out;
  EXPECT_EQ(QVReadVEDLFromFile2(dir.Wide("bad.xml").c_str(), &info), 0);
  EXPECT_EQ(info.arrVideo.GetSize(), 0);  // an existing file empties the tracks first
  EXPECT_TRUE(out.Contains(u"Error:\nCode = 0xc00ce5")) << qvp::Utf16ToUtf8(out.Text());
  EXPECT_TRUE(out.Contains(u"Source = Line : 3;"));

  // A file found without regard to case, as the original platform finds it.
  _VEDL_INFO_2 list;
  FillList(list);
  ASSERT_EQ(QVWriteVEDLToFile2(dir.Wide("Sub/List.xml").c_str(), &list), 1);
  EXPECT_TRUE(fs::exists(dir.path / "SUB" / "List.xml"));
  EXPECT_EQ(QVReadVEDLFromFile2(dir.Wide("sub/list.XML").c_str(), &info), 1);
}

TEST(EdlIo, FolderCreation) {
  TempDir dir;
  const std::string base = dir.path.string();
  // Missing folders are created in upper case, existing ones found whatever
  // their case, and no differently-cased twin appears.
  fs::create_directory(dir.path / "media");
  EXPECT_EQ(CreateFolderForFile(qvp::Utf8ToUtf16(base + "/Media/new/deep/x.xml").c_str()), 1);
  EXPECT_TRUE(fs::is_directory(dir.path / "media" / "NEW" / "DEEP"));
  EXPECT_FALSE(fs::exists(dir.path / "MEDIA"));
  EXPECT_EQ(CreateFolderForFile(qvp::Utf8ToUtf16(base + "/media/New/Deep/Other").c_str()), 1);  // no dot: a folder
  EXPECT_TRUE(fs::is_directory(dir.path / "media" / "NEW" / "DEEP" / "OTHER"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path / "media"), fs::directory_iterator()), 1);

  struct {
    std::string path;
    int result;
  } cases[] = {{"relative/dir/x.xml", 0},  {"x.xml", 0},       {"C:\\media\\x.xml", 0},
               {"", 0},                    {base + "/f.xml", 1}, {base + "/file.txt/sub/x.xml", 0},
               {"/x.xml", 1}};
  std::ofstream(dir.path / "file.txt") << "x";
  for (const auto& c : cases) EXPECT_EQ(CreateFolderForFile(qvp::Utf8ToUtf16(c.path).c_str()), c.result) << c.path;
  EXPECT_EQ(CreateFolderForFile(nullptr), 0);

  // Unwritable targets: a file where a folder must go, a folder where the
  // file must go, and (unless running as root) a read-only folder.
  _VEDL_INFO_2 info;
  FillList(info);
  qvp::DebugOutputCapture out;
  EXPECT_EQ(QVWriteVEDLToFile2(qvp::Utf8ToUtf16(base + "/file.txt/sub/x.xml").c_str(), &info), 0);
  EXPECT_TRUE(out.Contains(u"创建VEDL文件保存路径失败"));
  fs::create_directory(dir.path / "taken.xml");
  EXPECT_EQ(QVWriteVEDLToFile2(qvp::Utf8ToUtf16(base + "/taken.xml").c_str(), &info), 0);
  EXPECT_TRUE(out.Contains(u"保存VEDL文件失败: ")) << qvp::Utf16ToUtf8(out.Text());
  if (geteuid() != 0) {
    fs::create_directory(dir.path / "locked");
    fs::permissions(dir.path / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(QVWriteVEDLToFile2(qvp::Utf8ToUtf16(base + "/locked/x.xml").c_str(), &info), 0);
    EXPECT_TRUE(out.Contains(u"保存VEDL文件失败: Access is denied."));
  }
}

TEST(EdlIo, VersionProbe) {
  LONG version = 55;
  EXPECT_EQ(QVGetVEDLVersion(_bstr_t(u"<vtedl version='1' name='old'><item/></vtedl>"), version), 1);
  EXPECT_EQ(version, 1);
  _VEDL_INFO_2 info;
  FillList(info);
  EXPECT_EQ(QVGetVEDLVersion(_bstr_t(QVVEDL2ToString(&info)), version), 1);
  EXPECT_EQ(version, 3);
  version = 55;
  EXPECT_EQ(QVGetVEDLVersion(_bstr_t(u"<vtedl name='x'/>"), version), 1);
  EXPECT_EQ(version, 55);
  qvp::DebugOutputCapture out;
  EXPECT_EQ(QVGetVEDLVersion(_bstr_t(u"<other version='3'/>"), version), 0);
  EXPECT_TRUE(out.Contains(u"读取VEDL文件根节点<vtedl>失败！"));
  EXPECT_EQ(QVGetVEDLVersion(u"/nonexistent-qv/x.xml", version), 0);
  EXPECT_TRUE(out.Contains(u"加载XML文件失败"));
  EXPECT_EQ(QVGetVEDLVersion(_bstr_t(u"<vtedl"), version), 0);
  EXPECT_TRUE(out.Contains(u"加载XML串失败"));
}

// Ids aimed at the index's first placement rule must not make it slow or
// wrong: the first entry of an id still wins.
TEST(EdlIoIndex, CollidingIdsStayCorrect) {
  edl_io::IdIndex index;
  constexpr int kIds = 50000;
  for (int k = 0; k < kIds; ++k) EXPECT_TRUE(index.Insert(k << 16, static_cast<std::uint32_t>(k)));
  EXPECT_FALSE(index.Insert(5 << 16, 999));
  for (int k = 0; k < kIds; ++k) ASSERT_EQ(index.Find(k << 16), k);
  EXPECT_EQ(index.Find(3), -1);
  EXPECT_EQ(index.Find(-1), -1);
}

// The writer produces text directly; it must be exactly what the document
// object gives for the same document, in both the file and the text form,
// special characters included.
TEST(EdlIo, WrittenTextIsWhatTheDocumentObjectWrites) {
  TempDir dir;
  _VEDL_INFO_2 info;
  FillList(info);
  // (No control characters: text holding one is not XML and does not load.)
  info.strName = u"a&b <c> \"d\" 'e' \t tab \n nl 片头 \U0001F3AC";
  info.arrVideo[0].strExtFile = u"/x&y<>\"'\t.idx";
  info.arrVideo.Add(Item(-1, "/own \"quoted\" & <odd>.mxf", 5, 9));
  info.arrVideo.Add(Item(8, "", 6, 9));  // no "ref", a "map" only
  info.strExtEdlFile = u"/ext & <more> \"x\"\t.xml";
  for (bool with_ext : {true, false}) {
    if (!with_ext) info.strExtEdlFile.Empty();
    const CString text = QVVEDL2ToString(&info);
    qvp::XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(text.view()));
    EXPECT_EQ(CString(doc.Xml()), text);

    const std::u16string path = dir.Wide("w.xml"), again = dir.Wide("again.xml");
    ASSERT_EQ(QVWriteVEDLToFile2(path.c_str(), &info), 1);
    qvp::XmlDocument file;
    ASSERT_TRUE(file.LoadFile(path));
    file.Save(again);
    EXPECT_EQ(ReadFile(dir.path / "w.xml"), ReadFile(dir.path / "again.xml"));
  }
  // Lists with nothing under the root, and with empty tracks and tables.
  _VEDL_INFO_2 bare;
  bare.lVersion = 3;
  for (int round = 0; round < 3; ++round) {
    if (round == 1) bare.strExtEdlFile = u"/only/ext.xml";
    if (round == 2) bare.arrVideo.Add(Item(-1, "", 0, 1));  // a video track whose item is left out
    const CString text = QVVEDL2ToString(&bare);
    qvp::XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(text.view())) << text;
    EXPECT_EQ(CString(doc.Xml()), text);
  }
}

}  // namespace
