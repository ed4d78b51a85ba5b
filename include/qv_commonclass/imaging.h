// Thumbnails and bitmaps: Windows BMP files read and written, decoded
// pictures (tagQVThumbnail), drawing of pixel rows and thumbnails into a
// device context, and paths under the user-interface skin folder.
//
// Pixel rows are in device-independent bitmap order: bottom row first unless
// a height is negative, each row padded to a multiple of 4 bytes; row size =
// ((width x bits per pixel + 31) / 32) x 4 bytes. Files are little-endian: a
// 14-byte file header, a 40-byte BITMAPINFOHEADER, then the rows; no colour
// table is written, and palette pictures are read as raw rows.
//
// Every file call goes through the platform's file seam (qv_platform/fileio.h).
// The loader checks every size from the file before it allocates or reads:
// a picture whose rows would run past the end of the file, a data offset past
// the end, a dimension of 0 or beyond 32767 (or -2^31), a bit count of 0 or
// above 32, or a decoded picture above 512 MiB fails cleanly.
#pragma once

#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "qv_commonclass/export.h"
#include "qv_commonclass/media.h"
#include "qv_platform/cstring.h"
#include "qv_platform/gdi.h"
#include "qv_platform/sync.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// tagQVThumbnail is one decoded picture. It owns pBits (array new, freed by
// the destructor); it is created with new and destroyed with delete, and is
// neither copied nor moved.
struct QV_API tagQVThumbnail {
  // With a nonzero width and height, allocates width x height x bit_count / 8
  // bytes (zeroed when `zero` is true); otherwise pBits is null. Throws
  // std::bad_alloc when the bytes cannot be allocated (or a negative size
  // is asked for).
  tagQVThumbnail(int width = 0, int height = 0, WORD bit_count = 32, bool zero = true);
  ~tagQVThumbnail();
  tagQVThumbnail(const tagQVThumbnail&) = delete;
  tagQVThumbnail& operator=(const tagQVThumbnail&) = delete;

  LONG nWidth = 0;     // width in pixels
  LONG nHeight = 0;    // height in pixels
  WORD wBitCount = 0;  // bits per pixel of pBits
  BYTE* pBits = nullptr;
  LONG lTag = 0;  // the object's lThumbnailTag for a clip thumbnail, else 0
};

// QVSaveBmp writes `bits` as a BMP file at `path` (created or replaced):
// width `width`, height `height` (negative: a top-down file), `bit_count`
// bits per pixel, no compression, data at offset 54, no colour table. With
// `aligned` nonzero, or when rows need no padding, `bits` holds padded rows
// and is written in one piece; otherwise it holds unpadded rows of width x
// bit_count / 8 bytes and each row is written followed by zero bytes up to
// the padded row size. Returns 0 (S_OK) on success, E_FAIL (0x80004005) when
// `bits` is null, a size is not positive (width, |height|, bit count) or the
// image exceeds 4 GiB, or a create or write fails; a partly written file
// stays. The caller keeps `bits`.
QV_API int QVSaveBmp(const CString& path, void* bits, LONG height, LONG width, LONG bit_count, int aligned);

// QVLoadBmp reads the BMP file at `path`. On success returns 1, sets `bits`
// to a new buffer of width x height x 4 bytes (array new; the caller frees it
// with delete[]) and `header` to the file's info header with width and height
// made positive. 16-bit pictures (5-5-5, or BI_BITFIELDS masks) are converted
// to 32-bit pixels B, G, R, 255 without row padding, top or bottom row first
// as in the file, and the header then says 32 bits and width x height x 4
// bytes. Any other bit count is read as the row size x height bytes that
// follow the 40-byte info header (a colour table is read as pixels); its
// header stays as read. On any failure (no such file, a short or failed
// read, a size check of the file comment above) returns 0 with `bits` null;
// `header` is then unspecified. An allocation that fails is traced ("ZORerer",
// "QVLoadBmp", level 1, code 110040001).
QV_API int QVLoadBmp(LPCWSTR path, unsigned char*& bits, BITMAPINFOHEADER& header);
// QVLoadIcon is exactly QVLoadBmp.
QV_API int QVLoadIcon(LPCWSTR path, unsigned char*& bits, BITMAPINFOHEADER& header);
// QVLoadBmpChecked is QVLoadBmp that also says why a load failed: `problem`
// is set to a one-line English description naming the bad value (empty on
// success).
QV_API int QVLoadBmpChecked(LPCWSTR path, unsigned char*& bits, BITMAPINFOHEADER& header, CString& problem);

// QVGetThumbnailFromBitmap loads `path` into a new record (caller deletes
// it). When `path` does not exist: with a null `fallback` the result is
// null; with a `fallback` that exists, the fallback is loaded; otherwise
// `path` is tried anyway. nWidth, nHeight and wBitCount come from the loaded
// header, lTag is 0. Null when the load fails.
QV_API tagQVThumbnail* QVGetThumbnailFromBitmap(LPCWSTR path, LPCWSTR fallback);

