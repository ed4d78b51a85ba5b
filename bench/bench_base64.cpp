// Base64 throughput on 256 MiB of random bytes, next to the coreutils
// `base64` program on the same data in the same run.
//
// The library encodes 256 MiB into a buffer and decodes the 349,525,336
// characters back; both are reported in bytes of binary data per second.
// coreutils runs through the shell on a temporary file (`base64 -w0 FILE`
// and `base64 -d FILE`, output to /dev/null, the file in the page cache), so
// its figure includes starting the process and reading the file: the
// comparison is the one a user of either would see. At the end the ratios
// library / coreutils are printed.
//
// Usage: bench_base64 [benchmark flags]   (QV_BENCH_MIB changes the size)

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "qv_commonclass/text.h"

namespace {

std::size_t DataBytes() {
  static const std::size_t bytes = [] {
    const char* env = std::getenv("QV_BENCH_MIB");
    const long mib = env ? std::strtol(env, nullptr, 10) : 256;
    return static_cast<std::size_t>(mib > 0 && mib <= 1024 ? mib : 256) << 20;
  }();
  return bytes;
}

const std::vector<BYTE>& Data() {
  static const std::vector<BYTE> data = [] {
    std::vector<BYTE> d(DataBytes());
    std::mt19937_64 rng(42);
    for (std::size_t i = 0; i + 8 <= d.size(); i += 8) {
      const std::uint64_t v = rng();
      std::memcpy(&d[i], &v, 8);
    }
    return d;
  }();
  return data;
}

const std::string& Encoded() {
  static const std::string text = [] {
    const auto& d = Data();
    std::string t(d.size() / 3 * 4 + 8, '\0');
    t.resize(static_cast<std::size_t>(Base64EncodeA(t.data(), d.data(), static_cast<int>(d.size()))));
    return t;
  }();
  return text;
}

std::filesystem::path TempPath(const char* name) {
  return std::filesystem::temp_directory_path() / (std::string("qv_bench_base64_") + name);
}

struct TempFiles {
  std::filesystem::path raw = TempPath("raw.bin");
  std::filesystem::path text = TempPath("text.b64");
  TempFiles() {
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(Data().data()),
                                               static_cast<std::streamsize>(Data().size()));
    std::ofstream(text, std::ios::binary).write(Encoded().data(), static_cast<std::streamsize>(Encoded().size()));
  }
  ~TempFiles() {
    std::error_code ec;
    std::filesystem::remove(raw, ec);
    std::filesystem::remove(text, ec);
  }
};

const TempFiles& Files() {
  static const TempFiles files;
  return files;
}

void BM_EncodeA(benchmark::State& state) {
  const auto& d = Data();
  std::vector<char> out(d.size() / 3 * 4 + 8);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Base64EncodeA(out.data(), d.data(), static_cast<int>(d.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.size()));
}

void BM_DecodeA(benchmark::State& state) {
  const auto& t = Encoded();
  std::vector<BYTE> out(t.size() / 4 * 3);
  int n = 0;
  for (auto _ : state) {
    n = Base64DecodeA(out.data(), t.data(), static_cast<int>(t.size()));
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  if (static_cast<std::size_t>(n) != Data().size()) state.SkipWithError("decoded size differs");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().size()));
}

void BM_EncodeW(benchmark::State& state) {
  const auto& d = Data();
  std::vector<char16_t> out(d.size() / 3 * 4 + 8);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Base64EncodeW(out.data(), d.data(), static_cast<int>(d.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.size()));
}

void BM_DecodeW(benchmark::State& state) {
  static const std::u16string wide(Encoded().begin(), Encoded().end());
  std::vector<BYTE> out(wide.size() / 4 * 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Base64DecodeW(out.data(), wide.data(), static_cast<int>(wide.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().size()));
}

void RunShell(benchmark::State& state, const std::string& command) {
  Files();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int rc = std::system(command.c_str());
    const auto stop = std::chrono::steady_clock::now();
    if (rc != 0) {
      state.SkipWithError(("command failed: " + command).c_str());
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().size()));
}

void BM_CoreutilsEncode(benchmark::State& state) {
  RunShell(state, "base64 -w0 '" + Files().raw.string() + "' > /dev/null");
}

void BM_CoreutilsDecode(benchmark::State& state) {
  RunShell(state, "base64 -d '" + Files().text.string() + "' > /dev/null");
}

BENCHMARK(BM_EncodeA)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DecodeA)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_EncodeW)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DecodeW)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_CoreutilsEncode)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CoreutilsDecode)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Remembers each benchmark's bytes per second to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates_[run.run_name.function_name] = it->second.value;
    }
  }
  void PrintRatios() const {
    auto ratio = [this](const char* ours, const char* theirs) {
      const auto a = rates_.find(ours);
      const auto b = rates_.find(theirs);
      if (a == rates_.end() || b == rates_.end() || b->second <= 0) return;
      std::printf("%-12s library %.2f GB/s, coreutils %.2f GB/s, ratio %.2f\n", ours + 3, a->second / 1e9,
                  b->second / 1e9, a->second / b->second);
    };
    ratio("BM_EncodeA", "BM_CoreutilsEncode");
    ratio("BM_DecodeA", "BM_CoreutilsDecode");
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
