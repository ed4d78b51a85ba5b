// Diagnostics and configuration: the trace log and its logger connection,
// error reports, the INI configuration store, lock guards and the
// single-instance guard.
//
// Every trace record goes to the logger library ("nivalo.logger.client"),
// loaded beside this library on the first trace call. Without it tracing is
// a silent no-op; no trace operation ever raises to its caller.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/cstring.h"
#include "qv_platform/format.h"
#include "qv_platform/sync.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// ---- Trace log -------------------------------------------------------------

// Levels the library itself passes.
inline constexpr int kTraceLevelFailure = 1;
inline constexpr int kTraceLevelSingleton = 2;
inline constexpr int kTraceLevelDataFormat = 3;
inline constexpr int kTraceLevelDeletion = 4;
inline constexpr int kTraceLevelThread = 20;

// QV_Trace0 hands (tag with every ':' replaced by '_', level, text) to the
// logger's JNTrace0.
QV_API void QV_Trace0(const char16_t* module, int level, const char16_t* text);

// QV_Trace0Ex2 hands (tag unchanged, function, calling thread id, level,
// code, text) to the logger's JNTrace0Ex2.
QV_API void QV_Trace0Ex2(const char16_t* module, const char16_t* function, int level, int code,
                         const char16_t* text);

namespace detail {
QV_API void TraceV(const char16_t* module, int level, const char16_t* format, const qvp::FormatArg* args,
                   std::size_t count);
QV_API void TraceEx2V(const char16_t* module, const char16_t* function, int level, int code,
                      const char16_t* format, const qvp::FormatArg* args, std::size_t count);
}  // namespace detail

// QV_Trace formats with the Windows wide printf conventions, then acts as
// QV_Trace0.
template <class... Args>
void QV_Trace(const char16_t* module, int level, const char16_t* format, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    detail::TraceV(module, level, format, nullptr, 0);
  } else {
    const qvp::FormatArg captured[] = {qvp::MakeFormatArg(args)...};
    detail::TraceV(module, level, format, captured, sizeof...(Args));
  }
}

// QV_TraceEx2 formats, then acts as QV_Trace0Ex2.
template <class... Args>
void QV_TraceEx2(const char16_t* module, const char16_t* function, int level, int code, const char16_t* format,
                 const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    detail::TraceEx2V(module, function, level, code, format, nullptr, 0);
  } else {
    const qvp::FormatArg captured[] = {qvp::MakeFormatArg(args)...};
    detail::TraceEx2V(module, function, level, code, format, captured, sizeof...(Args));
  }
}

// QVReportError shows "错误代号：0X%X；错误描述：%s" for a system error code in a
// message box (style 0, caption from the resource key "PUBLIC_SYSTEM_PROMPT").
QV_API void QVReportError(int code);

// QV_GetLastErrorText puts the system (or network) message text of `code`,
// trailing line break included, into `text` and returns 1; returns 0 and
// leaves `text` unchanged when there is none. Language: 0 system default,
// 1 Chinese (simplified), 2 English (US), 3 Japanese.
QV_API int QV_GetLastErrorText(DWORD code, CString& text, int language);

// ShowErrorWithCallStack shows the error text with the current call stack
// when the advance debug mode ("ADVANCE"/"AdvanceDebugMode" in the INI file
// beside the exception handler library) is exactly 1.
QV_API void ShowErrorWithCallStack(const char16_t* error_text);

// GetAdvanceDebugMode reads the advance debug mode setting (every call).
QV_API int GetAdvanceDebugMode();

struct EXCEPTION_POINTERS;
// ExceptionLogFilter hands the exception to the exception handler library's
// log writer and returns 1 (run the guarded block's handler).
QV_API int ExceptionLogFilter(unsigned int exception_code, EXCEPTION_POINTERS* pointers);

// ---- Configuration store ----------------------------------------------------

// CQVConfigureManage is the process-wide access to "DazazuraVada.ini" beside
// this library. Values are read from the file on every call.
class QV_API CQVConfigureManage {
 public:
  // instance creates the store on first use; null if creation failed.
  static CQVConfigureManage* instance();
  // DestroyInstance frees the store (called at library unload).
  static void DestroyInstance();

  CString ReadString(const char16_t* section, const char16_t* key, const char16_t* default_value,
                     const char16_t* comment, int write_default);
  int ReadInt(const char16_t* section, const char16_t* key, int default_value, const char16_t* comment,
              int write_default);
  int WriteString(const char16_t* section, const char16_t* key, const char16_t* value, const char16_t* comment);
  int WriteInt(const char16_t* section, const char16_t* key, int value, const char16_t* comment);

  // SetIniFileName puts the INI file `name` in the library's folder.
  void SetIniFileName(const char16_t* name);
  const CString& GetIniFileName() const noexcept { return path_; }

 private:
  CQVConfigureManage();
  CString path_;
};

QV_API CString QVReadConfigParamValue(const char16_t* section, const char16_t* key, const char16_t* default_value,
                                      const char16_t* comment, int write_default);
QV_API int QVReadConfigParamValue(const char16_t* section, const char16_t* key, int default_value,
                                  const char16_t* comment, int write_default);
// Always 1.
QV_API int QVWriteConfigParamValue(const char16_t* section, const char16_t* key, const char16_t* value,
                                   const char16_t* comment, int unused);
// Always 0.
QV_API int QVWriteConfigParamValue(const char16_t* section, const char16_t* key, int value,
                                   const char16_t* comment, int unused);
// QVDebugDetail is the "Debug"/"DebugDetail" setting (default 0, written back).
QV_API int QVDebugDetail();

// ---- Locks ------------------------------------------------------------------

// CQVCriticalSectionNurse enters the caller's critical section for its
// lifetime. Copies share the acquisition: only one of them ever leaves it.
class QV_API CQVCriticalSectionNurse {
 public:
  explicit CQVCriticalSectionNurse(CRITICAL_SECTION* section);
  CQVCriticalSectionNurse(const CQVCriticalSectionNurse& other);
  CQVCriticalSectionNurse& operator=(const CQVCriticalSectionNurse& other);
  virtual ~CQVCriticalSectionNurse();

  void set();
  void clear();
  bool held() const noexcept { return held_; }

  static int Initialize(CRITICAL_SECTION* section);
  static int Finalize(CRITICAL_SECTION* section);

 private:
  bool held_ = false;
  CRITICAL_SECTION* section_ = nullptr;
};

// CQVLimitSingleInstance tells whether another holder of a named mutex
// exists (in this or another process).
class QV_API CQVLimitSingleInstance {
 public:
  explicit CQVLimitSingleInstance(const char16_t* mutex_name);
  CQVLimitSingleInstance(const CQVLimitSingleInstance& other);
  CQVLimitSingleInstance& operator=(const CQVLimitSingleInstance& other);
  virtual ~CQVLimitSingleInstance();

  // 1 when the mutex existed before this object created it.
  int IsAnotherInstanceRunning() const noexcept;

 private:
  DWORD last_error_ = 0;
  HANDLE mutex_ = nullptr;
};

}  // namespace qv_commonclass