// QVStretchBuf sets the stretch mode of `dc` to COLORONCOLOR (it is not
// restored) and stretches the whole picture (`width` x `height`, `bit_count`
// 16, 24 or 32; `orientation` 1 means the top row comes first) over all of
// `rect`, without keeping its proportions. Nothing is drawn when `dc`,
// `rect` or `bits` is null or a size is not positive. `bits` must hold
// row size x height bytes.
QV_API void QVStretchBuf(CDC* dc, CRect* rect, void* bits, LONG width, LONG height, LONG bit_count, LONG orientation);

// QVDrawThumbnail draws the whole picture into `rect` of `dc` with the
// HALFTONE stretch mode (the previous mode is restored), as large as fits
// with its proportions kept and centred on the other axis; the rest of the
// rectangle is left as it was. With `aspect` 2 or 4 the picture is shown in
// 16:9 proportions whatever its pixel size. `orientation` 1: the rows of
// pBits are top row first. Nothing happens when `dc` or `picture` is null,
// its pixels are null, or a size is not positive.
QV_API void QVDrawThumbnail(CDC* dc, CRect& rect, tagQVThumbnail* picture, LONG orientation, LONG aspect);

// QVGetSkinPath returns the skin folder followed directly by `relative` (no
// separator is added; a null `relative` counts as empty). The folder is
// asked once from the common-control library (qv_commonctrl::QV_GetSkinPath:
// $QV_SKIN_DIR, else the "skin" folder beside that library) and kept; an
// empty answer is asked again on the next call.
QV_API CString QVGetSkinPath(LPCWSTR relative);

// ---- Thumbnail cache ---------------------------------------------------------

// CommonBitmap: the stock pictures of the skin folder's "MaterialManagement"
// subfolder, by the value the clients use.
enum CommonBitmap : int {
  QVCB_FOLDER = 1,             // Folder_100.bmp
  QVCB_AUDIO = 2,              // Audio.bmp
  QVCB_VIDEO_CLIP = 3,         // VClip.bmp
  QVCB_TEMPLATE = 4,           // Template.bmp
  QVCB_VIDEO_CLIP_OTHER = 5,   // VClip.bmp
  QVCB_AUDIO_CLIP = 6,         // AClip.bmp
  QVCB_TEMPLATE_OTHER = 7,     // Template.bmp
  QVCB_PROGRAM = 8,            // Program.bmp
  QVCB_EDL = 9,                // EDL_100.bmp
  QVCB_NO_STAMP = 10,          // NoStamp_100.bmp
  QVCB_CG = 11,                // CG_100.bmp
  QVCB_FOLDER_OTHER = 12,      // Folder_100b.bmp
  QVCB_TXT = 13,               // TXT.bmp
  QVCB_POWERPOINT = 14,        // PowerPoint.bmp
  QVCB_WORD = 15,              // Word.bmp
  QVCB_EXCEL = 16,             // Excel.bmp
  QVCB_PDF = 17,               // PDF.bmp
  QVCB_PROJECT = 18,           // Project.bmp
  QVCB_CLIP_BK_NORMAL = 19,    // ClipBKSmall_Normal.bmp
  QVCB_CLIP_BK_SELECTED = 20,  // ClipBKSmall_Selected.bmp
  QVCB_NONE = 21,              // no picture
  QVCB_AUDIO_CLIP_SMALL = 22,  // AudioClipSmall.bmp
  QVCB_LIST_ICON_FIRST = 23,   // ListIcon.bmp, icon i of the strip is 23 + i
  QVCB_LIST_ICON_LAST = 32,
  QVCB_CAPTURE_NORMAL = 33,    // ClipBKCaptureNormal.bmp
  QVCB_CAPTURE_SELECTED = 34,  // ClipBKCaptureSelected.bmp
  QVCB_NO_FILES_NORMAL = 35,   // ClipBKNoFilesNormal.bmp
  QVCB_NO_FILES_SELECTED = 36, // ClipBKNoFilesSelected.bmp
  QVCB_FRAME_SELECTED = 37,    // ClipBKFrame_Select.bmp
  QVCB_FRAME_NORMAL = 38,      // ClipBKFrame_Normal.bmp
};

// CQVBitmapCache is the one process-wide store of pictures: the common
// bitmaps of the skin (by CommonBitmap value) and the clip thumbnails (by
// object id within a thumbnail group). It owns every record in it; a
// returned pointer stays valid until its entry is deleted, replaced or
// evicted, or the cache is cleared.
//
// Threads: every operation may be called from any thread. Lookups share a
// reader lock on the maps and changes take it alone; the instance's
// critical section is held while a clip picture is loaded and stored, so one
// object's file is loaded once however many threads ask for it at once.
// Skin files are looked up as QVGetSkinPath("/MaterialManagement/" name):
// on this platform '/' separates folders.
class QV_API CQVBitmapCache {
 public:
  // instance creates the cache on first use (loading every common bitmap),
  // under the library's process-wide lock. If creation raises, it traces
  // ("CQVBitmapCache::instance", level 2, code 11002004) and returns null;
  // the next call tries again.
  static CQVBitmapCache* instance();
  // DestoryInstance destroys the cache (freeing every picture) and the
  // configuration store; called when the library is unloaded. A later
  // instance() creates a new cache.
  static void DestoryInstance();

