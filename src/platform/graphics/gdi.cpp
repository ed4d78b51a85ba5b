// Device contexts, bitmaps and regions on pixman.
//
// A bitmap is a pixman image in x8r8g8b8 (the memory layout of a 32-bit DIB
// row). StretchDIBits wraps the caller's rows in a pixman image without
// copying whenever pixman has the format (32-bit, 24-bit, 5-5-5 and 5-6-5),
// and lets one transform pick the source rectangle, flip a bottom-up picture
// and scale it; the context's clip region becomes the target image's clip
// for the one composite. HALFTONE first averages whole blocks of source
// pixels in one pass over the rows (down to less than twice the target),
// then pixman's separable box filter takes the remaining factor; enlarging
// interpolates linearly.
#include "qv_platform/gdi.h"

#include <fcntl.h>
#include <pixman.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "qv_platform/fileio.h"

struct HGDIOBJ__ {
  enum class Kind { kBitmap, kRegion };
  explicit HGDIOBJ__(Kind k) : kind(k) {}
  virtual ~HGDIOBJ__() = default;
  const Kind kind;
};

namespace {

struct Bitmap final : HGDIOBJ__ {
  Bitmap() : HGDIOBJ__(Kind::kBitmap) {}
  ~Bitmap() override {
    if (image) pixman_image_unref(image);
  }
  pixman_image_t* image = nullptr;
  HDC selected_in = nullptr;
};

struct Region final : HGDIOBJ__ {
  Region() : HGDIOBJ__(Kind::kRegion) { pixman_region32_init(&r); }
  ~Region() override { pixman_region32_fini(&r); }
  pixman_region32_t r;
};

constexpr int kMaxSide = 32767;
constexpr int kDisplayWidth = 1920, kDisplayHeight = 1080;
constexpr COLORREF kInvalidColour = 0xFFFFFFFFu;

Bitmap* AsBitmap(HGDIOBJ o) { return o && o->kind == HGDIOBJ__::Kind::kBitmap ? static_cast<Bitmap*>(o) : nullptr; }
Region* AsRegion(HGDIOBJ o) { return o && o->kind == HGDIOBJ__::Kind::kRegion ? static_cast<Region*>(o) : nullptr; }

Bitmap* NewBitmap(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  auto* b = new (std::nothrow) Bitmap;
  if (!b) return nullptr;
  b->image = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, width * 4);
  if (!b->image) {
    delete b;
    return nullptr;
  }
  return b;
}

int RegionType(const pixman_region32_t* r) {
  const int n = pixman_region32_n_rects(const_cast<pixman_region32_t*>(r));
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

}  // namespace

struct HDC__ {
  HDC__() { pixman_region32_init(&clip); }
  ~HDC__() { pixman_region32_fini(&clip); }
  std::unique_ptr<Bitmap> stock;  // the 1 x 1 bitmap of a new memory context
  Bitmap* bitmap = nullptr;       // the one selected
  int stretch_mode = BLACKONWHITE;
  bool has_clip = false;
  pixman_region32_t clip;
};

namespace {

int Width(const HDC__* dc) { return pixman_image_get_width(dc->bitmap->image); }
int Height(const HDC__* dc) { return pixman_image_get_height(dc->bitmap->image); }

// The area a drawing may touch: the bitmap, within the clip region.
void DrawableArea(const HDC__* dc, pixman_region32_t* out) {
  pixman_region32_init_rect(out, 0, 0, static_cast<unsigned>(Width(dc)), static_cast<unsigned>(Height(dc)));
  if (dc->has_clip) pixman_region32_intersect(out, out, const_cast<pixman_region32_t*>(&dc->clip));
}

// Runs one composite onto the context's bitmap with the clip in force.
void Composite(HDC__* dc, pixman_image_t* src, int x, int y, int w, int h) {
  pixman_image_t* dst = dc->bitmap->image;
  if (dc->has_clip) pixman_image_set_clip_region32(dst, &dc->clip);
  pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, x, y, w, h);
  if (dc->has_clip) pixman_image_set_clip_region32(dst, nullptr);
}

struct ImageRef {
  pixman_image_t* p = nullptr;
  ImageRef() = default;
  explicit ImageRef(pixman_image_t* i) : p(i) {}
  ImageRef(const ImageRef&) = delete;
  ImageRef& operator=(const ImageRef&) = delete;
  ImageRef& operator=(ImageRef&& o) noexcept {
    std::swap(p, o.p);
    return *this;
  }
  ~ImageRef() {
    if (p) pixman_image_unref(p);
  }
};

