#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

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

// Answers every message box while it lives and keeps those shown.
struct BoxCapture {
  struct Box {
    std::u16string text, caption;
    UINT style;
    HWND owner;
  };
  std::vector<Box> shown;
  qvp::MessageBoxHandler previous =
      qvp::SetMessageBoxHandler([this](std::u16string_view text, std::u16string_view caption, UINT style, HWND owner) {
        shown.push_back({std::u16string(text), std::u16string(caption), style, owner});
        return IDOK;
      });
  ~BoxCapture() { qvp::SetMessageBoxHandler(std::move(previous)); }
};

// Language selectors: 0 system default (English here), 1 Chinese, 2 English,
// 3 Japanese (no texts installed); any other is taken as 0. A code or
// language without a text gives 0 and leaves the text alone.
TEST(ErrorText, SystemAndNetworkTextsByLanguage) {
  const std::tuple<DWORD, int, const char16_t*> cases[] = {
      {5, 0, u"Access is denied.\r\n"},        {5, 1, u"拒绝访问。\r\n"},
      {5, 2, u"Access is denied.\r\n"},        {2, 1, u"系统找不到指定的文件。\r\n"},
      {183, 2, u"Cannot create a file when that file already exists.\r\n"},
      {2250, 0, u"This network connection does not exist.\r\n"}, {2250, 1, u"此网络连接不存在。\r\n"},
      {5, 4, u"Access is denied.\r\n"},        {5, -1, u"Access is denied.\r\n"},
      {0x2000FFFF, 0, nullptr},                {2999, 0, nullptr},                {5, 3, nullptr},
  };
  for (const auto& [code, language, expected] : cases) {
    CString text(u"unchanged");
    EXPECT_EQ(QV_GetLastErrorText(code, text, language), expected ? 1 : 0) << code << " / " << language;
    EXPECT_EQ(text, CString(expected ? expected : u"unchanged")) << code << " / " << language;
  }
}

TEST(ErrorReport, ShowsCodeAndSystemTextWithTheSystemPromptCaption) {
  BoxCapture boxes;
  QVReportError(2);
  QVReportError(-2);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].text, u"错误代号：0X2；错误描述：The system cannot find the file specified.\r\n");
  EXPECT_EQ(std::tie(boxes.shown[0].caption, boxes.shown[0].style, boxes.shown[0].owner),
            std::make_tuple(std::u16string(u"系统提示"), 0u, HWND{}));
  EXPECT_EQ(boxes.shown[1].text, u"错误代号：0XFFFFFFFE；错误描述：");
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
  const std::string log{std::istreambuf_iterator<char>(in), {}};
  for (const char* part : {"code 0xC0000005", "parameter[1] 0x10", "ip 0x0000000000001234", "call stack:"})
    EXPECT_NE(log.find(part), std::string::npos) << part << " in\n" << log;
  std::filesystem::remove_all(dir);
}

// The cases below run themselves again in a child with a library folder of
// their own.
TEST(ErrorReport, CallStackBoxOnlyInAdvanceDebugMode) {
  if (!qvtest::IsolatedMode("advance-debug")) {
    const auto result = qvtest::RunIsolated({}, "ErrorReport.CallStackBoxOnlyInAdvanceDebugMode", "advance-debug");
    EXPECT_TRUE(result.Passed()) << result.output;
    return;
  }
  // The setting lives in the INI file beside the exception handler library.
  char16_t path[MAX_PATH + 1] = {};
  std::u16string ini(path, GetModuleFileNameW(GetModuleHandleW(u"ExceptionHandlerU.dll"), path, MAX_PATH));
  ini = ini.substr(0, ini.rfind(u'/') + 1) + u"DazazuraVada.ini";
  auto setting = [&] {
    return std::u16string(path, GetPrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", u"<absent>", path, 64,
                                                         ini.c_str()));
  };
  ASSERT_EQ(setting(), u"<absent>");
  BoxCapture boxes;

  // Absent: nothing shown, and the default is written back.
  ShowErrorWithCallStack(u"first");
  EXPECT_EQ(setting(), u"0");
  for (const char16_t* off : {u"2", u"11", u"-1", u"abc", u""}) {
    WritePrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", off, ini.c_str());
    ShowErrorWithCallStack(u"not shown");
  }
  EXPECT_TRUE(boxes.shown.empty());

  // An inline comment does not count; the value is read on every call.
  WritePrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", u" 1 ;on for a test", ini.c_str());
  EXPECT_EQ(GetAdvanceDebugMode(), 1);
  ShowErrorWithCallStack(u"boom");
  ASSERT_EQ(boxes.shown.size(), 1u);
  const std::u16string& text = boxes.shown[0].text;
  EXPECT_TRUE(text.starts_with(u"错误信息是：boom\r\n\r\n程序调用堆栈为：\r\n[Offset]ModuleFileName  FunctionName  "
                               u"SourceFileName[LN:LineNO]\r\n") &&
              text.find(u"ShowErrorWithCallStack") != std::u16string::npos)
      << qvp::Utf16ToUtf8(text);
  EXPECT_EQ(boxes.shown[0].caption, u"系统提示");
}

