// Edit decision lists: the second-generation records, reader and writer.
#pragma once

#include <cstddef>
#include <map>

#include "qv_commonclass/export.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/guid.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// ============================================================================
// Second-generation list records.
//
// Plain data with value semantics. Every "l" field is a signed 32-bit LONG
// (not the platform's 64-bit long) and every "ll" field a signed 64-bit
// LONGLONG, so the records keep the field sizes the file format and the
// clients were written against.
// ============================================================================

// The file format of an audio item. No constructor of its own: call init()
// for the defaults (every field 0). Part of uniEDLClipFileFormat.
struct QV_API stu_QVEDLItemAudioFormat {
  LONG lId;             // format id
  LONG lFileFmt;        // file format code
  double dFps;          // frame rate
  LONG lAudioFmt;       // audio coding format code
  LONG lChannels;       // channel count
  LONG lSampleRate;     // sample rate
  LONG lBitsPerSample;  // bits per sample

  // Sets every field to 0.
  void init() noexcept;
  // Nonzero when every field except lId is equal; dFps compares exactly, so
  // two NaN frame rates make the formats unequal.
  int operator==(const stu_QVEDLItemAudioFormat& other) const noexcept;
  // 1 when operator== gives 0, else 0.
  int operator!=(const stu_QVEDLItemAudioFormat& other) const noexcept;
  // Copies every field.
  stu_QVEDLItemAudioFormat& operator=(const stu_QVEDLItemAudioFormat& other) = default;
};

// The file format of a video item. No constructor of its own: call init()
// for the defaults (lId -1, every other field 0). Part of uniEDLClipFileFormat.
struct QV_API stu_QVEDLItemVideoFormat {
  LONG lId;            // format id
  LONG lFileFmt;       // file format code
  double dFps;         // frame rate
  LONG lVideoFmt;      // video coding format code
  LONG lWidth;         // picture width
  LONG lHeight;        // picture height
  LONG lPixelFmt;      // pixel format code
  LONG lBitrate;       // bit rate
  LONG lGopSize;       // GOP size
  LONG lBFrameCount;   // B-frame count
  LONG lPFrameCount;   // P-frame count
  LONG lBitsPerPixel;  // bits per pixel
  LONG lCompressType;  // compression type

  // Sets lId to -1 and every other field to 0.
  void init() noexcept;
  // Nonzero when every field except lId is equal; dFps compares exactly, so
  // two NaN frame rates make the formats unequal.
  int operator==(const stu_QVEDLItemVideoFormat& other) const noexcept;
  // 1 when operator== gives 0, else 0.
  int operator!=(const stu_QVEDLItemVideoFormat& other) const noexcept;
  // Copies every field.
  stu_QVEDLItemVideoFormat& operator=(const stu_QVEDLItemVideoFormat& other) = default;
};

// The file format of one item, seen as audio or as video. Both views lie on
// one storage and overlay field by field from the start: lId, lFileFmt and
// dFps are shared; lAudioFmt lies on lVideoFmt, lChannels on lWidth,
// lSampleRate on lHeight and lBitsPerSample on lPixelFmt.
//
// The two members are standard-layout structs and the whole audio record is a
// common initial sequence of the video record (same member types in the same
// order, checked below), so reading any audio field through the video view,
// or the other way round, reads the same bytes. Writing through one view and
// reading through the other is the documented union behaviour of the
// compilers this library supports (GCC and Clang define reads of the member
// not last written); the sanitizer builds run the tests that rely on it.
union QV_API uniEDLClipFileFormat {
  stu_QVEDLItemAudioFormat audio;
  stu_QVEDLItemVideoFormat video;

  // lId -1 and every other field 0 (the audio defaults followed by the video
  // defaults).
  uniEDLClipFileFormat() noexcept;
  uniEDLClipFileFormat(const uniEDLClipFileFormat& other) = default;
  // Copies the whole union (every field of the larger, video view): both
  // members are trivially copyable, so the copy is of the bytes, whichever
  // view was written last.
  uniEDLClipFileFormat& operator=(const uniEDLClipFileFormat& other) = default;
};

static_assert(offsetof(stu_QVEDLItemAudioFormat, lId) == offsetof(stu_QVEDLItemVideoFormat, lId));
static_assert(offsetof(stu_QVEDLItemAudioFormat, lFileFmt) == offsetof(stu_QVEDLItemVideoFormat, lFileFmt));
static_assert(offsetof(stu_QVEDLItemAudioFormat, dFps) == offsetof(stu_QVEDLItemVideoFormat, dFps));
static_assert(offsetof(stu_QVEDLItemAudioFormat, lAudioFmt) == offsetof(stu_QVEDLItemVideoFormat, lVideoFmt));
static_assert(offsetof(stu_QVEDLItemAudioFormat, lChannels) == offsetof(stu_QVEDLItemVideoFormat, lWidth));
static_assert(offsetof(stu_QVEDLItemAudioFormat, lSampleRate) == offsetof(stu_QVEDLItemVideoFormat, lHeight));
static_assert(offsetof(stu_QVEDLItemAudioFormat, lBitsPerSample) == offsetof(stu_QVEDLItemVideoFormat, lPixelFmt));
static_assert(sizeof(uniEDLClipFileFormat) == sizeof(stu_QVEDLItemVideoFormat));

