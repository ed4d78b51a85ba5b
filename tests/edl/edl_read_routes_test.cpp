// The file reader reads lists in the writer's form directly and leaves
// everything else to the document object; the text reader always uses the
// document object. On every input both must leave the same record and say
// the same things.
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
#include "support/edl_lists.h"

using namespace qv_commonclass;
namespace fs = std::filesystem;

namespace {

// A list in the writer's form that uses every rule of the reader: an item
// with its own file, shared and duplicated physical ids, a value longer than
// 255 bytes, formats with empty values, two audio tracks and an
// "extedlfile".
std::string BaseList() {
  const std::string long_path = "/media/" + std::string(300, 'x') + ".mxf";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<vtedl version=\"3\" length=\"9000000000\" name=\"晚间新闻\" fmtid=\"1\" maxid=\"12\" id=\"{6F9619FF}\" fps=\"29.97\">\n"
         "\t<video>\n"
         "\t\t<ref clipid=\"1\" begin=\"0\" clipbegin=\"100\" clipend=\"350\" cliptype=\"1\" channel=\"0\" format=\"0\" transtype=\"7\" />\n"
         "\t\t<ref clipid=\"-1\" begin=\"5\" clipfile=\"/own.mxf\" transtype=\"x\" />\n"
         "\t\t<ref clipid=\"2\" begin=\"10\" clipend=\"12x\" cliptype=\"99999999999\" />\n"
         "\t\t<ref clipid=\"2\" begin=\"-7\" />\n"
         "\t</video>\n"
         "\t<audio>\n"
         "\t\t<ref clipid=\"3\" begin=\"0\" transtype=\"1\" />\n"
         "\t</audio>\n"
         "\t<audio>\n"
         "\t\t<ref clipid=\"3\" />\n"
         "\t</audio>\n"
         "\t<physical>\n"
         "\t\t<map id=\"1\" fmtid=\"1\" extfile=\"/a.idx\" clipfile=\"/media/新闻_01.mxf\" />\n"
         "\t\t<map id=\"2\" fmtid=\"2\" extfile=\"\" clipfile=\"" + long_path + "\" />\n"
         "\t\t<map id=\"3\" fmtid=\"10\" clipfile=\"/a.wav\" />\n"
         "\t\t<map id=\"1\" fmtid=\"2\" clipfile=\"/dup.mxf\" />\n"
         "\t</physical>\n"
         "\t<format>\n"
         "\t\t<fmt id=\"1\" filefmt=\"2\" videofmt=\"4\" width=\"1920\" height=\"1080\" fps=\"25\" bitrate=\"\" />\n"
         "\t\t<fmt id=\"2\" filefmt=\"\" videofmt=\"5\" fps=\"29.97\" />\n"
         "\t\t<fmt id=\"10\" filefmt=\"5\" videofmt=\"\" audiofmt=\"1\" channels=\"2\" samplerate=\"48000\" />\n"
         "\t</format>\n"
         "\t<extedlfile>/media/edl/extra list.xml</extedlfile>\n"
         "</vtedl>\n";
}

// A change of the base list: `from` (its first occurrence, or every one) is
// replaced by `to`.
struct Variant {
  const char* name;
  const char* from;
  const char* to;
  bool all = false;
};

const Variant kVariants[] = {
    {"AsWritten", "", ""},
    {"NoDeclaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", ""},
    {"OtherDeclaration", "encoding=\"UTF-8\"", "encoding=\"utf-8\" standalone=\"yes\""},
    {"Bom", "<?xml", "\xEF\xBB\xBF<?xml"},
    {"CrLf", "\n", "\r\n", true},
    {"Entity", "/a.wav", "/a&amp;b.wav"},
    {"CharacterReference", "/own.mxf", "/own&#x41;.mxf"},
    {"TabInValue", "/own.mxf", "/own\t.mxf"},
    {"MarkupInValue", "/own.mxf", "/own>'.mxf"},
    {"ControlCharacterInValue", "/own.mxf", "/own\x01.mxf"},
    {"LineBreakInValue", "/own.mxf", "/own\n.mxf"},
    {"SingleQuotes", "<ref clipid=\"3\" />", "<ref clipid='3' />"},
    {"SpaceAroundEquals", "clipid=\"-1\"", "clipid = \"-1\""},
    {"NoSpaceBetweenAttributes", "begin=\"5\" clipfile", "begin=\"5\"clipfile"},
    {"AttributeNameOf63", "format=\"0\"", "nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx=\"0\""},
    {"AttributeNameOf64", "format=\"0\"", "nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx=\"0\""},
    {"NameCharacters", "format=\"0\"", "x-1.y_2=\"0\""},
    {"NonAsciiAttributeName", "format=\"0\"", "格式=\"0\""},
    {"Comment", "<physical>", "<!-- c --><physical>"},
    {"ProcessingInstruction", "<physical>", "<?pi x?><physical>"},
    {"Cdata", "extra list", "<![CDATA[extra list]]>"},
    {"TextInTrack", "<video>", "<video>x"},
    {"RefWithEndTag", "transtype=\"1\" />", "transtype=\"1\"></ref>"},
    {"RefWithChild", "transtype=\"1\" />", "transtype=\"1\"><ref clipid=\"9\"/></ref>"},
    {"OtherEntryInTrack", "<ref clipid=\"3\" />", "<item clipid=\"3\" /><ref clipid=\"3\" />"},
    {"UnknownRootChild", "<format>", "<other/><format>"},
    {"Version1", "version=\"3\"", "version=\"1\""},
    {"VersionNotNumber", "version=\"3\"", "version=\"x3\""},
    {"NoVersion", "version=\"3\"", "versio=\"3\""},
    {"MapIdNotNumber", "<map id=\"3\"", "<map id=\"x3\""},
    {"DuplicatedFormatId", "<fmt id=\"2\"", "<fmt id=\"1\""},
    {"UnknownClipId", "<ref clipid=\"3\" />", "<ref clipid=\"4\" />"},
    {"NoPhysical", "physical>", "physica>", true},
    {"NoFormat", "format>", "formats>", true},
    {"NoVideo", "video>", "videos>", true},
    {"NineAudio", "<physical>",
     "<audio/><audio/><audio/><audio/><audio/><audio/><audio><ref clipfile=\"/9.wav\" /></audio><physical>"},
    {"NoExtEdlFile", "\t<extedlfile>/media/edl/extra list.xml</extedlfile>\n", ""},
    {"BlankExtEdlFile", ">/media/edl/extra list.xml<", "> \t <"},
    {"ExtEdlFileReferences", "extra list", "extra &lt;list&gt;"},
    {"EndTagWithSpace", "</video>", "</video >"},
    {"WrongEndTag", "</video>", "</vide>"},
    {"Truncated", "</vtedl>\n", "</vtedl"},
    {"SecondRoot", "</vtedl>\n", "</vtedl>\n<vtedl/>"},
    {"TextAfterRoot", "</vtedl>\n", "</vtedl>\nx"},
    // Not XML, though the form would take it but for the one fault.
    {"RepeatedAttribute", "clipid=\"2\" begin=\"-7\"", "clipid=\"1\" clipid=\"2\" begin=\"-7\""},
    {"RepeatedRootAttribute", "fmtid=\"1\" maxid", "fmtid=\"1\" maxid=\"1\" maxid"},
    {"RepeatedAttributeOfLongValues", "extfile=\"\" clipfile", "clipfile=\"\" extfile=\"\" clipfile"},
    {"ControlCharacterInText", "extra list", "extra\x1Flist"},
    {"CarriageReturnInText", "extra list", "extra\rlist"},
    {"CdataEndInText", "extra list", "extra]]>list"},
    {"CdataEndLookalikeInText", "extra list", "extra]] >list"},
    {"NoncharacterInValue", "/own.mxf", "/own\xEF\xBF\xBE.mxf"},
    {"NoncharacterInText", "extra list", "extra\xEF\xBF\xBFlist"},
    {"LastCharacterBeforeNoncharacters", "/own.mxf", "/own\xEF\xBF\xBD\xF4\x8F\xBF\xBF.mxf"},
    {"UndefinedEntity", "/own.mxf", "/own&nbsp;.mxf"},
    {"NulReference", "/own.mxf", "/own&#0;.mxf"},
    {"LessThanInValue", "/own.mxf", "/own<.mxf"},
    {"DoubleHyphenInComment", "<physical>", "<!-- a -- b --><physical>"},
};

std::string Apply(std::string text, const Variant& v) {
  if (!*v.from) return text;
  const std::string from = v.from, to = v.to;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
    if (!v.all) break;
  }
  return text;
}

