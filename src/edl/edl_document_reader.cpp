// The document route of the list file reader: any list, read through the
// document object.
//
// Lookups from an item to its physical clip ("map" under "physical") and to
// its file format ("fmt" under "format") are answered from hash indexes that
// are built once per read, on first use, in document order with the first
// entry of an id winning; that gives exactly the results of scanning the
// tables for every item, in time linear in the size of the file.
#include "edl/edl_attributes.h"
#include "edl/edl_id_index.h"
#include "edl/edl_readers.h"

namespace qv_commonclass::edl_io {

namespace {

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

  // An item's format, read once per entry and kind of track.
  static void ReadItemFormat(const XmlNode& fmt, uniEDLClipFileFormat& f, bool video) {
    for (XmlAttribute a = fmt.FirstAttribute(); a; a = a.Next())
      ApplyItemFormatAttribute(f, a.NameUtf8(), a.ValueUtf8(), video);
  }

  XmlNode root_;
  bool maps_built_ = false;
  bool formats_built_ = false;
  qvp::XmlNodeList maps_;
  qvp::XmlNodeList formats_;
  IdIndex maps_index_;
  IdIndex formats_index_;
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
      for (XmlAttribute a = ref.FirstAttribute(); a; a = a.Next())
        ApplyRefAttribute(item, a.NameUtf8(), a.ValueUtf8(), video);
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
        for (XmlAttribute a = maps_.Item(static_cast<long>(m)).FirstAttribute(); a; a = a.Next())
          ApplyMapAttribute(item, a.NameUtf8(), a.ValueUtf8());
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
    auto find = [&e](const char* name) -> const char* {
      XmlAttribute a = e.GetAttributeNode(name);
      return a ? a.ValueC() : nullptr;
    };
    uniEDLClipFileFormat f;
    LONG id;
    if (!ReadFormatTableEntry(find, id, f)) continue;
    info.mapFormat[id] = f;
  }
  return 1;
}

}  // namespace

int ReadVEDL2Document(const qvp::XmlDocument& doc, _VEDL_INFO_2& info) {
  try {
    XmlNode root = doc.AsNode().SelectSingleNode("vtedl");
    if (!root) {
      Debug(kMsgRootMissing);
      return 0;
    }
    for (XmlAttribute a = root.FirstAttribute(); a; a = a.Next())
      if (!ApplyRootAttribute(info, a.NameUtf8(), a.ValueUtf8())) return 0;
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
      Debug(kMsgExtFileMissing);
    return 1;
  } catch (const qvp::ComError& e) {
    Debug(kMsgParseException, QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(kMsgParseException, QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

}  // namespace qv_commonclass::edl_io
