// Writing _VEDL_INFO_2 as a second-generation list file, and telling the
// generation of a file.
//
// The list is written straight to XML text, in the one fixed shape the
// format has, rather than built as a document tree first: building a tree
// of a large list costs several times what saving it does, and the text is
// byte for byte what the document object would save (the same attribute
// order, escaping, indentation and line ends; the tests compare the two).
//
// Every physical clip id gets one "map" entry and every format id one "fmt"
// entry, from the first item that carries it. Whether an id is already
// written is answered from a hash set of the ids written so far instead of a
// scan of the entries, so writing stays linear in the number of items.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "edl/edl_debug.h"
#include "edl/edl_id_index.h"
#include "edl/edl_paths.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/file_content.h"
#include "qv_platform/retry.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

namespace {

// The saved file is looked for three times, without a pause.
constexpr qvp::RetryRule kSaveCheck{3, 0, false};

using edl_io::Debug;
using qvp::XmlNode;

// ListWriter appends the document to a UTF-8 string in one of the two forms
// the document object produces: the saved file (tab indentation, LF, " />")
// or the `xml` text (no indentation, "/>", CR LF after each top-level node).
class ListWriter {
 public:
  ListWriter(std::string& out, bool file) : out_(out), file_(file) {}

  void Build(const _VEDL_INFO_2& info);

 private:
  // ---- Markup pieces ----
  void Indent(int depth) {
    if (file_) out_.append(static_cast<std::size_t>(depth), '\t');
  }
  void LineEnd() {
    if (file_) out_ += '\n';
  }
  void TopLevelEnd() { out_ += file_ ? "\n" : "\r\n"; }
  void Open(int depth, std::string_view name) {
    Indent(depth);
    out_ += '<';
    out_ += name;
  }
  void CloseEmpty() { out_ += file_ ? " />" : "/>"; }
  void Attr(std::string_view name, std::string_view utf8) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    Escape(utf8, true);
    out_ += '"';
  }
  void Int(std::string_view name, std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    Attr(name, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
  }
  void Str(std::string_view name, const CString& v) { Attr(name, Utf8(v.view())); }
  // Format values: 0 is written as the empty text.
  void IntOrEmpty(std::string_view name, std::int64_t v) {
    if (v == 0) Attr(name, {});
    else Int(name, v);
  }
  void DoubleOrEmpty(std::string_view name, double v) {
    if (v == 0.0) Attr(name, {});
    else Attr(name, qvp::FormatDoubleShortest(v));
  }
  // Escape writes text as the document object does: & and < always as
  // entities, > in element text, " in attribute values, and control
  // characters as two-digit character references (line ends and tabs in
  // attribute values too).
  void Escape(std::string_view s, bool attribute) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      const char* entity = nullptr;
      char ref[6];
      if (c == '&') entity = "&amp;";
      else if (c == '<') entity = "&lt;";
      else if (c == '>' && !attribute) entity = "&gt;";
      else if (c == '"' && attribute) entity = "&quot;";
      else if (c < 32 && (attribute || (c != '\t' && c != '\n' && c != '\r'))) {
        ref[0] = '&', ref[1] = '#', ref[2] = static_cast<char>('0' + c / 10), ref[3] = static_cast<char>('0' + c % 10);
        ref[4] = ';', ref[5] = 0;
        entity = ref;
      }
      if (!entity) continue;
      out_.append(s.data() + run, i - run);
      out_ += entity;
      run = i + 1;
    }
    out_.append(s.data() + run, s.size() - run);
  }
  // Utf8 gives the UTF-8 form of a text (ASCII without a copy to the heap).
  std::string_view Utf8(std::u16string_view w) {
    scratch_.resize(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
      if (w[i] >= 0x80) {
        scratch_ = qvp::Utf16ToUtf8(w);
        return scratch_;
      }
      scratch_[i] = static_cast<char>(w[i]);
    }
    return scratch_;
  }

  // ---- The parts of a list ----
  void Track(std::string_view tag, const CVEDLItemArray2& items);
  bool Physical(const CVEDLItemArray2& items, bool open);
  bool Formats(const CVEDLItemArray2& items, bool video, bool open);

  std::string& out_;
  const bool file_;
  std::string scratch_;
  edl_io::IdIndex maps_written_;
  edl_io::IdIndex formats_written_;
};

