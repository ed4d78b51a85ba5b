// Writing _VEDL_INFO_ as a first-generation list file.
//
// As the second-generation writer does, the list is written straight to the
// text the document object would save for it (see MarkupWriter): the whole
// text is made before anything touches the disk, so a list that cannot be
// written leaves no file behind.
#include <new>
#include <string>
#include <string_view>

#include "edl/edl_debug.h"
#include "edl/edl_markup.h"
#include "edl/edl_v1.h"
#include "qv_commonclass/edl.h"
#include "qv_platform/xmldom.h"

namespace qv_commonclass {

namespace {

using edl_io::Debug;

class ListWriterV1 : edl_io::MarkupWriter {
 public:
  explicit ListWriterV1(std::string& out) : MarkupWriter(out, true) {}

  void Build(const _VEDL_INFO_& info) {
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    TopLevelEnd();
    Open(0, "vtedl");
    Int("version", info.lVersion);
    Int("length", info.llLength);
    Str("name", info.strName);
    Str("ip", info.strIp);
    Str("creator", info.strCreator);
    Attr("creationdate", edl_v1::DateToText(info.dtCreationDate));
    Str("id", info.strId);
    Int("audiocount", info.lAudioCount);
    Attr("fps", qvp::FormatDoubleShortest(info.dFps));
    Int("isclipcut", info.bIsClipCut);
    bool any = !info.arrVideo.IsEmpty() || !info.arrFile.IsEmpty();
    for (const CVEDLItemArray& track : info.arrAudio) any = any || !track.IsEmpty();
    if (!any) {
      CloseEmpty();
      TopLevelEnd();
      return;
    }
    out_ += '>';
    LineEnd();
    if (!info.arrVideo.IsEmpty()) Track("video", info.arrVideo);
    // Empty audio tracks are left out, so the filled ones close up.
    for (const CVEDLItemArray& track : info.arrAudio)
      if (!track.IsEmpty()) Track("audio", track);
    for (const _VEDL_FILE_INFO_& group : info.arrFile) {
      Open(1, "file");
      Str("grouptype", group.strGroupType);
      Str("mediatype", group.strMediaType);
      Str("pathformat", group.strPathFormat);
      Items("file", group.arrItem);
    }
    out_ += "</vtedl>";
    TopLevelEnd();
  }

 private:
  void Track(std::string_view tag, const CVEDLItemArray& items) {
    Open(1, tag);
    Items(tag, items);
  }

  // Items closes the open tag of `tag` (attributes written) with the items
  // under it, or as an empty element when there are none.
  void Items(std::string_view tag, const CVEDLItemArray& items) {
    if (items.IsEmpty()) {
      CloseEmpty();
      LineEnd();
      return;
    }
    out_ += '>';
    LineEnd();
    for (const _VEDL_ITEM_INFO_& item : items) {
      Open(2, "ref");
      Str("clipfile", item.strClipFile);
      Int("begin", item.llBegin);
      Int("clipbegin", item.llClipBegin);
      Int("clipend", item.llClipEnd);
      Int("cliptype", item.lClipType);
      Int("format", item.lFormat);
      Int("channel", item.lChannel);
      CloseEmpty();
      LineEnd();
    }
    Indent(1);
    out_ += "</";
    out_ += tag;
    out_ += '>';
    LineEnd();
  }
};

}  // namespace

int QVWriteVEDLToFile(const char16_t* path, _VEDL_INFO_* const info) {
  if (!info || !path) return 0;
  try {
    std::string text;
    ListWriterV1(text).Build(*info);
    return edl_io::SaveListText(path, text);
  } catch (const std::bad_alloc&) {
    Debug(u"创建写VEDL文件组件失败: %s", qvp::HResultMessage(E_OUTOFMEMORY));
  }
  return 0;
}

}  // namespace qv_commonclass
