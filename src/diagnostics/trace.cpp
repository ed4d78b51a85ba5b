// PLACEHOLDER: replaced by the trace log implementation.
#include "qv_commonclass/diagnostics.h"

namespace qv_commonclass {
void QV_Trace0(const char16_t*, int, const char16_t*) {}
void QV_Trace0Ex2(const char16_t*, const char16_t*, int, int, const char16_t*) {}
namespace detail {
void TraceV(const char16_t*, int, const char16_t*, const qvp::FormatArg*, std::size_t) {}
void TraceEx2V(const char16_t*, const char16_t*, int, int, const char16_t*, const qvp::FormatArg*, std::size_t) {}
}  // namespace detail
}  // namespace qv_commonclass
namespace qv_commonclass::detail {
void ReleaseLoggerConnection() {}
}  // namespace qv_commonclass::detail
