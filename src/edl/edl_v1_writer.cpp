// Writing _VEDL_INFO_ as a first-generation list file.
//
// The document is built whole through the document object and only then
// saved, so a list that cannot be built leaves the disk untouched.
#include <charconv>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "edl/edl_debug.h"
#include "edl/edl_paths.h"
#include "edl/edl_v1.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/retry.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

namespace {

using edl_io::Debug;
using qvp::XmlNode;

// The saved file is looked for three times, without a pause.
constexpr qvp::RetryRule kSaveCheck{3, 0, false};

// Number texts, without a heap allocation per attribute.
class Digits {
 public:
  explicit Digits(std::int64_t v) : end_(std::to_chars(buf_, buf_ + sizeof buf_, v).ptr) {}
  operator std::string_view() const { return {buf_, static_cast<std::size_t>(end_ - buf_)}; }  // NOLINT

 private:
  char buf_[24];
  char* end_;
};

// Utf8 gives the UTF-8 form of a text, reusing one buffer (ASCII is copied
// byte by byte).
class Utf8 {
 public:
  std::string_view operator()(const CString& s) {
    const std::u16string_view w = s.view();
    buf_.resize(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
      if (w[i] >= 0x80) return buf_ = qvp::Utf16ToUtf8(w);
      buf_[i] = static_cast<char>(w[i]);
    }
    return buf_;
  }

 private:
  std::string buf_;
};

// The message for a "ref" that cannot be created carries the typo "%so" of
// the clients' own text; it is kept so that log readers match it.
int WriteVEDLTrack(const qvp::XmlDocument& doc, XmlNode& parent, std::string_view tag, const CVEDLItemArray& items,
                   Utf8& utf8) {
  const std::u16string wide_tag = qvp::Utf8ToUtf16(tag);
  XmlNode track = parent;
  if (!tag.empty()) {
    try {
      track = doc.CreateElement(tag);
      parent.AppendChild(track);
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件节点<%s>失败!", wide_tag);
      return 0;
    }
  }
  for (const _VEDL_ITEM_INFO_& item : items) {
    XmlNode ref;
    try {
      ref = doc.CreateElement(std::string_view("ref"));
      track.AppendChild(ref);
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件节点<%so>素材信息节点<ref>失败!", wide_tag);
      return 0;
    }
    try {
      ref.AddAttributeUtf8("clipfile", utf8(item.strClipFile));
      ref.AddAttributeUtf8("begin", Digits(item.llBegin));
      ref.AddAttributeUtf8("clipbegin", Digits(item.llClipBegin));
      ref.AddAttributeUtf8("clipend", Digits(item.llClipEnd));
      ref.AddAttributeUtf8("cliptype", Digits(item.lClipType));
      ref.AddAttributeUtf8("format", Digits(item.lFormat));
      ref.AddAttributeUtf8("channel", Digits(item.lChannel));
    } catch (const qvp::ComError&) {
      Debug(u"设置VEDL文件节点<%s>的素材信息节点<ref>属性信息失败", wide_tag);
      return 0;
    }
  }
  return 1;
}

// BuildVEDLDocument fills `doc` with the list; 0 after printing why not.
int BuildVEDLDocument(qvp::XmlDocument& doc, const _VEDL_INFO_& info) {
  Utf8 utf8;
  XmlNode root;
  try {
    doc.AsNode().AppendChild(doc.CreateProcessingInstruction(u"xml", u"version=\"1.0\" encoding=\"UTF-8\""));
    try {
      root = doc.CreateElement(std::string_view("vtedl"));
      doc.AsNode().AppendChild(root);
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件根节点<vtedl>失败!");
      return 0;
    }
    try {
      root.AddAttributeUtf8("version", Digits(info.lVersion));
      root.AddAttributeUtf8("length", Digits(info.llLength));
      root.AddAttributeUtf8("name", utf8(info.strName));
      root.AddAttributeUtf8("ip", utf8(info.strIp));
      root.AddAttributeUtf8("creator", utf8(info.strCreator));
      root.AddAttributeUtf8("creationdate", edl_v1::DateToText(info.dtCreationDate));
      root.AddAttributeUtf8("id", utf8(info.strId));
      root.AddAttributeUtf8("audiocount", Digits(info.lAudioCount));
      root.AddAttributeUtf8("fps", qvp::FormatDoubleShortest(info.dFps));
      root.AddAttributeUtf8("isclipcut", Digits(info.bIsClipCut));
    } catch (const qvp::ComError&) {
      Debug(u"设置VEDL文件根节点<vtedl>属性信息失败!");
      return 0;
    }
  } catch (const qvp::ComError& e) {
    Debug(u"创建写VEDL文件组件失败: %s", QVXmlErrorMessage(e));
    return 0;
  }

  if (!info.arrVideo.IsEmpty() && !WriteVEDLTrack(doc, root, "video", info.arrVideo, utf8)) return 0;
  for (const CVEDLItemArray& track : info.arrAudio)
    if (!track.IsEmpty() && !WriteVEDLTrack(doc, root, "audio", track, utf8)) return 0;
  for (const _VEDL_FILE_INFO_& group : info.arrFile) {
    XmlNode file;
    try {
      file = doc.CreateElement(std::string_view("file"));
      root.AppendChild(file);
    } catch (const qvp::ComError&) {
      Debug(u"创建VEDL文件节点<%s>失败!", u"file");
      return 0;
    }
    try {
      file.AddAttributeUtf8("grouptype", utf8(group.strGroupType));
      file.AddAttributeUtf8("mediatype", utf8(group.strMediaType));
      file.AddAttributeUtf8("pathformat", utf8(group.strPathFormat));
    } catch (const qvp::ComError&) {
      Debug(u"设置VEDL文件节点<%s>的属性信息失败", u"file");
      return 0;
    }
    if (!WriteVEDLTrack(doc, file, {}, group.arrItem, utf8)) return 0;
  }
  return 1;
}

// Save writes the document; false after printing why not.
bool Save(const qvp::XmlDocument& doc, const std::u16string& path, bool first) {
  try {
    doc.Save(path);
    return true;
  } catch (const qvp::ComError& e) {
    if (first)
      Debug(u"保存VEDL文件失败: %s", QVXmlErrorMessage(e));
    else
      Debug(edl_io::kMsgSaveFailed);
  }
  return false;
}

}  // namespace

