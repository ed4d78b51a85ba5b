#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
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

std::vector<qvtest::TraceRecord> WithText(const qvtest::LoggerCapture& capture, const std::u16string& text) {
  std::vector<qvtest::TraceRecord> out;
  for (const auto& r : capture.Records())
    if (r.text == text) out.push_back(r);
  return out;
}

TEST(Trace, ColonsBecomeUnderscoresOnlyForTheShortForm) {
  qvtest::LoggerCapture capture;
  QV_Trace0(u"CQVCopyFileManage::ReadDataThread", 3, u"short form");
  QV_Trace0Ex2(u"CQVCopyFileManage::ReadDataThread", u"CQVCopyFileManage::ReadDataThread", 1, 11001001,
               u"long form");

  const auto short_form = WithText(capture, u"short form");
  ASSERT_EQ(short_form.size(), 1u);
  EXPECT_FALSE(short_form[0].ex2);
  EXPECT_EQ(short_form[0].module, u"CQVCopyFileManage__ReadDataThread");
  EXPECT_EQ(short_form[0].level, 3);

  const auto long_form = WithText(capture, u"long form");
  ASSERT_EQ(long_form.size(), 1u);
  EXPECT_TRUE(long_form[0].ex2);
  EXPECT_EQ(long_form[0].module, u"CQVCopyFileManage::ReadDataThread");
  EXPECT_EQ(long_form[0].function, u"CQVCopyFileManage::ReadDataThread");
  EXPECT_EQ(long_form[0].thread_id, GetCurrentThreadId());
  EXPECT_EQ(long_form[0].level, 1);
  EXPECT_EQ(long_form[0].code, 11001001);
}

TEST(Trace, FormattedFormsHandOverTheFormattedText) {
  qvtest::LoggerCapture capture;
  QV_Trace(u"a:b", 2, u"%s copied %d of %X", u"clip.mxf", 3, 255u);
  QV_TraceEx2(u"ZORerer", u"QVCopyFile", 4, 7, u"[%-4s|%05.1f]", u"ab", 2.25);
  QV_TraceEx2(u"ZORerer", u"QVCopyFile", 4, 8, u"no arguments 100%%");

  ASSERT_EQ(WithText(capture, u"clip.mxf copied 3 of FF").size(), 1u);
  EXPECT_EQ(WithText(capture, u"clip.mxf copied 3 of FF")[0].module, u"a_b");
  ASSERT_EQ(WithText(capture, u"[ab  |002.2]").size() + WithText(capture, u"[ab  |002.3]").size(), 1u);
  ASSERT_EQ(WithText(capture, u"no arguments 100%").size(), 1u);
}

TEST(Trace, NullArgumentsAreHandedOnWithoutFailure) {
  qvtest::LoggerCapture capture;
  qvp::DebugOutputCapture debug;
  QV_Trace0(nullptr, 1, u"null tag");
  QV_Trace0Ex2(nullptr, nullptr, 1, 0, u"null tag and function");
  QV_TraceEx2(u"ZORerer", u"f", 1, 0, nullptr);
  ASSERT_EQ(WithText(capture, u"null tag").size(), 1u);
  EXPECT_EQ(WithText(capture, u"null tag")[0].module, u"");
  EXPECT_EQ(WithText(capture, u"null tag and function").size(), 1u);
  EXPECT_EQ(debug.Count(), 0);
}

TEST(Trace, OneConnectionForManyThreadsAndEachRecordKeepsItsThread) {
  qvtest::LoggerCapture capture;
  constexpr int kThreads = 8;
  constexpr int kCalls = 100;
  std::atomic<bool> go{false};
  std::vector<DWORD> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ids[static_cast<std::size_t>(t)] = GetCurrentThreadId();
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kCalls; ++i) QV_TraceEx2(u"ZORerer", u"worker", 20, t, u"thread %d call %d", t, i);
    });
  }
  go = true;
  for (auto& th : threads) th.join();

  EXPECT_EQ(detail::LoggerConnectionCount(), 1);
  std::map<int, int> per_thread;
  for (const auto& r : capture.Records()) {
    if (r.function != u"worker") continue;
    ASSERT_GE(r.code, 0);
    ASSERT_LT(r.code, kThreads);
    EXPECT_EQ(r.thread_id, ids[static_cast<std::size_t>(r.code)]);
    ++per_thread[r.code];
  }
  ASSERT_EQ(per_thread.size(), static_cast<std::size_t>(kThreads));
  for (const auto& [thread, count] : per_thread) EXPECT_EQ(count, kCalls) << "thread " << thread;
}

// The log file as the logger beside the library reports it.
std::string LogFilePath() {
  HMODULE library = qvp::ModuleOfAddress(reinterpret_cast<const void*>(&QV_Trace0));
  char16_t path[4096] = {};
  std::u16string folder(path, GetModuleFileNameW(library, path, 4096));
  folder = folder.substr(0, folder.rfind(u'/') + 1);
  HMODULE logger = LoadLibraryW((folder + u"nivalo.logger.client.dll").c_str());
  if (!logger) return {};
  using PathProc = int (*)(char16_t*, int);
  auto proc = reinterpret_cast<PathProc>(GetProcAddress(logger, "JNGetLogFilePath"));
  char16_t buffer[4096] = {};
  const int n = proc ? proc(buffer, 4096) : 0;
  FreeLibrary(logger);
  return qvp::Utf16ToUtf8(std::u16string_view(buffer, static_cast<std::size_t>(n)));
}

TEST(Trace, LoggerWritesEachRecordWithAllItsFields) {
  const std::u16string unique = u"记录 " + qvp::Utf8ToUtf16(std::to_string(::getpid()));
  QV_Trace0Ex2(u"ZORerer", u"CQVCopyFileManage::ReadDataThread", 20, 11001002, unique.c_str());
  const std::string path = LogFilePath();
  ASSERT_FALSE(path.empty());
  std::ifstream in(path);
  std::string line, found;
  const std::string needle = qvp::Utf16ToUtf8(unique);
  while (std::getline(in, line))
    if (line.find(needle) != std::string::npos) found = line;
  const std::string expected = "[ZORerer] [CQVCopyFileManage::ReadDataThread] [tid " +
                               std::to_string(GetCurrentThreadId()) + "] [level 20] [code 11001002] " + needle;
  EXPECT_NE(found.find(expected), std::string::npos) << found;
}

// Runs only in a child whose library folder has no logger.
TEST(TraceWithoutLogger, ReportsTheMissingLoggerOnceThenStaysSilent) {
  if (!qvtest::IsolatedMode("no-logger")) GTEST_SKIP() << "runs in an isolated child only";
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

TEST(Trace, MissingLoggerIsReportedOnceAndTracingGoesOn) {
  const auto result = qvtest::RunIsolated({"libnivalo.logger.client.so"},
                                          "TraceWithoutLogger.ReportsTheMissingLoggerOnceThenStaysSilent", "no-logger");
  EXPECT_TRUE(result.Passed()) << result.output;
}

}  // namespace
}  // namespace qv_commonclass