void ListWriter::Track(std::string_view tag, const CVEDLItemArray2& items) {
  Open(1, tag);
  bool any = false;
  for (const _VEDL_ITEM_INFO_2& item : items) {
    if (item.strClipFile.IsEmpty()) continue;
    if (!any) {
      out_ += '>';
      LineEnd();
      any = true;
    }
    Open(2, "ref");
    Int("clipid", item.lClipId);
    Int("begin", item.llBegin);
    Int("clipbegin", item.llClipBegin);
    Int("clipend", item.llClipEnd);
    Int("cliptype", item.lClipType);
    Int("channel", item.lChannel);
    Int("format", item.lFormat);
    Int("transtype", item.lTransType);
    // An item with a physical clip names its files only in its "map".
    if (item.lClipId < 0) Str("clipfile", item.strClipFile);
    CloseEmpty();
    LineEnd();
  }
  // A track element is written even when all its items are left out.
  if (!any) {
    CloseEmpty();
  } else {
    Indent(1);
    out_ += "</";
    out_ += tag;
    out_ += '>';
  }
  LineEnd();
}

// Physical writes the "map" entries of one track; `open` tells whether the
// "physical" element has been opened already. Returns whether it is open.
bool ListWriter::Physical(const CVEDLItemArray2& items, bool open) {
  for (const _VEDL_ITEM_INFO_2& item : items) {
    if (item.lClipId == -1) continue;
    if (!maps_written_.Insert(item.lClipId, 0)) continue;  // the first item of an id decides its entry
    if (!open) {
      Open(1, "physical");
      out_ += '>';
      LineEnd();
      open = true;
    }
    Open(2, "map");
    Int("id", item.lClipId);
    Int("fmtid", item.lFmtId);
    Str("extfile", item.strExtFile);
    Str("clipfile", item.strClipFile);
    CloseEmpty();
    LineEnd();
  }
  return open;
}

bool ListWriter::Formats(const CVEDLItemArray2& items, bool video, bool open) {
  for (const _VEDL_ITEM_INFO_2& item : items) {
    if (!formats_written_.Insert(item.uFormat.video.lId, 0)) continue;  // -1 is an id like any other
    if (!open) {
      Open(1, "format");
      out_ += '>';
      LineEnd();
      open = true;
    }
    Open(2, "fmt");
    if (video) {
      const stu_QVEDLItemVideoFormat& f = item.uFormat.video;
      Int("id", f.lId);
      IntOrEmpty("filefmt", f.lFileFmt);
      IntOrEmpty("videofmt", f.lVideoFmt);
      IntOrEmpty("width", f.lWidth);
      IntOrEmpty("height", f.lHeight);
      DoubleOrEmpty("fps", f.dFps);
      IntOrEmpty("pixelfmt", f.lPixelFmt);
      IntOrEmpty("bitrate", f.lBitrate);
      IntOrEmpty("gopsize", f.lGopSize);
      IntOrEmpty("bframecount", f.lBFrameCount);
      IntOrEmpty("pframecount", f.lPFrameCount);
      IntOrEmpty("BitsPerPixel", f.lBitsPerPixel);
      IntOrEmpty("CompressType", f.lCompressType);
    } else {
      const stu_QVEDLItemAudioFormat& f = item.uFormat.audio;
      Int("id", f.lId);
      IntOrEmpty("filefmt", f.lFileFmt);
      Attr("videofmt", {});
      Attr("width", {});
      Attr("height", {});
      DoubleOrEmpty("fps", f.dFps);
      Attr("pixelfmt", {});
      Attr("bitrate", {});
      Attr("gopsize", {});
      IntOrEmpty("audiofmt", f.lAudioFmt);
      IntOrEmpty("samplerate", f.lSampleRate);
      IntOrEmpty("channels", f.lChannels);
      IntOrEmpty("bitspersample", f.lBitsPerSample);
      Attr("bframecount", {});
      Attr("pframecount", {});
    }
    CloseEmpty();
    LineEnd();
  }
  return open;
}

void ListWriter::Build(const _VEDL_INFO_2& info) {
  out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  TopLevelEnd();
  Open(0, "vtedl");
  Int("version", info.lVersion);
  Int("length", info.llLength);
  Str("name", info.strName);
  Int("fmtid", info.lFmtId);
  Int("maxid", info.lMaxId);
  Str("id", info.strId);
  Attr("fps", qvp::FormatDoubleShortest(info.dFps));

  const bool has_video = !info.arrVideo.IsEmpty();
  // Only the leading non-empty audio tracks are written.
  int audio = 0;
  while (audio < _VEDL_INFO_2::kAudioTracks && !info.arrAudio[audio].IsEmpty()) ++audio;
  const bool has_ext = !info.strExtEdlFile.IsEmpty();
  if (!has_video && audio == 0 && !has_ext) {
    CloseEmpty();
    TopLevelEnd();
    return;
  }
  out_ += '>';
  LineEnd();
  std::size_t items = info.arrVideo.std_vector().size();
  for (int i = 0; i < audio; ++i) items += info.arrAudio[i].std_vector().size();
  maps_written_.Reserve(items);

  if (has_video) Track("video", info.arrVideo);
  for (int i = 0; i < audio; ++i) Track("audio", info.arrAudio[i]);

  // "physical" and "format" are created by the first track written, even
  // when that track adds no entry to them.
  if (has_video || audio > 0) {
    bool open = false;
    if (has_video) open = Physical(info.arrVideo, open);
    for (int i = 0; i < audio; ++i) open = Physical(info.arrAudio[i], open);
    if (open) {
      Indent(1);
      out_ += "</physical>";
    } else {
      Open(1, "physical");
      CloseEmpty();
    }
    LineEnd();
    open = false;
    if (has_video) open = Formats(info.arrVideo, true, open);
    for (int i = 0; i < audio; ++i) open = Formats(info.arrAudio[i], false, open);
    if (open) {
      Indent(1);
      out_ += "</format>";
    } else {
      Open(1, "format");
      CloseEmpty();
    }
    LineEnd();
  }
  if (has_ext) {
    Open(1, "extedlfile");
    out_ += '>';
    Escape(Utf8(info.strExtEdlFile.view()), false);
    out_ += "</extedlfile>";
    LineEnd();
  }
  out_ += "</vtedl>";
  TopLevelEnd();
}

