// Reading second-generation list files into _VEDL_INFO_2.
//
// A file in the writer's form is read straight from its bytes (DirectList
// below); anything else, and all text handed over as a string, goes through
// the document object.
//
// Lookups from an item to its physical clip ("map" under "physical") and to
// its file format ("fmt" under "format") are answered from hash indexes that
// are built once per read, on first use, in document order with the first
// entry of an id winning; that gives exactly the results of scanning the
// tables for every item, in time linear in the size of the file.
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <sys/stat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
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
  unsigned char high = 0;
  for (const char c : utf8) high |= static_cast<unsigned char>(c);
  if (high >= 0x80) return CString(qvp::Utf8ToUtf16(utf8));
  return CString(std::u16string(utf8.begin(), utf8.end()));
}

// Id of an entry looked up by name and converted to a 32-bit integer; false
// when it has none (or it is not a number).
bool EntryId(const XmlNode& entry, std::int32_t& id) {
  XmlAttribute a = entry.GetAttributeNode("id");
  return a && QVXmlTextToInt32(a.ValueUtf8(), id) == S_OK;
}

// What one attribute of each element means. Both ways of reading a list (the
// document object and the direct scan below) apply attributes through these,
// so they cannot drift apart. Names are NUL-terminated, and so is the text
// of every value view.

void ApplyRefAttribute(_VEDL_ITEM_INFO_2& item, std::string_view n, std::string_view v, bool video) {
  if (n == "clipid") Typed32(v.data(), item.lClipId);
  else if (n == "begin") Typed64(v.data(), item.llBegin);
  else if (n == "clipbegin") Typed64(v.data(), item.llClipBegin);
  else if (n == "clipend") Typed64(v.data(), item.llClipEnd);
  else if (n == "cliptype") Typed32(v.data(), item.lClipType);
  else if (n == "channel") Typed32(v.data(), item.lChannel);
  else if (n == "clipfile") item.strClipFile = Text(v);
  else if (n == "transtype") item.lTransType = video ? Wtol(v) : 2;
}

void ApplyMapAttribute(_VEDL_ITEM_INFO_2& item, std::string_view n, std::string_view v) {
  if (n == "clipfile") item.strClipFile = Text(v);
  else if (n == "extfile") item.strExtFile = Text(v);
  else if (n == "fmtid") Typed32(v.data(), item.lFmtId);
}

