// Writing _VEDL_INFO_2 as a second-generation list file, and telling the
// generation of a file.
//
// Every physical clip id gets one "map" entry and every format id one "fmt"
// entry, from the first item that carries it. Whether an id is already
// written is answered from a hash set of the ids written so far instead of a
// scan of the entries, so building stays linear in the number of items.
#include <charconv>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "edl/edl_io.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

namespace {

using edl_io::Debug;
using qvp::XmlNode;

// Decimal text of an integer, on the stack.
struct Dec {
  char buf[24];
  std::size_t len;
  explicit Dec(std::int64_t v) { len = static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf); }
  std::string_view view() const { return {buf, len}; }
};

// Attribute setters of the entries. The DOM raises on failure; the callers
// turn that into their "cannot set the attributes" message.
void Int(XmlNode& e, std::string_view name, std::int64_t v) { e.AddAttributeUtf8(name, Dec(v).view()); }
void Str(XmlNode& e, std::string_view name, const CString& v) {
  // Paths are mostly ASCII: narrowed directly, the rest encoded as UTF-8.
  char small[256];
  const std::u16string_view w = v.view();
  if (w.size() <= sizeof small) {
    std::size_t i = 0;
    for (; i < w.size() && w[i] < 0x80; ++i) small[i] = static_cast<char>(w[i]);
    if (i == w.size()) {
      e.AddAttributeUtf8(name, std::string_view(small, i));
      return;
    }
  }
  e.AddAttributeUtf8(name, qvp::Utf16ToUtf8(w));
}
// Format values: 0 is written as the empty text.
void IntOrEmpty(XmlNode& e, std::string_view name, std::int64_t v) {
  if (v == 0) e.AddAttributeUtf8(name, {});
  else Int(e, name, v);
}
void DoubleOrEmpty(XmlNode& e, std::string_view name, double v) {
  if (v == 0.0) e.AddAttributeUtf8(name, {});
  else e.AddAttributeUtf8(name, qvp::FormatDoubleShortest(v));
}

// Builds one document. The table elements and the sets of ids already
// written live here for the duration of one build.
class DocumentBuilder {
 public:
  explicit DocumentBuilder(qvp::XmlDocument& doc) : doc_(doc) {}

  int Build(const _VEDL_INFO_2& info);

 private:
  int WriteTrack(XmlNode& root, std::string_view tag, const CVEDLItemArray2& items);
  int WritePhysicalTable(XmlNode& root, std::string_view tag, const CVEDLItemArray2& items);
  int WriteFormatTable(XmlNode& root, std::string_view tag, const CVEDLItemArray2& items, bool video);
  // Table finds the table element `tag` under root, creating it when missing.
  int Table(XmlNode& root, std::string_view tag, XmlNode& table);

  qvp::XmlDocument& doc_;
  edl_io::IdIndex maps_written_;
  edl_io::IdIndex formats_written_;
};

int DocumentBuilder::Table(XmlNode& root, std::string_view tag, XmlNode& table) {
  table = root.SelectSingleNode(tag);
  if (table) return 1;
  try {
    table = doc_.CreateElement(tag);
  } catch (const qvp::ComError&) {
    table = XmlNode();
  }
  if (!table) {
    Debug(u"创建VEDL文件节点<%s>失败!", qvp::Utf8ToUtf16(tag));
    return 0;
  }
  root.AppendChild(table);
  return 1;
}

