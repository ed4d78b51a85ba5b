// Reading first-generation list files into _VEDL_INFO_.
//
// A file in the writer's form is read straight from its bytes (the direct
// route of edl_direct_reader.cpp); anything else, and all text handed over
// as a string, is read through the document object. Items name their files
// themselves (there are no id tables to look up), so one pass over the
// children of each track element reads the list in time linear in its size;
// each "ref" node is freed as soon as its item is made, so a large list does
// not hold the whole document and the whole record at once.
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "edl/edl_attributes.h"
#include "edl/edl_debug.h"
#include "edl/edl_paths.h"
#include "edl/edl_readers.h"
#include "edl/edl_v1.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

namespace edl_v1 {

using edl_io::Text;
using edl_io::Typed32;
using edl_io::Typed64;
using edl_io::TypedDouble;
using edl_io::TypedU32;

// The plain decimal texts the writer produces take the fast integer path of
// the NUL-terminated overloads.
void ApplyRefAttribute(_VEDL_ITEM_INFO_& item, std::string_view n, const char* v) {
  if (n == "clipfile") item.strClipFile = Text(v);
  else if (n == "begin") Typed64(v, item.llBegin);
  else if (n == "clipbegin") Typed64(v, item.llClipBegin);
  else if (n == "clipend") Typed64(v, item.llClipEnd);
  else if (n == "cliptype") Typed32(v, item.lClipType);
  else if (n == "format") Typed32(v, item.lFormat);
  else if (n == "channel") Typed32(v, item.lChannel);
}

void ApplyRootAttribute(_VEDL_INFO_& info, std::string_view n, std::string_view v) {
  if (n == "version") TypedU32(v, info.lVersion);
  else if (n == "length") Typed64(v, info.llLength);
  else if (n == "name") info.strName = Text(v);
  else if (n == "ip") info.strIp = Text(v);
  else if (n == "creator") info.strCreator = Text(v);
  else if (n == "creationdate") edl_v1::TextToDate(v, info.dtCreationDate);
  else if (n == "id") info.strId = Text(v);
  else if (n == "audiocount") TypedU32(v, info.lAudioCount);
  else if (n == "fps") TypedDouble(v, info.dFps);
  else if (n == "isclipcut") edl_v1::TextToBool(v, info.bIsClipCut);
}

void ApplyFileAttribute(_VEDL_FILE_INFO_& group, std::string_view n, std::string_view v) {
  if (n == "grouptype") group.strGroupType = Text(v);
  else if (n == "mediatype") group.strMediaType = Text(v);
  else if (n == "pathformat") group.strPathFormat = Text(v);
}

}  // namespace edl_v1

