// BMP files: the bytes written, what the loader returns for each layout,
// the committed corpus of malformed files, and injected read and write
// faults.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/file_faults.h"
#include "files/file_test_util.h"
#include "qv_commonclass/imaging.h"

namespace {

using namespace qv_commonclass;
namespace fs = std::filesystem;

const fs::path kData = fs::path(QV_SOURCE_DIR) / "tests" / "imaging" / "data";

std::string Bytes(const fs::path& p) { return qvtest::ReadFile(p); }

template <typename T>
T At(const std::string& s, std::size_t offset) {
  T v;
  std::memcpy(&v, s.data() + offset, sizeof v);
  return v;
}

// Frees what the loader hands out.
struct Loaded {
  ~Loaded() { delete[] bits; }
  int Load(const fs::path& p) { return QVLoadBmp(p.u16string().c_str(), bits, header); }
  unsigned char* bits = reinterpret_cast<unsigned char*>(&junk);  // proves it is overwritten
  BITMAPINFOHEADER header{};
  int junk = 0;
};

TEST(QVSaveBmp, PadsUnalignedRowsAndFillsBothHeaders) {
  const auto dir = qvtest::ScratchFolder();
  std::uint8_t pixels[18];
  for (int i = 0; i < 18; ++i) pixels[i] = static_cast<std::uint8_t>(i + 1);
  ASSERT_EQ(QVSaveBmp(CString((dir / "a.bmp").string()), pixels, 2, 3, 24, 0), 0);
  const std::string f = Bytes(dir / "a.bmp");
  ASSERT_EQ(f.size(), 78u);
  EXPECT_EQ(f.substr(0, 2), "BM");
  EXPECT_EQ(At<std::uint32_t>(f, 2), 78u);
  EXPECT_EQ(At<std::uint32_t>(f, 10), 54u);
  EXPECT_EQ(At<std::uint32_t>(f, 14), 40u);
  EXPECT_EQ(At<std::int32_t>(f, 18), 3);
  EXPECT_EQ(At<std::int32_t>(f, 22), 2);
  EXPECT_EQ(At<std::uint16_t>(f, 26), 1u);
  EXPECT_EQ(At<std::uint16_t>(f, 28), 24u);
  EXPECT_EQ(At<std::uint32_t>(f, 34), 24u);  // image size
  EXPECT_EQ(std::memcmp(f.data() + 54, pixels, 9), 0);
  EXPECT_EQ(std::memcmp(f.data() + 66, pixels + 9, 9), 0);
}

TEST(QVSaveBmp, RowsThatNeedNoPaddingGoOutInOneWrite) {
  const auto dir = qvtest::ScratchFolder();
  std::uint32_t pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  qvtest::FileFaults faults;
  ASSERT_EQ(QVSaveBmp(CString((dir / "b.bmp").string()), pixels, -2, 4, 32, 0), 0);
  EXPECT_EQ(qvtest::FileFaults::Calls(qvtest::FileCall::kWrite), 2);  // headers, then all rows
  const std::string f = Bytes(dir / "b.bmp");
  ASSERT_EQ(f.size(), 54u + 32u);
  EXPECT_EQ(At<std::int32_t>(f, 22), -2);  // a top-down file keeps its sign
  EXPECT_EQ(std::memcmp(f.data() + 54, pixels, 32), 0);
}

TEST(QVSaveBmp, FailuresReturnEFail) {
  const auto dir = qvtest::ScratchFolder();
  std::uint8_t pixels[64] = {};
  const CString path((dir / "c.bmp").string());
  EXPECT_EQ(QVSaveBmp(path, nullptr, 2, 2, 24, 1), E_FAIL);
  EXPECT_EQ(QVSaveBmp(path, pixels, 2, 0, 24, 1), E_FAIL);
  EXPECT_EQ(QVSaveBmp(path, pixels, 0, 2, 24, 1), E_FAIL);
  EXPECT_EQ(QVSaveBmp(path, pixels, 2, 2, 0, 1), E_FAIL);
  EXPECT_EQ(QVSaveBmp(path, pixels, 0x7FFFFFFF, 0x7FFFFFFF, 32, 1), E_FAIL);  // beyond 4 GiB
  EXPECT_EQ(QVSaveBmp(CString((dir / "no" / "such" / "folder.bmp").string()), pixels, 2, 2, 24, 1), E_FAIL);
  EXPECT_FALSE(fs::exists(path.ToUtf8()));
  // A failed write of the headers, of the rows, or a short write that then
  // fails: E_FAIL, and the partial file stays.
  for (int nth : {1, 2}) {
    qvtest::FileFaults faults;
    faults.Fail(qvtest::FileCall::kWrite, nth, nth, ENOSPC);
    EXPECT_EQ(QVSaveBmp(path, pixels, 3, 3, 24, 0), E_FAIL) << nth;
    EXPECT_TRUE(fs::exists(path.ToUtf8()));
  }
  qvtest::FileFaults faults;
  qvtest::FileFaults::short_write = true;
  EXPECT_EQ(QVSaveBmp(path, pixels, 3, 3, 24, 0), 0);  // short writes are continued
  EXPECT_EQ(fs::file_size(path.ToUtf8()), 54u + 36u);
}

TEST(QVLoadBmp, SixteenBitPicturesBecomeThirtyTwoBit) {
  const auto dir = qvtest::ScratchFolder();
  struct Case {
    const char* name;
    std::uint16_t value;
    bool bitfields;
    std::uint8_t want[4];
  } cases[] = {{"5-5-5 white", 0x7FFF, false, {0xF8, 0xF8, 0xF8, 0xFF}},
               {"5-6-5 white", 0xFFFF, true, {0xF8, 0xFC, 0xF8, 0xFF}},
               {"5-5-5 pure red", 0x7C00, false, {0, 0, 0xF8, 0xFF}},
               {"5-6-5 pure green", 0x07E0, true, {0, 0xFC, 0, 0xFF}}};
  for (const Case& c : cases) {
    // A 1 x 1 picture: one value and two pad bytes.
    std::string file(54, '\0');
    const std::uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    BITMAPFILEHEADER fh{0x4D42, 0, 0, 0, c.bitfields ? 66u : 54u};
    BITMAPINFOHEADER ih{40, 1, 1, 1, 16, c.bitfields ? BI_BITFIELDS : BI_RGB, 4, 0, 0, 0, 0};
    std::memcpy(file.data(), &fh, 14);
    std::memcpy(file.data() + 14, &ih, 40);
    if (c.bitfields) file.append(reinterpret_cast<const char*>(masks), 12);
    file.append(reinterpret_cast<const char*>(&c.value), 2);
    file.append(2, '\0');
    qvtest::WriteFile(dir / "p.bmp", file);
    Loaded l;
    ASSERT_EQ(l.Load(dir / "p.bmp"), 1) << c.name;
    EXPECT_EQ(std::memcmp(l.bits, c.want, 4), 0) << c.name;
    EXPECT_EQ(l.header.biBitCount, 32) << c.name;
    EXPECT_EQ(l.header.biSizeImage, 4u) << c.name;
  }
}

TEST(QVLoadBmp, EveryValidLayoutRoundTripsOrLoadsAsDocumented) {
  // Saved 24 and 32-bit pictures come back byte for byte.
  const auto dir = qvtest::ScratchFolder();
  for (LONG bits : {24, 32}) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(DWORD((5 * bits + 31) / 32 * 4)) * 3);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(QVSaveBmp(CString((dir / "r.bmp").string()), px.data(), 3, 5, bits, 1), 0);
    Loaded l;
    ASSERT_EQ(l.Load(dir / "r.bmp"), 1);
    EXPECT_EQ(std::memcmp(l.bits, px.data(), px.size()), 0) << bits;
    EXPECT_EQ(l.header.biBitCount, bits);
  }
  // A top-down file: positive height, rows in file order.
  {
    Loaded l;
    ASSERT_EQ(l.Load(kData / "good" / "rgb24_top_down_5x3.bmp"), 1);
    EXPECT_EQ(l.header.biHeight, 3);
    const std::string f = Bytes(kData / "good" / "rgb24_top_down_5x3.bmp");
    EXPECT_EQ(std::memcmp(l.bits, f.data() + 54, 48), 0);
  }
  // 16-bit rows start at the data offset, past any gap.
  {
    Loaded l;
    ASSERT_EQ(l.Load(kData / "good" / "rgb555_gap_before_data_2x2.bmp"), 1);
    const std::string f = Bytes(kData / "good" / "rgb555_gap_before_data_2x2.bmp");
    const auto v = At<std::uint16_t>(f, 64);  // first pixel of the first row in the file
    EXPECT_EQ(l.bits[0], static_cast<std::uint8_t>((v & 0x1F) << 3));
  }
  for (const auto& e : fs::directory_iterator(kData / "good")) {
    Loaded l;
    EXPECT_EQ(l.Load(e.path()), 1) << e.path().filename();
  }
}

