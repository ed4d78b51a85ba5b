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
#include "qv_platform/exception.h"
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
// 1 Chinese (simplified), 2 English (US), 3 Japanese; any other selector
// is taken as 0.
QV_API int QV_GetLastErrorText(DWORD code, CString& text, int language);

// ShowErrorWithCallStack shows the error text with the current call stack
// when the advance debug mode ("ADVANCE"/"AdvanceDebugMode" in the INI file
// beside the exception handler library) is exactly 1.
QV_API void ShowErrorWithCallStack(const char16_t* error_text);

// GetAdvanceDebugMode reads the advance debug mode setting (every call):
// AdvanceDebugMode of [ADVANCE] in "DazazuraVada.ini" in the QV_SETTINGS_DIR
// folder when that is set, else beside the exception handler library; an
// absent setting is written back as 0.
QV_API int GetAdvanceDebugMode();

// ExceptionLogFilter hands the exception to the exception handler library's
// log writer and returns 1 (run the guarded block's handler).
QV_API int ExceptionLogFilter(unsigned int exception_code, EXCEPTION_POINTERS* pointers);

// ---- Configuration store ----------------------------------------------------

// CQVConfigureManage is the process-wide access to "DazazuraVada.ini" in the
// folder of this library (wherever the client's current directory is), or in
// the folder named by the environment variable QV_SETTINGS_DIR when it is set
// and not empty (read once, at the first use of the store). Only
// the path is kept: values are read from the file on every call, so values
// written by another process are seen by the next read. Writes are atomic and
// safe between processes. The store is owned by the library.
class QV_API CQVConfigureManage {
 public:
  // instance creates the store on first use, under the library's process-wide
  // lock. If creation raises, it traces (level 2, code 11005001) and returns
  // null; the next call tries again.
  static CQVConfigureManage* instance();
  // DestroyInstance frees the store (called at library unload); a later
  // instance() creates a new one.
  static void DestroyInstance();

  // ReadString reads at most 1023 characters of the value, cuts it at its
  // first ';' (an inline comment) and trims white space. When nothing was
  // read (missing file, section or key, or an empty value) and the default is
  // neither null nor empty, the default is the value and, with
  // `write_default` non-zero, is written back with `comment`. Returns an
  // empty string when nothing was read and there is no default. A value that
  // holds only a comment reads as empty, not as the default.
  CString ReadString(const char16_t* section, const char16_t* key, const char16_t* default_value,
                     const char16_t* comment, int write_default);
  // ReadInt is ReadString with the default formatted "%d", converted with the
  // C runtime's _wtoi rules: leading blanks, optional sign, decimal digits,
  // 0 when there are none (so a non-numeric value reads as 0, not as the
  // default), saturating at the int limits.
  int ReadInt(const char16_t* section, const char16_t* key, int default_value, const char16_t* comment,
              int write_default);
  // WriteString stores value + "\t\t;" + comment (either part may be null or
  // empty; when both are, nothing is written). Creates the file and the
  // section when missing. Always returns 1, even when the write was refused.
  int WriteString(const char16_t* section, const char16_t* key, const char16_t* value, const char16_t* comment);
  // WriteInt stores the value formatted "%d" as WriteString does. Always
  // returns 0.
  int WriteInt(const char16_t* section, const char16_t* key, int value, const char16_t* comment);

  // SetIniFileName puts the INI file `name` in the settings folder: the
  // QV_SETTINGS_DIR folder when set, else the library's folder. The folder is
  // not created.
  void SetIniFileName(const char16_t* name);
  const CString& GetIniFileName() const noexcept { return path_; }

 private:
  CQVConfigureManage();
  CString path_;
};

// The exported operations call the matching member of the store. Should the
// store not exist (its creation failed), reads return the default and writes
// their fixed results without touching the file.
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
// QVDebugDetail is the "Debug"/"DebugDetail" setting: default 0, written back
// with its comment when missing.
QV_API int QVDebugDetail();

// ---- Locks ------------------------------------------------------------------

// CQVCriticalSectionNurse enters the caller's critical section for its
// lifetime; it never creates, owns or deletes the section. Use it on the
// thread that made it. A copy of a holding guard enters the section once
// more itself (re-entrant on the owning thread), so each guard leaves only
// what it entered and the section is never left more often than entered.
class QV_API CQVCriticalSectionNurse {
 public:
  // Enters the section (blocking).
  explicit CQVCriticalSectionNurse(CRITICAL_SECTION* section);
  CQVCriticalSectionNurse(const CQVCriticalSectionNurse& other);
  CQVCriticalSectionNurse& operator=(const CQVCriticalSectionNurse& other);
  // Leaves the section if held.
  virtual ~CQVCriticalSectionNurse();

  // set enters the section unless already held.
  void set();
  // clear leaves the section if held; otherwise does nothing.
  void clear();
  bool held() const noexcept { return held_; }

  // Initialize / Finalize create and delete a section; both return 1.
  static int Initialize(CRITICAL_SECTION* section);
  static int Finalize(CRITICAL_SECTION* section);

 private:
  bool held_ = false;
  CRITICAL_SECTION* section_ = nullptr;
};

// CQVLimitSingleInstance tells whether the named mutex existed already (in
// this or another process) when it was created. The destructor releases
// ownership but keeps the handle open, so the name lives until the process
// ends and later guards of the name, in this process too, report another
// instance. Copies share the handle.
class QV_API CQVLimitSingleInstance {
 public:
  // Creates the named mutex with initial ownership and keeps its last error.
  explicit CQVLimitSingleInstance(const char16_t* mutex_name);
  CQVLimitSingleInstance(const CQVLimitSingleInstance& other);
  CQVLimitSingleInstance& operator=(const CQVLimitSingleInstance& other);
  virtual ~CQVLimitSingleInstance();

  // 1 when the mutex existed before this object created it (error 183),
  // else 0 (also when the mutex could not be created at all).
  int IsAnotherInstanceRunning() const noexcept;

 private:
  DWORD last_error_ = 0;
  HANDLE mutex_ = nullptr;
};

}  // namespace qv_commonclass