namespace {

using edl_io::Debug;
using edl_v1::ApplyFileAttribute;
using edl_v1::ApplyRefAttribute;
using edl_v1::ApplyRootAttribute;
using qvp::XmlAttribute;
using qvp::XmlNode;

// ReadTrack fills `items` from the "ref" children of `element`, in document
// order; a "ref" without attributes is skipped. Each "ref" is freed once
// read (none has children in a list; one that has is left to the document).
int ReadTrack(XmlNode element, CVEDLItemArray& items) {
  items.RemoveAll();
  qvp::XmlNodeList refs = element.SelectNodes("ref");
  items.std_vector().reserve(static_cast<std::size_t>(refs.Length()));
  for (XmlNode ref = refs.NextNode(); ref; ref = refs.NextNode()) {
    XmlAttribute a = ref.FirstAttribute();
    if (a) {
      _VEDL_ITEM_INFO_& item = items.std_vector().emplace_back();
      for (; a; a = a.Next()) ApplyRefAttribute(item, a.NameUtf8(), a.ValueC());
    }
    if (!ref.FirstChild()) element.DestroyChild(ref);
  }
  return 1;
}

int ReadFileGroups(const XmlNode& root, _VEDL_INFO_& info) {
  qvp::XmlNodeList files = root.SelectNodes("file");
  if (files.Length() == 0) {
    Debug(u"VEDL文件中不能找到<file>节点");
    return 0;
  }
  for (XmlNode file = files.NextNode(); file; file = files.NextNode()) {
    if (!file.FirstAttribute()) {
      Debug(u"VEDL文件中<file>节点无配置属性");
      return 0;
    }
    _VEDL_FILE_INFO_ group;
    for (XmlAttribute a = file.FirstAttribute(); a; a = a.Next())
      ApplyFileAttribute(group, a.NameUtf8(), a.ValueUtf8());
    if (!ReadTrack(file, group.arrItem)) {
      Debug(u"VEDL文件中<file>节点错误");
      return 0;
    }
    info.arrFile.std_vector().push_back(std::move(group));
  }
  return 1;
}

int ReadVEDLDocument(const qvp::XmlDocument& doc, _VEDL_INFO_& info) {
  try {
    XmlNode root = doc.AsNode().SelectSingleNode("vtedl");
    if (!root) {
      Debug(edl_io::kMsgRootMissing);
      return 0;
    }
    // An element always has an attribute list; a root without attributes
    // simply sets nothing.
    for (XmlAttribute a = root.FirstAttribute(); a; a = a.Next())
      ApplyRootAttribute(info, a.NameUtf8(), a.ValueUtf8());
    if (info.bIsClipCut) return ReadFileGroups(root, info);

    if (XmlNode video = root.SelectSingleNode("video"); video && !ReadTrack(video, info.arrVideo)) {
      Debug(u"VEDL文件中<video>节点错误");
      return 0;
    }
    // The i-th "audio" element is audio track i; the record has eight
    // tracks, and elements past the eighth are ignored.
    qvp::XmlNodeList audio = root.SelectNodes("audio");
    for (long i = 0; i < audio.Length() && i < _VEDL_INFO_::kAudioTracks; ++i) {
      if (!ReadTrack(audio.NextNode(), info.arrAudio[i])) {
        Debug(u"VEDL文件中<audio>节点错误");
        return 0;
      }
    }
    return 1;
  } catch (const qvp::ComError& e) {
    Debug(edl_io::kMsgParseException, QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(edl_io::kMsgParseException, QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

// Load creates a document and loads it with `load`; null after printing
// the failure (`load_failed` prints the load's own message).
template <class LoadFn, class FailFn>
std::unique_ptr<qvp::XmlDocument> Load(LoadFn load, FailFn load_failed) {
  std::unique_ptr<qvp::XmlDocument> doc = QVXmlCreateDocument();
  if (!doc) {
    Debug(edl_io::kMsgCreateReaderObjectFailed);
    return nullptr;
  }
  if (!load(*doc)) {
    load_failed(*doc);
    return nullptr;
  }
  return doc;
}

// Guarded runs one read; a DOM error or a failed allocation on the way is
// reported as the reader component's failure.
template <class Read>
int Guarded(Read read) {
  try {
    return read();
  } catch (const qvp::ComError& e) {
    Debug(edl_io::kMsgCreateReaderFailed, QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(edl_io::kMsgCreateReaderFailed, QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

}  // namespace

int QVReadVEDL(const _bstr_t& xml, _VEDL_INFO_* info) {
  if (!info) return 0;
  return Guarded([&] {
    auto doc = Load([&xml](qvp::XmlDocument& d) { return d.LoadXml(xml.view()); },
                    [](const qvp::XmlDocument&) { Debug(u"加载XML串失败"); });
    return doc ? ReadVEDLDocument(*doc, *info) : 0;
  });
}

int QVReadVEDLFromFile(const char16_t* path, _VEDL_INFO_* info) {
  if (!info || !path || !edl_io::PathExists(path)) return 0;
  info->arrVideo.RemoveAll();
  for (auto& track : info->arrAudio) track.RemoveAll();
  info->arrFile.RemoveAll();
  return Guarded([&] {
    const std::string resolved_utf8 = edl_io::ResolvePath(qvp::Utf16ToUtf8(path));
    if (edl_io::ReadDirectV1(resolved_utf8, *info)) return 1;
    const std::u16string resolved = qvp::Utf8ToUtf16(resolved_utf8);
    auto doc = Load([&resolved](qvp::XmlDocument& d) { return d.LoadFile(resolved); },
                    [](const qvp::XmlDocument& d) {
                      const qvp::XmlParseError& e = d.ParseError();
                      Debug(u"Error:\nCode = 0x%x\nSource = Line : %ld; Char : %ld\nError Description = %s\n",
                            static_cast<unsigned>(e.errorCode), e.line, e.linepos, e.reason);
                    });
    return doc ? ReadVEDLDocument(*doc, *info) : 0;
  });
}

}  // namespace qv_commonclass
