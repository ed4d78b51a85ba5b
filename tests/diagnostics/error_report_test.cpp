#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "diagnostics/error_report.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/message_box.h"
#include "qv_platform/module.h"
#include "qv_platform/profile.h"
#include "qv_platform/unicode.h"
#include "support/isolated_run.h"
#include "support/logger_capture.h"

namespace qv_commonclass {
namespace {

struct ShownBox {
  std::u16string text;
  std::u16string caption;
  UINT style = 0xFFFF;
  HWND owner = reinterpret_cast<HWND>(1);
};

// Answers every message box while it lives and keeps the last one shown.
class BoxCapture {
 public:
  BoxCapture() {
    previous_ = qvp::SetMessageBoxHandler([this](std::u16string_view text, std::u16string_view caption, UINT style,
                                                 HWND owner) {
      shown_ = ShownBox{std::u16string(text), std::u16string(caption), style, owner};
      ++count_;
      return IDOK;
    });
  }
  ~BoxCapture() { qvp::SetMessageBoxHandler(std::move(previous_)); }
  const std::optional<ShownBox>& Last() const { return shown_; }
  int Count() const { return count_; }

 private:
  qvp::MessageBoxHandler previous_;
  std::optional<ShownBox> shown_;
  int count_ = 0;
};

TEST(ErrorText, SystemAndNetworkTextsByLanguage) {
  struct Case {
    DWORD code;
    int language;
    const char16_t* expected;
  } cases[] = {
      {5, 0, u"Access is denied.\r\n"},
      {5, 1, u"拒绝访问。\r\n"},
      {5, 2, u"Access is denied.\r\n"},
      {2, 1, u"系统找不到指定的文件。\r\n"},
      {183, 2, u"Cannot create a file when that file already exists.\r\n"},
      {2250, 0, u"This network connection does not exist.\r\n"},
      {2250, 1, u"此网络连接不存在。\r\n"},
      // Selectors without a language of their own get the system default.
      {5, 4, u"Access is denied.\r\n"},
      {5, -1, u"Access is denied.\r\n"},
  };
  for (const Case& c : cases) {
    CString text(u"unchanged");
    EXPECT_EQ(QV_GetLastErrorText(c.code, text, c.language), 1) << c.code << " / " << c.language;
    EXPECT_EQ(text, CString(c.expected)) << c.code << " / " << c.language;
  }
}

TEST(ErrorText, UnknownCodeOrLanguageLeavesTheTextAlone) {
  for (const auto& [code, language] : {std::pair<DWORD, int>{0x2000FFFF, 0}, {2999, 0}, {5, 3}}) {
    CString text(u"unchanged");
    EXPECT_EQ(QV_GetLastErrorText(code, text, language), 0) << code;
    EXPECT_EQ(text, CString(u"unchanged"));
  }
}

TEST(ErrorReport, ShowsCodeAndSystemTextWithTheSystemPromptCaption) {
  BoxCapture boxes;
  QVReportError(2);
  ASSERT_TRUE(boxes.Last());
  EXPECT_EQ(boxes.Last()->text, u"错误代号：0X2；错误描述：The system cannot find the file specified.\r\n");
  EXPECT_EQ(boxes.Last()->caption, u"系统提示");
  EXPECT_EQ(boxes.Last()->style, 0u);
  EXPECT_EQ(boxes.Last()->owner, nullptr);

  QVReportError(-2);
  EXPECT_EQ(boxes.Last()->text, u"错误代号：0XFFFFFFFE；错误描述：");
}

TEST(ErrorReport, ExceptionFilterWritesTheLogAndRunsTheHandler) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qv_exception_filter_test";
  std::filesystem::remove_all(dir);
  ::setenv("QV_LOG_DIR", dir.c_str(), 1);
  EXCEPTION_RECORD record;
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.NumberParameters = 2;
  record.ExceptionInformation[1] = 0x10;
  CONTEXT context;
  context.InstructionPointer = 0x1234;
  EXCEPTION_POINTERS pointers{&record, &context};
  EXPECT_EQ(ExceptionLogFilter(EXCEPTION_ACCESS_VIOLATION, &pointers), 1);
  EXPECT_EQ(ExceptionLogFilter(EXCEPTION_ACCESS_VIOLATION, nullptr), 1);
  ::unsetenv("QV_LOG_DIR");

