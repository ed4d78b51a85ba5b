// Reading second-generation list files into _VEDL_INFO_2.
//
// Lookups from an item to its physical clip ("map" under "physical") and to
// its file format ("fmt" under "format") are answered from hash indexes that
// are built once per read, on first use, in document order with the first
// entry of an id winning; that gives exactly the results of scanning the
// tables for every item, in time linear in the size of the file.
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "edl/edl_io.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

namespace {

using edl_io::Debug;
using edl_io::Wtof;
using edl_io::Wtol;
using qvp::XmlAttribute;
using qvp::XmlNode;

// FastInteger reads the plain decimal texts the writer produces ("-12",
// "250") without the general conversion; false for anything else, which
// then takes the general path.
// FastInteger reads the plain decimal texts the writer produces ("-12",
// "250") straight from the attribute's terminated text; false for anything
// else, which then takes the general conversion.
template <class T>
bool FastInteger(const char* t, T& out) {
  constexpr int kMaxDigits = sizeof(T) == 4 ? 9 : 18;  // cannot overflow
  const bool negative = *t == '-';
  if (negative) ++t;
  std::int64_t v = 0;
  int digits = 0;
  for (; *t; ++t) {
    const unsigned d = static_cast<unsigned char>(*t) - '0';
    if (d > 9 || ++digits > kMaxDigits) return false;
    v = v * 10 + d;
  }
  if (digits == 0) return false;
  out = static_cast<T>(negative ? -v : v);
  return true;
}

// Typed attribute reads. A text that does not convert leaves the field as it
// was, as if the attribute were absent.
void Typed32(std::string_view text, LONG& field) {
  std::int32_t v;
  if (QVXmlTextToInt32(text, v) == S_OK) field = v;
}
void Typed32(const char* text, LONG& field) {
  if (!FastInteger(text, field)) Typed32(std::string_view(text), field);
}
void TypedU32(std::string_view text, LONG& field) {
  std::uint32_t v;
  if (QVXmlTextToUInt32(text, v) == S_OK) field = static_cast<LONG>(v);
}
void Typed64(std::string_view text, LONGLONG& field) {
  std::int64_t v;
  if (QVXmlTextToInt64(text, v) == S_OK) field = v;
}
void Typed64(const char* text, LONGLONG& field) {
  std::int64_t v;
  if (FastInteger(text, field)) return;
  if (QVXmlTextToInt64(std::string_view(text), v) == S_OK) field = v;
}
void TypedDouble(std::string_view text, double& field) {
  double v;
  if (QVXmlTextToDouble(text, v) == S_OK) field = v;
}
// Text converts UTF-8 attribute text; plain ASCII (most paths) is widened
// directly.
CString Text(std::string_view utf8) {
  std::u16string out(utf8.size(), u'\0');
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x80) return CString(qvp::Utf8ToUtf16(utf8));
    out[i] = c;
  }
  return CString(std::move(out));
}

// Id of an entry looked up by name and converted to a 32-bit integer; false
// when it has none (or it is not a number).
bool EntryId(const XmlNode& entry, std::int32_t& id) {
  XmlAttribute a = entry.GetAttributeNode("id");
  return a && QVXmlTextToInt32(a.ValueUtf8(), id) == S_OK;
}

// The present/non-empty attribute reads of the root-level format table.
bool AttributeLong(const XmlNode& e, std::string_view name, LONG& out) {
  out = 0;
  XmlAttribute a = e.GetAttributeNode(name);
  if (!a || a.ValueUtf8().empty()) return false;
  out = Wtol(a.ValueUtf8());
  return true;
}
bool AttributeDouble(const XmlNode& e, std::string_view name, double& out) {
  out = 0;
  XmlAttribute a = e.GetAttributeNode(name);
  if (!a || a.ValueUtf8().empty()) return false;
  out = Wtof(a.ValueUtf8());
  return true;
}

// How many items are read between two returns of freed memory to the
// system; each return costs a walk of the allocator's free lists.
constexpr std::size_t kTrimEvery = 4096;

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

// Everything one read of a document shares: the root and the lazily built
// indexes of the physical and format tables.
class DocumentReader {
 public:
  explicit DocumentReader(XmlNode root) : root_(std::move(root)) {}