int CountBits(DWORD mask) { return __builtin_popcount(mask); }
int LowBit(DWORD mask) { return mask ? __builtin_ctz(mask) : 0; }

// Expands a 16-bit pixel with arbitrary channel masks to 0x00RRGGBB.
std::uint32_t Expand16(std::uint16_t v, const DWORD masks[3]) {
  std::uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    const DWORD m = masks[c];
    const int bits = CountBits(m);
    std::uint32_t x = bits ? (v & m) >> LowBit(m) : 0;
    if (bits >= 8) {
      x >>= bits - 8;
    } else if (bits > 0) {
      x = (x << (8 - bits)) | (x >> (2 * bits > 8 ? 2 * bits - 8 : 0));
      x &= 0xFF;
    }
    out |= x << (16 - 8 * c);
  }
  return out;
}

// Wraps (or, when pixman has no matching format, converts) the DIB's rows.
// `rows` is the whole picture in memory order; `owned` receives a converted
// copy when one was needed.
pixman_image_t* WrapRows(const BITMAPINFO* info, const void* bits, int width, int height, std::size_t row_size,
                         std::vector<std::uint32_t>& owned) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  pixman_format_code_t format{};
  DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (h.biCompression == BI_BITFIELDS) {
    std::memcpy(masks, info->bmiColors, sizeof masks);
  } else if (h.biCompression != BI_RGB) {
    return nullptr;
  }
  switch (h.biBitCount) {
    case 32:
      if (h.biCompression == BI_BITFIELDS && !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF))
        return nullptr;
      format = PIXMAN_x8r8g8b8;
      break;
    case 24:
      if (h.biCompression != BI_RGB) return nullptr;
      format = PIXMAN_r8g8b8;
      break;
    case 16:
      if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) {
        format = PIXMAN_x1r5g5b5;
      } else if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
        format = PIXMAN_r5g6b5;
      } else {
        owned.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
          const auto* row = static_cast<const std::uint8_t*>(bits) + row_size * static_cast<std::size_t>(y);
          for (int x = 0; x < width; ++x) {
            std::uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            owned[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                Expand16(v, masks);
          }
        }
        return pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, owned.data(), width * 4);
      }
      break;
    default:
      return nullptr;
  }
  // pixman reads whole 32-bit words; a buffer that is not word aligned is
  // copied first.
  if (reinterpret_cast<std::uintptr_t>(bits) % 4 != 0) {
    owned.resize(row_size * static_cast<std::size_t>(height) / 4);
    std::memcpy(owned.data(), bits, row_size * static_cast<std::size_t>(height));
    bits = owned.data();
  }
  return pixman_image_create_bits(format, width, height, static_cast<std::uint32_t*>(const_cast<void*>(bits)),
                                  static_cast<int>(row_size));
}

void SetTransform(pixman_image_t* img, double sx, double sy, double tx, double ty) {
  pixman_transform_t t;
  pixman_transform_init_identity(&t);
  t.matrix[0][0] = pixman_double_to_fixed(sx);
  t.matrix[0][2] = pixman_double_to_fixed(tx);
  t.matrix[1][1] = pixman_double_to_fixed(sy);
  t.matrix[1][2] = pixman_double_to_fixed(ty);
  pixman_image_set_transform(img, &t);
}

