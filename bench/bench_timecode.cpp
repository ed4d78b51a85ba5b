// Time code conversion speed, one direction per benchmark, over a day's
// worth of varied frame counts so that every field changes.
#include <benchmark/benchmark.h>

#include <vector>

#include "qv_commonclass/media.h"

using namespace qv_commonclass;

namespace {

constexpr LONG kStep = 7919;  // a prime stride through a day at 25 fps

void ToText(benchmark::State& state, emQVVideoStandard standard) {
  LONG n = 0;
  for (auto _ : state) {
    CString text = QV_GetStringFromTimeCode(n, standard);
    benchmark::DoNotOptimize(text);
    n += kStep;
    if (n >= 2160000) n -= 2160000;
  }
  state.SetItemsProcessed(state.iterations());
}

void FromText(benchmark::State& state, emQVVideoStandard standard) {
  std::vector<CString> texts;
  for (LONG n = 0; n < 2160000; n += 2160000 / 4096 + 1) texts.push_back(QV_GetStringFromTimeCode(n, standard));
  std::size_t i = 0;
  for (auto _ : state) {
    LONG frames = QV_FromStringToTimeCode(texts[i], standard);
    benchmark::DoNotOptimize(frames);
    if (++i == texts.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void DropFrameDefault(benchmark::State& state, bool toText) {
  QVSetMediaDefaultFrameRate(50.0);
  QVSetMediaDefaultFrameRate(30000.0 / 1001.0);
  if (toText)
    ToText(state, QV_VIDEOSTANDARD_DEFAULT);
  else
    FromText(state, QV_VIDEOSTANDARD_DEFAULT);
}

}  // namespace

BENCHMARK_CAPTURE(ToText, pal_25, QV_VIDEOSTANDARD_1080I_50);
BENCHMARK_CAPTURE(ToText, ntsc_2997_float, QV_VIDEOSTANDARD_NTSC);
BENCHMARK_CAPTURE(DropFrameDefault, to_text_30000_1001, true);
BENCHMARK_CAPTURE(FromText, pal_25, QV_VIDEOSTANDARD_1080I_50);
BENCHMARK_CAPTURE(FromText, ntsc_2997_float, QV_VIDEOSTANDARD_NTSC);
BENCHMARK_CAPTURE(DropFrameDefault, from_text_30000_1001, false);

BENCHMARK_MAIN();
