// Throughput, memory and cancel latency of the buffered copy engine.
//
// The engine flushes every 4 MiB buffer to the storage before it takes the
// next one, so its yardstick is `dd bs=4M oflag=dsync` (every 4 MiB write
// synchronous) on the same file in the same run. Each round copies the
// source once with the engine and once with dd; both rates and their ratio
// are reported as counters.
//
//   QV_BENCH_COPY_DIR   folder for the source and targets (default /tmp)
//   QV_BENCH_COPY_MIB   source size in MiB (default 1024)
//   QV_BENCH_COPY_ROUNDS  engine/dd pairs (default 6), after one untimed pair
//   QV_BENCH_COPY_VERBOSE print the time of every run
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "qv_commonclass/files.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path Folder() {
  const char* dir = std::getenv("QV_BENCH_COPY_DIR");
  return fs::path(dir && *dir ? dir : "/tmp") / ("qv_bench_copy." + std::to_string(::getpid()));
}

std::uint64_t SourceBytes() {
  const char* mib = std::getenv("QV_BENCH_COPY_MIB");
  return (mib && *mib ? std::strtoull(mib, nullptr, 10) : 1024) << 20;
}

double PeakRssMiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kB on Linux
}

// The source is made once per process and removed at exit.
struct Source {
  fs::path dir = Folder();
  fs::path path = dir / "source.bin";
  std::uint64_t bytes = SourceBytes();
  Source() {
    fs::create_directories(dir);
    std::ofstream out(path, std::ios::binary);
    std::string block(4 << 20, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::uint64_t done = 0; done < bytes; done += block.size()) {
      for (std::size_t i = 0; i < block.size(); i += 8) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        std::memcpy(&block[i], &x, 8);
      }
      out.write(block.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), bytes - done)));
    }
    out.close();
    // On the storage before anything is measured, so that neither copy
    // competes with the write-back of the source.
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::fsync(fd);
    ::close(fd);
  }
  ~Source() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Source& TheSource() {
  static Source source;
  return source;
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

void BM_CopyEngineVsDdDsync(benchmark::State& state) {
  Source& src = TheSource();
  const fs::path target = src.dir / "target.bin";
  const std::u16string from = CString(src.path.string()).str(), to = CString(target.string()).str();
  const std::string dd = "dd if='" + src.path.string() + "' of='" + target.string() +
                         "' bs=4M oflag=dsync status=none";
  const double rss_before = PeakRssMiB();
  double engine_s = 0, dd_s = 0;
  int failures = 0;
  auto run_engine = [&] {
    int cancel = 0;
    const auto t0 = Clock::now();
    const int ok = qv_commonclass::QVCopyFileEx(from.c_str(), to.c_str(), nullptr, nullptr, &cancel, 0);
    const double s = Seconds(t0);
    if (ok != 1 || fs::file_size(target) != src.bytes) ++failures;
    fs::remove(target);
    return s;
  };
  auto run_dd = [&] {
    const auto t0 = Clock::now();
    if (std::system(dd.c_str()) != 0) ++failures;
    const double s = Seconds(t0);
    fs::remove(target);
    return s;
  };
  // The two take turns going first, so that neither always meets the
  // write-back of the other's removed target.
  // The machine may be shared, so each pair of runs, back to back, also
  // gives a ratio of its own; the median of those is the steadier figure.
  bool engine_first = true;
  std::vector<double> ratios;
  run_engine();  // one untimed pair first: the first writes of a run are
  run_dd();      // the slowest, whichever program makes them
  for (auto _ : state) {
    double s = 0, d = 0;
    if (engine_first) {
      s = run_engine();
      d = run_dd();
    } else {
      d = run_dd();
      s = run_engine();
    }
    engine_first = !engine_first;
    engine_s += s;
    dd_s += d;
    ratios.push_back(d / s);
    if (std::getenv("QV_BENCH_COPY_VERBOSE")) std::fprintf(stderr, "engine %.2fs dd %.2fs\n", s, d);
    state.SetIterationTime(s);
  }
  std::sort(ratios.begin(), ratios.end());
  state.counters["ratio_median"] =
      ratios.size() % 2 ? ratios[ratios.size() / 2] : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
  const double mb = static_cast<double>(src.bytes) * static_cast<double>(state.iterations()) / 1e6;
  state.SetBytesProcessed(static_cast<std::int64_t>(src.bytes) * state.iterations());
  state.counters["engine_MBps"] = mb / engine_s;
  state.counters["dd_dsync_MBps"] = mb / dd_s;
  state.counters["ratio"] = dd_s / engine_s;
  state.counters["peak_rss_MiB"] = PeakRssMiB();
  state.counters["rss_before_MiB"] = rss_before;
  state.counters["failures"] = failures;
}
int Rounds() {
  const char* rounds = std::getenv("QV_BENCH_COPY_ROUNDS");
  return rounds && *rounds ? std::max(1, std::atoi(rounds)) : 6;
}
BENCHMARK(BM_CopyEngineVsDdDsync)->UseManualTime()->Iterations(Rounds())->Unit(benchmark::kMillisecond);

// Time from setting the cancel flag to the return of the copy, with the
// partial target removed. The flag is set while the copy is well under way.
void BM_CancelLatency(benchmark::State& state) {
  Source& src = TheSource();
  const fs::path target = src.dir / "cancelled.bin";
  const std::u16string from = CString(src.path.string()).str(), to = CString(target.string()).str();
  double worst_ms = 0, total_ms = 0;
  int leftovers = 0, completed = 0;
  for (auto _ : state) {
    int cancel = 0;
    std::atomic<Clock::time_point> set_at{};
    std::thread canceller([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300 + 37 * (state.iterations() % 7)));
      set_at = Clock::now();
      std::atomic_ref<int>(cancel).store(1);
    });
    const int ok = qv_commonclass::QVCopyFileEx(from.c_str(), to.c_str(), nullptr, nullptr, &cancel, 0);
    const auto returned = Clock::now();
    canceller.join();
    const double ms = std::chrono::duration<double, std::milli>(returned - set_at.load()).count();
    state.SetIterationTime(ms / 1000.0);
    worst_ms = std::max(worst_ms, ms);
    total_ms += ms;
    if (ok == 1) ++completed;
    if (fs::exists(target)) {
      ++leftovers;
      fs::remove(target);
    }
    // The blocks of the removed target are still being freed; the next
    // round should not be measured against that.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  state.counters["cancel_mean_ms"] = total_ms / static_cast<double>(state.iterations());
  state.counters["cancel_worst_ms"] = worst_ms;
  state.counters["leftover_targets"] = leftovers;
  state.counters["completed"] = completed;
}
BENCHMARK(BM_CancelLatency)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