// Averages the source rectangle (sw x sh at x0, y0 in picture coordinates)
// down to nw x nh pixels in one pass over the rows: target pixel (i, j) is
// the mean of the source pixels from column i*sw/nw and row j*sh/nh up to
// the next target's. This is the area average with block edges on whole
// pixels. The rows of one band are first added byte by byte (a loop the
// compiler vectorises), then each band's sums are added across the blocks;
// this reads every source byte once and keeps a 1920 x 1080 picture within
// a couple of milliseconds, where pixman has no fast path that reads 24-bit
// rows. `bpp` is 3 or 4 bytes per pixel; 16-bit rows are widened to 3 bytes
// per pixel first.
pixman_image_t* ReduceBlocks(const BITMAPINFO* info, const std::uint8_t* rows, std::size_t row_size, bool top_down,
                             int height, int x0, int y0, int sw, int sh, int nw, int nh) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const bool wide16 = h.biBitCount == 16;
  DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (wide16 && h.biCompression == BI_BITFIELDS) std::memcpy(masks, info->bmiColors, sizeof masks);
  const std::size_t bpp = wide16 ? 3 : h.biBitCount / 8;
  pixman_image_t* out = pixman_image_create_bits(PIXMAN_x8r8g8b8, nw, nh, nullptr, nw * 4);
  if (!out) return nullptr;
  std::uint32_t* data = pixman_image_get_data(out);
  std::vector<std::size_t> edge(static_cast<std::size_t>(nw) + 1);
  for (int i = 0; i <= nw; ++i) edge[static_cast<std::size_t>(i)] = static_cast<std::size_t>(static_cast<std::int64_t>(i) * sw / nw);
  const std::size_t band_bytes = static_cast<std::size_t>(sw) * bpp;
  std::vector<std::uint32_t> acc(band_bytes);
  std::vector<std::uint8_t> widened(wide16 ? band_bytes : 0);
  for (int j = 0; j < nh; ++j) {
    const int first = y0 + static_cast<int>(static_cast<std::int64_t>(j) * sh / nh);
    const int last = y0 + static_cast<int>(static_cast<std::int64_t>(j + 1) * sh / nh);
    std::fill(acc.begin(), acc.end(), 0u);
    for (int y = first; y < last; ++y) {
      const int memory_row = top_down ? y : height - 1 - y;
      const std::uint8_t* row = rows + row_size * static_cast<std::size_t>(memory_row);
      const std::uint8_t* p;
      if (wide16) {
        for (int x = 0; x < sw; ++x) {
          std::uint16_t v;
          std::memcpy(&v, row + 2 * static_cast<std::size_t>(x0 + x), 2);
          const std::uint32_t c = Expand16(v, masks);
          std::uint8_t* o = &widened[static_cast<std::size_t>(x) * 3];
          o[0] = static_cast<std::uint8_t>(c), o[1] = static_cast<std::uint8_t>(c >> 8),
          o[2] = static_cast<std::uint8_t>(c >> 16);
        }
        p = widened.data();
      } else {
        p = row + static_cast<std::size_t>(x0) * bpp;
      }
      std::uint32_t* a = acc.data();
      for (std::size_t k = 0; k < band_bytes; ++k) a[k] += p[k];
    }
    std::uint32_t* out_row = data + static_cast<std::size_t>(j) * static_cast<std::size_t>(nw);
    const auto rows_in = static_cast<std::uint32_t>(last - first);
    for (int i = 0; i < nw; ++i) {
      const std::size_t from = edge[static_cast<std::size_t>(i)], to = edge[static_cast<std::size_t>(i) + 1];
      std::uint32_t b = 0, g = 0, r = 0;
      for (std::size_t x = from; x < to; ++x) b += acc[x * bpp], g += acc[x * bpp + 1], r += acc[x * bpp + 2];
      const std::uint32_t n = rows_in * static_cast<std::uint32_t>(to - from);
      out_row[i] = ((r + n / 2) / n) << 16 | ((g + n / 2) / n) << 8 | ((b + n / 2) / n);
    }
  }
  return out;
}

// Sets the HALFTONE filter for a scale (source pixels per target pixel) per
// axis: a box average when shrinking, linear interpolation when enlarging.
bool SetHalftoneFilter(pixman_image_t* img, double sx, double sy) {
  int n = 0;
  const bool shrink_x = sx > 1.0, shrink_y = sy > 1.0;
  pixman_fixed_t* params = pixman_filter_create_separable_convolution(
      &n, pixman_double_to_fixed(shrink_x ? sx : 1.0), pixman_double_to_fixed(shrink_y ? sy : 1.0),
      shrink_x ? PIXMAN_KERNEL_IMPULSE : PIXMAN_KERNEL_LINEAR, shrink_y ? PIXMAN_KERNEL_IMPULSE : PIXMAN_KERNEL_LINEAR,
      shrink_x ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE, shrink_y ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE, 2, 2);
  if (!params) return false;
  const bool ok = pixman_image_set_filter(img, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
  std::free(params);
  return ok;
}

}  // namespace

HDC CreateCompatibleDC(HDC) {
  auto* dc = new (std::nothrow) HDC__;
  if (!dc) return nullptr;
  dc->stock.reset(NewBitmap(1, 1));
  if (!dc->stock) {
    delete dc;
    return nullptr;
  }
  dc->bitmap = dc->stock.get();
  dc->bitmap->selected_in = dc;
  return dc;
}

