// `qvtool bmp info|thumbnail|convert`: BMP files through the library's
// loader, thumbnails drawn onto a device context and saved as PNG, and depth
// conversion; the demo draws a contact sheet of media objects' pictures.
#include <stdlib.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "qv_commonclass/imaging.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;
namespace fs = std::filesystem;

std::u16string Wide(const std::string& s) { return CString(s).GetString(); }

// The header as stored. The loader reports every picture with a positive
// height and 16-bit pictures as 32-bit, so row order and stored depth are
// read from the file itself.
struct Stored {
  bool top_down = false;
  int bits = 0;
};
Stored StoredHeader(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  char head[30] = {};
  Stored s;
  if (!in.read(head, sizeof head)) return s;
  std::int32_t height;
  std::uint16_t bits;
  std::memcpy(&height, head + 22, 4);
  std::memcpy(&bits, head + 28, 2);
  s.top_down = height < 0;
  s.bits = bits;
  return s;
}
bool StoredTopDown(const std::string& file) { return StoredHeader(file).top_down; }

struct Picture {
  std::unique_ptr<unsigned char[]> bits;
  BITMAPINFOHEADER header{};
};

// Loads `file`, printing the loader's reason on failure.
bool Load(const std::string& what, const std::string& file, Picture& out) {
  unsigned char* bits = nullptr;
  CString problem;
  if (!QVLoadBmpChecked(Wide(file).c_str(), bits, out.header, problem)) {
    Fail(what + ": " + file + ": " + problem.ToUtf8());
    return false;
  }
  out.bits.reset(bits);
  return true;
}

int Info(const std::string& file) {
  Picture p;
  if (!Load("bmp info", file, p)) return kExitFailure;
  const BITMAPINFOHEADER& h = p.header;
  std::printf("file          %s (%" PRIuMAX " bytes)\n", file.c_str(), static_cast<std::uintmax_t>(fs::file_size(file)));
  std::printf("size          %d x %d pixels\n", h.biWidth, h.biHeight);
  std::printf("row order     %s\n", StoredTopDown(file) ? "top row first" : "bottom row first");
  std::printf("bits          %d per pixel in the file, %u as loaded\n", StoredHeader(file).bits, h.biBitCount);
  std::printf("compression   %u\n", h.biCompression);
  std::printf("decoded bytes %" PRId64 "\n", static_cast<std::int64_t>(h.biWidth) * h.biHeight * 4);
  return kExitOk;
}

bool ParseSize(const std::string& text, int& w, int& h) {
  char x = 0;
  char tail = 0;
  return std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &tail) == 3 && (x == 'x' || x == 'X') && w > 0 && h > 0 &&
         w <= 8192 && h <= 8192;
}

int Thumbnail(const std::string& file, const std::string& out, const std::string& size, int aspect) {
  int w = 0, h = 0;
  if (!ParseSize(size, w, h)) {
    Fail("bmp thumbnail: --size must be WIDTHxHEIGHT, each 1 to 8192 (e.g. 160x90), not '" + size + "'");
    return kExitUsage;
  }
  std::unique_ptr<tagQVThumbnail> picture(QVGetThumbnailFromBitmap(Wide(file).c_str(), nullptr));
  if (!picture) {
    Picture reason;  // load again only to say why
    if (Load("bmp thumbnail", file, reason)) Fail("bmp thumbnail: " + file + ": cannot be loaded");
    return kExitFailure;
  }
  if (picture->wBitCount != 24 && picture->wBitCount != 32) {
    Fail("bmp thumbnail: " + file + ": " + std::to_string(picture->wBitCount) +
         "-bit palette pictures cannot be drawn (16, 24 and 32 bits can)");
    return kExitFailure;
  }
  qvp::MemoryCanvas canvas(w, h);
  if (!canvas.ok()) {
    Fail("bmp thumbnail: cannot make a " + size + " picture");
    return kExitFailure;
  }
  CRect rect(0, 0, w, h);
  QVDrawThumbnail(&canvas.dc, rect, picture.get(), StoredTopDown(file) ? 1 : 0, aspect);
  if (!qvp::SaveDCToPng(canvas.dc.m_hDC, Wide(out).c_str())) {
    Fail("bmp thumbnail: cannot write " + out);
    return kExitFailure;
  }
  std::printf("%s: %dx%d picture drawn into %dx%d, written to %s\n", file.c_str(), picture->nWidth, picture->nHeight,
              w, h, out.c_str());
  return kExitOk;
}

