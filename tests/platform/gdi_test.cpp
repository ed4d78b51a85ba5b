// Device contexts on a real raster: pixels drawn by StretchDIBits in every
// supported layout, both stretch modes, clip regions and their algebra, and
// the PNG written from a context.
#include <png.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/file_faults.h"
#include "qv_platform/gdi.h"

namespace {

// A memory context with a bitmap of w x h selected.
struct Surface : qvp::MemoryCanvas {
  Surface(int w, int h) : qvp::MemoryCanvas(w, h) { EXPECT_TRUE(ok()); }
  std::uint32_t At(int x, int y) const {
    int w = 0, h = 0, stride = 0;
    const std::uint32_t* p = qvp::DCPixels(dc.m_hDC, &w, &h, &stride);
    return p[y * (stride / 4) + x] & 0xFFFFFF;
  }
};

// The 3 x 2 test picture, top row first, as 0x00RRGGBB.
constexpr std::uint32_t kPicture[2][3] = {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFFFFF, 0x808080, 0x000000}};

std::uint32_t Quantised(std::uint32_t c, int rbits, int gbits, int bbits) {
  // What a 16-bit pixel gives back: each channel cut to its bits and
  // widened by repeating its top bits.
  auto q = [](std::uint32_t v, int bits) {
    v >>= 8 - bits;
    return ((v << (8 - bits)) | (v >> (2 * bits - 8))) & 0xFF;
  };
  return q(c >> 16 & 0xFF, rbits) << 16 | q(c >> 8 & 0xFF, gbits) << 8 | q(c & 0xFF, bbits);
}

struct Layout {
  const char* name;
  WORD bits;
  DWORD compression;
  bool top_down;
};

// Encodes the w x h picture colour(x, y) (0x00RRGGBB, top row first) as
// DIB rows of the layout.
template <typename F>
std::vector<std::uint8_t> Encode(const Layout& l, int w, int h, F colour, BITMAPINFO& info) {
  const int row = (w * l.bits + 31) / 32 * 4;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(row) * h, 0xEE);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* r = out.data() + (l.top_down ? y : h - 1 - y) * row;
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = colour(x, y);
      const std::uint32_t R = c >> 16 & 0xFF, G = c >> 8 & 0xFF, B = c & 0xFF;
      if (l.bits == 32) {
        const std::uint32_t v = c | 0xFF000000u;
        std::memcpy(r + 4 * x, &v, 4);
      } else if (l.bits == 24) {
        r[3 * x] = static_cast<std::uint8_t>(B), r[3 * x + 1] = static_cast<std::uint8_t>(G),
        r[3 * x + 2] = static_cast<std::uint8_t>(R);
      } else {
        const std::uint16_t v = l.compression == BI_BITFIELDS
                                    ? static_cast<std::uint16_t>((R >> 3) << 11 | (G >> 2) << 5 | B >> 3)
                                    : static_cast<std::uint16_t>((R >> 3) << 10 | (G >> 3) << 5 | B >> 3);
        std::memcpy(r + 2 * x, &v, 2);
      }
    }
  }
  info = {};
  info.bmiHeader = {40, w, l.top_down ? -h : h, 1, l.bits, l.compression, static_cast<DWORD>(out.size()), 0, 0, 0, 0};
  if (l.compression == BI_BITFIELDS) {
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(info.bmiColors, masks, sizeof masks);
  }
  return out;
}

constexpr Layout kTopDown32{"32-bit top-down", 32, BI_RGB, true};

// kPicture in the layout.
std::vector<std::uint8_t> Encode(const Layout& l, BITMAPINFO& info) {
  return Encode(l, 3, 2, [](int x, int y) { return kPicture[y][x]; }, info);
}

TEST(StretchDIBits, CopiesEveryLayoutInEitherOrientationPixelForPixel) {
  const Layout layouts[] = {
      {"32-bit bottom-up", 32, BI_RGB, false}, {"32-bit top-down", 32, BI_RGB, true},
      {"24-bit bottom-up", 24, BI_RGB, false}, {"24-bit top-down", 24, BI_RGB, true},
      {"5-5-5 bottom-up", 16, BI_RGB, false},  {"5-6-5 top-down", 16, BI_BITFIELDS, true},
  };
  for (const Layout& l : layouts) {
    for (int mode : {COLORONCOLOR, HALFTONE}) {
      SCOPED_TRACE(std::string(l.name) + (mode == HALFTONE ? " HALFTONE" : " COLORONCOLOR"));
      Surface s(5, 4);
      BITMAPINFO info;
      const auto rows = Encode(l, info);
      s.dc.SetStretchBltMode(mode);
      ASSERT_EQ(StretchDIBits(s.dc.m_hDC, 1, 1, 3, 2, 0, 0, 3, 2, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY), 2);
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
          std::uint32_t want = kPicture[y][x];
          if (l.bits == 16) want = l.compression == BI_BITFIELDS ? Quantised(want, 5, 6, 5) : Quantised(want, 5, 5, 5);
          EXPECT_EQ(s.At(x + 1, y + 1), want) << x << "," << y;
        }
      }
      EXPECT_EQ(s.At(0, 0), 0u);  // outside the target: untouched
      EXPECT_EQ(s.At(4, 3), 0u);
    }
  }
}