int DocumentBuilder::WriteTrack(XmlNode& root, std::string_view tag, const CVEDLItemArray2& items) {
  XmlNode track = root;
  if (!tag.empty()) {
    try {
      track = doc_.CreateElement(tag);
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件节点<%s>失败!", qvp::Utf8ToUtf16(tag));
      return 0;
    }
    root.AppendChild(track);
  }
  for (const _VEDL_ITEM_INFO_2& item : items) {
    if (item.strClipFile.IsEmpty()) continue;
    XmlNode ref;
    try {
      ref = doc_.CreateElement("ref");
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件节点<%s>素材信息节点<ref>失败!", u"ref");
      return 0;
    }
    track.AppendChild(ref);
    try {
      Int(ref, "clipid", item.lClipId);
      Int(ref, "begin", item.llBegin);
      Int(ref, "clipbegin", item.llClipBegin);
      Int(ref, "clipend", item.llClipEnd);
      Int(ref, "cliptype", item.lClipType);
      Int(ref, "channel", item.lChannel);
      Int(ref, "format", item.lFormat);
      Int(ref, "transtype", item.lTransType);
      // An item with a physical clip names its files only in its "map".
      if (item.lClipId < 0) Str(ref, "clipfile", item.strClipFile);
    } catch (const qvp::ComError&) {
      Debug(u"设置VEDL文件节点<ref>属性信息失败!");
      return 0;
    }
  }
  return 1;
}

int DocumentBuilder::WritePhysicalTable(XmlNode& root, std::string_view tag, const CVEDLItemArray2& items) {
  if (tag.empty()) return 0;
  XmlNode physical;
  if (!Table(root, tag, physical)) return 0;
  for (const _VEDL_ITEM_INFO_2& item : items) {
    if (item.lClipId == -1) continue;
    if (!maps_written_.Insert(item.lClipId, 0)) continue;  // the first item of an id decides its entry
    XmlNode map;
    try {
      map = doc_.CreateElement("map");
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件节点<%s>素材信息节点<ref>失败!", u"map");
      return 0;
    }
    physical.AppendChild(map);
    try {
      Int(map, "id", item.lClipId);
      Int(map, "fmtid", item.lFmtId);
      Str(map, "extfile", item.strExtFile);
      Str(map, "clipfile", item.strClipFile);
    } catch (const qvp::ComError&) {
      Debug(u"设置VEDL文件节点<ref>属性信息失败!");
      return 0;
    }
  }
  return 1;
}

int DocumentBuilder::WriteFormatTable(XmlNode& root, std::string_view tag, const CVEDLItemArray2& items,
                                      bool video) {
  if (tag.empty()) return 0;
  XmlNode format;
  if (!Table(root, tag, format)) return 0;
  for (const _VEDL_ITEM_INFO_2& item : items) {
    if (!formats_written_.Insert(item.uFormat.video.lId, 0)) continue;  // -1 is an id like any other
    XmlNode fmt;
    try {
      fmt = doc_.CreateElement("fmt");
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件节点<%s>素材信息节点<ref>失败!", u"fmt");
      return 0;
    }
    format.AppendChild(fmt);
    try {
      if (video) {
        const stu_QVEDLItemVideoFormat& f = item.uFormat.video;
        Int(fmt, "id", f.lId);
        IntOrEmpty(fmt, "filefmt", f.lFileFmt);
        IntOrEmpty(fmt, "videofmt", f.lVideoFmt);
        IntOrEmpty(fmt, "width", f.lWidth);
        IntOrEmpty(fmt, "height", f.lHeight);
        DoubleOrEmpty(fmt, "fps", f.dFps);
        IntOrEmpty(fmt, "pixelfmt", f.lPixelFmt);
        IntOrEmpty(fmt, "bitrate", f.lBitrate);
        IntOrEmpty(fmt, "gopsize", f.lGopSize);
        IntOrEmpty(fmt, "bframecount", f.lBFrameCount);
        IntOrEmpty(fmt, "pframecount", f.lPFrameCount);
        IntOrEmpty(fmt, "BitsPerPixel", f.lBitsPerPixel);
        IntOrEmpty(fmt, "CompressType", f.lCompressType);
      } else {
        const stu_QVEDLItemAudioFormat& f = item.uFormat.audio;
        Int(fmt, "id", f.lId);
        IntOrEmpty(fmt, "filefmt", f.lFileFmt);
        fmt.AddAttributeUtf8("videofmt", {});
        fmt.AddAttributeUtf8("width", {});
        fmt.AddAttributeUtf8("height", {});
        DoubleOrEmpty(fmt, "fps", f.dFps);
        fmt.AddAttributeUtf8("pixelfmt", {});
        fmt.AddAttributeUtf8("bitrate", {});
        fmt.AddAttributeUtf8("gopsize", {});
        IntOrEmpty(fmt, "audiofmt", f.lAudioFmt);
        IntOrEmpty(fmt, "samplerate", f.lSampleRate);
        IntOrEmpty(fmt, "channels", f.lChannels);
        IntOrEmpty(fmt, "bitspersample", f.lBitsPerSample);
        fmt.AddAttributeUtf8("bframecount", {});
        fmt.AddAttributeUtf8("pframecount", {});
      }
    } catch (const qvp::ComError&) {
      Debug(u"设置VEDL文件节点<ref>属性信息失败!");
      return 0;
    }
  }
  return 1;
}

