// Edit decision lists: the second-generation records, reader and writer.
#pragma once

#include <cstddef>
#include <map>

#include "qv_commonclass/export.h"
#include "qv_commonclass/media.h"
#include "qv_platform/bstr.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/datetime.h"
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
// First-generation list records.
//
// The first generation keeps one video track, eight audio tracks and, for a
// clip-cut list, groups of files. Items name their media file directly; no
// physical or format tables. Plain data with value semantics, like the
// second generation.
// ============================================================================

// One item of a first-generation track: a stretch of a media file.
// As the clip conversions fill it, llBegin is a timeline position in frames
// and llClipBegin / llClipEnd are source points in 100-nanosecond units; the
// reader and writer carry all three as plain 64-bit numbers.
struct QV_API _VEDL_ITEM_INFO_ {
  BYTE abSpare[16] = {};    // not carried by the file; copied with the record
  CString strClipFile;      // "clipfile": media file path
  LONGLONG llBegin = 0;     // "begin": position of the item
  LONGLONG llClipBegin = 0; // "clipbegin": in point in the source
  LONGLONG llClipEnd = 0;   // "clipend": out point in the source
  LONG lClipType = 0;       // "cliptype": 1 video, 2 to 256 audio
  LONG lFormat = 0;         // "format": carried unchanged
  LONG lChannel = 0;        // "channel": file index (0 video, 1 to 8 audio)

  _VEDL_ITEM_INFO_() = default;
  _VEDL_ITEM_INFO_(const _VEDL_ITEM_INFO_& other) = default;
  _VEDL_ITEM_INFO_& operator=(const _VEDL_ITEM_INFO_& other) = default;
  ~_VEDL_ITEM_INFO_() = default;
};

using CVEDLItemArray = CArray<_VEDL_ITEM_INFO_, const _VEDL_ITEM_INFO_&>;

// One file group of a clip-cut list (element "file").
struct QV_API _VEDL_FILE_INFO_ {
  CString strGroupType;   // "grouptype"
  CString strMediaType;   // "mediatype"
  CString strPathFormat;  // "pathformat"
  CVEDLItemArray arrItem; // the "ref" children of the group

  _VEDL_FILE_INFO_() = default;
  _VEDL_FILE_INFO_(const _VEDL_FILE_INFO_& other) = default;
  // Copies the three texts and replaces arrItem by a copy of the other's.
  _VEDL_FILE_INFO_& operator=(const _VEDL_FILE_INFO_& other) = default;
  ~_VEDL_FILE_INFO_() = default;
};

using CVEDLFileArray = CArray<_VEDL_FILE_INFO_, const _VEDL_FILE_INFO_&>;

// A whole first-generation list. Owns its tracks and file groups (by value).
struct QV_API _VEDL_INFO_ {
  static constexpr int kAudioTracks = 8;

  LONG lVersion = 1;          // "version" (read as unsigned 32-bit)
  LONGLONG llLength = 0;      // "length"
  LONG lAudioCount = 0;       // "audiocount" (read as unsigned 32-bit)
  double dFps = 0.0;          // "fps"
  CString strName;            // "name"
  CString strIp;              // "ip"
  CString strCreator;         // "creator"
  CString strId;              // "id"
  // "creationdate": starts as the null date (value 0), which is written as
  // empty text.
  COleDateTime dtCreationDate = NullDate();
  // "isclipcut": any non-zero value makes the list a clip-cut list (read
  // from "file" groups only); a true value reads back as -1.
  BOOL bIsClipCut = 0;
  CVEDLItemArray arrVideo;                // element "video"
  CVEDLItemArray arrAudio[kAudioTracks];  // elements "audio", tracks 0 to 7
  CVEDLFileArray arrFile;                 // elements "file"

  _VEDL_INFO_() = default;
  _VEDL_INFO_(const _VEDL_INFO_& other) = default;
  // Copies every field and replaces every track and arrFile by copies of
  // the other's.
  _VEDL_INFO_& operator=(const _VEDL_INFO_& other) = default;
  ~_VEDL_INFO_() = default;

 private:
  static COleDateTime NullDate() noexcept {
    COleDateTime d;
    d.SetStatus(COleDateTime::null);
    return d;
  }
};

// ----------------------------------------------------------------------------
// Reading and writing first-generation list files.
//
// UTF-8 XML with the root "vtedl" and the root attributes "version",
// "length", "name", "ip", "creator", "creationdate", "id", "audiocount",
// "fps", "isclipcut"; then one "video" element (when the video track has
// items), one "audio" element per non-empty audio track in track order (so
// an element's position is not its track number), and one "file" element
// per file group, each holding "ref" items with the attributes "clipfile",
// "begin", "clipbegin", "clipend", "cliptype", "format", "channel".
// A list whose "isclipcut" is true is read from its "file" groups only,
// any other from its "video" and "audio" elements only; the writer writes
// whatever the record holds. None of these operations throws; failures give
// 0 and a line on the debugger output. Attribute texts that do not convert
// to a field's type leave the field as it was.
// ----------------------------------------------------------------------------

