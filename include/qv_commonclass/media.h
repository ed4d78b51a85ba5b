// Media timing and descriptors: video standards, frame rates and time code;
// the media object record, the clip records and the status texts.
#pragma once

#include <cstdint>

#include "qv_commonclass/export.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/guid.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// ---- Video standards -------------------------------------------------------

// The product's video standards. Every value is a single bit; the numeric
// values are fixed by the product's data (database rows, list files, drag
// data). A value that is none of the rows below (0, QV_VIDEOSTANDARD_PAL,
// QV_VIDEOSTANDARD_SECAM, several bits, higher bits) is treated as standard
// definition 625 lines: 25 frames per second, 720 x 576. In the time code
// operations 0 means "use the installation's default frame rate".
enum emQVVideoStandard : std::int32_t {
  QV_VIDEOSTANDARD_DEFAULT = 0,
  QV_VIDEOSTANDARD_PAL = 0x1,            // 720 x 576, 25
  QV_VIDEOSTANDARD_NTSC = 0x2,           // 720 x 480, 29.97
  QV_VIDEOSTANDARD_NTSC_30 = 0x4,        // 720 x 480, 30
  QV_VIDEOSTANDARD_SECAM = 0x8,          // 720 x 576, 25
  QV_VIDEOSTANDARD_1080I_50 = 0x10,      // 1920 x 1080, 25
  QV_VIDEOSTANDARD_1080I_5994 = 0x20,    // 1920 x 1080, 29.97
  QV_VIDEOSTANDARD_1080I_60 = 0x40,      // 1920 x 1080, 30
  QV_VIDEOSTANDARD_1080P_2398 = 0x80,    // 1920 x 1080, 23.98 (time code)
  QV_VIDEOSTANDARD_1080P_24 = 0x100,     // 1920 x 1080, 24
  QV_VIDEOSTANDARD_1080P_25 = 0x200,     // 1920 x 1080, 25
  QV_VIDEOSTANDARD_1080P_2997 = 0x400,   // 1920 x 1080, 29.97
  QV_VIDEOSTANDARD_1080P_30 = 0x800,     // 1920 x 1080, 30
  QV_VIDEOSTANDARD_720P_2398 = 0x1000,   // 1280 x 720, 23.98 (time code)
  QV_VIDEOSTANDARD_720P_24 = 0x2000,     // 1280 x 720, 24
  QV_VIDEOSTANDARD_720P_50 = 0x4000,     // 1280 x 720, 50
  QV_VIDEOSTANDARD_720P_5994 = 0x8000,   // 1280 x 720, 59.94
  QV_VIDEOSTANDARD_1440I_50 = 0x10000,   // 1440 x 1080, 25
  QV_VIDEOSTANDARD_1440I_5994 = 0x20000, // 1440 x 1080, 29.97
  QV_VIDEOSTANDARD_1440I_60 = 0x40000,   // 1440 x 1080, 30
};

// The nominal frame rate of a standard: 29.97 and 59.94 as written (double),
// 30 for both 23.98 standards (0x80 and 0x1000), 25 for an unknown value.
QV_API double QV_GetFromVideoStandardToFrameRate(const emQVVideoStandard& standard);

// Lines of a frame of the standard (480, 576, 720 or 1080); 576 when unknown.
QV_API UINT QV_GetSysVideoHeight(const emQVVideoStandard& standard);

// Pixels of a line of the standard (720, 1280, 1440 or 1920); 720 when unknown.
QV_API UINT QV_GetSysVideoWidth(const emQVVideoStandard& standard);

// The frame rate that time code of the standard is counted in. These are
// single-precision values widened to double (29.969999313354492,
// 59.939998626708984, 23.979999542236328) and the numbering of stored time
// code depends on them, so they are deliberately not the exact decimals.
// Any value that is not a table row, negative values included, gives 25.
QV_API double GetTimeCodeFrameRate(LONGLONG standard);

// ---- Frame rates -------------------------------------------------------------

// 1 when 23.0 < rate < 61.0 (both bounds excluded), else 0 (NaN included).
QV_API int QV_IsFrameRateValid(double rate);

// The installation's default frame rate. Read once per process from the
// configuration store ("ADVANCE"/"DefaultFrameRate", hundredths of a frame
// per second, default 2500 written back with its comment when missing).
// A stored 0 reads as 2500; a result outside the valid range gives 25.0 for
// this process without touching the file. Later changes to the file are not
// seen. Never fails.
QV_API double QVGetMediaDefaultFrameRate();