BOOL DeleteDC(HDC dc) {
  if (!dc) return FALSE;
  if (dc->bitmap) dc->bitmap->selected_in = nullptr;
  delete dc;
  return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) { return NewBitmap(width, height); }

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!dc || !object) return nullptr;
  if (Region* r = AsRegion(object)) {
    return reinterpret_cast<HGDIOBJ>(static_cast<std::intptr_t>(SelectClipRgn(dc, r)));
  }
  Bitmap* b = AsBitmap(object);
  if (!b || (b->selected_in && b->selected_in != dc)) return nullptr;
  Bitmap* previous = dc->bitmap;
  previous->selected_in = nullptr;
  b->selected_in = dc;
  dc->bitmap = b;
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object) return FALSE;
  if (Bitmap* b = AsBitmap(object); b && b->selected_in) return FALSE;
  delete object;
  return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
  if (!dc) return 0;
  switch (index) {
    case HORZRES:
      return dc->bitmap == dc->stock.get() ? kDisplayWidth : Width(dc);
    case VERTRES:
      return dc->bitmap == dc->stock.get() ? kDisplayHeight : Height(dc);
    case BITSPIXEL:
      return 32;
    case PLANES:
      return 1;
    default:
      return 0;
  }
}

int SetStretchBltMode(HDC dc, int mode) {
  if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  const int previous = dc->stretch_mode;
  dc->stretch_mode = mode;
  return previous;
}

int GetStretchBltMode(HDC dc) { return dc ? dc->stretch_mode : 0; }

