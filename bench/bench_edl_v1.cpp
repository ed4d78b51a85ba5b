// Speed of the first-generation list reader and writer on a large list,
// against pugixml alone on the same file, and of the clip record
// conversions to both generations and back.
//
//   bench_edl_v1                    the benchmarks (Google Benchmark flags apply)
//   bench_edl_v1 --ratios [ROUNDS]  alternates pugixml and the library on the
//                                   same list and prints the ratios of the
//                                   fastest runs (robust on a busy machine),
//                                   then the conversion times at 25,000,
//                                   100,000 and 400,000 items (linear time:
//                                   a flat cost per item)
//
// The generated list has N items: 60% on the video track and two audio
// tracks of 20% each, realistic paths and positions in 100-nanosecond units.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <pugixml.hpp>
#include <string>

#include "bench_timing.h"
#include "qv_commonclass/edl.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

namespace {

constexpr int kItems = 100000;

void MakeList(_VEDL_INFO_& info, int n) {
  info.dFps = 25;
  info.strName = u"晚间新闻 2026-12-06 完整版";
  info.strIp = u"10.12.0.41";
  info.strCreator = u"editor03";
  info.strId = u"{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}";
  info.dtCreationDate = COleDateTime(2026, 12, 6, 8, 30, 0);
  info.lAudioCount = 2;
  LONGLONG pos[3] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const int track = i % 5 < 3 ? 0 : i % 5 - 2;  // 0 video, 1 and 2 audio
    _VEDL_ITEM_INFO_ it;
    char path[96];
    std::snprintf(path, sizeof path, "/media/news/2026/12/%02d/cam%d_clip_%06d.%s", 1 + i % 28, i % 4, i,
                  track ? "wav" : "mxf");
    it.strClipFile = CString(path);
    const LONGLONG len = 50 + (i * 37) % 500;
    it.llBegin = pos[track];
    it.llClipBegin = ((i * 91) % 10000) * 400000LL;
    it.llClipEnd = it.llClipBegin + len * 400000LL;
    pos[track] += len;
    it.lClipType = track ? 2 << (track - 1) : 1;
    it.lChannel = track;
    if (track == 0)
      info.arrVideo.std_vector().push_back(std::move(it));
    else
      info.arrAudio[track - 1].std_vector().push_back(std::move(it));
  }
  info.llLength = pos[0];
}

std::string TempPath(const char* name) { return ::TempPath("qv_bench_edl_v1_", name); }

const std::string& SampleFile() {
  static const std::string path = [] {
    std::string p = TempPath("_sample.xml");
    _VEDL_INFO_ info;
    MakeList(info, kItems);
    if (!QVWriteVEDLToFile(qvp::Utf8ToUtf16(p).c_str(), &info)) std::abort();
    return p;
  }();
  return path;
}

void BM_PugixmlParse(benchmark::State& state) { PugixmlParse(state, SampleFile()); }
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

void BM_ReadVEDLFromFile(benchmark::State& state) {
  const std::u16string file = qvp::Utf8ToUtf16(SampleFile());
  for (auto _ : state) {
    _VEDL_INFO_ info;
    if (!QVReadVEDLFromFile(file.c_str(), &info)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(info.arrVideo.GetSize());
  }
}
BENCHMARK(BM_ReadVEDLFromFile)->Unit(benchmark::kMillisecond);

void BM_PugixmlSave(benchmark::State& state) { PugixmlSave(state, SampleFile(), TempPath("_pugi_out.xml")); }
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond);

void BM_WriteVEDLToFile(benchmark::State& state) {
  _VEDL_INFO_ info;
  MakeList(info, kItems);
  const std::string out = TempPath("_out.xml");
  const std::u16string wide = qvp::Utf8ToUtf16(out);
  for (auto _ : state)
    if (!QVWriteVEDLToFile(wide.c_str(), &info)) state.SkipWithError("write failed");
  std::filesystem::remove(out);
}
BENCHMARK(BM_WriteVEDLToFile)->Unit(benchmark::kMillisecond);