  void AddRef();
  // Release lowers the reference count; when it is then below 1 and
  // `clean_up` is true, both caches are cleared. The instance stays.
  void Release(bool clean_up);
  // SetMaximumCount bounds each group of clip thumbnails (5000 at first).
  void SetMaximumCount(int count);

  // GetThumbnail(id, path): the cached common picture for `id`; else, with a
  // `path`, the file is loaded, stored under `id` and returned (null when it
  // does not load); with a null path and an empty common cache, every common
  // bitmap is loaded first. Null when there is nothing for `id`.
  tagQVThumbnail* GetThumbnail(int id, LPCWSTR path);
  // GetThumbnail(id, path): the cached picture, or, when absent and `path` is
  // not empty, LoadThumbFromBMP(id, path) and then the cached picture.
  tagQVThumbnail* GetThumbnail(CommonBitmap id, CString path);
  // LoadThumbFromBMP loads the whole list icon strip for 23 <= id < 33
  // (returns LoadThumbnailList's result); 0 for any other id.
  int LoadThumbFromBMP(CommonBitmap id, CString path);
  // LoadThumbnailList cuts the strip at `path` into square icons (as high as
  // the strip; pixels of the strip's top-left colour become black) stored
  // as 24-bit pictures under first, first + 1, ...; returns 1 (also when the
  // file does not load and nothing is stored).
  int LoadThumbnailList(CommonBitmap first, CString path);
  // LoadThumbnailSingle loads `path` and stores it under `id`: 1 when a
  // picture was stored, else 0.
  int LoadThumbnailSingle(CommonBitmap id, CString path);
  // NewThumbnail: a new record (caller owns it) of the bitmap's pixels at the
  // device's depth (24 bits for a 32-bit device), nWidth and nHeight both the
  // bitmap's height; null when no row could be read.
  tagQVThumbnail* NewThumbnail(CDC& dc, CBitmap& bitmap);
  // InitCommonThumbnails loads every common bitmap; a missing or unreadable
  // file leaves its value empty and the others still load.
  void InitCommonThumbnails();

  // AddClipThumbnail stores `picture` (may be null: "no loadable picture")
  // under (object_id, group), freeing a different picture stored there
  // before, then bounds the group: above the maximum count one other entry
  // (the first in the map's order) is removed and its picture freed.
  void AddClipThumbnail(LONG object_id, LONG group, tagQVThumbnail* picture);
  // DeleteClipThumbnail removes the entry and frees its picture; an emptied
  // group stays.
  void DeleteClipThumbnail(LONG object_id, LONG group);
  // GetThumbnailFromeCache: the stored picture, null when missing.
  tagQVThumbnail* GetThumbnailFromeCache(LONG object_id, LONG group);
  // IsInCache: 1 when the entry exists (also holding null), else 0.
  int IsInCache(LONG object_id, LONG group);
  // GetThumbnail(object, no_load, ...): the picture of a media object. Types
  // 32, 4096 and 16384 use the object's own thumbnail file, loaded once and
  // cached (unless `no_load`; a file that does not load is remembered as
  // null); type 32768 loads its file each time into a new record that the
  // caller owns (common bitmap 10 when it fails); everything else, and the
  // objects without a picture, get the common bitmap of their type and
  // subtype. Null for a null object.
  tagQVThumbnail* GetThumbnail(stu_QVObject* object, int no_load, int, int);
  // ResetThumbnail does nothing and returns 1.
  int ResetThumbnail(stu_QVObject*, int, int);

  void ClearClipCache();
  // ClearCommonCache also sets the counter to 0.
  void ClearCommonCache();
  // CleanUp clears the clip cache, then the common cache.
  void CleanUp();

  CQVBitmapCache(const CQVBitmapCache&) = delete;
  CQVBitmapCache& operator=(const CQVBitmapCache&) = delete;

 private:
  CQVBitmapCache();
  ~CQVBitmapCache();
  tagQVThumbnail* FindCommon(int id) const;
  // Stores `picture` under `id` unless a picture is there already; returns
  // the one that stays (and frees `picture` when it is not that one).
  tagQVThumbnail* StoreCommon(int id, tagQVThumbnail* picture);
  void AddClipLocked(LONG object_id, LONG group, tagQVThumbnail* picture);
  tagQVThumbnail* CommonFor(const stu_QVObject& object);

  using ClipGroup = std::unordered_map<LONG, tagQVThumbnail*>;
  std::unordered_map<int, tagQVThumbnail*> common_;
  std::unordered_map<LONG, ClipGroup> clips_;
  int maximum_count_ = 5000;
  int counter_ = 0;
  int references_ = 0;
  CRITICAL_SECTION load_lock_;
  mutable std::shared_mutex maps_lock_;
  std::mutex init_lock_;
};

}  // namespace qv_commonclass
