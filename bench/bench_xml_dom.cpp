// The typed DOM wrapper against pugixml used directly.
//
//   BM_Wrapper/BM_Pugixml: build a document of 100,000 typed child elements
//     (20,000 records of five fields: int, unsigned long, 64-bit, double,
//     text) and read every field back by name; the same work both ways.
//   BM_GetChilds/N: GetChilds of N same-named children (should be linear).
//
//   ./build/release/bin/bench_xml_dom            # all
//   ./build/release/bin/bench_xml_dom --ratio    # the ratio only: 9 interleaved
//                                                  # repetitions, medians of CPU time
#include <benchmark/benchmark.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "qv_commonclass/xml.h"

namespace {

using namespace qv_commonclass;

constexpr int kRecords = 20000;  // five fields each: 100,000 typed children

void BM_Wrapper(benchmark::State& state) {
  for (auto _ : state) {
    CQVXmlDomDocument doc;
    CQVXmlDomElement root = doc.CreateElement(u"Records", nullptr);
    doc.SetDocumentElement(root);
    const CString text(u"clip name");
    for (int i = 0; i < kRecords; ++i) {
      CQVXmlDomElement r = doc.CreateElement(u"R", nullptr);
      r.AppendChild(doc, u"Id", i, true);
      r.AppendChild(doc, u"Flags", static_cast<ULONG>(i) * 3u, true);
      r.AppendChild(doc, u"Size", static_cast<ULONGLONG>(i) << 33, true);
      r.AppendChild(doc, u"Rate", i * 0.5, true);
      r.AppendChild(doc, u"Name", text, true);
      root.AppendChild(r);
    }
    long long sum = 0;
    for (const CQVXmlDomElement& r : root.GetChilds(u"R")) {
      int id = 0;
      ULONG flags = 0;
      ULONGLONG size = 0;
      double rate = 0;
      CString name;
      r.GetChild(u"Id", id, true);
      r.GetChild(u"Flags", flags, true);
      r.GetChild(u"Size", size, true);
      r.GetChild(u"Rate", rate, true);
      r.GetChild(u"Name", name, true);
      sum += id + flags + static_cast<long long>(size >> 33) + static_cast<long long>(rate) + name.GetLength();
    }
    if (sum == 0) state.SkipWithError("nothing read back");
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kRecords * 5);
}

void BM_Pugixml(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("Records");
    for (int i = 0; i < kRecords; ++i) {
      pugi::xml_node r = root.append_child("R");
      r.append_child("Id").text().set(i);
      r.append_child("Flags").text().set(static_cast<unsigned>(i) * 3u);
      r.append_child("Size").text().set(static_cast<long long>(static_cast<unsigned long long>(i) << 33));
      r.append_child("Rate").text().set(i * 0.5);
      r.append_child("Name").text().set("clip name");
    }
    long long sum = 0;
    for (pugi::xml_node r : root.children("R")) {
      const int id = r.child("Id").text().as_int();
      const unsigned flags = r.child("Flags").text().as_uint();
      const unsigned long long size = r.child("Size").text().as_ullong();
      const double rate = r.child("Rate").text().as_double();
      const char* name = r.child("Name").text().get();
      sum += id + flags + static_cast<long long>(size >> 33) + static_cast<long long>(rate) +
             static_cast<long long>(std::strlen(name));
    }
    if (sum == 0) state.SkipWithError("nothing read back");
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kRecords * 5);
}

void BM_GetChilds(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  CQVXmlDomDocument doc;
  CQVXmlDomElement root = doc.CreateElement(u"Items", nullptr);
  doc.SetDocumentElement(root);
  for (int i = 0; i < n; ++i) root.AppendChild(doc, u"Item", i, true);
  for (auto _ : state) {
    std::vector<CQVXmlDomElement> items = root.GetChilds(u"Item");
    if (static_cast<int>(items.size()) != n) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(items.data());
  }
  state.SetComplexityN(n);
}

BENCHMARK(BM_Wrapper)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Pugixml)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_GetChilds)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Unit(benchmark::kMicrosecond)->Complexity();

// Reports the wrapper/pugixml ratio of CPU time (the goal is at most 3),
// from the medians of the repetitions: CPU time, not wall time, and
// medians, so that other load on the machine skews it as little as possible.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      const std::string name = r.benchmark_name();
      if (name.rfind("BM_Wrapper", 0) == 0) wrapper_.push_back(r.GetAdjustedCPUTime());
      if (name.rfind("BM_Pugixml", 0) == 0) pugi_.push_back(r.GetAdjustedCPUTime());
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (wrapper_.empty() || pugi_.empty()) return;
    const double w = Median(wrapper_), p = Median(pugi_);
    std::printf("median CPU time: wrapper %.1f ms, pugixml %.1f ms over %zu/%zu runs; wrapper / pugixml = %.2f (goal <= 3)\n",
                w, p, wrapper_.size(), pugi_.size(), w / p);
  }

 private:
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  }
  std::vector<double> wrapper_, pugi_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  bool ratio_only = false;
  for (auto it = args.begin() + 1; it != args.end();) {
    if (std::strcmp(*it, "--ratio") == 0) {
      ratio_only = true;
      it = args.erase(it);
    } else {
      ++it;
    }
  }
  std::string filter = "--benchmark_filter=BM_(Wrapper|Pugixml)";
  std::string repetitions = "--benchmark_repetitions=9";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  if (ratio_only) {
    args.push_back(filter.data());
    args.push_back(repetitions.data());
    args.push_back(interleave.data());
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
