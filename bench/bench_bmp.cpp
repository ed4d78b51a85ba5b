// Speed of the bitmap functions on a 1920 x 1080 picture:
//   - QVLoadBmp of a 24-bit file against fread of the same file into a new
//     buffer (goal: at most 2x);
//   - QVSaveBmp of the same rows against fwrite of the same bytes (at most 2x);
//   - QVDrawThumbnail with HALFTONE into 160 x 90 (goal: at most 2 ms), and
//     COLORONCOLOR for comparison;
//   - 10,000 cached thumbnail look-ups from 8 threads, thread start included
//     (goal: at most 10 ms in all).
// The files lie in /var/tmp (disk-backed by convention) and are read from the
// page cache after the first round, as a client's repeated loads are.
//
//   bench_bmp [Google Benchmark flags]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qv_commonclass/imaging.h"

using namespace qv_commonclass;
namespace fs = std::filesystem;

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr std::size_t kRow = (kW * 24 + 31) / 32 * 4;

const std::vector<unsigned char>& Rows() {
  static const std::vector<unsigned char> rows = [] {
    std::vector<unsigned char> r(kRow * kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        unsigned char* p = &r[kRow * y + 3 * x];
        p[0] = static_cast<unsigned char>(x * 255 / kW);
        p[1] = static_cast<unsigned char>(y * 255 / kH);
        p[2] = static_cast<unsigned char>((x ^ y) & 0xFF);
      }
    return r;
  }();
  return rows;
}

const fs::path& Folder() {
  static const fs::path dir = [] {
    fs::path d = fs::path(fs::is_directory("/var/tmp") ? "/var/tmp" : "/tmp") / ("bench_bmp_" + std::to_string(getpid()));
    fs::create_directories(d);
    std::atexit([] { fs::remove_all(Folder()); });
    return d;
  }();
  return dir;
}

const fs::path& PictureFile() {
  static const fs::path file = [] {
    fs::path f = Folder() / "hd_24bit.bmp";
    auto rows = Rows();
    if (QVSaveBmp(CString(f.string()), rows.data(), kH, kW, 24, 1) != S_OK) std::abort();
    return f;
  }();
  return file;
}

void BM_LoadBmp(benchmark::State& state) {
  const std::u16string path = PictureFile().u16string();
  for (auto _ : state) {
    unsigned char* bits = nullptr;
    BITMAPINFOHEADER h;
    if (!QVLoadBmp(path.c_str(), bits, h)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(bits);
    delete[] bits;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(PictureFile())));
}
BENCHMARK(BM_LoadBmp)->Unit(benchmark::kMillisecond);

void BM_FreadSameFile(benchmark::State& state) {
  const std::string path = PictureFile().string();
  const auto size = fs::file_size(PictureFile());
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    auto* buffer = new unsigned char[size];
    if (std::fread(buffer, 1, size, f) != size) state.SkipWithError("short read");
    std::fclose(f);
    benchmark::DoNotOptimize(buffer);
    delete[] buffer;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_FreadSameFile)->Unit(benchmark::kMillisecond);

void BM_SaveBmp(benchmark::State& state) {
  auto rows = Rows();
  const CString path((Folder() / "saved.bmp").string());
  for (auto _ : state) {
    if (QVSaveBmp(path, rows.data(), kH, kW, 24, 1) != S_OK) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rows.size() + 54));
}
BENCHMARK(BM_SaveBmp)->Unit(benchmark::kMillisecond);

void BM_FwriteSameBytes(benchmark::State& state) {
  auto rows = Rows();
  const std::string path = (Folder() / "written.bin").string();
  unsigned char headers[54] = {'B', 'M'};
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(headers, 1, sizeof headers, f);
    if (std::fwrite(rows.data(), 1, rows.size(), f) != rows.size()) state.SkipWithError("short write");
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rows.size() + 54));
}
BENCHMARK(BM_FwriteSameBytes)->Unit(benchmark::kMillisecond);

// Draws the loaded 1920 x 1080 picture into a 160 x 90 context.
void DrawThumbnail(benchmark::State& state, int mode) {
  std::unique_ptr<tagQVThumbnail> picture(QVGetThumbnailFromBitmap(PictureFile().u16string().c_str(), nullptr));
  qvp::MemoryCanvas canvas(160, 90);
  CDC& dc = canvas.dc;
  CRect rect(0, 0, 160, 90);
  for (auto _ : state) {
    if (mode == HALFTONE) {
      QVDrawThumbnail(&dc, rect, picture.get(), 0, 0);
    } else {
      QVStretchBuf(&dc, &rect, picture->pBits, picture->nWidth, picture->nHeight, picture->wBitCount, 0);
    }
    benchmark::ClobberMemory();
  }
}
void BM_ThumbnailHalftone(benchmark::State& state) { DrawThumbnail(state, HALFTONE); }
void BM_ThumbnailColorOnColor(benchmark::State& state) { DrawThumbnail(state, COLORONCOLOR); }
BENCHMARK(BM_ThumbnailHalftone)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ThumbnailColorOnColor)->Unit(benchmark::kMicrosecond);

void BM_CacheLookups8Threads(benchmark::State& state) {
  CQVBitmapCache* cache = CQVBitmapCache::instance();
  constexpr int kObjects = 1000, kThreads = 8, kLookups = 10000;
  std::vector<std::unique_ptr<stu_QVObject>> objects;
  for (int i = 0; i < kObjects; ++i) {
    auto o = std::make_unique<stu_QVObject>();
    o->lObjectID = i, o->lObjectType = 32, o->llObjectSubType = 1, o->lThumbnailGroup = 77;
    cache->AddClipThumbnail(i, 77, new tagQVThumbnail(16, 9));
    objects.push_back(std::move(o));
  }
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int k = 0; k < kLookups / kThreads; ++k) {
          benchmark::DoNotOptimize(cache->GetThumbnail(objects[static_cast<std::size_t>((k * 13 + t * 101) % kObjects)].get(), 0, 0, 0));
        }
      });
    }
    for (auto& th : threads) th.join();
  }
  state.SetItemsProcessed(state.iterations() * kLookups);
  cache->ClearClipCache();
}
BENCHMARK(BM_CacheLookups8Threads)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