// Makes `rate` the default frame rate of this process and stores it rounded
// to hundredths (29.97 -> 2997, 23.976 -> 2398) without a comment. Returns 0
// and changes nothing when the rate is not valid (QV_IsFrameRateValid); 1
// otherwise. A rate within 0.0005 of the current one writes nothing.
QV_API int QVSetMediaDefaultFrameRate(double rate);

// ---- Media format record -----------------------------------------------------

// A media format as the clients describe it. Only the members below are read
// by the library; the three format codes are the clients' own and must merely
// be non-zero.
struct stu_QVMediaFormatDef {
  LONG lFormatCode1 = 0;
  LONG lFormatCode2 = 0;
  LONG lFormatCode3 = 0;
  UINT uWidth = 0;   // pixels
  UINT uHeight = 0;  // lines
  emQVVideoStandard emVideoStandard = QV_VIDEOSTANDARD_DEFAULT;
  double dFrameRate = 0.0;  // frames per second
};

// 1 when the three format codes, the width and the height are non-zero, the
// frame rate is valid (QV_IsFrameRateValid) and the width and height are
// those of the record's video standard; else 0. The frame rate is not
// compared with the standard's rate.
QV_API int QVCheckMediaFormatValid(const stu_QVMediaFormatDef& format);

// ---- Time code ---------------------------------------------------------------

// The time code text of frame `frames`: "HH:MM:SS:FF", or "HH:MM.SS:FF" (full
// stop between minutes and seconds) for the drop-frame numbering of rates
// between 29 and 30. Standard 0 uses QVGetMediaDefaultFrameRate(). Hours
// wrap at 24, except that exactly 24 hours reads "24:00:00:00" at non-drop
// rates. Negative counts are outside the contract: their fields wrap as
// 16-bit unsigned numbers (or, at the exact 30000/1001 rate, the count is
// read as unsigned) and the text shows those values.
QV_API CString QV_GetStringFromTimeCode(LONG frames, emQVVideoStandard standard);

// The frame number of time code text. The text is read by position: hours at
// characters 0-1, minutes 3-4, seconds 6-7, frames 9-10; the separators are
// not looked at. Each field reads like the C runtime's integer conversion
// (leading blanks, a sign, digits up to the first non-digit). Returns 0 for
// a null or short (under 11 characters) text and for a field out of range
// (hours > 99, minutes or seconds > 59, frames >= the rounded-up rate), which
// cannot be told from "00:00:00:00". A dropped frame number (:00 or :01 at
// the start of a minute that is not a tenth one, at rates between 29 and 30)
// reads as the first existing frame of that minute. Standard 0 uses
// QVGetMediaDefaultFrameRate(). Never raises.
QV_API LONG QV_FromStringToTimeCode(const char16_t* text, emQVVideoStandard standard);

// ---- Media object record ----------------------------------------------------------
//
// stu_QVObject describes one item of the material library (a clip, a
// programme, a folder entry). The clients create records with `new` and
// destroy them through the virtual destructor; the virtual operations keep
// this slot order: GetObjectKind, IsKindOf, the destructor.
//
// The members keep the product's record shape: besides the named ones the
// record carries members that only the client applications interpret
// (named *Reserved* here); the library initialises them and never reads
// them. long is the 32-bit LONG.
class QV_API stu_QVObject {
 public:
  // Every member gets its initial value through Reset().
  stu_QVObject();
  stu_QVObject(const stu_QVObject&) = default;
  stu_QVObject& operator=(const stu_QVObject&) = default;

  // GetObjectKind: 1 for the base record (3 for a clip record).
  virtual LONG GetObjectKind() const;
  // IsKindOf: true when `kind` is a kind this record is (the base record: 1).
  virtual bool IsKindOf(LONG kind) const;
  // The destructor resets the members (Reset()) before the texts go.
  virtual ~stu_QVObject();

  // Reset sets every member to its initial value below, except
  // lReserved0, which construction sets to 0 once and Reset leaves alone.
  void Reset();

