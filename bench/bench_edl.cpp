// Speed of the second-generation list reader and writer on large lists,
// against pugixml alone on the same file.
//
//   bench_edl                       the benchmarks (Google Benchmark flags apply)
//   bench_edl --make FILE [N]       writes a generated list of N items (100000)
//   bench_edl --read FILE           reads FILE once and prints the peak memory
//                                   (getrusage max RSS) against the file size
//   bench_edl --pugixml FILE        the same for pugixml's parse alone
//   bench_edl --ratios [ROUNDS]     alternates pugixml and the library on the
//                                   same list and prints the ratios of the
//                                   fastest runs (robust on a busy machine)
//
// The generated list has N items, every one with its own physical clip:
// 60% on the video track and two audio tracks of 20% each, a handful of
// formats, realistic paths and positions.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pugixml.hpp>
#include <string>

#include "bench_timing.h"
#include "qv_commonclass/edl.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

namespace {

constexpr int kItems = 100000;

void MakeList(_VEDL_INFO_2& info, int n) {
  info.lVersion = 3;
  info.dFps = 25;
  info.strName = u"晚间新闻 2026-12-06 完整版";
  info.strId = u"{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}";
  info.lFmtId = 1;
  info.lMaxId = n;
  info.arrVideo.std_vector().reserve(static_cast<std::size_t>(n) * 6 / 10 + 1);
  LONGLONG pos[3] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const int track = i % 5 < 3 ? 0 : i % 5 - 2;  // 0 video, 1 and 2 audio
    _VEDL_ITEM_INFO_2 it;
    it.lClipId = i;
    char path[96];
    std::snprintf(path, sizeof path, "/media/news/2026/12/%02d/cam%d_clip_%06d.%s", 1 + i % 28, i % 4, i,
                  track ? "wav" : "mxf");
    it.strClipFile = CString(path);
    if (i % 3 == 0) it.strExtFile = CString(std::string(path) + ".idx");
    const LONGLONG len = 50 + (i * 37) % 500;
    it.llBegin = pos[track];
    it.llClipBegin = (i * 91) % 10000;
    it.llClipEnd = it.llClipBegin + len;
    pos[track] += len;
    it.lClipType = track ? 2 << (track - 1) : 1;
    it.lChannel = track;
    it.lTransType = i % 7 == 0 ? 1 : -1;
    if (track == 0) {
      it.lFmtId = 1 + i % 3;
      auto& f = it.uFormat.video;
      f.lId = it.lFmtId, f.lFileFmt = 2, f.dFps = 25, f.lVideoFmt = 4 + i % 3, f.lWidth = 1920, f.lHeight = 1080;
      f.lPixelFmt = 1, f.lBitrate = 50000000, f.lGopSize = 12, f.lBFrameCount = 2, f.lPFrameCount = 3;
      info.arrVideo.std_vector().push_back(std::move(it));
    } else {
      it.lFmtId = 10;
      auto& f = it.uFormat.audio;
      f.lId = 10, f.lFileFmt = 5, f.dFps = 25, f.lAudioFmt = 1, f.lChannels = 2, f.lSampleRate = 48000;
      f.lBitsPerSample = 24;
      info.arrAudio[track - 1].std_vector().push_back(std::move(it));
    }
  }
  info.llLength = pos[0];
}

std::string TempPath(const char* name) { return ::TempPath("qv_bench_edl_", name); }

const std::string& SampleFile() {
  static const std::string path = [] {
    std::string p = TempPath("_sample.xml");
    _VEDL_INFO_2 info;
    MakeList(info, kItems);
    if (!QVWriteVEDLToFile2(qvp::Utf8ToUtf16(p).c_str(), &info)) std::abort();
    return p;
  }();
  return path;
}

void BM_PugixmlParse(benchmark::State& state) { PugixmlParse(state, SampleFile()); }
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

void BM_ReadVEDLFromFile2(benchmark::State& state) {
  const std::u16string file = qvp::Utf8ToUtf16(SampleFile());
  for (auto _ : state) {
    _VEDL_INFO_2 info;
    if (!QVReadVEDLFromFile2(file.c_str(), &info)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(info.arrVideo.GetSize());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(SampleFile())));
}
BENCHMARK(BM_ReadVEDLFromFile2)->Unit(benchmark::kMillisecond);

void BM_PugixmlSave(benchmark::State& state) { PugixmlSave(state, SampleFile(), TempPath("_pugi_out.xml")); }
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond);

void BM_WriteVEDLToFile2(benchmark::State& state) {
  _VEDL_INFO_2 info;
  MakeList(info, kItems);
  const std::string out = TempPath("_out.xml");
  const std::u16string wide = qvp::Utf8ToUtf16(out);
  for (auto _ : state)
    if (!QVWriteVEDLToFile2(wide.c_str(), &info)) state.SkipWithError("write failed");
  std::filesystem::remove(out);
}
BENCHMARK(BM_WriteVEDLToFile2)->Unit(benchmark::kMillisecond);

int Ratios(int rounds) {
  const std::string& file = SampleFile();
  const std::u16string wide = qvp::Utf8ToUtf16(file);
  const std::string out = TempPath("_ratio_out.xml");
  const std::u16string wide_out = qvp::Utf8ToUtf16(out);
  _VEDL_INFO_2 list;
  MakeList(list, kItems);
  PrintRatiosAgainstPugixml(
      file, out, kItems, rounds,
      [&] {
        _VEDL_INFO_2 info;
        return QVReadVEDLFromFile2(wide.c_str(), &info) != 0;
      },
      [&] { return QVWriteVEDLToFile2(wide_out.c_str(), &list) != 0; });
  std::filesystem::remove(file);
  return 0;
}

long MaxRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--make") == 0) {
    _VEDL_INFO_2 info;
    MakeList(info, argc >= 4 ? std::atoi(argv[3]) : kItems);
    return QVWriteVEDLToFile2(qvp::Utf8ToUtf16(argv[2]).c_str(), &info) ? 0 : 1;
  }
  if (argc >= 3 && std::strcmp(argv[1], "--read") == 0) {
    const long before = MaxRssKb();
    const double size_kb = static_cast<double>(std::filesystem::file_size(argv[2])) / 1024.0;
    _VEDL_INFO_2 info;
    const int ok = QVReadVEDLFromFile2(qvp::Utf8ToUtf16(argv[2]).c_str(), &info);
    const long after = MaxRssKb();
    std::printf("read %s: %d, %d video items\nfile %.0f KiB, peak RSS %ld KiB (%.2fx), before reading %ld KiB, "
                "growth %.2fx\n",
                argv[2], ok, info.arrVideo.GetSize(), size_kb, after, after / size_kb, before,
                (after - before) / size_kb);
    return ok ? 0 : 1;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--ratios") == 0) return Ratios(argc >= 3 ? std::atoi(argv[2]) : 10);
  if (argc >= 3 && std::strcmp(argv[1], "--pugixml") == 0) {  // the same, pugixml's parse alone
    const double size_kb = static_cast<double>(std::filesystem::file_size(argv[2])) / 1024.0;
    pugi::xml_document doc;
    const bool ok = doc.load_file(argv[2]);
    std::printf("pugixml parse %s: %d, peak RSS %ld KiB (%.2fx)\n", argv[2], ok, MaxRssKb(), MaxRssKb() / size_kb);
    return ok ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove(SampleFile());
  return 0;
}
