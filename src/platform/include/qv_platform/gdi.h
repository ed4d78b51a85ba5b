// Graphics device interface: device contexts over a real 32-bit raster in
// memory, memory bitmaps, clip regions, stretch modes and StretchDIBits.
//
// Pixels are stored as 32-bit words 0x00RRGGBB (bytes B, G, R, unused in
// memory, the order of a 32-bit device-independent bitmap), rows top first.
// Raster, scaling and region algebra are pixman's; the functions keep the
// Windows results (row counts, region types, previous modes, 0 on failure).
//
// There is no screen: CreateCompatibleDC(nullptr) gives a memory context
// "compatible with the display", a 32-bit, one-plane device of 1920 x 1080
// whose own bitmap is 1 x 1 until a bitmap is selected into it, as on
// Windows. Coordinates are device pixels (no mapping modes, no world
// transform). A context is used by one thread at a time.
#pragma once

#include <cstdint>

#include "qv_platform/cstring.h"
#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

// The file header of a BMP file, packed as on disk (14 bytes).
#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // negative: rows top first
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

// With BI_BITFIELDS the three colour masks (red, green, blue) follow the
// header in bmiColors.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[3];
};

using COLORREF = DWORD;  // 0x00BBGGRR
inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) { return r | (g << 8) | (static_cast<DWORD>(b) << 16); }

struct HDC__;
struct HGDIOBJ__;
using HDC = HDC__*;
using HGDIOBJ = HGDIOBJ__*;
using HBITMAP = HGDIOBJ;  // a memory bitmap
using HRGN = HGDIOBJ;     // a region

inline constexpr DWORD BI_RGB = 0;
inline constexpr DWORD BI_BITFIELDS = 3;
inline constexpr UINT DIB_RGB_COLORS = 0;
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr DWORD BLACKNESS = 0x00000042;
inline constexpr DWORD WHITENESS = 0x00FF0062;

// Stretch modes. COLORONCOLOR takes the nearest source pixel; HALFTONE
// averages the source area under each target pixel (and interpolates when
// enlarging). The two others act as COLORONCOLOR on a colour device.
inline constexpr int BLACKONWHITE = 1;
inline constexpr int WHITEONBLACK = 2;
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;

// Region combination modes and region types.
inline constexpr int RGN_AND = 1;
inline constexpr int RGN_OR = 2;
inline constexpr int RGN_XOR = 3;
inline constexpr int RGN_DIFF = 4;
inline constexpr int RGN_COPY = 5;
inline constexpr int RGN_ERROR = 0;
inline constexpr int NULLREGION = 1;
inline constexpr int SIMPLEREGION = 2;
inline constexpr int COMPLEXREGION = 3;

// Device capability indexes.
inline constexpr int HORZRES = 8;
inline constexpr int VERTRES = 10;
inline constexpr int BITSPIXEL = 12;
inline constexpr int PLANES = 14;

// CreateCompatibleDC: a new memory context compatible with `dc` (null: the
// display). Null when out of memory. Free it with DeleteDC.
QVP_API HDC CreateCompatibleDC(HDC dc);
// DeleteDC frees the context; the bitmap selected into it stays alive and
// becomes free to be selected elsewhere. FALSE for a null context.
QVP_API BOOL DeleteDC(HDC dc);
// CreateCompatibleBitmap: a 32-bit bitmap of width x height pixels, all
// black. Null when a size is not positive, above 32767, or memory runs out.
QVP_API HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// SelectObject selects a bitmap into a memory context and returns the one it
// replaces (null on failure: not a bitmap, or a bitmap selected into another
// context). A region is selected as the clip region (a copy, as
// SelectClipRgn) and the result is then the region type cast to HGDIOBJ.
QVP_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// DeleteObject frees a bitmap or region. A bitmap still selected into a
// context is refused (FALSE), as on Windows.
QVP_API BOOL DeleteObject(HGDIOBJ object);
// GetDeviceCaps: HORZRES and VERTRES (the selected bitmap's size), BITSPIXEL
// (32) and PLANES (1); 0 for anything else.
QVP_API int GetDeviceCaps(HDC dc, int index);