// One item of a track: a stretch of a media file placed on the timeline.
// Positions are 64-bit counts in the list's time unit.
struct QV_API _VEDL_ITEM_INFO_2 {
  LONG lSpare = 0;             // not carried by the file; never read
  LONG lClipId = -1;           // physical clip id; -1: the item names its own file
  GUID guidSpare = GUID_NULL;  // not carried by the file; never read
  LONG lFmtId = -1;            // id of the item's file format
  LONG lFormat = 0;            // written as the reference's "format"; not read back
  LONGLONG llClipEnd = 0;      // out point within the source
  CString strExtFile;          // side file of the physical clip
  CString strClipFile;         // media file path
  LONGLONG llBegin = 0;        // position on the list's timeline
  LONGLONG llSpare = 0;        // not carried by the file
  LONGLONG llClipBegin = 0;    // in point within the source
  LONG lClipType = 0;          // clip type code
  LONG lChannel = 0;           // channel
  uniEDLClipFileFormat uFormat;  // the item's file format (lId -1, rest 0)
  LONG lTransType = -1;        // transition type

  _VEDL_ITEM_INFO_2() = default;
  _VEDL_ITEM_INFO_2(const _VEDL_ITEM_INFO_2& other) = default;
  _VEDL_ITEM_INFO_2& operator=(const _VEDL_ITEM_INFO_2& other) = default;
  ~_VEDL_ITEM_INFO_2() = default;
};

// Two free texts that travel with an item; the library only constructs,
// copies and destroys them.
struct QV_API _VEDL_ITEM_EXTENTION {
  CString strText1;
  CString strText2;

  _VEDL_ITEM_EXTENTION() = default;
  _VEDL_ITEM_EXTENTION(const _VEDL_ITEM_EXTENTION& other) = default;
  _VEDL_ITEM_EXTENTION& operator=(const _VEDL_ITEM_EXTENTION& other) = default;
  ~_VEDL_ITEM_EXTENTION() = default;
};

using CVEDLItemArray2 = CArray<_VEDL_ITEM_INFO_2, const _VEDL_ITEM_INFO_2&>;

// A whole second-generation list. Owns its tracks, their items (by value)
// and its format table; destroying the record destroys all of them.
// The library never assigns ids: callers set lClipId, lFmtId, uFormat.lId,
// lFormat and lMaxId, and may use the three lookups to reuse an id.
struct QV_API _VEDL_INFO_2 {
  static constexpr int kAudioTracks = 8;

  LONG lVersion = 1;      // format version: the writer takes only 3, the reader 2 or 3
  LONGLONG llLength = 0;  // length of the list
  double dFps = 0.0;      // frame rate of the list
  CString strName;        // list name
  CString strId;          // list identifier text
  LONG lFmtId = -1;       // list format id
  LONG lMaxId = 0;        // highest id in use; kept by the caller
  CVEDLItemArray2 arrVideo;                // the video track
  CVEDLItemArray2 arrAudio[kAudioTracks];  // audio tracks 1 to 8 (index 0 to 7)
  CString strExtEdlFile;  // path of an additional list file
  // Root-level table of video formats keyed by format id; filled by the
  // reader only and never copied by operator=.
  std::map<LONG, uniEDLClipFileFormat> mapFormat;

  _VEDL_INFO_2() = default;
  _VEDL_INFO_2(const _VEDL_INFO_2&) = delete;
  ~_VEDL_INFO_2() = default;

  // Copies the list-wide values and replaces every track of this record with
  // copies of the other's items, in order. mapFormat is NOT copied: this
  // record keeps its own table. Assigning a record to itself changes nothing.
  _VEDL_INFO_2& operator=(const _VEDL_INFO_2& other);

  // The lClipId of the first item naming the same files as item: equal
  // strExtFile and equal strClipFile (exact, case-sensitive). Searches the
  // video track when bVideo is nonzero, else audio tracks 0 to 7 in order.
  // -1 when nothing matches (or when the matching item itself has id -1).
  LONG GetSamePhysicalItemId(const _VEDL_ITEM_INFO_2& item, int bVideo) const;
  // The uFormat.lId of the first audio-track item (tracks 0 to 7, items in
  // order) whose audio format equals fmt, lId ignored. -1 when none.
  // The video track is not searched.
  LONG GetSameAudioFormatId(const stu_QVEDLItemAudioFormat& fmt) const;
  // The uFormat.lId of the first video-track item whose video format equals
  // fmt, lId ignored. -1 when none. Audio tracks are not searched.
  LONG GetSameVedioFormatId(const stu_QVEDLItemVideoFormat& fmt) const;
};

// ============================================================================
// End of the list records. Reader and writer declarations follow below.
// ============================================================================

}  // namespace qv_commonclass
