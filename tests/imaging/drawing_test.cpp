// Drawing rows and thumbnails onto a device context, and the skin path.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "qv_commonclass/imaging.h"
#include "qv_imports/skin.h"

namespace {

using namespace qv_commonclass;

struct Surface : qvp::MemoryCanvas {
  Surface(int w, int h) : qvp::MemoryCanvas(w, h) {}
  bool Covered(int x, int y) const { return (dc.GetPixel(x, y) & 0xFFFFFF) != 0; }
};

// A white 32-bit picture.
tagQVThumbnail* White(int w, int h) {
  auto* t = new tagQVThumbnail(w, h, 32, false);
  std::fill(t->pBits, t->pBits + static_cast<std::size_t>(w) * h * 4, 0xFF);
  t->nWidth = w, t->nHeight = h, t->wBitCount = 32;
  return t;
}

TEST(QVDrawThumbnail, KeepsProportionsAndCentres) {
  struct Case {
    const char* what;
    int pic_w, pic_h, aspect, rect_w, rect_h;
    int first_x, last_x, first_y, last_y;  // the covered area
  } cases[] = {
      {"4:5 picture forced to 16:9 fills a 16:9 rectangle", 720, 576, 2, 1024, 576, 0, 1023, 0, 575},
      {"aspect 4 as aspect 2", 720, 576, 4, 1024, 576, 0, 1023, 0, 575},
      {"own proportions: 720 wide, 152 left free each side", 720, 576, 0, 1024, 576, 152, 871, 0, 575},
      {"wide picture in a tall rectangle: centred vertically", 200, 100, 0, 100, 100, 0, 99, 25, 74},
      {"wider than 16:9 made lower", 400, 100, 2, 160, 90, 0, 159, 0, 89},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Surface s(c.rect_w, c.rect_h);
    s.dc.SetStretchBltMode(COLORONCOLOR);
    std::unique_ptr<tagQVThumbnail> t(White(c.pic_w, c.pic_h));
    CRect rect(0, 0, c.rect_w, c.rect_h);
    QVDrawThumbnail(&s.dc, rect, t.get(), 0, c.aspect);
    EXPECT_EQ(s.dc.GetStretchBltMode(), COLORONCOLOR);  // restored
    const int mid_y = (c.first_y + c.last_y) / 2, mid_x = (c.first_x + c.last_x) / 2;
    EXPECT_TRUE(s.Covered(c.first_x, mid_y));
    EXPECT_TRUE(s.Covered(c.last_x, mid_y));
    EXPECT_TRUE(s.Covered(mid_x, c.first_y));
    EXPECT_TRUE(s.Covered(mid_x, c.last_y));
    if (c.first_x > 0) {
      EXPECT_FALSE(s.Covered(c.first_x - 1, mid_y));
    }
    if (c.last_x < c.rect_w - 1) {
      EXPECT_FALSE(s.Covered(c.last_x + 1, mid_y));
    }
    if (c.first_y > 0) {
      EXPECT_FALSE(s.Covered(mid_x, c.first_y - 1));
    }
    if (c.last_y < c.rect_h - 1) {
      EXPECT_FALSE(s.Covered(mid_x, c.last_y + 1));
    }
  }
}

TEST(QVDrawThumbnail, DrawsNothingWithoutAPicture) {
  Surface s(8, 8);
  CRect rect(0, 0, 8, 8);
  QVDrawThumbnail(&s.dc, rect, nullptr, 0, 0);
  QVDrawThumbnail(nullptr, rect, nullptr, 0, 0);
  tagQVThumbnail empty;  // no pixels
  empty.nWidth = empty.nHeight = 4;
  QVDrawThumbnail(&s.dc, rect, &empty, 0, 0);
  std::unique_ptr<tagQVThumbnail> flat(White(4, 4));
  flat->nHeight = 0;
  QVDrawThumbnail(&s.dc, rect, flat.get(), 0, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_FALSE(s.Covered(x, y));
}

TEST(QVStretchBuf, FillsTheWholeRectangleNearestPixel) {
  // 2 x 1, 24-bit: blue then red, one row padded to 8 bytes.
  std::uint8_t rows[8] = {0xFF, 0, 0, 0, 0, 0xFF, 0, 0};
  Surface s(10, 4);
  CRect rect(1, 1, 9, 3);
  QVStretchBuf(&s.dc, &rect, rows, 2, 1, 24, 0);
  EXPECT_EQ(s.dc.GetStretchBltMode(), COLORONCOLOR);
  EXPECT_EQ(s.dc.GetPixel(1, 1), RGB(0, 0, 255));
  EXPECT_EQ(s.dc.GetPixel(4, 2), RGB(0, 0, 255));
  EXPECT_EQ(s.dc.GetPixel(5, 1), RGB(255, 0, 0));
  EXPECT_EQ(s.dc.GetPixel(8, 2), RGB(255, 0, 0));
  EXPECT_FALSE(s.Covered(0, 1));
  EXPECT_FALSE(s.Covered(9, 1));
  EXPECT_FALSE(s.Covered(4, 3));
  QVStretchBuf(&s.dc, nullptr, rows, 2, 1, 24, 0);  // no rectangle: nothing
}

TEST(QVStretchBuf, OrientationOneMeansTopRowFirst) {
  // 1 x 2, 32-bit: the first row in memory is white.
  std::uint32_t rows[2] = {0xFFFFFF, 0};
  for (int orientation : {0, 1}) {
    Surface s(1, 2);
    CRect rect(0, 0, 1, 2);
    QVStretchBuf(&s.dc, &rect, rows, 1, 2, 32, orientation);
    EXPECT_EQ(s.Covered(0, 0), orientation == 1);
    EXPECT_EQ(s.Covered(0, 1), orientation != 1);
  }
}

TEST(QVGetSkinPath, JoinsTheCommonControlFolderWithoutASeparator) {
  // The build copies the sample skin beside the common-control library.
  ::unsetenv("QV_SKIN_DIR");
  const CString beside = qv_commonctrl::QV_GetSkinPath(0);
  ASSERT_FALSE(beside.IsEmpty());
  EXPECT_TRUE(std::filesystem::is_regular_file(beside.ToUtf8() + "/MaterialManagement/VClip.bmp"));

  // The folder is asked once; later changes are not seen. (Set to the real
  // folder, so that other tests of this process still find the skin.)
  ::setenv("QV_SKIN_DIR", (beside.ToUtf8() + "/").c_str(), 1);
  EXPECT_EQ(qv_commonctrl::QV_GetSkinPath(0), beside);  // trailing '/' dropped
  EXPECT_EQ(QVGetSkinPath(u"\\MaterialManagement\\TXT.bmp"), beside + u"\\MaterialManagement\\TXT.bmp");
  ::setenv("QV_SKIN_DIR", "/elsewhere", 1);
  EXPECT_EQ(QVGetSkinPath(u"/x"), beside + u"/x");
  EXPECT_EQ(QVGetSkinPath(nullptr), beside);
  ::unsetenv("QV_SKIN_DIR");
}

}  // namespace