int DocumentBuilder::Build(const _VEDL_INFO_2& info) {
  XmlNode root;
  try {
    doc_.AsNode().AppendChild(doc_.CreateProcessingInstruction(u"xml", u"version=\"1.0\" encoding=\"UTF-8\""));
    root = doc_.CreateElement("vtedl");
    if (!root) {
      Debug(u"创建VEDL文件根节点<vtedl>失败!");
      return 0;
    }
    doc_.SetDocumentElement(root);
    try {
      Int(root, "version", info.lVersion);
      Int(root, "length", info.llLength);
      Str(root, "name", info.strName);
      Int(root, "fmtid", info.lFmtId);
      Int(root, "maxid", info.lMaxId);
      Str(root, "id", info.strId);
      root.AddAttributeUtf8("fps", qvp::FormatDoubleShortest(info.dFps));
    } catch (const qvp::ComError&) {
      Debug(u"设置VEDL文件根节点<vtedl>属性信息失败!");
      return 0;
    }
  } catch (const qvp::ComError& e) {
    Debug(u"创建写VEDL文件组件失败: %s", QVXmlErrorMessage(e));
    return 0;
  }

  try {
    const bool has_video = !info.arrVideo.IsEmpty();
    // Only the leading non-empty audio tracks are written.
    int audio = 0;
    while (audio < _VEDL_INFO_2::kAudioTracks && !info.arrAudio[audio].IsEmpty()) ++audio;
    std::size_t items = info.arrVideo.std_vector().size();
    for (int i = 0; i < audio; ++i) items += info.arrAudio[i].std_vector().size();
    maps_written_.Reserve(items);

    if (has_video && !WriteTrack(root, "video", info.arrVideo)) return 0;
    for (int i = 0; i < audio; ++i)
      if (!WriteTrack(root, "audio", info.arrAudio[i])) return 0;
    if (has_video && !WritePhysicalTable(root, "physical", info.arrVideo)) return 0;
    for (int i = 0; i < audio; ++i)
      if (!WritePhysicalTable(root, "physical", info.arrAudio[i])) return 0;
    if (has_video && !WriteFormatTable(root, "format", info.arrVideo, true)) return 0;
    for (int i = 0; i < audio; ++i)
      if (!WriteFormatTable(root, "format", info.arrAudio[i], false)) return 0;
    XmlNode ext = doc_.CreateElement("extedlfile");
    if (ext && !info.strExtEdlFile.IsEmpty()) {
      ext.SetText(info.strExtEdlFile.view());
      root.AppendChild(ext);
    }
  } catch (const qvp::ComError& e) {
    Debug(u"构造vedl文件失败: %s", QVXmlErrorMessage(e));
    return 0;
  }
  return 1;
}

// BuildVEDL2Document creates the document into `doc` and fills it.
int BuildVEDL2Document(std::unique_ptr<qvp::XmlDocument>& doc, const _VEDL_INFO_2* info) {
  if (!info || info->lVersion != 3) return 0;
  doc = QVXmlCreateDocument();
  if (!doc) {
    Debug(u"创建写VEDL文件组件失败!");
    return 0;
  }
  DocumentBuilder builder(*doc);
  return builder.Build(*info);
}