  std::ifstream in(dir / "exception_test_diagnostics.log");
  std::stringstream log;
  log << in.rdbuf();
  EXPECT_NE(log.str().find("code 0xC0000005"), std::string::npos) << log.str();
  EXPECT_NE(log.str().find("parameter[1] 0x10"), std::string::npos);
  EXPECT_NE(log.str().find("ip 0x0000000000001234"), std::string::npos);
  EXPECT_NE(log.str().find("call stack:"), std::string::npos);
  std::filesystem::remove_all(dir);
}

// ---- Cases that run in a child with a library folder of their own ----------

std::u16string DebugIni() {
  char16_t path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(GetModuleHandleW(u"ExceptionHandlerU.dll"), path, MAX_PATH);
  std::u16string p(path, n);
  return p.substr(0, p.rfind(u'/') + 1) + u"DazazuraVada.ini";
}

std::u16string ReadAdvance(const std::u16string& ini) {
  char16_t value[64] = {};
  GetPrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", u"<absent>", value, 64, ini.c_str());
  return value;
}

TEST(AdvanceDebugIsolated, CallStackBoxFollowsTheSetting) {
  if (!qvtest::IsolatedMode("advance-debug")) GTEST_SKIP() << "runs in an isolated child only";
  const std::u16string ini = DebugIni();
  ASSERT_EQ(ReadAdvance(ini), u"<absent>");
  BoxCapture boxes;

  // Absent: nothing shown, and the default is written back.
  ShowErrorWithCallStack(u"first");
  EXPECT_EQ(boxes.Count(), 0);
  EXPECT_EQ(ReadAdvance(ini), u"0");

  for (const char16_t* off : {u"2", u"11", u"-1", u"abc", u""}) {
    WritePrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", off, ini.c_str());
    ShowErrorWithCallStack(u"not shown");
  }
  EXPECT_EQ(boxes.Count(), 0);

  // An inline comment does not count; the value is read on every call.
  WritePrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", u" 1 ;on for a test", ini.c_str());
  EXPECT_EQ(GetAdvanceDebugMode(), 1);
  ShowErrorWithCallStack(u"boom");
  ASSERT_EQ(boxes.Count(), 1);
  const std::u16string head =
      u"错误信息是：boom\r\n\r\n程序调用堆栈为：\r\n[Offset]ModuleFileName  FunctionName  "
      u"SourceFileName[LN:LineNO]\r\n";
  EXPECT_EQ(boxes.Last()->text.substr(0, head.size()), head);
  EXPECT_NE(boxes.Last()->text.find(u"ShowErrorWithCallStack"), std::u16string::npos)
      << qvp::Utf16ToUtf8(boxes.Last()->text);
  EXPECT_EQ(boxes.Last()->caption, u"系统提示");
}

TEST(ErrorReport, CallStackBoxOnlyInAdvanceDebugMode) {
  const auto result =
      qvtest::RunIsolated({}, "AdvanceDebugIsolated.CallStackBoxFollowsTheSetting", "advance-debug");
  EXPECT_TRUE(result.Passed()) << result.output;
}

TEST(NetworkTextsIsolated, MissingNetworkLibraryIsTraced) {
  if (!qvtest::IsolatedMode("no-netmsg")) GTEST_SKIP() << "runs in an isolated child only";
  qvtest::LoggerCapture capture;
  CString text(u"unchanged");
  EXPECT_EQ(QV_GetLastErrorText(2250, text, 0), 0);
  EXPECT_EQ(text, CString(u"unchanged"));
  EXPECT_EQ(QV_GetLastErrorText(5, text, 0), 1);  // system texts need no network library

  const auto records = capture.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].ex2);
  EXPECT_EQ(records[0].module, u"ZORerer");
  EXPECT_EQ(records[0].function, u"QV_GetLastErrorText");
  EXPECT_EQ(records[0].level, 2);
  EXPECT_EQ(records[0].code, 20000005);
  EXPECT_EQ(records[0].text, u"Load netmsg.dll failed");
}

TEST(ErrorText, MissingNetworkLibraryIsTracedAndTheTextKept) {
  const auto result =
      qvtest::RunIsolated({"libnetmsg.so"}, "NetworkTextsIsolated.MissingNetworkLibraryIsTraced", "no-netmsg");
  EXPECT_TRUE(result.Passed()) << result.output;
}

}  // namespace
}  // namespace qv_commonclass