// A clip record of n clip files: 60% video, the rest on audio tracks 1 and 2,
// consistent positions at 25 frames per second (standard 0x10).
void MakeClip(stu_QVClipInfo& clip, int n) {
  clip.emVideoStandard = QV_VIDEOSTANDARD_1080I_50;
  LONG pos[3] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const int track = i % 5 < 3 ? 0 : i % 5 - 2;
    auto* f = new stu_QVClipFile;
    char path[96];
    std::snprintf(path, sizeof path, "/media/news/cam%d_clip_%06d.%s", i % 4, i, track ? "wav" : "mxf");
    f->strClipFile = CString(path);
    const LONG len = 50 + (i * 37) % 500;
    f->lClipType = track ? 2 << (track - 1) : 1;
    f->lChannelType = f->lClipType;
    f->lBegin = pos[track];
    f->lEnd = pos[track] + len;
    f->lClipIn = (i * 91) % 10000;
    f->lClipOut = f->lClipIn + len;
    pos[track] += len;
    clip.arrClipFile.Add(f);
  }
}

void BM_ClipToFirstGenerationAndBack(benchmark::State& state) {
  stu_QVClipInfo clip;
  MakeClip(clip, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    _VEDL_INFO_ info;
    QVClipInfo2VEDLInfo(&clip, info);
    stu_QVClipInfo back;
    if (!QVVEDLToClipInfo(&back, info)) state.SkipWithError("conversion failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ClipToFirstGenerationAndBack)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ClipToSecondGenerationAndBack(benchmark::State& state) {
  stu_QVClipInfo clip;
  MakeClip(clip, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    _VEDL_INFO_2 info;
    QVClipInfo2VEDLInfo2(&clip, info);
    stu_QVClipInfo back;
    if (!QVVEDL2ToClipInfo(&back, &info, 0)) state.SkipWithError("conversion failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ClipToSecondGenerationAndBack)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int Ratios(int rounds) {
  const std::string& file = SampleFile();
  const std::u16string wide = qvp::Utf8ToUtf16(file);
  const std::string out = TempPath("_ratio_out.xml");
  const std::u16string wide_out = qvp::Utf8ToUtf16(out);
  _VEDL_INFO_ list;
  MakeList(list, kItems);
  PrintRatiosAgainstPugixml(
      file, out, kItems, rounds,
      [&] {
        _VEDL_INFO_ info;
        return QVReadVEDLFromFile(wide.c_str(), &info) != 0;
      },
      [&] { return QVWriteVEDLToFile(wide_out.c_str(), &list) != 0; });
  // Conversions at three sizes: linear time shows as a cost per item that
  // stays flat once the records no longer fit in the caches.
  for (const int generation : {1, 2}) {
    std::printf("  clip record -> generation %d -> clip record, cpu ms (ns per item):", generation);
    for (const int n : {kItems / 4, kItems, kItems * 4}) {
      stu_QVClipInfo clip;
      MakeClip(clip, n);
      Best best;
      for (int r = 0; r < rounds; ++r)
        best.Run([&] {
          stu_QVClipInfo back;
          if (generation == 1) {
            _VEDL_INFO_ info;
            QVClipInfo2VEDLInfo(&clip, info);
            if (!QVVEDLToClipInfo(&back, info)) std::abort();
          } else {
            _VEDL_INFO_2 info;
            QVClipInfo2VEDLInfo2(&clip, info);
            if (!QVVEDL2ToClipInfo(&back, &info, 0)) std::abort();
          }
        });
      std::printf("  %d: %.1f (%.0f)", n, best.cpu, best.cpu * 1e6 / n);
    }
    std::printf("\n");
  }
  std::filesystem::remove(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--ratios") == 0) return Ratios(argc >= 3 ? std::atoi(argv[2]) : 10);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove(SampleFile());
  return 0;
}