// QVReadVEDL reads XML text into `info` without emptying it first: each
// track the text holds is emptied and refilled, tracks it does not hold keep
// their items, and file groups are appended to arrFile. Returns 1 when the
// text loaded and its tree was read; 0 when `info` is null, the text is not
// well-formed XML, the root is not "vtedl" or a clip-cut list has no usable
// "file" element. After a failure `info` holds what was read so far.
QV_API int QVReadVEDL(const _bstr_t& xml, _VEDL_INFO_* info);

// QVReadVEDLFromFile reads the file at `path`: 0 at once (nothing changed)
// when `info` or `path` is null or the file does not exist; otherwise it
// empties the video track, the eight audio tracks and arrFile (scalar and
// text fields keep their values until the file overwrites them) and reads
// as QVReadVEDL does. Returns 1 or 0.
QV_API int QVReadVEDLFromFile(const char16_t* path, _VEDL_INFO_* info);

// QVWriteVEDLToFile writes `info` to `path`, creating the missing folders
// (CreateFolderForFile), then checks that the file is there (saving again up
// to three times). Returns 1 on success; 0 when `info` or `path` is null or
// a step fails. The whole document is built before anything touches the
// disk, so a list that cannot be built writes nothing. `info` is never
// changed.
QV_API int QVWriteVEDLToFile(const char16_t* path, _VEDL_INFO_* const info);

// ----------------------------------------------------------------------------
// Clip records (stu_QVClipInfo, media.h) and lists.
//
// Clip file positions are frames. A first-generation list keeps source
// points (llClipBegin, llClipEnd) in 100-nanosecond units, 10,000,000 a
// second, and timeline positions (llBegin) in frames; a second-generation
// list keeps frames. The frame rate is the time code rate of the clip's
// video standard (GetTimeCodeFrameRate; the installation's default rate for
// standard 0), counted in whole hundredths of a frame per second, so both
// forms of 29.97 count as 2997. Frames go to 100-nanosecond units by
// ((frames x 10^7) / hundredths) x 100 with the division truncating, and
// come back as the integer part of frames + 0.5 (the nearest frame, halves
// up, for positions from 0 on); a value beyond the 32-bit range of frames
// comes back as 0x80000000. So every non-negative frame count survives a
// round trip at the rate it was converted with.
//
// Ownership: the conversions create the clip file records with new and
// append them to clip->arrClipFile, which owns them (stu_QVClipInfo deletes
// them when it goes); records already there are kept and sorted with the
// new ones, never freed. The list records are plain values; the
// conversions append items to them and never remove any.
//
// Clip files come back in ascending lClipIn order; files with equal in
// points keep the order they were made in (video track first, then audio
// tracks 1 to 8). The conversions write no messages.
// ----------------------------------------------------------------------------

// QVClipInfo2VEDLInfo appends the clip files of `clip` to a first-generation
// list: video files (lClipType 1) to arrVideo, audio files (lClipType 2 to
// 256) to the audio track of their channel (lChannelType 0x2 to 0x100 ->
// track 0 to 7, "channel" 1 to 8). Skipped: null entries, other types, and
// audio files whose channel is none of the eight. Sets lVersion and
// lAudioCount to -1, the four texts to "0", the creation date to now and
// dFps to -1.0: the list does not carry the clip's rate, so a caller that
// converts it back sets dFps first (QVVEDLToClipInfo reads any rate it does
// not know, -1.0 included, as 25); llLength becomes the source out point of
// the last video item when there is one. Returns 1 (also for a null
// `clip`, which changes nothing).
QV_API int QVClipInfo2VEDLInfo(stu_QVClipInfo* clip, _VEDL_INFO_& info);

// QVVEDLToClipInfo appends a clip file for each item of `info` (the video
// track only for a clip-cut list; else the video track, then audio tracks 0
// to 7; file groups are not converted), sets clip->emVideoStandard from
// info.dFps (25 -> 0x1, 29.97 -> 0x2, 30 -> 0x4, 23.98 -> 0x80, 24 -> 0x100,
// 50 -> 0x4000, within 1e-8; any other rate, 59.94 among them, 0x1) and sorts
// clip->arrClipFile. Returns 0 when `clip` is null or arrClipFile is empty
// afterwards, else 1.
QV_API int QVVEDLToClipInfo(stu_QVClipInfo* clip, _VEDL_INFO_& info);

// QVVEDL2ToClipInfo appends a clip file for each item of a second-generation
// list (positions copied as frames), with dwTag set to `dwTag`; video files
// get type and channel 0x1, audio files of track t the type 2 << t and the
// channel 2 << (lChannel - 1), or 0x2 when that is none of the eight. An
// item at position 0 after the first of its track is placed where the item
// before it ends. Copies guidSource into guidObject, sets lInPoint and
// lOutPoint to the lowest in and highest out point of the video files (both
// start from 0) and lLength to their span, and sorts arrClipFile. Returns 0
// when a pointer is null, info->lVersion is neither 2 nor 3 (nothing
// changed), or arrClipFile is empty afterwards; else 1.
QV_API int QVVEDL2ToClipInfo(stu_QVClipInfo* clip, _VEDL_INFO_2* info, unsigned long dwTag);

