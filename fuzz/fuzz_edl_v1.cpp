// Fuzzing the first-generation list reader with arbitrary bytes taken as XML
// text. Besides "no crash, no leak, no hang", a list that reads must survive
// being written and read again with every track and file group whole.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "qv_commonclass/edl.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const _bstr_t xml(qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size)));

  _VEDL_INFO_ info;
  if (!QVReadVEDL(xml, &info)) return 0;

  static const std::u16string path = qvp::Utf8ToUtf16("/tmp/qv_fuzz_edl_v1_" + std::to_string(getpid()) + ".xml");
  if (!QVWriteVEDLToFile(path.c_str(), &info)) __builtin_trap();
  // The version probe sees exactly the version written, so it tells the
  // generations apart.
  LONG version = 7;
  if (!QVGetVEDLVersion(path.c_str(), version) || version != info.lVersion) __builtin_trap();
  _VEDL_INFO_ back;
  if (!QVReadVEDLFromFile(path.c_str(), &back)) __builtin_trap();
  if (!info.bIsClipCut && back.arrVideo.GetSize() != info.arrVideo.GetSize()) __builtin_trap();
  if (info.bIsClipCut && back.arrFile.GetSize() != info.arrFile.GetSize()) __builtin_trap();
  return 0;
}