TEST(QVLoadBmp, EveryMalformedFileFailsCleanly) {
  int files = 0;
  for (const auto& e : fs::directory_iterator(kData / "bad")) {
    ++files;
    Loaded l;
    CString problem;
    EXPECT_EQ(QVLoadBmpChecked(e.path().u16string().c_str(), l.bits, l.header, problem), 0) << e.path().filename();
    EXPECT_EQ(l.bits, nullptr) << e.path().filename();
    EXPECT_FALSE(problem.IsEmpty()) << e.path().filename();
  }
  EXPECT_GE(files, 20);
  Loaded l;
  CString problem;
  QVLoadBmpChecked((kData / "bad" / "rows_longer_than_file.bmp").u16string().c_str(), l.bits, l.header, problem);
  EXPECT_EQ(problem, CString("truncated pixel data: 3000000 bytes of rows needed, 48 in the file"));
}

TEST(QVLoadBmp, MissingFileFailsAndCreatesNothing) {
  const auto dir = qvtest::ScratchFolder();
  Loaded l;
  EXPECT_EQ(l.Load(dir / "missing.bmp"), 0);
  EXPECT_EQ(l.bits, nullptr);
  EXPECT_FALSE(fs::exists(dir / "missing.bmp"));
  unsigned char* bits = nullptr;
  BITMAPINFOHEADER h{};
  EXPECT_EQ(QVLoadIcon(nullptr, bits, h), 0);
}