  // ReadTrack fills `items` from the "ref" children of `track`, consuming
  // (destroying) each one once its item is made.
  int ReadTrack(XmlNode track, CVEDLItemArray2& items, bool video);
  int ReadFormatTable(const XmlNode& format, _VEDL_INFO_2& info);

 private:
  // The map entries, indexed by id (first one wins). A missing "physical"
  // element raises the DOM's invalid-pointer error, as selecting under it
  // does.
  void BuildMaps() {
    if (maps_built_) return;
    XmlNode physical = root_.SelectSingleNode("physical");
    maps_ = physical.SelectNodes("map");
    maps_index_.Reserve(static_cast<std::size_t>(maps_.Length()));
    for (long i = 0; i < maps_.Length(); ++i) {
      std::int32_t id;
      if (EntryId(maps_.Item(i), id)) maps_index_.Insert(id, static_cast<std::uint32_t>(i));
    }
    maps_built_ = true;
  }

  void BuildFormats() {
    if (formats_built_) return;
    XmlNode format = root_.SelectSingleNode("format");
    formats_ = format.SelectNodes("fmt");
    for (long i = 0; i < formats_.Length(); ++i) {
      std::int32_t id;
      if (EntryId(formats_.Item(i), id)) formats_index_.Insert(id, static_cast<std::uint32_t>(i));
    }
    formats_built_ = true;
  }

  // An item's format, read once per entry and kind of track. Every value by
  // the C run-time conversion; an empty text gives 0.
  static void ReadItemFormat(const XmlNode& fmt, uniEDLClipFileFormat& f, bool video) {
    for (XmlAttribute a = fmt.FirstAttribute(); a; a = a.Next()) {
      const std::string_view n = a.NameUtf8(), v = a.ValueUtf8();
      if (n == "id") f.video.lId = Wtol(v);
      else if (n == "filefmt") f.video.lFileFmt = Wtol(v);
      else if (n == "fps") f.video.dFps = Wtof(v);
      else if (video) {
        if (n == "videofmt") f.video.lVideoFmt = Wtol(v);
        else if (n == "width") f.video.lWidth = Wtol(v);
        else if (n == "height") f.video.lHeight = Wtol(v);
        else if (n == "pixelfmt") f.video.lPixelFmt = Wtol(v);
        else if (n == "bitrate") f.video.lBitrate = Wtol(v);
        else if (n == "gopsize") f.video.lGopSize = Wtol(v);
        else if (n == "bframecount") f.video.lBFrameCount = Wtol(v);
        else if (n == "pframecount") f.video.lPFrameCount = Wtol(v);
        else if (n == "BitsPerPixel") f.video.lBitsPerPixel = Wtol(v);
        else if (n == "CompressType") f.video.lCompressType = Wtol(v);
      } else {
        if (n == "audiofmt") f.audio.lAudioFmt = Wtol(v);
        else if (n == "channels") f.audio.lChannels = Wtol(v);
        else if (n == "samplerate") f.audio.lSampleRate = Wtol(v);
        else if (n == "bitspersample") f.audio.lBitsPerSample = Wtol(v);
      }
    }
  }

  XmlNode root_;
  bool maps_built_ = false;
  bool formats_built_ = false;
  qvp::XmlNodeList maps_;
  qvp::XmlNodeList formats_;
  edl_io::IdIndex maps_index_;
  edl_io::IdIndex formats_index_;
  // The format read last for each kind of track: neighbouring items mostly
  // share one, so it is read once per run of items rather than per item.
  std::int64_t last_format_[2] = {-1, -1};
  uniEDLClipFileFormat last_[2];
};