TEST(StretchDIBits, SourceRectangleCountsFromTheTopInBothOrientations) {
  for (bool top_down : {false, true}) {
    Surface s(1, 1);
    BITMAPINFO info;
    const auto rows = Encode({"", 24, BI_RGB, top_down}, info);
    ASSERT_EQ(StretchDIBits(s.dc.m_hDC, 0, 0, 1, 1, 1, 1, 1, 1, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY), 1);
    EXPECT_EQ(s.At(0, 0), kPicture[1][1]) << top_down;
  }
}

TEST(StretchDIBits, ColorOnColorEnlargesByRepeatingPixels) {
  Surface s(6, 4);
  BITMAPINFO info;
  const auto rows = Encode({"", 32, BI_RGB, false}, info);
  s.dc.SetStretchBltMode(COLORONCOLOR);
  StretchDIBits(s.dc.m_hDC, 0, 0, 6, 4, 0, 0, 3, 2, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(s.At(x, y), kPicture[y / 2][x / 2]) << x << "," << y;
}

TEST(StretchDIBits, HalftoneAveragesTheAreaUnderEachPixel) {
  struct Case {
    const char* what;
    int src_w, src_h, dst_w, dst_h;
  } cases[] = {{"power of two", 64, 32, 4, 2}, {"factor 12 like HD to 160x90", 192, 108, 16, 9},
               {"factor 3", 30, 30, 10, 10}, {"unequal factors", 40, 9, 5, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BITMAPINFO info;
    // One-pixel black and white checks: every area average is mid-grey.
    const auto px = Encode(kTopDown32, c.src_w, c.src_h, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; }, info);
    Surface s(c.dst_w, c.dst_h);
    s.dc.SetStretchBltMode(HALFTONE);
    ASSERT_EQ(StretchDIBits(s.dc.m_hDC, 0, 0, c.dst_w, c.dst_h, 0, 0, c.src_w, c.src_h, px.data(), &info,
                            DIB_RGB_COLORS, SRCCOPY),
              c.src_h);
    for (int y = 0; y < c.dst_h; ++y) {
      for (int x = 0; x < c.dst_w; ++x) {
        const int grey = static_cast<int>(s.At(x, y) & 0xFF);
        EXPECT_NEAR(grey, 128, 40) << x << "," << y;  // nearest sampling would give 0 or 255
      }
    }
  }
}

TEST(StretchDIBits, HalftoneKeepsUniformAreasExact) {
  BITMAPINFO info;
  // Left half red, right half blue, split on a multiple of the factor.
  const auto px = Encode(kTopDown32, 64, 16, [](int x, int) { return x < 32 ? 0xC01020u : 0x2030D0u; }, info);
  Surface s(8, 2);
  s.dc.SetStretchBltMode(HALFTONE);
  StretchDIBits(s.dc.m_hDC, 0, 0, 8, 2, 0, 0, 64, 16, px.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(s.At(x, y), x < 4 ? 0xC01020u : 0x2030D0u) << x;
  }
}

TEST(StretchDIBits, HalftoneReductionReadsEveryLayoutTheRightWayUp) {
  // 16 x 16: top half red, bottom half blue, in each layout; reduced 4x.
  const Layout layouts[] = {{"24-bit bottom-up", 24, BI_RGB, false},
                            {"32-bit bottom-up", 32, BI_RGB, false},
                            {"5-6-5 top-down", 16, BI_BITFIELDS, true},
                            {"5-5-5 bottom-up", 16, BI_RGB, false}};
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    BITMAPINFO info;
    const auto rows = Encode(l, 16, 16, [](int, int y) { return y < 8 ? 0xFF0000u : 0x0000FFu; }, info);
    Surface s(4, 4);
    s.dc.SetStretchBltMode(HALFTONE);
    ASSERT_EQ(StretchDIBits(s.dc.m_hDC, 0, 0, 4, 4, 0, 0, 16, 16, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY), 16);
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(s.At(x, 0), 0xFF0000u);
      EXPECT_EQ(s.At(x, 1), 0xFF0000u);
      EXPECT_EQ(s.At(x, 2), 0x0000FFu);
      EXPECT_EQ(s.At(x, 3), 0x0000FFu);
    }
  }
}

