#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/logger_client.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/module.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"
#include "support/isolated_run.h"
#include "support/logger_capture.h"

namespace qv_commonclass {
namespace {

// Fields of the one captured record with `text`, as "form|tag|function|thread|level|code"
// (form 0 is the short entry point, 1 the long one), or how many there were.
std::string Fields(const qvtest::LoggerCapture& capture, const std::u16string& text) {
  std::vector<qvtest::TraceRecord> found;
  for (const auto& r : capture.Records())
    if (r.text == text) found.push_back(r);
  if (found.size() != 1) return std::to_string(found.size()) + " records";
  const auto& r = found[0];
  return std::to_string(r.ex2) + "|" + qvp::Utf16ToUtf8(r.module) + "|" + qvp::Utf16ToUtf8(r.function) + "|" +
         std::to_string(r.thread_id) + "|" + std::to_string(r.level) + "|" + std::to_string(r.code);
}

std::string Tid() { return std::to_string(GetCurrentThreadId()); }

TEST(Trace, ColonsBecomeUnderscoresOnlyForTheShortForm) {
  qvtest::LoggerCapture capture;
  const std::u16string tag = u"CQVCopyFileManage::ReadDataThread";
  QV_Trace0(tag.c_str(), 3, u"short form");
  QV_Trace0Ex2(tag.c_str(), tag.c_str(), 1, 11001001, u"long form");
  QV_Trace(u"a:b", 2, u"%s copied %d of %X", u"clip.mxf", 3, 255u);
  EXPECT_EQ(Fields(capture, u"short form"), "0|CQVCopyFileManage__ReadDataThread||0|3|0");
  EXPECT_EQ(Fields(capture, u"long form"),
            "1|CQVCopyFileManage::ReadDataThread|CQVCopyFileManage::ReadDataThread|" + Tid() + "|1|11001001");
  EXPECT_EQ(Fields(capture, u"clip.mxf copied 3 of FF"), "0|a_b||0|2|0");
}

TEST(Trace, FormattedAndNullArgumentsAreHandedOn) {
  qvtest::LoggerCapture capture;
  qvp::DebugOutputCapture debug;
  QV_TraceEx2(u"ZORerer", u"QVCopyFile", 4, 7, u"[%-4s|%05.1f]", u"ab", 2.5);
  QV_TraceEx2(u"ZORerer", u"QVCopyFile", 4, 8, u"no arguments 100%%");
  QV_Trace0(nullptr, 1, u"null tag");
  QV_Trace0Ex2(nullptr, nullptr, 1, 0, u"null tag and function");
  QV_TraceEx2(u"ZORerer", u"f", 1, 0, nullptr);
  EXPECT_EQ(Fields(capture, u"[ab  |002.5]"), "1|ZORerer|QVCopyFile|" + Tid() + "|4|7");
  EXPECT_EQ(Fields(capture, u"no arguments 100%"), "1|ZORerer|QVCopyFile|" + Tid() + "|4|8");
  EXPECT_EQ(Fields(capture, u"null tag"), "0|||0|1|0");
  EXPECT_EQ(Fields(capture, u"null tag and function"), "1|||" + Tid() + "|1|0");
  EXPECT_EQ(debug.Count(), 0);
}

TEST(Trace, OneConnectionForManyThreadsAndEachRecordKeepsItsThread) {
  qvtest::LoggerCapture capture;
  constexpr int kThreads = 8, kCalls = 100;
  std::atomic<bool> go{false};
  std::vector<DWORD> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ids[t] = GetCurrentThreadId();
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kCalls; ++i) QV_TraceEx2(u"ZORerer", u"worker", 20, t, u"thread %d call %d", t, i);
    });
  }
  go = true;
  for (auto& th : threads) th.join();

  EXPECT_EQ(detail::LoggerConnectionCount(), 1);
  // Every call of every thread arrives, with the id of the thread that made it.
  std::map<int, int> per_thread, expected;
  for (int t = 0; t < kThreads; ++t) expected[t] = kCalls;
  for (const auto& r : capture.Records()) {
    const bool own = r.code >= 0 && r.code < kThreads && r.thread_id == ids[r.code];
    if (r.function == u"worker") ++per_thread[own ? r.code : -1];
  }
  EXPECT_EQ(per_thread, expected);
}

// The log file as the logger beside the library reports it.
std::string LogFilePath() {
  char16_t path[4096] = {};
  std::u16string folder(path, GetModuleFileNameW(qvp::ModuleOfAddress(reinterpret_cast<const void*>(&QV_Trace0)),
                                                 path, 4096));
  HMODULE logger = LoadLibraryW((folder.substr(0, folder.rfind(u'/') + 1) + u"nivalo.logger.client.dll").c_str());
  auto proc = logger ? reinterpret_cast<int (*)(char16_t*, int)>(GetProcAddress(logger, "JNGetLogFilePath")) : nullptr;
  const int n = proc ? proc(path, 4096) : 0;
  if (logger) FreeLibrary(logger);
  return qvp::Utf16ToUtf8(std::u16string_view(path, n > 0 ? static_cast<std::size_t>(n) : 0));
}

TEST(Trace, LoggerWritesEachRecordWithAllItsFields) {
  const std::u16string unique = u"记录 " + qvp::Utf8ToUtf16(std::to_string(::getpid()));
  QV_Trace0Ex2(u"ZORerer", u"CQVCopyFileManage::ReadDataThread", 20, 11001002, unique.c_str());
  std::ifstream in(LogFilePath());
  ASSERT_TRUE(in.is_open());
  const std::string log{std::istreambuf_iterator<char>(in), {}};
  EXPECT_NE(log.find("[ZORerer] [CQVCopyFileManage::ReadDataThread] [tid " + std::to_string(GetCurrentThreadId()) +
                     "] [level 20] [code 11001002] " + qvp::Utf16ToUtf8(unique)),
            std::string::npos);
}

// Runs itself again in a child whose library folder has no logger.
TEST(Trace, MissingLoggerIsReportedOnceThenTracingStaysSilent) {
  if (!qvtest::IsolatedMode("no-logger")) {
    const auto result = qvtest::RunIsolated({"libnivalo.logger.client.so"},
                                            "Trace.MissingLoggerIsReportedOnceThenTracingStaysSilent", "no-logger");
    EXPECT_TRUE(result.Passed()) << result.output;
    return;
  }
  qvp::DebugOutputCapture debug;
  EXPECT_EQ(detail::LoggerConnectionCount(), 0);
  ASSERT_TRUE(SetCurrentDirectoryW(u"/"));
  QV_Trace0(u"ZORerer", 1, u"first");
  char16_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  EXPECT_EQ(std::u16string(cwd), u"/");  // restored after the load attempt
  QV_TraceEx2(u"ZORerer", u"f", 1, 2, u"second %d", 2);
  for (int i = 0; i < 10; ++i) QV_Trace(u"ZORerer", 1, u"more %d", i);
  EXPECT_EQ(debug.Count(), 1);
  EXPECT_EQ(debug.Text(), u"装载nivalo.logger.client.dll动态库失败");
  EXPECT_EQ(detail::LoggerConnectionCount(), 1);
}

}  // namespace
}  // namespace qv_commonclass