  LONG lReserved0 = 0;
  LONG lObjectID;              // 0: the object's number
  GUID guidObject;             // all zero
  LONG lObjectType;            // 0: object type code (chooses the thumbnail)
  LONGLONG llObjectSubType;    // 0: subtype or format code
  BYTE byReserved1[12];        // zeroed
  CString strReserved1;
  CString strReserved2;
  LONG lThumbnailTag;          // 0: tag copied into a clip thumbnail
  CString strThumbnailFile;    // path of the thumbnail bitmap
  LONG lLength;                // 0: total length, frames
  LONG lInPoint;               // 0: timeline in-point, frames
  LONG lOutPoint;              // 0: timeline out-point, frames
  LONG lReserved1;             // 0
  double dReserved1;           // 0.0
  LONG lReserved2;             // 0
  double dReserved2;           // 0.0
  double dReserved3;           // 0.0
  LONG lReserved3;             // 0
  LONG lReserved4;             // 0
  double dReserved4;           // 0.0
  double dReserved5;           // 0.0
  double dReserved6;           // 0.0
  double dReserved7;           // 0.0
  LONG lReserved5;             // 0
  double dReserved8;           // 0.0
  emQVVideoStandard emVideoStandard;  // 0: the clip's video standard
  BYTE byReserved2[16];        // zeroed (with emVideoStandard: 20 bytes)
  CString strReserved3;
  BYTE byReserved3[12];        // zeroed
  CString strReserved4;
  CString strReserved5;
  CString strReserved6;
  CString strReserved7;
  CString strReserved8;
  CString strReserved9;
  CString strReserved10;
  CString strArchiveNote;      // the archive note: "<Reserved4>...</Reserved4>" XML
  LONGLONG llModifyFlag;       // all bits set: change mask (0x1000 in-point, 0x2000 out-point)
  LONG lReserved6;             // 0
  LONG lReserved7;             // 0
  CString strReserved11;
  CString strReserved12;
  BYTE byReserved4[16];        // zeroed
  LONG lThumbnailGroup;        // 0: outer key of the clip thumbnail cache
  LONG lReserved8;             // -1
  LONG lReserved9;             // -1
  BYTE byReserved5[16];        // zeroed
  CString strReserved13;
  CString strReserved14;
};

// The change-mask bits QVModifyClipInOut sets in llModifyFlag.
inline constexpr LONGLONG QV_MODIFY_INPOINT = 0x1000;
inline constexpr LONGLONG QV_MODIFY_OUTPOINT = 0x2000;

// stu_QVClipFile: one stretch of a media file on the video track or one of
// the eight audio tracks of a clip. Positions are frames.
class QV_API stu_QVClipFile {
 public:
  stu_QVClipFile();
  stu_QVClipFile(const stu_QVClipFile&) = default;
  stu_QVClipFile& operator=(const stu_QVClipFile&) = default;
  // The destructor resets the members before the texts go.
  virtual ~stu_QVClipFile();
  // Reset sets every member to its initial value (lSpare1, lSpare7 and
  // lSpare8 are set to 0 once at construction and left alone).
  void Reset();

  LONG lSpare1 = 0;
  LONG lSpare2;       // 0
  ULONG dwTag;        // 0
  LONG lClipType;     // 0: 1 video, 2 << t audio track t (0..7)
  LONG lBegin;        // 0: timeline in-point
  LONG lEnd;          // 0: timeline out-point
  LONG lClipIn;       // 0: in point within the media file
  LONG lClipOut;      // 0: out point within the media file
  LONG lDuration;     // 0
  LONG lChannelType;  // 0: 0x1 video, 0x2..0x100 audio channels 1-8, 0x80000 a further channel
  LONGLONG llSpare;   // 0
  CString strClipFile;
  LONG lSpare3;       // 0
  LONG lSpare4;       // 0
  LONG lSpare5;       // -1
  LONG lSpare7 = 0;
  LONG lSpare8 = 0;
  LONG lSpare6;       // 0
  CString strSpare1;
  double dSpare;      // 0.0
  CString strSpare2;
  CString strSpare3;
  CString strSpare4;
};

// stu_QVClipInfo: the clip record, the media object of kind 3. It owns the
// clip file records arrClipFile points to and deletes them when it goes.
// Copying is not allowed (it would share the clip files).
class QV_API stu_QVClipInfo : public stu_QVObject {
 public:
  stu_QVClipInfo();
  stu_QVClipInfo(const stu_QVClipInfo&) = delete;
  stu_QVClipInfo& operator=(const stu_QVClipInfo&) = delete;
  ~stu_QVClipInfo() override;

  // 3; IsKindOf is true for 1 (a media object) and 3.
  LONG GetObjectKind() const override;
  bool IsKindOf(LONG kind) const override;

  GUID guidSource;                                  // all zero
  CArray<stu_QVClipFile*, stu_QVClipFile*> arrClipFile;  // owned
};

