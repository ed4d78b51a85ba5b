// Speed and memory of the recordset over SQLite on 100,000 rows of 10
// fields of mixed types (integers, text, a real, a date, a boolean, a
// 64-bit integer, a decimal):
//
//   bench_recordset              the benchmarks (Google Benchmark flags apply)
//   bench_recordset --ratios     alternates the SQLite C API and the wrapper
//                                on the same query and prints the ratio of
//                                the fastest runs (process CPU time), the
//                                Filter, Sort and Find times, and the open
//                                recordset's heap (malloc's bytes in use,
//                                mapped blocks included, SQLite's own cache
//                                left out) against the database file's size
//
// "Through the wrapper" means: open the query (every row read into the
// client cursor) and read every field of every row with the typed reads a
// client uses (FieldLong, FieldString, FieldDouble, FieldODT, FieldBool by
// index; FieldLONGLONG by name).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "qv_commonclass/database.h"

using namespace qv_commonclass;
using namespace AdoNS;

namespace {

constexpr int kRows = 100000;
const char* const kQuery = "SELECT * FROM clips";

std::string DbPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("qv_bench_recordset_" + std::to_string(::getpid()) + ".db")).string();
  return path;
}

void MakeDatabase() {
  static bool made = false;
  if (made) return;
  std::filesystem::remove(DbPath());
  sqlite3* db = nullptr;
  sqlite3_open(DbPath().c_str(), &db);
  sqlite3_exec(db,
               "CREATE TABLE clips(id INTEGER PRIMARY KEY, title VARCHAR(60), standard VARCHAR(8), frames INT,"
               " rating REAL, aired DATETIME, archived BOOLEAN, size BIGINT, price DECIMAL(10,2), note TEXT);"
               "BEGIN;",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO clips VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &ins, nullptr);
  const char* standards[] = {"PAL", "NTSC", "HD1080i", "UHD"};
  for (int i = 1; i <= kRows; ++i) {
    char title[64];
    char aired[32];
    char note[64];
    std::snprintf(title, sizeof title, "Evening news %05d, archive reel %d", i, i % 97);
    std::snprintf(aired, sizeof aired, "20%02d-%02d-%02d %02d:%02d:00", 10 + i % 15, 1 + i % 12, 1 + i % 28, i % 24,
                  i % 60);
    std::snprintf(note, sizeof note, "checked by editor %d", i % 13);
    sqlite3_bind_int(ins, 1, i);
    sqlite3_bind_text(ins, 2, title, -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, standards[i % 4], -1, SQLITE_STATIC);
    sqlite3_bind_int(ins, 4, (i * 7919) % 200000);
    sqlite3_bind_double(ins, 5, (i % 50) / 10.0);
    sqlite3_bind_text(ins, 6, aired, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(ins, 7, i % 3 == 0);
    sqlite3_bind_int64(ins, 8, 1000000000LL * (i % 7) + i);
    sqlite3_bind_double(ins, 9, (i % 10000) / 100.0);
    sqlite3_bind_text(ins, 10, note, -1, SQLITE_TRANSIENT);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT; VACUUM;", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  made = true;
  std::atexit([] { std::filesystem::remove(DbPath()); });
}

// Every field of every row with the C API: the value in its stored form.
std::int64_t SqliteStepAll() {
  sqlite3* db = nullptr;
  // The provider opens its connections without SQLite's own locking (a
  // connection serves one thread at a time); so does the comparison.
  sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, kQuery, -1, &st, nullptr);
  std::int64_t sum = 0;
  const int n = sqlite3_column_count(st);
  while (sqlite3_step(st) == SQLITE_ROW) {
    for (int c = 0; c < n; ++c) {
      switch (sqlite3_column_type(st, c)) {
        case SQLITE_INTEGER: sum += sqlite3_column_int64(st, c); break;
        case SQLITE_FLOAT: sum += static_cast<std::int64_t>(sqlite3_column_double(st, c)); break;
        case SQLITE_TEXT: sum += sqlite3_column_text(st, c)[0] + sqlite3_column_bytes(st, c); break;
        default: break;
      }
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return sum;
}

void OpenWrapper(CQVDBRecordset& rs, _Connection* conn) {
  _Recordset** slot = &rs;
  *slot = _Recordset::Create();
  rs.GetRecordset()->PutCursorLocation(adUseClient);
  rs.GetRecordset()->Open(_variant_t(kQuery), conn, adOpenStatic, adLockBatchOptimistic);
}

std::int64_t WrapperReadAll() {
  _ConnectionPtr conn(_Connection::Create(), false);
  conn->Open(_bstr_t(DbPath().c_str()));
  CQVDBRecordset rs;
  OpenWrapper(rs, conn);
  std::int64_t sum = 0;
  const CString size_name(u"size");
  for (; !rs.IsEOF(); rs.MoveNext()) {
    sum += rs.FieldLong(0);
    sum += rs.FieldString(1).GetLength();
    sum += rs.FieldString(2).GetLength();
    sum += rs.FieldLong(3);
    sum += static_cast<std::int64_t>(rs.FieldDouble(4));
    sum += static_cast<std::int64_t>(rs.FieldODT(5).m_dt);
    sum += rs.FieldBool(6);
    sum += rs.FieldLONGLONG(size_name);
    sum += static_cast<std::int64_t>(rs.FieldDouble(8));
    sum += rs.FieldString(9).GetLength();
  }
  return sum;
}

void BM_SqliteStepAll(benchmark::State& state) {
  MakeDatabase();
  for (auto _ : state) benchmark::DoNotOptimize(SqliteStepAll());
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SqliteStepAll)->Unit(benchmark::kMillisecond);

void BM_WrapperReadAll(benchmark::State& state) {
  MakeDatabase();
  for (auto _ : state) benchmark::DoNotOptimize(WrapperReadAll());
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_WrapperReadAll)->Unit(benchmark::kMillisecond);

// Filter, Sort and Find on the open recordset.
struct Open {
  _ConnectionPtr conn{_Connection::Create(), false};
  CQVDBRecordset rs;
  Open() {
    MakeDatabase();
    conn->Open(_bstr_t(DbPath().c_str()));
    OpenWrapper(rs, conn);
  }
};

// One view change (Filter, or Sort when `sort`) per iteration; undoing it
// is not timed.
void BM_ViewChange(benchmark::State& state, bool sort, const char16_t* text) {
  Open o;
  const auto change = sort ? &CQVDBRecordset::Sort : &CQVDBRecordset::Filter;
  for (auto _ : state) {
    (o.rs.*change)(text);
    state.PauseTiming();
    (o.rs.*change)(u"");
    state.ResumeTiming();
  }
}
BENCHMARK_CAPTURE(BM_ViewChange, FilterNumber, false, u"frames > 100000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ViewChange, FilterText, false, u"title LIKE '*reel 42'")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ViewChange, SortText, true, u"note DESC")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ViewChange, SortNumber, true, u"frames")->Unit(benchmark::kMillisecond);

void BM_FindLast(benchmark::State& state) {
  Open o;
  for (auto _ : state) benchmark::DoNotOptimize(o.rs.Find(u"id = 100000", 0));
}
BENCHMARK(BM_FindLast)->Unit(benchmark::kMillisecond);

// Bytes the allocator has handed out and not had back: the heap's chunks in
// use and the blocks it mapped on their own (large vectors), less what SQLite
// holds itself (the connection's page cache fills while the rows are read;
// it belongs to the connection, which the recordset merely uses).
double HeapMiB() {
  const auto m = mallinfo2();
  return static_cast<double>(m.uordblks + m.hblkhd - static_cast<std::size_t>(sqlite3_memory_used())) / 1048576.0;
}

// The process's CPU time: on a machine shared with other work the wall
// clock measures the neighbours as much as the code.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

template <class F>
double FastestMs(F&& f, int rounds) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    const double t0 = CpuMs();
    benchmark::DoNotOptimize(f());
    best = std::min(best, CpuMs() - t0);
  }
  return best;
}

int Ratios() {
  MakeDatabase();
  double sqlite_ms = 1e30;
  double wrapper_ms = 1e30;
  for (int i = 0; i < 5; ++i) {
    sqlite_ms = std::min(sqlite_ms, FastestMs(SqliteStepAll, 1));
    wrapper_ms = std::min(wrapper_ms, FastestMs(WrapperReadAll, 1));
  }
  std::printf("read every field, %d rows x 10 fields: SQLite C API %.1f ms, wrapper %.1f ms, ratio %.2f (goal <= 3)\n",
              kRows, sqlite_ms, wrapper_ms, wrapper_ms / sqlite_ms);
  const double before = HeapMiB();
  {
    Open o;
    const double file_mb = static_cast<double>(std::filesystem::file_size(DbPath())) / 1048576.0;
    const double rs_mb = HeapMiB() - before;
    std::printf("memory of the open recordset %.1f MiB, database file %.1f MiB, ratio %.2f (goal <= 3)\n", rs_mb,
                file_mb, rs_mb / file_mb);
    auto view_change = [&](int (CQVDBRecordset::*change)(const CString&), const char16_t* text) {
      return FastestMs(
          [&] {
            (o.rs.*change)(text);
            const int n = o.rs.GetRecordCount();
            (o.rs.*change)(u"");
            return n;
          },
          5);
    };
    const double filter_ms = view_change(&CQVDBRecordset::Filter, u"frames > 100000");
    const double sort_ms = view_change(&CQVDBRecordset::Sort, u"note DESC");
    const double find_ms = FastestMs([&] { return o.rs.Find(u"id = 100000", 0); }, 5);
    std::printf("Filter on one field %.1f ms (with removing it again), Sort on one text field %.1f ms (with removing it"
                " again), Find of the last row %.1f ms (goals 50, 50, 20)\n",
                filter_ms, sort_ms, find_ms);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--ratios") == 0) return Ratios();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