TEST(StretchDIBits, RefusesWhatItCannotDrawAndDrawsNothing) {
  BITMAPINFO info;
  const auto rows = Encode({"", 24, BI_RGB, false}, info);
  BITMAPINFO eight = info;
  eight.bmiHeader.biBitCount = 8;
  BITMAPINFO rle = info;
  rle.bmiHeader.biCompression = 1;
  struct Case {
    const char* what;
    const void* bits;
    const BITMAPINFO* info;
    int dw, dh, sx, sy, sw, sh;
    UINT usage;
    DWORD rop;
  } cases[] = {
      {"null bits", nullptr, &info, 3, 2, 0, 0, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"null header", rows.data(), nullptr, 3, 2, 0, 0, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"palette picture", rows.data(), &eight, 3, 2, 0, 0, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"compressed rows", rows.data(), &rle, 3, 2, 0, 0, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"source past the right edge", rows.data(), &info, 3, 2, 1, 0, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"source past the bottom", rows.data(), &info, 3, 2, 0, 1, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"negative source origin", rows.data(), &info, 3, 2, -1, 0, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"empty target", rows.data(), &info, 0, 2, 0, 0, 3, 2, DIB_RGB_COLORS, SRCCOPY},
      {"empty source", rows.data(), &info, 3, 2, 0, 0, 3, 0, DIB_RGB_COLORS, SRCCOPY},
      {"palette indexes", rows.data(), &info, 3, 2, 0, 0, 3, 2, 1, SRCCOPY},
      {"other raster operation", rows.data(), &info, 3, 2, 0, 0, 3, 2, DIB_RGB_COLORS, WHITENESS},
  };
  for (const Case& c : cases) {
    Surface s(4, 4);
    EXPECT_EQ(StretchDIBits(s.dc.m_hDC, 0, 0, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, c.bits, c.info, c.usage, c.rop), 0)
        << c.what;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) ASSERT_EQ(s.At(x, y), 0u) << c.what;
  }
  EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 3, 2, 0, 0, 3, 2, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(Regions, CombineGivesTheWindowsTypesAndBoxes) {
  struct Case {
    int mode;
    int type;
    RECT box;
  } cases[] = {
      {RGN_AND, SIMPLEREGION, {5, 5, 10, 10}}, {RGN_OR, COMPLEXREGION, {0, 0, 15, 15}},
      {RGN_XOR, COMPLEXREGION, {0, 0, 15, 15}}, {RGN_DIFF, COMPLEXREGION, {0, 0, 10, 10}},
      {RGN_COPY, SIMPLEREGION, {0, 0, 10, 10}},
  };
  for (const Case& c : cases) {
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), d = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.type) << c.mode;
    RECT box;
    EXPECT_EQ(GetRgnBox(d, &box), c.type);
    EXPECT_EQ(CRect(box), CRect(c.box)) << c.mode;
    EXPECT_EQ(PtInRegion(d, 7, 7), c.mode == RGN_AND || c.mode == RGN_OR || c.mode == RGN_COPY) << c.mode;
    DeleteObject(a), DeleteObject(b), DeleteObject(d);
  }
  // The target may be one of the operands; disjoint AND is empty.
  HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(8, 8, 9, 9);
  EXPECT_EQ(CombineRgn(a, a, b, RGN_AND), NULLREGION);
  EXPECT_EQ(CombineRgn(a, a, b, 99), RGN_ERROR);
  EXPECT_EQ(OffsetRgn(b, -8, -8), SIMPLEREGION);
  HRGN unit = CreateRectRgn(0, 0, 1, 1);
  EXPECT_TRUE(EqualRgn(b, unit));
  DeleteObject(a), DeleteObject(b), DeleteObject(unit);
}