// SetStretchBltMode returns the previous mode, or 0 when `mode` is not one
// of the four modes or `dc` is null. A new context is in BLACKONWHITE.
QVP_API int SetStretchBltMode(HDC dc, int mode);
QVP_API int GetStretchBltMode(HDC dc);

// StretchDIBits draws the source rectangle (x_src, y_src, src_width,
// src_height) of the device-independent bitmap `bits` into the target
// rectangle with the context's stretch mode, inside the clip region.
// Supported: 16 bits (BI_RGB as 5-5-5, or BI_BITFIELDS with any masks), 24
// and 32 bits (BI_RGB), either orientation (a negative biHeight means top
// row first), rows padded to 4 bytes. The source rectangle is measured from
// the top-left of the picture. Only SRCCOPY and DIB_RGB_COLORS are
// supported. Returns the number of source rows used, 0 on any failure
// (null or unsupported arguments, a rectangle outside the picture, sizes
// that are not positive); nothing is drawn then.
QVP_API int StretchDIBits(HDC dc, int x_dest, int y_dest, int dest_width, int dest_height, int x_src, int y_src,
                          int src_width, int src_height, const void* bits, const BITMAPINFO* info, UINT usage,
                          DWORD rop);
// PatBlt fills a rectangle (clipped) with black (BLACKNESS) or white
// (WHITENESS); any other operation fails (FALSE).
QVP_API BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
// GetPixel: the colour at (x, y), or 0xFFFFFFFF (CLR_INVALID) outside the
// bitmap or the clip region.
QVP_API COLORREF GetPixel(HDC dc, int x, int y);
// SetPixel sets one pixel (clipped) and returns the colour set, or
// 0xFFFFFFFF when nothing was set.
QVP_API COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
// GetDIBits copies rows start..start+lines-1 (counted from the bottom, as a
// bottom-up DIB counts them) of `bitmap` into `bits` as a 24- or 32-bit DIB
// of the orientation that `info`'s biHeight asks for, filling in biSizeImage.
// With null `bits` only the header is filled (width, height, 32 bits).
// Returns the number of rows copied; 0 on failure.
QVP_API int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);

// CreateRectRgn: the region of the rectangle; an empty or inverted rectangle
// gives an empty region. Null when out of memory.
QVP_API HRGN CreateRectRgn(int left, int top, int right, int bottom);
QVP_API HRGN CreateRectRgnIndirect(const RECT* rect);
// CombineRgn sets `dest` to `a` op `b` (`b` unused for RGN_COPY); `dest` may
// be `a` or `b`. Returns the type of the result, RGN_ERROR on failure.
QVP_API int CombineRgn(HRGN dest, HRGN a, HRGN b, int mode);
// OffsetRgn moves the region; returns its type.
QVP_API int OffsetRgn(HRGN region, int dx, int dy);
// GetRgnBox: the bounding rectangle; returns the region's type.
QVP_API int GetRgnBox(HRGN region, RECT* box);
QVP_API BOOL PtInRegion(HRGN region, int x, int y);
QVP_API BOOL EqualRgn(HRGN a, HRGN b);
// SelectClipRgn makes a copy of `region` the clip region of the context; a
// null region removes clipping. Returns the type of the new clip region
// (SIMPLEREGION without one), RGN_ERROR on failure.
QVP_API int SelectClipRgn(HDC dc, HRGN region);
// GetClipBox: the bounding rectangle of the area that can be drawn (the
// selected bitmap within the clip region); returns its region type, or
// RGN_ERROR for a null context.
QVP_API int GetClipBox(HDC dc, RECT* box);

namespace qvp {

// Raster of the bitmap selected into `dc`: pointer to the top row (0x00RRGGBB
// words), width, height and the row stride in bytes. Null when `dc` is null.
// Valid until the bitmap is deselected or deleted.
QVP_API std::uint32_t* DCPixels(HDC dc, int* width, int* height, int* stride);

// SaveDCToPng writes the raster selected into `dc` as an 8-bit RGB PNG file
// at `path` (replacing it), through the file seam. False when the context
// is null, the image cannot be encoded, or a create or write fails; a
// partly written file is removed.
QVP_API bool SaveDCToPng(HDC dc, const char16_t* path);

}  // namespace qvp

