// The attribute readers shared by both routes of the list file reader: how
// one attribute of the root, an item, a physical clip or a format lands in
// the record (not exported).
#pragma once

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <cstdint>
#include <string_view>

#include "edl/edl_debug.h"
#include "edl/edl_numbers.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass::edl_io {

using qvp::XmlAttribute;
using qvp::XmlNode;

// FastInteger reads the plain decimal texts the writer produces ("-12",
// "250") straight from the attribute's terminated text; false for anything
// else, which then takes the general conversion.
template <class T>
inline bool FastInteger(const char* t, T& out) {
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
inline void Typed32(std::string_view text, LONG& field) {
  std::int32_t v;
  if (QVXmlTextToInt32(text, v) == S_OK) field = v;
}
inline void Typed32(const char* text, LONG& field) {
  if (!FastInteger(text, field)) Typed32(std::string_view(text), field);
}
inline void TypedU32(std::string_view text, LONG& field) {
  std::uint32_t v;
  if (QVXmlTextToUInt32(text, v) == S_OK) field = static_cast<LONG>(v);
}
inline void Typed64(std::string_view text, LONGLONG& field) {
  std::int64_t v;
  if (QVXmlTextToInt64(text, v) == S_OK) field = v;
}
inline void Typed64(const char* text, LONGLONG& field) {
  std::int64_t v;
  if (FastInteger(text, field)) return;
  if (QVXmlTextToInt64(std::string_view(text), v) == S_OK) field = v;
}
inline void TypedDouble(std::string_view text, double& field) {
  double v;
  if (QVXmlTextToDouble(text, v) == S_OK) field = v;
}
// Text converts UTF-8 attribute text; plain ASCII (most paths) is widened
// directly.
inline CString Text(std::string_view utf8) {
  unsigned char high = 0;
  for (const char c : utf8) high |= static_cast<unsigned char>(c);
  if (high >= 0x80) return CString(qvp::Utf8ToUtf16(utf8));
  return CString(std::u16string(utf8.begin(), utf8.end()));
}

// Id of an entry looked up by name and converted to a 32-bit integer; false
// when it has none (or it is not a number).
inline bool EntryId(const XmlNode& entry, std::int32_t& id) {
  XmlAttribute a = entry.GetAttributeNode("id");
  return a && QVXmlTextToInt32(a.ValueUtf8(), id) == S_OK;
}

// What one attribute of each element means. Both ways of reading a list (the
// document object and the direct scan below) apply attributes through these,
// so they cannot drift apart. Names are NUL-terminated, and so is the text
// of every value view.

inline void ApplyRefAttribute(_VEDL_ITEM_INFO_2& item, std::string_view n, std::string_view v, bool video) {
  if (n == "clipid") Typed32(v.data(), item.lClipId);
  else if (n == "begin") Typed64(v.data(), item.llBegin);
  else if (n == "clipbegin") Typed64(v.data(), item.llClipBegin);
  else if (n == "clipend") Typed64(v.data(), item.llClipEnd);
  else if (n == "cliptype") Typed32(v.data(), item.lClipType);
  else if (n == "channel") Typed32(v.data(), item.lChannel);
  else if (n == "clipfile") item.strClipFile = Text(v);
  else if (n == "transtype") item.lTransType = video ? Wtol(v) : 2;
}

inline void ApplyMapAttribute(_VEDL_ITEM_INFO_2& item, std::string_view n, std::string_view v) {
  if (n == "clipfile") item.strClipFile = Text(v);
  else if (n == "extfile") item.strExtFile = Text(v);
  else if (n == "fmtid") Typed32(v.data(), item.lFmtId);
}

// An item's format: every value by the C run-time conversion; an empty text
// gives 0.
inline void ApplyItemFormatAttribute(uniEDLClipFileFormat& f, std::string_view n, std::string_view v, bool video) {
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
inline bool ApplyRootAttribute(_VEDL_INFO_2& info, std::string_view n, std::string_view v) {
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
inline bool ReadFormatTableEntry(const Find& find, LONG& id, uniEDLClipFileFormat& f) {
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
inline constexpr std::size_t kTrimEvery = 4096;

inline void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace qv_commonclass::edl_io