int DocumentReader::ReadTrack(XmlNode track, CVEDLItemArray2& items, bool video) {
  items.RemoveAll();
  qvp::XmlNodeList refs = track.SelectNodes("ref");  // a missing track raises here
  items.std_vector().reserve(static_cast<std::size_t>(refs.Length()));
  std::size_t consumed = 0;
  for (XmlNode ref = refs.NextNode(); ref; ref = refs.NextNode()) {
    // The item is made in place; it is taken back off when it fails.
    _VEDL_ITEM_INFO_2& item = items.std_vector().emplace_back();
    try {
      for (XmlAttribute a = ref.FirstAttribute(); a; a = a.Next()) {
        const char* n = a.NameC();
        const char* v = a.ValueC();
        if (n[0] == 'c') {
          if (std::strcmp(n, "clipid") == 0) Typed32(v, item.lClipId);
          else if (std::strcmp(n, "clipbegin") == 0) Typed64(v, item.llClipBegin);
          else if (std::strcmp(n, "clipend") == 0) Typed64(v, item.llClipEnd);
          else if (std::strcmp(n, "cliptype") == 0) Typed32(v, item.lClipType);
          else if (std::strcmp(n, "channel") == 0) Typed32(v, item.lChannel);
          else if (std::strcmp(n, "clipfile") == 0) item.strClipFile = Text(v);
        } else if (std::strcmp(n, "begin") == 0) {
          Typed64(v, item.llBegin);
        } else if (std::strcmp(n, "transtype") == 0) {
          item.lTransType = video ? Wtol(v) : 2;
        }
      }
      if (!item.strClipFile.IsEmpty()) {
        // The item names its own file: no physical clip and no format lookup.
        item.lClipId = -1;
      } else {
        BuildMaps();
        const std::int64_t m = maps_index_.Find(item.lClipId);
        if (m < 0) {  // no physical clip of that id
          items.std_vector().pop_back();
          return 0;
        }
        for (XmlAttribute a = maps_.Item(static_cast<long>(m)).FirstAttribute(); a; a = a.Next()) {
          const char* n = a.NameC();
          if (std::strcmp(n, "clipfile") == 0) item.strClipFile = Text(a.ValueC());
          else if (std::strcmp(n, "extfile") == 0) item.strExtFile = Text(a.ValueC());
          else if (std::strcmp(n, "fmtid") == 0) Typed32(a.ValueC(), item.lFmtId);
        }
      }
      // The format table is selected for every item, so a list without one
      // fails even when no item needs a format.
      BuildFormats();
      if (item.lClipId != -1) {
        const std::int64_t f = formats_index_.Find(item.lFmtId);
        if (f >= 0) {
          if (last_format_[video] != f) {
            last_[video] = uniEDLClipFileFormat();
            ReadItemFormat(formats_.Item(static_cast<long>(f)), last_[video], video);
            last_format_[video] = f;
          }
          item.uFormat = last_[video];
        }
      }
    } catch (...) {
      items.std_vector().pop_back();
      throw;
    }
    // The item is in the record now: free its node, and every so often give
    // the freed memory back, so that a large list does not hold the whole
    // document and the whole record at once.
    // (A "ref" never has children; one that has, however deep, is left for
    // the document to free as a whole.)
    if (!ref.FirstChild()) track.DestroyChild(ref);
    if (++consumed % kTrimEvery == 0) ReleaseFreedMemory();
  }
  if (consumed >= kTrimEvery) ReleaseFreedMemory();
  return 1;
}

int DocumentReader::ReadFormatTable(const XmlNode& format, _VEDL_INFO_2& info) {
  qvp::XmlNodeList list = format.SelectNodes("fmt");  // a missing "format" raises here
  for (XmlNode e = list.NextNode(); e; e = list.NextNode()) {
    uniEDLClipFileFormat f;
    stu_QVEDLItemVideoFormat& v = f.video;
    LONG id = 0;
    if (!AttributeLong(e, "id", id) || !AttributeLong(e, "filefmt", v.lFileFmt) ||
        !AttributeLong(e, "videofmt", v.lVideoFmt))
      continue;
    if (v.lVideoFmt <= 0) continue;  // audio formats never enter the table
    v.lId = id;
    AttributeLong(e, "width", v.lWidth);
    AttributeLong(e, "height", v.lHeight);
    AttributeDouble(e, "fps", v.dFps);
    AttributeLong(e, "pixelfmt", v.lPixelFmt);
    AttributeLong(e, "bitrate", v.lBitrate);
    AttributeLong(e, "gopsize", v.lGopSize);
    AttributeLong(e, "bframecount", v.lBFrameCount);
    AttributeLong(e, "pframecount", v.lPFrameCount);
    AttributeLong(e, "CompressType", v.lCompressType);
    AttributeLong(e, "BitsPerPixel", v.lBitsPerPixel);
    info.mapFormat[id] = f;
  }
  return 1;
}