// ---- The framework's graphics classes ---------------------------------------
// Thin owners of the handles above, with the members the library uses.

class CRect : public RECT {
 public:
  CRect() = default;
  CRect(LONG l, LONG t, LONG r, LONG b) : RECT{l, t, r, b} {}
  CRect(const RECT& r) : RECT(r) {}  // NOLINT: implicit like the framework's
  LONG Width() const noexcept { return right - left; }
  LONG Height() const noexcept { return bottom - top; }
  bool IsRectEmpty() const noexcept { return right <= left || bottom <= top; }
  friend bool operator==(const CRect& a, const CRect& b) noexcept {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }
};

class CGdiObject {
 public:
  CGdiObject() = default;
  ~CGdiObject() { DeleteObject(); }
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;
  BOOL DeleteObject() {
    if (!m_hObject) return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    if (ok) m_hObject = nullptr;
    return ok;
  }
  HGDIOBJ GetSafeHandle() const noexcept { return m_hObject; }
  HGDIOBJ m_hObject = nullptr;
};

class CBitmap : public CGdiObject {
 public:
  BOOL CreateCompatibleBitmap(class CDC* dc, int width, int height);
};

class CRgn : public CGdiObject {
 public:
  BOOL CreateRectRgn(int l, int t, int r, int b) {
    m_hObject = ::CreateRectRgn(l, t, r, b);
    return m_hObject != nullptr;
  }
  int CombineRgn(CRgn* a, CRgn* b, int mode) {
    return ::CombineRgn(m_hObject, a ? a->m_hObject : nullptr, b ? b->m_hObject : nullptr, mode);
  }
};

// CDC owns its context when it created it (CreateCompatibleDC); Attach lends
// one without ownership.
class CDC {
 public:
  CDC() = default;
  ~CDC() {
    if (owned_) DeleteDC();
  }
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  BOOL CreateCompatibleDC(CDC* other) {
    m_hDC = ::CreateCompatibleDC(other ? other->m_hDC : nullptr);
    owned_ = m_hDC != nullptr;
    return owned_;
  }
  BOOL DeleteDC() {
    if (!m_hDC) return FALSE;
    const BOOL ok = ::DeleteDC(m_hDC);
    m_hDC = nullptr;
    owned_ = false;
    return ok;
  }
  void Attach(HDC dc) { m_hDC = dc, owned_ = false; }
  HDC GetSafeHdc() const noexcept { return m_hDC; }
  // Selects the bitmap; returns the handle of the one it replaces (null on
  // failure), to be selected back before the bitmap is freed.
  HGDIOBJ SelectObject(CBitmap* bitmap) { return ::SelectObject(m_hDC, bitmap ? bitmap->m_hObject : nullptr); }
  HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
  int SelectClipRgn(CRgn* region) { return ::SelectClipRgn(m_hDC, region ? region->m_hObject : nullptr); }
  int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
  int GetStretchBltMode() const { return ::GetStretchBltMode(m_hDC); }
  int GetClipBox(RECT* box) const { return ::GetClipBox(m_hDC, box); }
  int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
  COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
  BOOL PatBlt(int x, int y, int w, int h, DWORD rop) { return ::PatBlt(m_hDC, x, y, w, h, rop); }

  HDC m_hDC = nullptr;

 private:
  bool owned_ = false;
};

inline BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
  m_hObject = ::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height);
  return m_hObject != nullptr;
}

namespace qvp {

// MemoryCanvas: a memory context compatible with the display with a black
// bitmap of width x height selected; the bitmap is selected out again and
// both are freed when the canvas goes. ok() is false when either could not
// be made (a size not positive or above 32767, or no memory).
class MemoryCanvas {
 public:
  MemoryCanvas(int width, int height) {
    if (dc.CreateCompatibleDC(nullptr) && bitmap.CreateCompatibleBitmap(&dc, width, height)) {
      stock_ = dc.SelectObject(&bitmap);
    }
  }
  ~MemoryCanvas() {
    if (stock_) dc.SelectObject(stock_);
  }
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;
  bool ok() const noexcept { return stock_ != nullptr; }

  CDC dc;
  CBitmap bitmap;

 private:
  HGDIOBJ stock_ = nullptr;
};

}  // namespace qvp