// QVClipInfo2VEDLInfo2 appends the clip files of `clip` to a second-
// generation list, the way back of QVVEDL2ToClipInfo: video files (type 1)
// to arrVideo, audio files of type 2 << t to audio track t, positions in
// frames, "channel" the file index of lChannelType, items naming their own
// file (lClipId -1). Sets lVersion to 3 and dFps to the clip's rate; llLength
// becomes the end of the last video item when there is one. Returns 0 when
// `clip` is null or no clip file could be placed, else 1.
QV_API int QVClipInfo2VEDLInfo2(stu_QVClipInfo* clip, _VEDL_INFO_2& info);

// ============================================================================
// End of the list records. Reader and writer declarations follow below.
// ============================================================================

// ----------------------------------------------------------------------------
// Reading and writing second-generation list files.
//
// The file is UTF-8 XML with the root element "vtedl" (version 2 or 3 on
// reading, always 3 on writing) holding one "video" track, up to eight
// "audio" tracks of "ref" items, a "physical" table of "map" entries (the
// files of items that carry a physical clip id), a "format" table of "fmt"
// entries and an optional "extedlfile" path. None of these operations throws;
// failures give the documented result and a line on the debugger output
// (OutputDebugStringW).
//
// Paths are Linux paths. As on the original platform, existing files and
// folders are found without regard to the case of their names (an exact
// match is preferred); see CreateFolderForFile for the folder rules.
// ----------------------------------------------------------------------------

// QVReadVEDLFromFile2 reads the file at `path` into `info`. Returns 0 at once
// when `info` or `path` is null or the path does not exist (the record is
// then untouched); otherwise it first empties the video track and all eight
// audio tracks (other fields keep their values until the file's attributes
// overwrite them, mapFormat is only added to) and reads. Returns 1 on
// success, 0 on failure; after a failure `info` holds what was read so far.
QV_API int QVReadVEDLFromFile2(const char16_t* path, _VEDL_INFO_2* info);

// QVReadVEDL2 reads XML text into `info` as QVReadVEDLFromFile2 does, except
// that no track is emptied beforehand: each track the text holds is emptied
// when it is read, the others keep their items. Returns 1 or 0 (0 also for a
// null `info`).
QV_API int QVReadVEDL2(const _bstr_t& xml, _VEDL_INFO_2* info);

// QVWriteVEDLToFile2 writes `info` to `path`, creating the missing folders
// first (see CreateFolderForFile), and checks that the file is there
// afterwards (saving again up to three times). Returns 1 on success; 0 when
// `info` is null or its lVersion is not 3 (no message, no file), or when
// building, folder creation or saving fails. `info` is never changed; after
// a failure the target file may be missing or hold an earlier save.
QV_API int QVWriteVEDLToFile2(const char16_t* path, _VEDL_INFO_2* const info);

// QVVEDL2ToString returns the document QVWriteVEDLToFile2 would write, as
// text (the processing instruction line, then the root element on one line,
// each followed by CR LF). Empty text when `info` is null, its lVersion is
// not 3, or building fails.
QV_API CString QVVEDL2ToString(_VEDL_INFO_2* const info);

// QVGetVEDLVersion reads only the root's "version" attribute of a list file
// (first or second generation) or of XML text. Returns 1 and sets `version`
// when the root is "vtedl": to the attribute's value as a 32-bit integer
// (0 when its text is not a number), or leaves `version` unchanged when the
// root has no "version". Returns 0 when the document cannot be loaded or its
// root is not "vtedl".
QV_API int QVGetVEDLVersion(const char16_t* path, LONG& version);
QV_API int QVGetVEDLVersion(const _bstr_t& xml, LONG& version);

// CreateFolderForFile creates the folders a file path needs. When the path
// contains a dot anywhere it is taken as a file path and its folder is the
// part before the last '/'; a path without a dot is a folder path as a whole.
// Returns 1 when that folder exists (found without regard to case) or has
// been created, 0 otherwise.
//   - Only absolute paths can be created: the root is "/" (it stands for
//     both the drive root and the server-share root of the original
//     platform; "//server/share" is the same as "/server/share" here). A
//     relative path whose folder does not exist, an empty folder part and
//     a path in a Windows form ("C:\...", "\\server\...") give 0.
//     Backslashes are ordinary name characters on Linux.
//   - Each level is looked up without regard to ASCII letter case (an exact
//     match first, else the first case-insensitive match in byte order), so
//     a differently-cased twin of an existing folder is never created.
//   - Missing folders are created with upper-case names (ASCII letters), up
//     to three tries per level.
QV_API int CreateFolderForFile(const char16_t* path);

}  // namespace qv_commonclass
