// Fuzzing the second-generation list reader with arbitrary bytes taken as
// XML text. Besides "no crash, no leak, no hang", a list that reads back
// with a video track must survive being written and read again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qv_commonclass/edl.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const _bstr_t xml(qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size)));

  LONG version = -7;
  QVGetVEDLVersion(xml, version);

  _VEDL_INFO_2 info;
  if (!QVReadVEDL2(xml, &info) || info.arrVideo.IsEmpty()) return 0;

  info.lVersion = 3;
  const CString text = QVVEDL2ToString(&info);
  if (text.IsEmpty()) __builtin_trap();
  _VEDL_INFO_2 back;
  if (!QVReadVEDL2(_bstr_t(text), &back)) __builtin_trap();
  if (back.arrVideo.GetSize() > info.arrVideo.GetSize()) __builtin_trap();
  return 0;
}
