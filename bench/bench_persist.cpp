// Speed of the recordset persistence writer and reader on 100,000 rows of
// ten mixed fields, against pugixml saving and parsing the same document:
// the neutral document model (the tools' path) and the recordset itself
// (Save into text, Open from a stream). The sample text is built once,
// before the first benchmark.
//
//   bench_persist   the benchmarks (Google Benchmark flags apply); the
//                   counter "model/file" is the memory the read model holds
//                   (strings and vectors, counted) over the file size, and
//                   "heap/file" the heap an opened recordset holds (malloc's
//                   own count before and after) over the file size.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <pugixml.hpp>
#include <string>

#include "qv_platform/data/ado.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/data/stream.h"
#include "qv_platform/xmldom.h"

using namespace qvp::persist;

namespace {

constexpr int kRows = 100000;

Document Make() {
  Document d;
  auto col = [&](const char* name, AdoNS::DataTypeEnum t, std::uint64_t size, bool fixed) {
    Column c;
    c.name = name;
    c.number = static_cast<long>(d.columns.size() + 1);
    c.type = t;
    c.maxLength = size;
    c.nullable = c.write = true;
    c.fixedLength = fixed;
    if (t == AdoNS::adNumeric) c.precision = 18, c.scale = 4, c.hasScale = true;
    d.columns.push_back(c);
  };
  col("ID", AdoNS::adInteger, 4, true);
  col("Title", AdoNS::adVarWChar, 200, false);
  col("Duration", AdoNS::adDouble, 8, true);
  col("Created", AdoNS::adDBTimeStamp, 16, true);
  col("Price", AdoNS::adNumeric, 19, true);
  col("Archived", AdoNS::adBoolean, 2, true);
  col("Guid", AdoNS::adGUID, 16, true);
  col("Size", AdoNS::adBigInt, 8, true);
  col("Path", AdoNS::adVarChar, 255, false);
  col("Thumb", AdoNS::adVarBinary, 32, false);
  d.rows.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    Row r;
    auto s = std::to_string(i);
    r.values = {{false, s},
                {false, "Evening news clip " + s + " & <promo>"},
                {false, std::to_string(i * 0.04 + 0.5).substr(0, 8)},
                {false, "2026-06-12T14:" + std::to_string(10 + i % 50) + ":15"},
                {false, s + ".2500"},
                {false, i % 2 ? "True" : "False"},
                {false, "{01234567-89AB-CDEF-0123-" + std::string(12 - std::min<size_t>(12, s.size()), '0') + s + "}"},
                {false, std::to_string(1000000000LL + i * 7919LL)},
                i % 10 == 0 ? Cell{} : Cell{false, "\\\\media\\archive\\2026\\" + s + ".mxf"},
                {false, "00112233445566778899aabbccddeeff"}};
    d.rows.push_back(std::move(r));
  }
  return d;
}

const Document& Doc() {
  static const Document d = Make();
  return d;
}
AdoNS::_RecordsetPtr OpenRecordset(const std::string& text) {
  AdoNS::_StreamPtr s(AdoNS::_Stream::Create(), false);
  s->Open();
  s->WriteBytes(text);
  s->PutPosition(0);
  AdoNS::_RecordsetPtr rs(AdoNS::_Recordset::Create(), false);
  rs->Open(s.GetInterfacePtr(), AdoNS::adOpenStatic, AdoNS::adLockBatchOptimistic);
  return rs;
}

// The document as a recordset saves it (the model above writes a few
// values in other forms, "0.500000" for 0.5).
const std::string& Text() {
  static const std::string t = OpenRecordset(Write(Doc()))->SaveToText();
  return t;
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void BM_PersistWrite(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Write(Doc()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}
BENCHMARK(BM_PersistWrite)->Unit(benchmark::kMillisecond);

void BM_PugixmlSave(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_buffer(Text().data(), Text().size());
  for (auto _ : state) {
    StringWriter w;
    w.out.reserve(Text().size() + 4096);
    doc.save(w, "\t", pugi::format_raw | pugi::format_no_declaration);
    benchmark::DoNotOptimize(w.out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond);

std::size_t ModelBytes(const Document& d) {
  std::size_t n = sizeof(d) + d.columns.capacity() * sizeof(Column) + d.rows.capacity() * sizeof(Row);
  for (const Row& r : d.rows) {
    n += r.values.capacity() * sizeof(Cell);
    for (const Cell& c : r.values)
      if (c.text.capacity() > 15) n += c.text.capacity() + 1;
  }
  return n;
}

void BM_PersistRead(benchmark::State& state) {
  std::size_t model = 0;
  for (auto _ : state) {
    Document d;
    std::string error;
    if (!Read(Text(), d, error)) state.SkipWithError(error.c_str());
    model = ModelBytes(d);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
  state.counters["model/file"] = static_cast<double>(model) / static_cast<double>(Text().size());
}
BENCHMARK(BM_PersistRead)->Unit(benchmark::kMillisecond);

void BM_PugixmlParse(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_buffer(Text().data(), Text().size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

// The document stand-in's load alone (check and parse): the part of
// opening a recordset that is not its own.
void BM_XmlDocumentLoad(benchmark::State& state) {
  for (auto _ : state) {
    qvp::XmlDocument doc;
    benchmark::DoNotOptimize(doc.LoadXmlUtf8(Text()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}
BENCHMARK(BM_XmlDocumentLoad)->Unit(benchmark::kMillisecond);

void BM_RecordsetSave(benchmark::State& state) {
  AdoNS::_RecordsetPtr rs = OpenRecordset(Text());
  for (auto _ : state) benchmark::DoNotOptimize(rs->SaveToText());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}
BENCHMARK(BM_RecordsetSave)->Unit(benchmark::kMillisecond);

void BM_RecordsetOpen(benchmark::State& state) {
  AdoNS::_StreamPtr s(AdoNS::_Stream::Create(), false);
  s->Open();
  s->WriteBytes(Text());
  double heap = 0;
  for (auto _ : state) {
    s->PutPosition(0);
    const std::size_t before = mallinfo2().uordblks;
    AdoNS::_RecordsetPtr rs(AdoNS::_Recordset::Create(), false);
    rs->Open(s.GetInterfacePtr(), AdoNS::adOpenStatic, AdoNS::adLockBatchOptimistic);
    heap = static_cast<double>(mallinfo2().uordblks - before);
    benchmark::DoNotOptimize(rs);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
  state.counters["heap/file"] = heap / static_cast<double>(Text().size());
}
BENCHMARK(BM_RecordsetOpen)->Unit(benchmark::kMillisecond);

}  // namespace

// The sample text is built before the first benchmark, which would
// otherwise pay for it.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::DoNotOptimize(Text());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