// WriteFile saves the text; false with the system's error code when it
// cannot.
bool WriteFile(const std::string& path, const std::string& text, HRESULT& hr) {
  const int err = qvp::WriteWholeFile(path, text);
  hr = err ? qvp::HResultFromWin32(qvp::ErrnoToWin32(err)) : S_OK;
  return err == 0;
}

}  // namespace

int QVWriteVEDLToFile2(const char16_t* path, _VEDL_INFO_2* const info) {
  if (!info || info->lVersion != 3) return 0;
  try {
    std::string text;
    ListWriter(text, true).Build(*info);
    if (!path || !CreateFolderForFile(path)) {
      Debug(u"创建VEDL文件保存路径失败");
      return 0;
    }
    // Existing folders (and an existing file) are found without regard to
    // case, as the original platform finds them.
    const std::string target = edl_io::ResolvePath(qvp::Utf16ToUtf8(path));
    const std::u16string wide_target = qvp::Utf8ToUtf16(target);
    HRESULT hr = S_OK;
    if (!WriteFile(target, text, hr)) {
      Debug(u"保存VEDL文件失败: %s", qvp::HResultMessage(hr));
      return 0;
    }
    // The saved file is looked for up to three times; each miss saves again
    // at once (no pause), so the text is written at most four times.
    // A failing save ends the checks with the same message.
    const bool saved = qvp::Retry(kSaveCheck, [&](int) {
      if (edl_io::PathExists(wide_target.c_str())) return qvp::TryResult::kDone;
      return WriteFile(target, text, hr) ? qvp::TryResult::kAgain : qvp::TryResult::kStop;
    });
    if (saved) return 1;
    Debug(edl_io::kMsgSaveFailed);
  } catch (const std::bad_alloc&) {
    Debug(u"构造vedl文件失败: %s", qvp::HResultMessage(E_OUTOFMEMORY));
  }
  return 0;
}

CString QVVEDL2ToString(_VEDL_INFO_2* const info) {
  if (!info || info->lVersion != 3) return CString();
  try {
    std::string text;
    ListWriter(text, false).Build(*info);
    return CString(qvp::Utf8ToUtf16(text));
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
      Debug(edl_io::kMsgRootMissing);
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
    Debug(edl_io::kMsgParseException, QVXmlErrorMessage(e));
  }
  return 0;
}

// ProbeVersion creates a document, loads it with `load` (false: print
// `load_failed`) and reads the version; both probes share every message.
template <class Load>
int ProbeVersion(LONG& version, const char16_t* load_failed, Load load) {
  std::unique_ptr<qvp::XmlDocument> doc;
  try {
    doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(edl_io::kMsgCreateReaderObjectFailed);
      return 0;
    }
    if (!load(*doc)) {
      Debug(load_failed);
      return 0;
    }
  } catch (const qvp::ComError& e) {
    Debug(edl_io::kMsgCreateReaderFailed, QVXmlErrorMessage(e));
    return 0;
  } catch (const std::bad_alloc&) {
    Debug(edl_io::kMsgCreateReaderFailed, QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
    return 0;
  }
  return ReadVersion(*doc, version);
}

}  // namespace

int QVGetVEDLVersion(const char16_t* path, LONG& version) {
  return ProbeVersion(version, u"加载XML文件失败", [path](qvp::XmlDocument& doc) {
    return path && doc.LoadFile(qvp::Utf8ToUtf16(edl_io::ResolvePath(qvp::Utf16ToUtf8(path))));
  });
}

int QVGetVEDLVersion(const _bstr_t& xml, LONG& version) {
  return ProbeVersion(version, u"加载XML串失败", [&xml](qvp::XmlDocument& doc) { return doc.LoadXml(xml.view()); });
}

}  // namespace qv_commonclass