TEST(Regions, ClipRegionLimitsDrawingAndGetClipBox) {
  Surface s(20, 20);
  RECT box;
  EXPECT_EQ(s.dc.GetClipBox(&box), SIMPLEREGION);
  EXPECT_EQ(CRect(box), CRect(0, 0, 20, 20));

  CRgn left, right;
  left.CreateRectRgn(0, 0, 5, 20);
  right.CreateRectRgn(15, 10, 40, 30);  // reaches past the bitmap
  left.CombineRgn(&left, &right, RGN_OR);
  EXPECT_EQ(s.dc.SelectClipRgn(&left), COMPLEXREGION);
  left.DeleteObject();  // the context keeps its own copy
  EXPECT_EQ(s.dc.GetClipBox(&box), COMPLEXREGION);
  EXPECT_EQ(CRect(box), CRect(0, 0, 20, 20));

  s.dc.PatBlt(0, 0, 20, 20, WHITENESS);
  EXPECT_EQ(s.At(2, 2), 0xFFFFFFu);
  EXPECT_EQ(s.At(17, 12), 0xFFFFFFu);
  EXPECT_EQ(s.At(10, 10), 0u);  // between the two parts
  EXPECT_EQ(s.At(17, 5), 0u);
  EXPECT_EQ(s.dc.GetPixel(10, 10), 0xFFFFFFFFu);  // outside the clip: CLR_INVALID

  EXPECT_EQ(s.dc.SelectClipRgn(nullptr), SIMPLEREGION);
  s.dc.PatBlt(0, 0, 20, 20, BLACKNESS);
  EXPECT_EQ(s.At(10, 10), 0u);
  EXPECT_EQ(s.At(2, 2), 0u);
}

TEST(MemoryContext, BitmapsSelectAndFreeAsOnWindows) {
  CDC dc;
  ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
  EXPECT_EQ(dc.GetDeviceCaps(BITSPIXEL) * dc.GetDeviceCaps(PLANES), 32);
  EXPECT_EQ(dc.GetStretchBltMode(), BLACKONWHITE);
  EXPECT_EQ(dc.SetStretchBltMode(HALFTONE), BLACKONWHITE);
  EXPECT_EQ(dc.SetStretchBltMode(9), 0);
  EXPECT_EQ(dc.GetStretchBltMode(), HALFTONE);

  CBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&dc, 7, 3));
  HGDIOBJ stock = dc.SelectObject(&bitmap);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(dc.GetDeviceCaps(HORZRES), 7);
  EXPECT_FALSE(::DeleteObject(bitmap.m_hObject));  // still selected
  CDC other;
  other.CreateCompatibleDC(&dc);
  EXPECT_EQ(other.SelectObject(&bitmap), nullptr);  // one context at a time
  EXPECT_EQ(dc.SelectObject(stock), bitmap.m_hObject);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 0, 5), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 40000, 5), nullptr);
}

TEST(MemoryContext, GetDIBitsReadsRowsBack) {
  Surface s(3, 2);
  BITMAPINFO info;
  const auto rows = Encode({"", 24, BI_RGB, false}, info);
  StretchDIBits(s.dc.m_hDC, 0, 0, 3, 2, 0, 0, 3, 2, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  std::vector<std::uint8_t> back(rows.size(), 0xEE);
  BITMAPINFO out{};
  out.bmiHeader = {40, 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  ASSERT_EQ(GetDIBits(s.dc.m_hDC, s.bitmap.m_hObject, 0, 2, back.data(), &out, DIB_RGB_COLORS), 2);
  for (int y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(back.data() + y * 12, rows.data() + y * 12, 9), 0) << y;
  EXPECT_EQ(out.bmiHeader.biSizeImage, 24u);
}

TEST(SaveDCToPng, WritesThePixelsOfTheContext) {
  const auto dir = std::filesystem::path(QV_BINARY_DIR) / "gdi_scratch";
  std::filesystem::create_directories(dir);
  const auto file = dir / "picture.png";
  Surface s(3, 2);
  BITMAPINFO info;
  const auto rows = Encode({"", 32, BI_RGB, true}, info);
  StretchDIBits(s.dc.m_hDC, 0, 0, 3, 2, 0, 0, 3, 2, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  ASSERT_TRUE(qvp::SaveDCToPng(s.dc.m_hDC, file.u16string().c_str()));

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, file.c_str()));
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  ASSERT_EQ(image.width, 3u);
  ASSERT_EQ(image.height, 2u);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const std::uint8_t* p = &rgb[(y * 3 + x) * 3];
      EXPECT_EQ(static_cast<std::uint32_t>(p[0] << 16 | p[1] << 8 | p[2]), kPicture[y][x]);
    }

  // A failed write leaves no file behind.
  qvtest::FileFaults faults;
  faults.Fail(qvtest::FileCall::kWrite, 1, 1, ENOSPC);
  EXPECT_FALSE(qvp::SaveDCToPng(s.dc.m_hDC, file.u16string().c_str()));
  EXPECT_FALSE(std::filesystem::exists(file));
  faults.Fail(qvtest::FileCall::kOpen, 1, 99, EACCES);
  EXPECT_FALSE(qvp::SaveDCToPng(s.dc.m_hDC, file.u16string().c_str()));
  EXPECT_FALSE(qvp::SaveDCToPng(nullptr, file.u16string().c_str()));
}

}  // namespace