// The path to save at: existing folders (and an existing file) found without
// regard to case, as the original platform finds them.
std::u16string SavePath(const char16_t* path) {
  return qvp::Utf8ToUtf16(edl_io::ResolvePath(qvp::Utf16ToUtf8(path)));
}

}  // namespace

int QVWriteVEDLToFile2(const char16_t* path, _VEDL_INFO_2* const info) {
  if (!info || info->lVersion != 3) return 0;
  try {
    std::unique_ptr<qvp::XmlDocument> doc;
    if (!BuildVEDL2Document(doc, info)) return 0;
    if (!path || !CreateFolderForFile(path)) {
      Debug(u"创建VEDL文件保存路径失败");
      return 0;
    }
    const std::u16string target = SavePath(path);
    try {
      doc->Save(target);
    } catch (const qvp::ComError& e) {
      Debug(u"保存VEDL文件失败: %s", QVXmlErrorMessage(e));
      return 0;
    }
    for (int check = 0; check < 3; ++check) {
      if (edl_io::PathExists(target.c_str())) return 1;
      try {
        doc->Save(target);
      } catch (const qvp::ComError&) {
        Debug(u"保存VEDL文件失败！");
        return 0;
      }
    }
    Debug(u"保存VEDL文件失败！");
  } catch (const qvp::ComError& e) {
    Debug(u"保存VEDL文件失败: %s", QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(u"保存VEDL文件失败: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

CString QVVEDL2ToString(_VEDL_INFO_2* const info) {
  if (!info || info->lVersion != 3) return CString();
  try {
    std::unique_ptr<qvp::XmlDocument> doc;
    if (!BuildVEDL2Document(doc, info)) return CString();
    return CString(doc->Xml());
  } catch (const qvp::ComError&) {
    Debug(u"生成VEDL字符串失败！");
  } catch (const std::bad_alloc&) {
    Debug(u"生成VEDL字符串失败！");
  }
  return CString();
}

namespace {

// The root's "version" of a loaded document (steps shared by both probes).
int ReadVersion(const qvp::XmlDocument& doc, LONG& version) {
  try {
    XmlNode root = doc.AsNode().SelectSingleNode("vtedl");
    if (!root) {
      Debug(u"读取VEDL文件根节点<vtedl>失败！");
      return 0;
    }
    for (qvp::XmlAttribute a = root.FirstAttribute(); a; a = a.Next()) {
      if (a.NameUtf8() != "version") continue;
      std::int32_t v = 0;
      version = QVXmlTextToInt32(a.ValueUtf8(), v) == S_OK ? v : 0;
      return 1;
    }
    return 1;
  } catch (const qvp::ComError& e) {
    Debug(u"解析VEDL文件异常: %s", QVXmlErrorMessage(e));
  }
  return 0;
}

}  // namespace

int QVGetVEDLVersion(const char16_t* path, LONG& version) {
  std::unique_ptr<qvp::XmlDocument> doc;
  try {
    doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(u"创建读VEDL文件组件失败!");
      return 0;
    }
    if (!path || !doc->LoadFile(SavePath(path))) {
      Debug(u"加载XML文件失败");
      return 0;
    }
  } catch (const qvp::ComError& e) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(e));
    return 0;
  } catch (const std::bad_alloc&) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
    return 0;
  }
  return ReadVersion(*doc, version);
}

int QVGetVEDLVersion(const _bstr_t& xml, LONG& version) {
  std::unique_ptr<qvp::XmlDocument> doc;
  try {
    doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(u"创建读VEDL文件组件失败!");
      return 0;
    }
    if (!doc->LoadXml(xml.view())) {
      Debug(u"加载XML串失败");
      return 0;
    }
  } catch (const qvp::ComError& e) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(e));
    return 0;
  } catch (const std::bad_alloc&) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
    return 0;
  }
  return ReadVersion(*doc, version);
}

}  // namespace qv_commonclass
