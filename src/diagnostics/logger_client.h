// The connection to the logger library: loaded once per process, at the
// first trace call, and kept until the library is unloaded.
#pragma once

#include "qv_commonclass/export.h"

namespace qv_commonclass {

class CQVLoggerClient;

namespace detail {

// GetLoggerClient returns the process's connection, creating it on first
// use under the process-wide lock; null when creation failed (the next call
// tries again) or outside the library's load/unload window.
CQVLoggerClient* GetLoggerClient() noexcept;

// LoggerConnectionCount is the number of connections created in this
// process (for diagnostics: it must never exceed 1 while loaded).
QV_API int LoggerConnectionCount() noexcept;

}  // namespace detail
}  // namespace qv_commonclass