int Convert(const std::string& in, const std::string& out, int bits) {
  Picture p;
  if (!Load("bmp convert", in, p)) return kExitFailure;
  const int from = p.header.biBitCount, w = p.header.biWidth, h = p.header.biHeight;
  if (from != 24 && from != 32) {
    Fail("bmp convert: " + in + ": " + std::to_string(from) + "-bit palette pictures are not supported");
    return kExitFailure;
  }
  const std::size_t in_row = static_cast<std::size_t>((w * from + 31) / 32 * 4);
  const std::size_t out_row = static_cast<std::size_t>((w * bits + 31) / 32 * 4);
  std::vector<unsigned char> rows(out_row * static_cast<std::size_t>(h), 0);
  for (int y = 0; y < h; ++y) {
    const unsigned char* s = p.bits.get() + in_row * static_cast<std::size_t>(y);
    unsigned char* d = rows.data() + out_row * static_cast<std::size_t>(y);
    for (int x = 0; x < w; ++x) {
      std::memcpy(d + x * (bits / 8), s + x * (from / 8), 3);
      if (bits == 32) d[4 * x + 3] = 0xFF;
    }
  }
  // A top-down file stays top-down.
  const LONG height = StoredTopDown(in) ? -h : h;
  if (QVSaveBmp(CString(out), rows.data(), height, w, bits, 1) != S_OK) {
    Fail("bmp convert: cannot write " + out);
    return kExitFailure;
  }
  std::printf("%s (%d-bit) -> %s (%d-bit), %dx%d\n", in.c_str(), from, out.c_str(), bits, w, h);
  return kExitOk;
}

// Contact sheet: each media object's picture in a cell on its clip
// background, as the material list shows them.
int Demo() {
  const fs::path frames = fs::path(QV_DATA_DIR) / "thumbnails";
  const CString skin = QVGetSkinPath(u"/MaterialManagement/");
  std::printf("skin folder: %s\n", QVGetSkinPath(nullptr).ToUtf8().c_str());
  struct Item {
    std::string label;
    std::string file;  // full path
    int aspect;
  };
  std::vector<Item> items = {
      {"clip key frame, 24-bit", (frames / "sunrise_24bit.bmp").string(), 0},
      {"clip key frame, 4:3 shown 16:9", (frames / "colour_bars_32bit_top_down.bmp").string(), 2},
      {"clip key frame, 5-6-5", (frames / "test_card_565.bmp").string(), 0},
      {"clip key frame, 5-5-5", (frames / "test_card_555.bmp").string(), 0},
  };
  for (const char* icon : {"VClip.bmp", "AClip.bmp", "Audio.bmp", "Program.bmp", "EDL_100.bmp", "Template.bmp",
                           "Folder_100.bmp", "Word.bmp", "PDF.bmp", "CG_100.bmp", "NoStamp_100.bmp", "ListIcon.bmp"})
    items.push_back({icon, (skin + CString(icon)).ToUtf8(), 0});

  constexpr int kCols = 4, kCellW = 200, kCellH = 124, kPad = 6;
  const int rows = (static_cast<int>(items.size()) + kCols - 1) / kCols;
  qvp::MemoryCanvas sheet(kCols * kCellW, rows * kCellH);
  std::unique_ptr<tagQVThumbnail> back(
      QVGetThumbnailFromBitmap((skin + u"ClipBKSmall_Normal.bmp").GetString(), nullptr));
  int drawn = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const int x = static_cast<int>(i % kCols) * kCellW, y = static_cast<int>(i / kCols) * kCellH;
    CRect cell(x, y, x + kCellW, y + kCellH);
    if (back) QVStretchBuf(&sheet.dc, &cell, back->pBits, back->nWidth, back->nHeight, back->wBitCount, 0);
    std::unique_ptr<tagQVThumbnail> t(QVGetThumbnailFromBitmap(Wide(items[i].file).c_str(), nullptr));
    if (!t) {
      std::printf("  %-32s missing\n", items[i].label.c_str());
      continue;
    }
    CRect inner(x + kPad + 4, y + kPad + 6, x + kCellW - kPad - 4, y + kCellH - kPad - 6);
    QVDrawThumbnail(&sheet.dc, inner, t.get(), StoredTopDown(items[i].file) ? 1 : 0, items[i].aspect);
    std::printf("  %-32s %3dx%-3d %2u-bit\n", items[i].label.c_str(), t->nWidth, t->nHeight, t->wBitCount);
    ++drawn;
  }
  std::string dir = (fs::is_directory("/var/tmp") ? "/var/tmp" : "/tmp") + std::string("/qvtool-bmp-XXXXXX");
  if (!::mkdtemp(dir.data())) {
    Fail("demo: cannot make a temporary folder");
    return kExitFailure;
  }
  const std::string png = dir + "/contact_sheet.png";
  if (!qvp::SaveDCToPng(sheet.dc.m_hDC, Wide(png).c_str())) {
    Fail("demo: cannot write " + png);
    return kExitFailure;
  }
  std::printf("%d of %zu pictures drawn; contact sheet written to %s\n", drawn, items.size(), png.c_str());
  return drawn == static_cast<int>(items.size()) ? kExitOk : kExitFailure;
}

}  // namespace