int StretchDIBits(HDC dc, int x_dest, int y_dest, int dest_width, int dest_height, int x_src, int y_src, int src_width,
                  int src_height, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (!dc || !bits || !info || usage != DIB_RGB_COLORS || rop != SRCCOPY) return 0;
  if (dest_width <= 0 || dest_height <= 0 || src_width <= 0 || src_height <= 0) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const bool top_down = h.biHeight < 0;
  const std::int64_t width = h.biWidth, height = top_down ? -static_cast<std::int64_t>(h.biHeight) : h.biHeight;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return 0;
  if (x_src < 0 || y_src < 0 || x_src + static_cast<std::int64_t>(src_width) > width ||
      y_src + static_cast<std::int64_t>(src_height) > height)
    return 0;
  const std::size_t row_size = static_cast<std::size_t>((width * h.biBitCount + 31) / 32 * 4);

  std::vector<std::uint32_t> owned;
  ImageRef src(WrapRows(info, bits, static_cast<int>(width), static_cast<int>(height), row_size, owned));
  if (!src.p) return 0;
  pixman_image_set_repeat(src.p, PIXMAN_REPEAT_PAD);

  // Picture coordinates (top row first) of the source rectangle's corner,
  // and the pixels of source per pixel of target.
  double sx = static_cast<double>(src_width) / dest_width, sy = static_cast<double>(src_height) / dest_height;
  double left = x_src, top = y_src;
  int image_height = static_cast<int>(height);
  ImageRef reduced;
  if (dc->stretch_mode == HALFTONE && (sx >= 2.0 || sy >= 2.0)) {
    // Average whole blocks down to at most twice the target on each axis,
    // then let the box filter below take the remaining factor.
    const int nw = sx >= 2.0 ? std::max(dest_width, static_cast<int>(src_width / std::floor(sx))) : src_width;
    const int nh = sy >= 2.0 ? std::max(dest_height, static_cast<int>(src_height / std::floor(sy))) : src_height;
    reduced = ImageRef(ReduceBlocks(info, static_cast<const std::uint8_t*>(bits), row_size, top_down,
                                    static_cast<int>(height), x_src, y_src, src_width, src_height, nw, nh));
    if (!reduced.p) return 0;
    sx = static_cast<double>(nw) / dest_width, sy = static_cast<double>(nh) / dest_height;
    left = top = 0;
    image_height = nh;
  }
  pixman_image_t* source = reduced.p ? reduced.p : src.p;
  pixman_image_set_repeat(source, PIXMAN_REPEAT_PAD);
  const bool flip = !reduced.p && !top_down;
  SetTransform(source, sx, flip ? -sy : sy, left, flip ? image_height - top : top);
  if (dc->stretch_mode == HALFTONE && (sx != 1.0 || sy != 1.0)) {
    if (!SetHalftoneFilter(source, sx, sy)) return 0;
  } else {
    pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  Composite(dc, source, x_dest, y_dest, dest_width, dest_height);
  return src_height;
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (!dc || (rop != BLACKNESS && rop != WHITENESS)) return FALSE;
  if (width <= 0 || height <= 0) return TRUE;
  pixman_color_t colour{};
  if (rop == WHITENESS) colour = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  ImageRef fill(pixman_image_create_solid_fill(&colour));
  if (!fill.p) return FALSE;
  Composite(dc, fill.p, x, y, width, height);
  return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  if (!dc || x < 0 || y < 0 || x >= Width(dc) || y >= Height(dc)) return kInvalidColour;
  if (dc->has_clip && !pixman_region32_contains_point(&dc->clip, x, y, nullptr)) return kInvalidColour;
  const auto* data = pixman_image_get_data(dc->bitmap->image);
  const int stride = pixman_image_get_stride(dc->bitmap->image) / 4;
  const std::uint32_t p = data[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(x)];
  return RGB(static_cast<BYTE>(p >> 16), static_cast<BYTE>(p >> 8), static_cast<BYTE>(p));
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
  if (GetPixel(dc, x, y) == kInvalidColour) return kInvalidColour;
  auto* data = pixman_image_get_data(dc->bitmap->image);
  const int stride = pixman_image_get_stride(dc->bitmap->image) / 4;
  data[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(x)] =
      ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
  return colour & 0xFFFFFF;
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  Bitmap* b = AsBitmap(bitmap);
  if (!dc || !b || !info || usage != DIB_RGB_COLORS) return 0;
  const int w = pixman_image_get_width(b->image), h = pixman_image_get_height(b->image);
  BITMAPINFOHEADER& hdr = info->bmiHeader;
  if (!bits) {
    hdr = BITMAPINFOHEADER{40, w, h, 1, 32, BI_RGB, static_cast<DWORD>(w * h * 4), 0, 0, 0, 0};
    return h;
  }
  if (hdr.biBitCount != 24 && hdr.biBitCount != 32) return 0;
  if (start >= static_cast<UINT>(h)) return 0;
  const UINT count = std::min<UINT>(lines, static_cast<UINT>(h) - start);
  const bool top_down = hdr.biHeight < 0;
  const std::size_t row_size = (static_cast<std::size_t>(w) * hdr.biBitCount + 31) / 32 * 4;
  hdr.biSizeImage = static_cast<DWORD>(row_size * static_cast<std::size_t>(h));
  const auto* data = pixman_image_get_data(b->image);
  const int stride = pixman_image_get_stride(b->image) / 4;
  for (UINT i = 0; i < count; ++i) {
    const UINT from_bottom = start + i;  // row counted from the bottom
    const int picture_row = h - 1 - static_cast<int>(from_bottom);
    const std::size_t out_row = top_down ? static_cast<std::size_t>(picture_row) : i;
    auto* out = static_cast<std::uint8_t*>(bits) + out_row * row_size;
    const std::uint32_t* in = data + static_cast<std::size_t>(picture_row) * static_cast<std::size_t>(stride);
    if (hdr.biBitCount == 32) {
      for (int x = 0; x < w; ++x) {
        const std::uint32_t p = in[x] | 0xFF000000u;
        std::memcpy(out + 4 * x, &p, 4);
      }
    } else {
      for (int x = 0; x < w; ++x) {
        out[3 * x] = static_cast<std::uint8_t>(in[x]);
        out[3 * x + 1] = static_cast<std::uint8_t>(in[x] >> 8);
        out[3 * x + 2] = static_cast<std::uint8_t>(in[x] >> 16);
      }
      std::memset(out + 3 * w, 0, row_size - 3 * static_cast<std::size_t>(w));
    }
  }
  return static_cast<int>(count);
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  auto* r = new (std::nothrow) Region;
  if (!r) return nullptr;
  if (right > left && bottom > top) {
    pixman_region32_fini(&r->r);
    pixman_region32_init_rect(&r->r, left, top, static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
  }
  return r;
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
  return rect ? CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom) : nullptr;
}

int CombineRgn(HRGN dest, HRGN a, HRGN b, int mode) {
  Region *d = AsRegion(dest), *x = AsRegion(a), *y = AsRegion(b);
  if (!d || !x || (mode != RGN_COPY && !y)) return RGN_ERROR;
  bool ok = true;
  switch (mode) {
    case RGN_AND:
      ok = pixman_region32_intersect(&d->r, &x->r, &y->r);
      break;
    case RGN_OR:
      ok = pixman_region32_union(&d->r, &x->r, &y->r);
      break;
    case RGN_DIFF:
      ok = pixman_region32_subtract(&d->r, &x->r, &y->r);
      break;
    case RGN_COPY:
      ok = pixman_region32_copy(&d->r, &x->r);
      break;
    case RGN_XOR: {
      pixman_region32_t both, either;
      pixman_region32_init(&both);
      pixman_region32_init(&either);
      ok = pixman_region32_intersect(&both, &x->r, &y->r) && pixman_region32_union(&either, &x->r, &y->r) &&
           pixman_region32_subtract(&d->r, &either, &both);
      pixman_region32_fini(&both);
      pixman_region32_fini(&either);
      break;
    }
    default:
      return RGN_ERROR;
  }
  return ok ? RegionType(&d->r) : RGN_ERROR;
}

int OffsetRgn(HRGN region, int dx, int dy) {
  Region* r = AsRegion(region);
  if (!r) return RGN_ERROR;
  pixman_region32_translate(&r->r, dx, dy);
  return RegionType(&r->r);
}

int GetRgnBox(HRGN region, RECT* box) {
  Region* r = AsRegion(region);
  if (!r || !box) return RGN_ERROR;
  const pixman_box32_t* e = pixman_region32_extents(&r->r);
  *box = RegionType(&r->r) == NULLREGION ? RECT{} : RECT{e->x1, e->y1, e->x2, e->y2};
  return RegionType(&r->r);
}

BOOL PtInRegion(HRGN region, int x, int y) {
  Region* r = AsRegion(region);
  return r && pixman_region32_contains_point(&r->r, x, y, nullptr) ? TRUE : FALSE;
}

BOOL EqualRgn(HRGN a, HRGN b) {
  Region *x = AsRegion(a), *y = AsRegion(b);
  return x && y && pixman_region32_equal(&x->r, &y->r) ? TRUE : FALSE;
}

int SelectClipRgn(HDC dc, HRGN region) {
  if (!dc) return RGN_ERROR;
  if (!region) {
    dc->has_clip = false;
    pixman_region32_clear(&dc->clip);
    return SIMPLEREGION;
  }
  Region* r = AsRegion(region);
  if (!r || !pixman_region32_copy(&dc->clip, &r->r)) return RGN_ERROR;
  dc->has_clip = true;
  return RegionType(&dc->clip);
}

int GetClipBox(HDC dc, RECT* box) {
  if (!dc || !box) return RGN_ERROR;
  pixman_region32_t area;
  DrawableArea(dc, &area);
  const int type = RegionType(&area);
  const pixman_box32_t* e = pixman_region32_extents(&area);
  *box = type == NULLREGION ? RECT{} : RECT{e->x1, e->y1, e->x2, e->y2};
  pixman_region32_fini(&area);
  return type;
}

namespace qvp {

std::uint32_t* DCPixels(HDC dc, int* width, int* height, int* stride) {
  if (!dc) return nullptr;
  if (width) *width = Width(dc);
  if (height) *height = Height(dc);
  if (stride) *stride = pixman_image_get_stride(dc->bitmap->image);
  return pixman_image_get_data(dc->bitmap->image);
}

bool SaveDCToPng(HDC dc, const char16_t* path) {
  int w = 0, h = 0, stride = 0;
  const std::uint32_t* pixels = DCPixels(dc, &w, &h, &stride);
  if (!pixels || !path) return false;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  for (int y = 0; y < h; ++y) {
    const std::uint32_t* in = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride / 4);
    std::uint8_t* out = rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 3;
    for (int x = 0; x < w; ++x) {
      out[3 * x] = static_cast<std::uint8_t>(in[x] >> 16);
      out[3 * x + 1] = static_cast<std::uint8_t>(in[x] >> 8);
      out[3 * x + 2] = static_cast<std::uint8_t>(in[x]);
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) return false;
  std::vector<std::uint8_t> encoded(size);
  if (!png_image_write_to_memory(&image, encoded.data(), &size, 0, rgb.data(), 0, nullptr)) return false;

  const std::string native = ToNativePath(path);
  const FileOps& ops = Ops();
  const int fd = ops.open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ops.write(fd, encoded.data() + done, size - done);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      ops.close(fd);
      ops.unlink(native.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (ops.close(fd) != 0) {
    ops.unlink(native.c_str());
    return false;
  }
  return true;
}

}  // namespace qvp
