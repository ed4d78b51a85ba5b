// The exception handler library "ExceptionHandlerU": call stack text and
// exception log files.
#pragma once

#include "qv_imports/export.h"
#include "qv_platform/exception.h"

extern "C" {

// EH_GetStackWalkerInfo writes the calling thread's call stack into
// `buffer`, one frame a line ("[0xOffset]ModuleFileName  FunctionName
// SourceFileName[LN:LineNO]", lines ended by "\r\n"), truncated so that the
// text and its NUL fit in `capacity` characters. Returns the characters
// written without the NUL (0 when the buffer is null or capacity < 1).
QVI_API int EH_GetStackWalkerInfo(char16_t* buffer, int capacity);

// EH_WriteExceptionInfoLog appends a report of the exception (code,
// address, registers of the context, the current call stack) to the
// exception log "exception_<executable>.log" in the log folder (see the
// logger's folder rules: QV_LOG_DIR, else "logs" beside this library, else
// the user's state folder). `flag` 1 adds the call stack. Returns 1 when the
// report was written, 0 otherwise. Either record may be null.
QVI_API int EH_WriteExceptionInfoLog(const EXCEPTION_RECORD* record, const CONTEXT* context, int flag);

}  // extern "C"