int QVWriteVEDLToFile(const char16_t* path, _VEDL_INFO_* const info) {
  if (!info || !path) return 0;
  try {
    std::unique_ptr<qvp::XmlDocument> doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(u"创建写VEDL文件组件失败!");
      return 0;
    }
    if (!BuildVEDLDocument(*doc, *info)) return 0;
    if (!CreateFolderForFile(path)) {
      Debug(u"创建VEDL文件保存路径失败");
      return 0;
    }
    // Existing folders and an existing file are found without regard to
    // case, as the original platform finds them.
    const std::u16string target = qvp::Utf8ToUtf16(edl_io::ResolvePath(qvp::Utf16ToUtf8(path)));
    if (!Save(*doc, target, true)) return 0;
    // Each miss saves again at once, so the document is saved at most four
    // times; a failing save ends the checks with its own message.
    bool save_failed = false;
    const bool saved = qvp::Retry(kSaveCheck, [&](int) {
      if (edl_io::PathExists(target.c_str())) return qvp::TryResult::kDone;
      if (Save(*doc, target, false)) return qvp::TryResult::kAgain;
      save_failed = true;
      return qvp::TryResult::kStop;
    });
    if (saved) return 1;
    if (!save_failed) Debug(edl_io::kMsgSaveFailed);
  } catch (const std::bad_alloc&) {
    Debug(u"创建写VEDL文件组件失败: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

}  // namespace qv_commonclass