void Prefill(_VEDL_INFO_2& info) {
  info.llLength = -5;
  info.lVersion = 7;
  info.dFps = 1.5;
  info.strName = u"old";
  info.strExtEdlFile = u"old";
  info.mapFormat[99].video.lWidth = 99;
}

// Reads `bytes` both ways from the same starting record and compares.
void ExpectSameReads(const std::string& bytes, const std::string& what) {
  SCOPED_TRACE(what);
  const std::u16string wide = qvp::Utf8ToUtf16(bytes);
  if (qvp::Utf16ToUtf8(wide) != bytes) return;  // not UTF-8: the text reader sees other characters
  const fs::path file = fs::temp_directory_path() / ("qv_edl_routes_" + std::to_string(getpid()) + ".xml");
  std::ofstream(file, std::ios::binary) << bytes;

  _VEDL_INFO_2 by_file, by_text;
  Prefill(by_file);
  Prefill(by_text);
  qvp::DebugOutputCapture file_out;
  const int file_result = QVReadVEDLFromFile2(qvp::Utf8ToUtf16(file.string()).c_str(), &by_file);
  const std::u16string file_said = file_out.Text();
  qvp::DebugOutputCapture text_out;
  const int text_result = QVReadVEDL2(_bstr_t(wide), &by_text);
  const std::u16string text_said = text_out.Text();
  fs::remove(file);

  EXPECT_EQ(file_result, text_result);
  if (text_said.find(u"加载XML串失败") != std::u16string::npos) {
    // Not well-formed: each reader words the load failure its own way.
    EXPECT_EQ(file_result, 0);
    EXPECT_NE(file_said.find(u"Error:"), std::u16string::npos) << qvp::Utf16ToUtf8(file_said);
    return;
  }
  EXPECT_EQ(file_said, text_said);
  EXPECT_EQ(by_file.llLength, by_text.llLength);
  EXPECT_EQ(by_file.lVersion, by_text.lVersion);
  EXPECT_EQ(by_file.lFmtId, by_text.lFmtId);
  EXPECT_EQ(by_file.dFps, by_text.dFps);
  EXPECT_EQ(by_file.strName, by_text.strName);
  EXPECT_EQ(by_file.lMaxId, by_text.lMaxId);
  EXPECT_EQ(by_file.strId, by_text.strId);
  EXPECT_EQ(by_file.strExtEdlFile, by_text.strExtEdlFile);
  ASSERT_EQ(by_file.mapFormat.size(), by_text.mapFormat.size());
  for (auto a = by_file.mapFormat.begin(), b = by_text.mapFormat.begin(); a != by_file.mapFormat.end(); ++a, ++b) {
    EXPECT_EQ(a->first, b->first);
    EXPECT_TRUE(a->second.video == b->second.video) << a->first;
  }
  qvtest::ExpectSameItems(by_file.arrVideo, by_text.arrVideo);
  for (int t = 0; t < _VEDL_INFO_2::kAudioTracks; ++t) qvtest::ExpectSameItems(by_file.arrAudio[t], by_text.arrAudio[t]);
}

