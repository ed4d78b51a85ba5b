// Timing of the ratio runs the list benchmarks print: the best wall and
// thread CPU time of a piece of work over several rounds, which is robust on
// a busy machine, and the list reader and writer timed against pugixml's own
// parse and save of the same file.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <pugixml.hpp>
#include <string>

inline double Now(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Best (wall, cpu) milliseconds of `fn` over the rounds it was run.
struct Best {
  double wall = 1e300, cpu = 1e300;
  template <class Fn>
  void Run(Fn&& fn) {
    const double w0 = Now(CLOCK_MONOTONIC), c0 = Now(CLOCK_THREAD_CPUTIME_ID);
    fn();
    wall = std::min(wall, Now(CLOCK_MONOTONIC) - w0);
    cpu = std::min(cpu, Now(CLOCK_THREAD_CPUTIME_ID) - c0);
  }
};

// A path in the temporary folder private to this process: prefix, process
// id, then `name`.
inline std::string TempPath(const char* prefix, const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string(prefix) + std::to_string(getpid()) + name)).string();
}

// Alternates pugixml's parse of `file` with `read()` and pugixml's save of
// the same document to `out` with `write()` for `rounds` rounds, and prints
// the best times and their ratios. `read` and `write` return false on
// failure, which aborts: a failed run would time nothing. `out` is removed.
template <class Read, class Write>
void PrintRatiosAgainstPugixml(const std::string& file, const std::string& out, int items, int rounds, Read&& read,
                               Write&& write) {
  pugi::xml_document saved;
  saved.load_file(file.c_str(), pugi::parse_default | pugi::parse_declaration);
  Best parse, lib_read, save, lib_write;
  for (int r = 0; r < rounds; ++r) {
    parse.Run([&] {
      pugi::xml_document doc;
      if (!doc.load_file(file.c_str())) std::abort();
    });
    lib_read.Run([&] {
      if (!read()) std::abort();
    });
    save.Run([&] {
      if (!saved.save_file(out.c_str(), "\t", pugi::format_indent)) std::abort();
    });
    lib_write.Run([&] {
      if (!write()) std::abort();
    });
  }
  std::printf("%d items, file %.1f MB, best of %d rounds (wall / cpu ms):\n", items,
              static_cast<double>(std::filesystem::file_size(file)) / 1e6, rounds);
  std::printf("  pugixml parse %.1f / %.1f   read  %.1f / %.1f   ratio %.2f / %.2f\n", parse.wall, parse.cpu,
              lib_read.wall, lib_read.cpu, lib_read.wall / parse.wall, lib_read.cpu / parse.cpu);
  std::printf("  pugixml save  %.1f / %.1f   write %.1f / %.1f   ratio %.2f / %.2f\n", save.wall, save.cpu,
              lib_write.wall, lib_write.cpu, lib_write.wall / save.wall, lib_write.cpu / save.cpu);
  std::filesystem::remove(out);
}

// The yardsticks both list benchmarks report beside the library: pugixml's
// parse of `file`, and its save of the same document to `out` (removed
// afterwards).
inline void PugixmlParse(benchmark::State& state, const std::string& file) {
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_file(file.c_str()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
}

inline void PugixmlSave(benchmark::State& state, const std::string& file, const std::string& out) {
  pugi::xml_document doc;
  doc.load_file(file.c_str(), pugi::parse_default | pugi::parse_declaration);
  for (auto _ : state) benchmark::DoNotOptimize(doc.save_file(out.c_str(), "\t", pugi::format_indent));
  std::filesystem::remove(out);
}