TEST(QVLoadBmp, InjectedFaultsOnEveryCallFailCleanly) {
  // The 16-bit file with masks and a gap needs the most reads; fail each in
  // turn, then the open.
  const auto dir = qvtest::ScratchFolder();
  const fs::path file = kData / "good" / "rgb565_bitfields_3x2.bmp";
  int reads = 0;
  {
    qvtest::FileFaults faults;
    Loaded l;
    ASSERT_EQ(l.Load(file), 1);
    reads = qvtest::FileFaults::Calls(qvtest::FileCall::kRead);
  }
  ASSERT_GE(reads, 3);
  for (int nth = 1; nth <= reads; ++nth) {
    qvtest::FileFaults faults;
    faults.Fail(qvtest::FileCall::kRead, nth, nth, EIO);
    Loaded l;
    EXPECT_EQ(l.Load(file), 0) << nth;
    EXPECT_EQ(l.bits, nullptr) << nth;
  }
  qvtest::FileFaults faults;
  faults.Fail(qvtest::FileCall::kOpen, 1, 1, EACCES);
  Loaded l;
  EXPECT_EQ(l.Load(file), 0);
  EXPECT_EQ(l.bits, nullptr);
}

TEST(QVGetThumbnailFromBitmap, FallbackRules) {
  const auto dir = qvtest::ScratchFolder();
  const fs::path a = kData / "good" / "rgb24_bottom_up_5x3.bmp", b = kData / "good" / "rgb555_3x2.bmp";
  const fs::path missing = dir / "missing.bmp", bad = kData / "bad" / "zero_width.bmp";
  struct Case {
    const char* what;
    fs::path path;
    const fs::path* fallback;
    int width;  // 0: null result
    WORD bits;
  } cases[] = {
      {"path exists", a, &b, 5, 24},
      {"missing path, fallback exists", missing, &b, 3, 32},
      {"missing path, no fallback", missing, nullptr, 0, 0},
      {"missing path, missing fallback", missing, &missing, 0, 0},
      {"malformed file", bad, &b, 0, 0},
  };
  for (const Case& c : cases) {
    const std::u16string fb = c.fallback ? c.fallback->u16string() : std::u16string();
    tagQVThumbnail* t = QVGetThumbnailFromBitmap(c.path.u16string().c_str(), c.fallback ? fb.c_str() : nullptr);
    if (c.width == 0) {
      EXPECT_EQ(t, nullptr) << c.what;
      continue;
    }
    ASSERT_NE(t, nullptr) << c.what;
    EXPECT_EQ(t->nWidth, c.width) << c.what;
    EXPECT_EQ(t->wBitCount, c.bits) << c.what;
    EXPECT_NE(t->pBits, nullptr);
    EXPECT_EQ(t->lTag, 0);
    delete t;
  }
}

TEST(tagQVThumbnail, AllocatesZeroedPixelsOnlyWithBothSizes) {
  tagQVThumbnail none;
  EXPECT_EQ(none.pBits, nullptr);
  tagQVThumbnail half(5, 0);
  EXPECT_EQ(half.pBits, nullptr);
  tagQVThumbnail t(3, 2, 24);
  ASSERT_NE(t.pBits, nullptr);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(t.pBits[i], 0);
  EXPECT_THROW(tagQVThumbnail(-3, 2), std::bad_alloc);
}

}  // namespace
