// Error reports shown to the user, system error texts, the advance debug
// switch and the structured-exception filter.
#include <climits>

#include "diagnostics/error_report.h"
#include "diagnostics/library_state.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_imports/exception_handler.h"
#include "qv_imports/message_box.h"
#include "qv_imports/resources.h"
#include "qv_platform/crt.h"
#include "qv_platform/message_box.h"
#include "qv_platform/message_table.h"
#include "qv_platform/module.h"
#include "qv_platform/profile.h"

namespace qv_commonclass {

namespace {

constexpr int kSettingCapacity = 1024;
constexpr int kStackCapacity = 2048;

// The language selectors of QV_GetLastErrorText. A selector outside 0 to 3
// has no language of its own; it gets the system default like 0, so that
// the caller still receives a text rather than none.
LANGID LanguageOfSelector(int selector) {
  switch (selector) {
    case 1: return LANGID_CHINESE_SIMPLIFIED;
    case 2: return LANGID_ENGLISH_US;
    case 3: return LANGID_JAPANESE;
    default: return LANG_SYSTEM_DEFAULT;
  }
}

// The INI file of the advance debug settings: the settings file, found like
// the configuration store's, with the exception handler library's folder
// (the program's if that library is not loaded, as the module lookup then
// names the program) in place of this library's.
CString DebugSettingsFile() {
  char16_t path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(GetModuleHandleW(u"ExceptionHandlerU.dll"), path, MAX_PATH);
  CString folder(path, static_cast<int>(n));
  const int slash = folder.ReverseFind(u'/');
  folder = folder.Left(slash > 0 ? slash : slash + 1);  // the root folder stays "/"
  return detail::SettingsFile(folder, u"DazazuraVada.ini");
}

}  // namespace

CString ReadDebugSetting(const char16_t* section, const char16_t* key, const char16_t* default_value,
                         int write_default) {
  const CString file = DebugSettingsFile();
  CString value;
  char16_t* buffer = value.GetBuffer(kSettingCapacity);
  const DWORD n = GetPrivateProfileStringW(section, key, u"", buffer, kSettingCapacity, file);
  value.ReleaseBuffer(static_cast<int>(n < static_cast<DWORD>(kSettingCapacity) ? n : kSettingCapacity - 1));
  if (n > 0) {
    const int semicolon = value.Find(u';');
    if (semicolon >= 0) value = value.Left(semicolon);
  } else if (default_value && *default_value) {
    value = default_value;
    if (write_default) WritePrivateProfileStringW(section, key, default_value, file);
  }
  value.Trim();
  return value;
}

int GetAdvanceDebugMode() { return _wtoi(ReadDebugSetting(u"ADVANCE", u"AdvanceDebugMode", u"0", 1).GetString()); }

void QVReportError(int code) {
  char16_t* system_text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(code), LANG_USER_DEFAULT, reinterpret_cast<char16_t*>(&system_text), 0, nullptr);
  CString message;
  message.Format(u"错误代号：0X%X；错误描述：%s", code, system_text ? system_text : u"");
  QVMessageBox(message, MB_OK, RMLoadString(u"PUBLIC_SYSTEM_PROMPT"), nullptr);
  LocalFree(system_text);
}

int QV_GetLastErrorText(DWORD code, CString& text, int language) {
  const LANGID language_id = LanguageOfSelector(language);
  char16_t* buffer = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                language_id, reinterpret_cast<char16_t*>(&buffer), 0, nullptr);
  if (length == 0) {
    // Network error codes live in the network message library.
    HMODULE netmsg = LoadLibraryExW(u"netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (netmsg) {
      length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM,
                              netmsg, code, language_id, reinterpret_cast<char16_t*>(&buffer), 0, nullptr);
      FreeLibrary(netmsg);
    } else {
      QV_TraceEx2(u"ZORerer", u"QV_GetLastErrorText", kTraceLevelSingleton, 20000005, u"Load netmsg.dll failed");
    }
  }
  if (length == 0 || !buffer) return 0;
  text = CString(buffer, static_cast<int>(length));
  LocalFree(buffer);
  return 1;
}

void ShowErrorWithCallStack(const char16_t* error_text) {
  if (GetAdvanceDebugMode() != 1) return;
  char16_t stack[kStackCapacity] = {};
  EH_GetStackWalkerInfo(stack, kStackCapacity - 1);
  CString message;
  message.Format(
      u"错误信息是：%s\r\n\r\n程序调用堆栈为：\r\n[Offset]ModuleFileName  FunctionName  "
      u"SourceFileName[LN:LineNO]\r\n%s",
      error_text, stack);
  QVMessageBox(message, MB_OK, RMLoadString(u"PUBLIC_SYSTEM_PROMPT"), nullptr);
}

int ExceptionLogFilter(unsigned int /*exception_code*/, EXCEPTION_POINTERS* pointers) {
  EH_WriteExceptionInfoLog(pointers ? pointers->ExceptionRecord : nullptr, pointers ? pointers->ContextRecord : nullptr,
                           1);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace qv_commonclass