TEST(ErrorText, MissingNetworkLibraryIsTracedAndTheTextKept) {
  if (!qvtest::IsolatedMode("no-netmsg")) {
    const auto result =
        qvtest::RunIsolated({"libnetmsg.so"}, "ErrorText.MissingNetworkLibraryIsTracedAndTheTextKept", "no-netmsg");
    EXPECT_TRUE(result.Passed()) << result.output;
    return;
  }
  qvtest::LoggerCapture capture;
  CString text(u"unchanged");
  EXPECT_EQ(QV_GetLastErrorText(2250, text, 0), 0);
  EXPECT_EQ(text, CString(u"unchanged"));
  EXPECT_EQ(QV_GetLastErrorText(5, text, 0), 1);  // system texts need no network library

  const auto records = capture.Records();
  ASSERT_EQ(records.size(), 1u);
  const auto& r = records[0];
  EXPECT_EQ(std::tie(r.ex2, r.module, r.function, r.level, r.code, r.text),
            std::make_tuple(true, std::u16string(u"ZORerer"), std::u16string(u"QV_GetLastErrorText"), 2, 20000005,
                            std::u16string(u"Load netmsg.dll failed")));
}

// With QV_SETTINGS_DIR set, the advance debug setting is read from and
// written to the same settings file as the configuration store, and the file
// beside the exception handler is left alone.
TEST(ErrorReport, AdvanceDebugSettingFollowsTheSettingsFolder) {
  if (!qvtest::IsolatedMode("settings-dir")) {
    const auto dir = std::filesystem::temp_directory_path() / ("qv_settings_dir_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("QV_SETTINGS_DIR", (dir.string() + "/").c_str(), 1);
    const auto result = qvtest::RunIsolated({}, "ErrorReport.AdvanceDebugSettingFollowsTheSettingsFolder", "settings-dir");
    ::unsetenv("QV_SETTINGS_DIR");
    EXPECT_TRUE(result.Passed()) << result.output;
    std::ifstream in(dir / "DazazuraVada.ini");
    const std::string ini{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(ini.find("AdvanceDebugMode=1"), std::string::npos) << ini;
    std::filesystem::remove_all(dir);
    return;
  }
  const CString& file = CQVConfigureManage::instance()->GetIniFileName();
  const std::string expected = std::string(std::getenv("QV_SETTINGS_DIR")) + "DazazuraVada.ini";
  ASSERT_EQ(qvp::Utf16ToUtf8(file.GetString()), expected);
  EXPECT_EQ(GetAdvanceDebugMode(), 0);  // absent: the default goes into that file
  EXPECT_EQ(CQVConfigureManage::instance()->ReadString(u"ADVANCE", u"AdvanceDebugMode", u"", nullptr, 0), CString(u"0"));
  CQVConfigureManage::instance()->WriteString(u"ADVANCE", u"AdvanceDebugMode", u"1", nullptr);
  EXPECT_EQ(GetAdvanceDebugMode(), 1);

  char16_t path[MAX_PATH + 1] = {};
  std::u16string beside(path, GetModuleFileNameW(GetModuleHandleW(u"ExceptionHandlerU.dll"), path, MAX_PATH));
  beside = beside.substr(0, beside.rfind(u'/') + 1) + u"DazazuraVada.ini";
  EXPECT_EQ(GetPrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", u"", path, 64, beside.c_str()), 0u);
}

}  // namespace
}  // namespace qv_commonclass