TEST(EdlReadRoutes, VariantsOfAWrittenList) {
  for (const Variant& v : kVariants) ExpectSameReads(Apply(BaseList(), v), v.name);

  // What the writer itself produces.
  _VEDL_INFO_2 info;
  info.lVersion = 3;
  info.strExtEdlFile = u"/extra.xml";
  for (int i = 0; i < 20; ++i) {
    _VEDL_ITEM_INFO_2 it;
    it.lClipId = i % 7;
    it.strClipFile = CString(("/media/新闻_" + std::to_string(i % 7) + ".mxf").c_str());
    it.lFmtId = 1 + i % 3;
    it.uFormat.video.lId = it.lFmtId;
    it.uFormat.video.lVideoFmt = 4;
    it.llBegin = i * 100;
    (i % 2 ? info.arrAudio[i % 3] : info.arrVideo).Add(it);
  }
  ExpectSameReads(qvp::Utf16ToUtf8(QVVEDL2ToString(&info).view()), "writer's text");
}

TEST(EdlReadRoutes, MalformedAndFuzzedFiles) {
  int files = 0;
  for (const char* dir : {"tests/edl/data", "fuzz/corpus/edl"}) {
    const fs::path path = fs::path(QV_SOURCE_DIR) / dir;
    if (!fs::exists(path)) continue;
    for (const auto& e : fs::directory_iterator(path)) {
      std::ifstream in(e.path(), std::ios::binary);
      std::stringstream ss;
      ss << in.rdbuf();
      ExpectSameReads(ss.str(), e.path().filename().string());
      // Each regression file has one fault that makes the read fail; those
      // that are not UTF-8 are seen by the file reader alone.
      if (dir == std::string("tests/edl/data")) {
        _VEDL_INFO_2 info;
        qvp::DebugOutputCapture out;
        EXPECT_EQ(QVReadVEDLFromFile2(qvp::Utf8ToUtf16(e.path().string()).c_str(), &info), 0) << e.path();
        LONG version = 0;
        QVGetVEDLVersion(qvp::Utf8ToUtf16(e.path().string()).c_str(), version);  // must not crash either
      }
      ++files;
    }
  }
  EXPECT_GE(files, 10);
}

}  // namespace