// stu_QVDragHeaderDef: the header of the product's drag-and-drop data.
struct stu_QVDragHeaderDef {
  LONG lVersion = 0;
  LONG lType = 0;
  LONG lSource = 0;
  CString strUserCode;
  CString strIpAddress;
  LONG lSiteId = 0;
};

// ---- Media object functions -------------------------------------------------------

// QVReleaseObjectData deletes every non-null record of `objects` through its
// virtual destructor and empties the array. Always 1.
QV_API int QVReleaseObjectData(CArray<stu_QVObject*, stu_QVObject*>& objects);

// QVClipTypeToFileIndex: the file index of a clip type mask by its lowest
// set bit among 0x1 -> 0, 0x2 -> 1, ... 0x100 -> 8; when none of those is
// set, 0x80000 -> 9; otherwise 0. So 0x6 is 1, 0x80001 is 0, 0 is 0.
QV_API ULONG QVClipTypeToFileIndex(ULONG clipType);

// QVGetMediaTypeStr: 1 and "video", "Audio1" ... "Audio8" for the single
// bits 0x1 ... 0x100; 0 with `text` unchanged for any other value.
QV_API int QVGetMediaTypeStr(ULONG mediaType, CString& text);

// QVGetDragHeader reads the children of `doc`'s root element into `header`
// with the typed readers, none required, defaults 0: "VERSION", "TYPE",
// "SOURCE", "USERCODE", "IPADDRESS", "SITEID". A missing number gives 0, a
// missing text "". Always 1.
QV_API int QVGetDragHeader(CQVXmlDomDocument& doc, stu_QVDragHeaderDef& header);

// QVModifyClipInOut sets a clip's lInPoint to the lowest lBegin and its
// lOutPoint to the highest lEnd of its clip files, marking each change in
// llModifyFlag (QV_MODIFY_INPOINT, QV_MODIFY_OUTPOINT). 1 when either
// changed; 0 when neither did, or when `object` is null, not a clip
// (IsKindOf(3) false) or has no clip files. Null clip file pointers are
// skipped.
QV_API int QVModifyClipInOut(stu_QVObject* object);

// QVGetValidSearchCondition rewrites a search text for the full-text search:
// a blank becomes "+", "+" and "-" become blanks, and "/" escapes the next
// character: "/ " and "/&" give "+", "/+" nothing, "/-" "-", "/|" a blank,
// "/x" x. A "/" at the very end is dropped. "" gives "".
QV_API CString QVGetValidSearchCondition(CString& condition);

// QVSetElementToArchiveNote sets the value `name` in the object's archive
// note (after trimming the note in place): an empty note becomes
// "<Reserved4><name>value</name></Reserved4>" (inserted as they stand,
// without escaping); a note that is XML gets the child's text replaced, or
// a child appended when there is none; a note that is not XML is replaced
// whole by the one-element note. 1 when the note is not empty afterwards,
// else 0 (also for a null object).
QV_API int QVSetElementToArchiveNote(stu_QVObject* object, CString name, CString value);

// QVGetElementFromArchiveNote reads the value `name` from the object's
// archive note: 0 with `value` empty when the object is null, the trimmed
// note is empty or not XML; otherwise 1 with the child's text, or 1 with ""
// when the note has no such child.
QV_API int QVGetElementFromArchiveNote(stu_QVObject* const& object, CString name, CString& value);

// QVTechTypeToString: the name of a segment found by the technical check of
// material (1 "黑场段" black ... 9 "RGB值超标段", 256 "音频静音" audio
// silence, 257 "音量超标", 258 "音频削波"); "UnKown" for any other code.
QV_API CString QVTechTypeToString(LONG techType);

// QVGetArchiveFlagString: the resource text (RMLoadString) of the archive
// state `flag`: 0 normal, 1 submitted, 2 finished, 3 failed, 4 scheduled,
// 0x10 archived in the asset system, 0x11..0x13 retrieve submitted /
// finished / failed; any other value the "unknown" text.
QV_API CString QVGetArchiveFlagString(LONG flag);

// QVGetCaptureFlagString: the resource text of the capture or processing
// state `flag`, chosen by exact value (0x1 capture ... 0x4000
// transmitting); any other value, combinations of bits included, the
// "normal" text.
QV_API CString QVGetCaptureFlagString(LONG flag);

// The resource keys behind the two functions above (for tools and tests):
// the key of `flag`, as chosen there.
QV_API const char16_t* QVArchiveFlagKey(LONG flag);
QV_API const char16_t* QVCaptureFlagKey(LONG flag);

}  // namespace qv_commonclass
