// Drawing pixel rows and thumbnails into a device context, and the skin
// folder.
#include <cstdint>
#include <mutex>

#include "imaging/imaging_internal.h"
#include "qv_commonclass/imaging.h"
#include "qv_imports/skin.h"

namespace qv_commonclass {

namespace {

BITMAPINFO InfoFor(LONG width, LONG height, WORD bit_count, bool top_down) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = top_down ? -height : height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = bit_count;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(DibRowSize(width, bit_count) * height);
  return info;
}

}  // namespace

void QVStretchBuf(CDC* dc, CRect* rect, void* bits, LONG width, LONG height, LONG bit_count, LONG orientation) {
  if (!dc || !rect || !bits || width <= 0 || height <= 0 || bit_count <= 0 || bit_count > 32) return;
  dc->SetStretchBltMode(COLORONCOLOR);
  const BITMAPINFO info = InfoFor(width, height, static_cast<WORD>(bit_count), orientation == 1);
  StretchDIBits(dc->GetSafeHdc(), rect->left, rect->top, rect->Width(), rect->Height(), 0, 0, width, height, bits,
                &info, DIB_RGB_COLORS, SRCCOPY);
}

void QVDrawThumbnail(CDC* dc, CRect& rect, tagQVThumbnail* picture, LONG orientation, LONG aspect) {
  if (!dc || !picture || !picture->pBits) return;
  std::int64_t w = picture->nWidth, h = picture->nHeight;
  if (w <= 0 || h <= 0) return;
  if (aspect == 2 || aspect == 4) {
    // Shown as 16:9: widen a picture that is at most 16:9 wide, else make it
    // lower. (16/w - 9/h >= 0, compared without division.)
    if (16 * h - 9 * w >= 0) {
      w = h * 16 / 9;
    } else {
      h = w * 9 / 16;
    }
  }
  if (w <= 0 || h <= 0) return;
  const BITMAPINFO info = InfoFor(picture->nWidth, picture->nHeight, picture->wBitCount, orientation == 1);
  const int old_mode = dc->SetStretchBltMode(HALFTONE);
  const std::int64_t W = rect.Width(), H = rect.Height();
  std::int64_t x = rect.left, y = rect.top, dw = W, dh = H;
  if (W * h - H * w < 0) {  // W / w < H / h: the rectangle is relatively taller
    dh = W * h / w;
    y = rect.top + (H - dh) / 2;
  } else {
    dw = H * w / h;
    x = rect.left + (W - dw) / 2;
  }
  StretchDIBits(dc->GetSafeHdc(), static_cast<int>(x), static_cast<int>(y), static_cast<int>(dw),
                static_cast<int>(dh), 0, 0, picture->nWidth, picture->nHeight, picture->pBits, &info, DIB_RGB_COLORS,
                SRCCOPY);
  if (old_mode) dc->SetStretchBltMode(old_mode);
}

CString QVGetSkinPath(LPCWSTR relative) {
  // Kept after the first non-empty answer; the lock only makes the one
  // shared text safe to fill from several threads.
  static std::mutex lock;
  static CString folder;
  CString base;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (folder.IsEmpty()) folder = qv_commonctrl::QV_GetSkinPath(0);
    base = folder;
  }
  return relative ? base + relative : base;
}

}  // namespace qv_commonclass