int ReadVEDL2Document(const qvp::XmlDocument& doc, _VEDL_INFO_2& info) {
  try {
    XmlNode root = doc.AsNode().SelectSingleNode("vtedl");
    if (!root) {
      Debug(u"读取VEDL文件根节点<vtedl>失败！");
      return 0;
    }
    for (XmlAttribute a = root.FirstAttribute(); a; a = a.Next()) {
      const std::string_view n = a.NameUtf8(), v = a.ValueUtf8();
      if (n == "length") Typed64(v, info.llLength);
      else if (n == "version") {
        // A version that is not a number counts as a wrong version.
        std::uint32_t version = 0;
        if (QVXmlTextToUInt32(v, version) != S_OK) return 0;
        info.lVersion = static_cast<LONG>(version);
        if (version != 2 && version != 3) return 0;
      } else if (n == "fmtid") Typed32(v, info.lFmtId);
      else if (n == "fps") TypedDouble(v, info.dFps);
      else if (n == "name") info.strName = Text(v);
      else if (n == "maxid") TypedU32(v, info.lMaxId);
      else if (n == "id") info.strId = Text(v);
    }
    DocumentReader reader(root);
    if (!reader.ReadTrack(root.SelectSingleNode("video"), info.arrVideo, true)) {
      Debug(u"VEDL文件中<video>节点错误");
      return 0;
    }
    qvp::XmlNodeList audio = root.SelectNodes("audio");
    for (long i = 0; i < audio.Length() && i < _VEDL_INFO_2::kAudioTracks; ++i) {
      XmlNode track = audio.NextNode();
      if (!track) continue;
      if (!reader.ReadTrack(track, info.arrAudio[i], false)) {
        Debug(u"VEDL文件中<audio>节点错误");
        return 0;
      }
    }
    if (!reader.ReadFormatTable(root.SelectSingleNode("format"), info)) {
      Debug(u"VEDL文件中<format>节点错误");
      return 0;
    }
    XmlNode ext = root.SelectSingleNode("extedlfile");
    if (ext)
      info.strExtEdlFile = CString(ext.Text());
    else
      Debug(u"读取附加edl文件路径节点失败<extedlfile>");
    return 1;
  } catch (const qvp::ComError& e) {
    Debug(u"解析VEDL文件异常: %s", QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(u"解析VEDL文件异常: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

}  // namespace

int QVReadVEDLFromFile2(const char16_t* path, _VEDL_INFO_2* info) {
  if (!info || !edl_io::PathExists(path)) return 0;
  info->arrVideo.RemoveAll();
  for (auto& track : info->arrAudio) track.RemoveAll();
  try {
    std::unique_ptr<qvp::XmlDocument> doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(u"创建读VEDL文件组件失败!");
      return 0;
    }
    const std::string resolved = edl_io::ResolvePath(qvp::Utf16ToUtf8(path));
    if (!doc->LoadFile(qvp::Utf8ToUtf16(resolved))) {
      const qvp::XmlParseError& e = doc->ParseError();
      Debug(u"Error:\nCode = 0x%x\nSource = Line : %ld; Char : %ld\nError Description = %s\n",
            static_cast<unsigned>(e.errorCode), e.line, e.linepos, e.reason);
      return 0;
    }
    return ReadVEDL2Document(*doc, *info);
  } catch (const qvp::ComError& e) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

int QVReadVEDL2(const _bstr_t& xml, _VEDL_INFO_2* info) {
  if (!info) return 0;  // the caller's duty; refused rather than crashed on
  try {
    std::unique_ptr<qvp::XmlDocument> doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(u"创建读VEDL文件组件失败!");
      return 0;
    }
    if (!doc->LoadXml(xml.view())) {
      Debug(u"加载XML串失败");
      return 0;
    }
    return ReadVEDL2Document(*doc, *info);
  } catch (const qvp::ComError& e) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(u"创建读VEDL组件失败: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

}  // namespace qv_commonclass
