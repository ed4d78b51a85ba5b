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

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"
#include "qv_platform/gdi.h"
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

}  // namespace qv_commonclass
