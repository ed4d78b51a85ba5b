// The direct route of the list file reader: lists in the writer's form,
// read straight from their bytes.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "edl/edl_attributes.h"
#include "edl/edl_id_index.h"
#include "edl/edl_readers.h"
#include "qv_platform/file_content.h"

namespace qv_commonclass::edl_io {

namespace {

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
    IdIndex formats;
    IdIndex maps;
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
    Debug(kMsgExtFileMissing);
  return true;
}

}  // namespace

bool ReadDirect(const std::string& path, _VEDL_INFO_2& info) {
  constexpr std::size_t kPadding = 16;  // the terminating NUL and room for block reads
  qvp::FileBytes text;
  if (qvp::ReadWholeFile(path, text, SIZE_MAX / 2, kPadding) != 0 || text.size == 0) return false;
  std::memset(text.data.get() + text.size, 0, kPadding);
  try {
    DirectList list;
    return list.Scan(text.data.get(), text.size) && list.Read(info);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace qv_commonclass::edl_io