void AddBitmapCommands(CLI::App& app) {
  auto* bmp = app.add_subcommand("bmp", "BMP files: inspect, draw as a thumbnail, convert between 24 and 32 bits");
  bmp->require_subcommand(1);

  static std::string info_file;
  auto* info = bmp->add_subcommand("info", "Show what the loader reads from a BMP file, or why it refuses it");
  info->add_option("FILE", info_file, "BMP file")->required();
  info->footer("Example: qvtool bmp info data/thumbnails/sunrise_24bit.bmp");
  info->callback([] { ExitCode() = Info(info_file); });

  static std::string thumb_in, thumb_out, thumb_size = "160x90";
  static int aspect = 0;
  auto* thumb = bmp->add_subcommand(
      "thumbnail", "Draw a BMP file as a thumbnail (proportions kept, centred, HALFTONE) into a PNG picture");
  thumb->add_option("FILE", thumb_in, "BMP file (16, 24 or 32 bits)")->required();
  thumb->add_option("OUT", thumb_out, "PNG file to write")->required();
  thumb->add_option("--size", thumb_size, "Size of the PNG picture, WIDTHxHEIGHT")->capture_default_str();
  thumb->add_option("--aspect", aspect, "2 or 4: show the picture in 16:9 proportions; otherwise its own");
  thumb->footer("Example: qvtool bmp thumbnail data/thumbnails/sunrise_24bit.bmp /tmp/sunrise.png --size 160x90");
  thumb->callback([] { ExitCode() = Thumbnail(thumb_in, thumb_out, thumb_size, aspect); });

  static std::string conv_in, conv_out;
  static int bits = 0;
  auto* convert = bmp->add_subcommand("convert", "Rewrite a BMP file with 24 or 32 bits per pixel");
  convert->add_option("IN", conv_in, "BMP file to read (16, 24 or 32 bits)")->required();
  convert->add_option("OUT", conv_out, "BMP file to write")->required();
  convert->add_option("--bits", bits, "24 or 32")->required()->check(CLI::IsMember({24, 32}));
  convert->footer("Example: qvtool bmp convert data/thumbnails/test_card_565.bmp /tmp/card.bmp --bits 24");
  convert->callback([] { ExitCode() = Convert(conv_in, conv_out, bits); });

  AddDemoSection("bitmaps", Demo);
}

}  // namespace qvtool