// An item's format: every value by the C run-time conversion; an empty text
// gives 0.
void ApplyItemFormatAttribute(uniEDLClipFileFormat& f, std::string_view n, std::string_view v, bool video) {
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

// One attribute of the root; false when it is a "version" that ends the read
// (a version that is not a number counts as a wrong version).
bool ApplyRootAttribute(_VEDL_INFO_2& info, std::string_view n, std::string_view v) {
  if (n == "length") Typed64(v, info.llLength);
  else if (n == "version") {
    std::uint32_t version = 0;
    if (QVXmlTextToUInt32(v, version) != S_OK) return false;
    info.lVersion = static_cast<LONG>(version);
    if (version != 2 && version != 3) return false;
  } else if (n == "fmtid") Typed32(v, info.lFmtId);
  else if (n == "fps") TypedDouble(v, info.dFps);
  else if (n == "name") info.strName = Text(v);
  else if (n == "maxid") TypedU32(v, info.lMaxId);
  else if (n == "id") info.strId = Text(v);
  return true;
}

// One entry of the root-level format table, read with the present/non-empty
// operations; `find(name)` gives the value of the first attribute of that
// name, or null. False when the entry does not enter the table.
template <class Find>
bool ReadFormatTableEntry(const Find& find, LONG& id, uniEDLClipFileFormat& f) {
  stu_QVEDLItemVideoFormat& v = f.video;
  auto get_long = [&](const char* name, LONG& out) {
    out = 0;
    const char* t = find(name);
    if (!t || !*t) return false;
    out = Wtol(t);
    return true;
  };
  id = 0;
  if (!get_long("id", id) || !get_long("filefmt", v.lFileFmt) || !get_long("videofmt", v.lVideoFmt)) return false;
  if (v.lVideoFmt <= 0) return false;  // audio formats never enter the table
  v.lId = id;
  get_long("width", v.lWidth);
  get_long("height", v.lHeight);
  v.dFps = 0;
  if (const char* t = find("fps"); t && *t) v.dFps = Wtof(t);
  get_long("pixelfmt", v.lPixelFmt);
  get_long("bitrate", v.lBitrate);
  get_long("gopsize", v.lGopSize);
  get_long("bframecount", v.lBFrameCount);
  get_long("pframecount", v.lPFrameCount);
  get_long("CompressType", v.lCompressType);
  get_long("BitsPerPixel", v.lBitsPerPixel);
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

int ReadVEDL2Document(const qvp::XmlDocument& doc, _VEDL_INFO_2& info) {
  try {
    XmlNode root = doc.AsNode().SelectSingleNode("vtedl");
    if (!root) {
      Debug(u"读取VEDL文件根节点<vtedl>失败！");
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
      Debug(u"读取附加edl文件路径节点失败<extedlfile>");
    return 1;
  } catch (const qvp::ComError& e) {
    Debug(u"解析VEDL文件异常: %s", QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(u"解析VEDL文件异常: %s", QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

// ---- Direct scan ------------------------------------------------------------
// Lists as the writer produces them are read without building a document:
// the file is checked against a narrow form of XML, for which the document
// object's view is plain (every name and value is exactly its bytes, the
// text between elements is white space), and then read straight from the
// bytes. Anything outside that form (comments, references, other quoting,
// unknown elements, a list that would fail to read, ...) is left to the
// document route, which then reads the file from scratch; so this path only
// ever gives what the document route would give, faster and in less memory.
//
// The form: an optional declaration exactly as the writer puts it, the
// "vtedl" element, and under it only "video", "audio", "physical",
// "format" and "extedlfile" elements separated by white space. The first
// four hold nothing but empty elements (`<name attributes/>`); "extedlfile"
// holds plain text (no '&', "]]>", carriage return or other control
// character). Attributes are `name="value"` after white space, each name
// once per element (at most kMaxAttributes of them), the value without '<',
// '&', tabs, line breaks or other control characters; names are ASCII
// letters, digits, '_', '-' and '.', starting with a letter or '_'
// (attribute names shorter than 64 bytes). Every byte from 0x80 up must be
// part of UTF-8 for a character XML allows (not U+FFFE, U+FFFF or a
// surrogate).
class DirectList {
 public:
  // Scan checks the form and rewrites the bytes around every attribute in
  // place as Attributes reads them. The text must be followed by 16 NUL
  // bytes. False when the text is not of the form.
  bool Scan(char* text, std::size_t size);

  // Read fills `info` and returns true; false (with `info` untouched) when
  // the document route would fail or say anything but the missing
  // "extedlfile" note.
  bool Read(_VEDL_INFO_2& info) const;

 private:
  enum Kind { kVideo, kAudio, kPhysical, kFormat, kExtEdlFile, kKinds };
  struct Element {
    Kind kind;
    std::vector<const char*> entries;  // attributes of the "ref", "map" or "fmt" children
    std::string_view text;             // "extedlfile": its content
  };

  // Attributes of one scanned element, in order. The scan leaves each as
  // `mark name NUL length value NUL`: the white space byte before the name
  // becomes kNameMark plus the length of the name, and the opening quote
  // holds the length of the value, or 255 for a value of that length or
  // longer.
  class Attributes {
   public:
    explicit Attributes(const char* p) : p_(p) {}
    bool Next(std::string_view& name, std::string_view& value) {
      while (Is(*p_, kSpace)) ++p_;
      if (*p_ == '/' || *p_ == '>') return false;
      const std::size_t name_length = static_cast<unsigned char>(*p_) & ~kNameMark;
      name = std::string_view(p_ + 1, name_length);
      p_ += name_length + 2;  // the mark, the name and its NUL ('=')
      std::size_t length = static_cast<unsigned char>(*p_++);
      if (length == kLongValue) length += std::strlen(p_ + kLongValue);
      value = std::string_view(p_, length);
      p_ += length + 1;
      return true;
    }

   private:
    const char* p_;
  };

  static constexpr std::size_t kLongValue = 255;
  static constexpr std::size_t kMaxAttributes = 32;
  // Marks of attribute names; a longer name is not of the form.
  static constexpr unsigned kNameMark = 0x80;
  static constexpr std::ptrdiff_t kLongName = 0x40;
  enum CharClass : unsigned char { kSpace = 1, kNameStart = 2, kNameChar = 4, kValueChar = 8 };
  // The class bits of every byte.
  static constexpr std::array<unsigned char, 256> kClasses = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
      const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
      const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
      t[c] = static_cast<unsigned char>((space ? kSpace : 0) | (letter ? kNameStart | kNameChar : 0) |
                                        ((c >= '0' && c <= '9') || c == '-' || c == '.' ? kNameChar : 0) |
                                        (c < 0x20 || c >= 0x80 || c == '"' || c == '<' || c == '&' ? 0 : kValueChar));
    }
    t[' '] |= kValueChar;  // a plain space is kept as it is
    return t;
  }();
  static bool Is(char c, unsigned char bits) { return kClasses[static_cast<unsigned char>(c)] & bits; }
  static bool IsSpace(char c) { return Is(c, kSpace); }

  // The first attribute of that name, or null.
  static const char* Find(const char* attributes, std::string_view name) {
    Attributes it(attributes);
    std::string_view n, v;
    while (it.Next(n, v))
      if (n == name) return v.data();
    return nullptr;
  }
  static bool EntryId(const char* attributes, std::int32_t& id) {
    Attributes it(attributes);
    std::string_view n, v;
    while (it.Next(n, v))
      if (n == "id") return QVXmlTextToInt32(v, id) == S_OK;
    return false;
  }

  static std::size_t CharLength(const char* p);
  bool ScanName(char*& p, std::string_view& name) const;
  bool ScanAttributes(char*& p, bool& empty) const;
  bool ScanEndTag(char*& p, std::string_view name) const;
  static char* SkipValue(char* p);
  const Element* First(Kind kind) const {
    for (const Element& e : elements_)
      if (e.kind == kind) return &e;
    return nullptr;
  }
  // The tables items are looked up in, indexed by id (first one wins); the
  // map index is built when an item first needs it.
  struct Lookups {
    Lookups(const Element* p, const Element& f) : physical(p), format(f) {}
    const Element* physical;
    const Element& format;
    edl_io::IdIndex formats;
    edl_io::IdIndex maps;
    bool maps_built = false;
    // Each entry's format, read once per kind of track: position + 1 in
    // `read`, 0 while not read yet.
    std::vector<std::uint32_t> cached[2];
    std::vector<uniEDLClipFileFormat> read[2];
  };
  static bool ReadTrack(const Element& track, std::vector<_VEDL_ITEM_INFO_2>& items, bool video, Lookups& lookups);

  const char* root_attributes_ = nullptr;
  std::vector<Element> elements_;  // the children of the root, in order
};

bool DirectList::ScanName(char*& p, std::string_view& name) const {
  const char* start = p;
  if (!Is(*p, kNameStart)) return false;
  while (Is(*++p, kNameChar)) {
  }
  name = std::string_view(start, static_cast<std::size_t>(p - start));
  return true;
}

// CharLength gives the length of the UTF-8 form of a character XML allows
// at `p` (a byte from 0x80 up), or 0. The text is NUL-terminated, so no read
// goes past a sequence that ends early.
std::size_t DirectList::CharLength(const char* p) {
  const auto b = [p](int i) { return static_cast<unsigned char>(p[i]); };
  const auto tail = [&b](int i) { return (b(i) & 0xC0) == 0x80; };
  if (b(0) >= 0xC2 && b(0) <= 0xDF) return tail(1) ? 2 : 0;
  if (b(0) >= 0xE0 && b(0) <= 0xEF) {
    if (!tail(1) || !tail(2)) return 0;
    if (b(0) == 0xE0 && b(1) < 0xA0) return 0;                  // overlong
    if (b(0) == 0xED && b(1) >= 0xA0) return 0;                 // surrogate
    if (b(0) == 0xEF && b(1) == 0xBF && b(2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (b(0) >= 0xF0 && b(0) <= 0xF4) {
    if (!tail(1) || !tail(2) || !tail(3)) return 0;
    if ((b(0) == 0xF0 && b(1) < 0x90) || (b(0) == 0xF4 && b(1) >= 0x90)) return 0;  // overlong, above U+10FFFF
    return 4;
  }
  return 0;
}

// After an element's name up to and including its '>' ("/>" when `empty`).
bool DirectList::ScanAttributes(char*& at, bool& empty) const {
  char* p = at;  // a local, so that the stores into the text need not update `at`
  // The names so far, to refuse a repeated one (their lengths are in their
  // marks); a name is compared only with those that share its bit in `seen`.
  const char* names[kMaxAttributes];
  std::size_t count = 0;
  std::uint64_t seen = 0;
  for (;;) {
    if (*p == '/' || *p == '>') {
      empty = *p == '/';
      if (empty && *++p != '>') return false;
      at = p + 1;
      return true;
    }
    if (!IsSpace(*p)) return false;
    while (IsSpace(*++p)) {
    }
    if (*p == '/' || *p == '>') continue;
    if (!Is(*p, kNameStart)) return false;
    char* const name = p;
    while (Is(*++p, kNameChar)) {
    }
    if (p[0] != '=' || p[1] != '"' || p - name >= kLongName || count == kMaxAttributes) return false;
    const std::size_t name_length = static_cast<std::size_t>(p - name);
    const std::uint64_t bit = std::uint64_t{1}
                              << ((name_length * 7 + static_cast<unsigned char>(name[0]) + static_cast<unsigned char>(p[-1])) & 63);
    if (seen & bit) {
      for (std::size_t i = 0; i < count; ++i)
        if ((static_cast<unsigned char>(names[i][-1]) & ~kNameMark) == name_length &&
            std::memcmp(names[i], name, name_length) == 0)
          return false;
    }
    seen |= bit;
    names[count++] = name;
    name[-1] = static_cast<char>(kNameMark | name_length);
    *p = '\0';
    char* const quote = p + 1;
    p = SkipValue(p + 2);
    while (static_cast<unsigned char>(*p) >= 0x80) {
      const std::size_t n = CharLength(p);
      if (n == 0) return false;
      p = SkipValue(p + n);
    }
    if (*p != '"') return false;
    const std::size_t length = static_cast<std::size_t>(p - quote - 1);
    *quote = static_cast<char>(length < kLongValue ? length : kLongValue);
    *p++ = '\0';
  }
}

// SkipValue gives the first byte from `p` on that cannot be part of a value
// as it stands (a byte from 0x80 up is checked by the caller).
// The buffer is padded so that whole 16-byte blocks can be read up to its
// terminating NUL.
char* DirectList::SkipValue(char* p) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"'), lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&');
  const __m128i space = _mm_set1_epi8(' ');
  for (;; p += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed, bytes below ' ' and from 0x80 up are both less than ' '.
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, quote), _mm_cmpeq_epi8(b, lt)),
                     _mm_or_si128(_mm_cmpeq_epi8(b, amp), _mm_cmplt_epi8(b, space)));
    if (const int bits = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(bits));
  }
#else
  while (Is(*p, kValueChar)) ++p;
  return p;
#endif
}

bool DirectList::ScanEndTag(char*& p, std::string_view name) const {
  if (p[0] != '<' || p[1] != '/' || std::strncmp(p + 2, name.data(), name.size()) != 0 || p[2 + name.size()] != '>')
    return false;
  p += name.size() + 3;
  return true;
}

bool DirectList::Scan(char* p, std::size_t size) {
  const char* const end = p + size;
  static constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  if (size >= kDeclaration.size() && std::memcmp(p, kDeclaration.data(), kDeclaration.size()) == 0)
    p += kDeclaration.size();
  while (IsSpace(*p)) ++p;
  std::string_view name;
  if (*p++ != '<' || !ScanName(p, name) || name != "vtedl") return false;
  root_attributes_ = p;
  bool empty;
  if (!ScanAttributes(p, empty)) return false;
  while (!empty) {
    while (IsSpace(*p)) ++p;
    if (p[0] == '<' && p[1] == '/') {
      if (!ScanEndTag(p, "vtedl")) return false;
      break;
    }
    if (*p++ != '<' || !ScanName(p, name)) return false;
    static constexpr std::string_view kNames[kKinds] = {"video", "audio", "physical", "format", "extedlfile"};
    static constexpr const char* kEntries[kKinds] = {"ref", "ref", "map", "fmt", nullptr};
    Kind kind = kKinds;
    for (int k = 0; k < kKinds; ++k)
      if (name == kNames[k]) kind = static_cast<Kind>(k);
    if (kind == kKinds) return false;
    Element& e = elements_.emplace_back();
    e.kind = kind;
    bool element_empty;
    if (!ScanAttributes(p, element_empty)) return false;
    if (element_empty) continue;
    if (kind == kExtEdlFile) {
      const char* start = p;
      while (*p != '<') {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80) {
          const std::size_t n = CharLength(p);
          if (n == 0) return false;
          p += n;
          continue;
        }
        if (c == '&' || (c < 0x20 && c != '\t' && c != '\n') || (c == ']' && p[1] == ']' && p[2] == '>'))
          return false;
        ++p;
      }
      // Text of white space alone is no text node.
      const std::string_view text(start, static_cast<std::size_t>(p - start));
      bool blank = true;
      for (char c : text) blank = blank && IsSpace(c);
      if (!blank) e.text = text;
    } else {
      for (;;) {
        while (IsSpace(*p)) ++p;
        if (p[0] != '<' || p[1] == '/') break;
        ++p;
        std::string_view entry;
        if (!ScanName(p, entry)) return false;
        const char* attributes = p;
        bool entry_empty;
        if (!ScanAttributes(p, entry_empty) || !entry_empty) return false;
        if (entry == kEntries[kind]) e.entries.push_back(attributes);
      }
    }
    if (!ScanEndTag(p, name)) return false;
  }
  while (IsSpace(*p)) ++p;
  return p == end;
}

// As DocumentReader::ReadTrack; false where that fails.
bool DirectList::ReadTrack(const Element& track, std::vector<_VEDL_ITEM_INFO_2>& items, bool video,
                           Lookups& lookups) {
  items.reserve(track.entries.size());
  for (const char* ref : track.entries) {
    _VEDL_ITEM_INFO_2& item = items.emplace_back();
    Attributes it(ref);
    std::string_view n, v;
    while (it.Next(n, v)) ApplyRefAttribute(item, n, v, video);
    if (!item.strClipFile.IsEmpty()) {
      item.lClipId = -1;
      continue;
    }
    if (!lookups.physical) return false;
    const std::vector<const char*>& maps = lookups.physical->entries;
    if (!lookups.maps_built) {
      lookups.maps.Reserve(maps.size());
      for (std::size_t i = 0; i < maps.size(); ++i) {
        std::int32_t id;
        if (EntryId(maps[i], id)) lookups.maps.Insert(id, static_cast<std::uint32_t>(i));
      }
      lookups.maps_built = true;
    }
    const std::int64_t m = lookups.maps.Find(item.lClipId);
    if (m < 0) return false;
    Attributes map(maps[static_cast<std::size_t>(m)]);
    while (map.Next(n, v)) ApplyMapAttribute(item, n, v);
    if (item.lClipId == -1) continue;
    const std::int64_t f = lookups.formats.Find(item.lFmtId);
    if (f < 0) continue;
    std::vector<std::uint32_t>& cached = lookups.cached[video];
    std::vector<uniEDLClipFileFormat>& read = lookups.read[video];
    if (cached.empty()) cached.resize(lookups.format.entries.size());
    std::uint32_t& slot = cached[static_cast<std::size_t>(f)];
    if (!slot) {
      uniEDLClipFileFormat& format = read.emplace_back();
      Attributes fmt(lookups.format.entries[static_cast<std::size_t>(f)]);
      while (fmt.Next(n, v)) ApplyItemFormatAttribute(format, n, v, video);
      slot = static_cast<std::uint32_t>(read.size());
    }
    item.uFormat = read[slot - 1];
  }
  return true;
}

bool DirectList::Read(_VEDL_INFO_2& info) const {
  // Failures of the document route that are known before any item: a wrong
  // version, no "video", no "format".
  std::string_view n, v;
  {
    _VEDL_INFO_2 scratch;
    Attributes it(root_attributes_);
    while (it.Next(n, v))
      if (!ApplyRootAttribute(scratch, n, v)) return false;
  }
  const Element* video = First(kVideo);
  const Element* format = First(kFormat);
  if (!video || !format) return false;

  // The tracks are read aside and handed over only when all of them read.
  Lookups lookups(First(kPhysical), *format);
  for (std::size_t i = 0; i < format->entries.size(); ++i) {
    std::int32_t id;
    if (EntryId(format->entries[i], id)) lookups.formats.Insert(id, static_cast<std::uint32_t>(i));
  }
  std::vector<_VEDL_ITEM_INFO_2> tracks[1 + _VEDL_INFO_2::kAudioTracks];
  if (!ReadTrack(*video, tracks[0], true, lookups)) return false;
  std::size_t audio = 0;
  for (const Element& e : elements_) {
    if (e.kind != kAudio || audio == _VEDL_INFO_2::kAudioTracks) continue;
    if (!ReadTrack(e, tracks[1 + audio], false, lookups)) return false;
    ++audio;
  }
  std::vector<std::pair<LONG, uniEDLClipFileFormat>> table;
  for (const char* fmt : format->entries) {
    LONG id;
    uniEDLClipFileFormat f;
    if (ReadFormatTableEntry([fmt](const char* name) { return Find(fmt, name); }, id, f)) table.emplace_back(id, f);
  }

  Attributes it(root_attributes_);
  while (it.Next(n, v)) ApplyRootAttribute(info, n, v);
  info.arrVideo.std_vector() = std::move(tracks[0]);
  for (std::size_t i = 0; i < audio; ++i) info.arrAudio[i].std_vector() = std::move(tracks[1 + i]);
  for (const auto& [id, f] : table) info.mapFormat[id] = f;
  if (const Element* ext = First(kExtEdlFile))
    info.strExtEdlFile = Text(ext->text);
  else
    Debug(u"读取附加edl文件路径节点失败<extedlfile>");
  return true;
}

// ReadDirect reads the list file at `path` (resolved) by the direct scan;
// false, with `info` untouched, when the document route has to read it.
bool ReadDirect(const std::string& path, _VEDL_INFO_2& info) {
  constexpr std::size_t kPadding = 16;  // the terminating NUL and room for block reads
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  struct stat sb {};
  std::unique_ptr<char[]> text;
  std::size_t size = 0;
  try {
    if (::fstat(fileno(f), &sb) == 0 && S_ISREG(sb.st_mode) && sb.st_size > 0 &&
        static_cast<std::uint64_t>(sb.st_size) < SIZE_MAX / 2) {
      size = static_cast<std::size_t>(sb.st_size);
      text.reset(new char[size + kPadding]);
      if (std::fread(text.get(), 1, size, f) != size || std::fgetc(f) != EOF) text.reset();
    }
  } catch (const std::bad_alloc&) {
    text.reset();
  }
  std::fclose(f);
  if (!text) return false;
  std::memset(text.get() + size, 0, kPadding);
  try {
    DirectList list;
    return list.Scan(text.get(), size) && list.Read(info);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

int QVReadVEDLFromFile2(const char16_t* path, _VEDL_INFO_2* info) {
  if (!info || !edl_io::PathExists(path)) return 0;
  info->arrVideo.RemoveAll();
  for (auto& track : info->arrAudio) track.RemoveAll();
  try {
    const std::string resolved = edl_io::ResolvePath(qvp::Utf16ToUtf8(path));
    if (ReadDirect(resolved, *info)) return 1;
    std::unique_ptr<qvp::XmlDocument> doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(u"创建读VEDL文件组件失败!");
      return 0;
    }
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
