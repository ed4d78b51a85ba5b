// PLACEHOLDER: replaced by the configuration store implementation.
#include "qv_commonclass/diagnostics.h"

namespace qv_commonclass {
CString QVReadConfigParamValue(const char16_t*, const char16_t*, const char16_t* d, const char16_t*, int) {
  return CString(d);
}
int QVReadConfigParamValue(const char16_t*, const char16_t*, int d, const char16_t*, int) { return d; }
int QVWriteConfigParamValue(const char16_t*, const char16_t*, const char16_t*, const char16_t*, int) { return 1; }
int QVWriteConfigParamValue(const char16_t*, const char16_t*, int, const char16_t*, int) { return 0; }
int QVDebugDetail() { return 0; }
}  // namespace qv_commonclass
namespace qv_commonclass {
void CQVConfigureManage::DestroyInstance() {}
}  // namespace qv_commonclass
