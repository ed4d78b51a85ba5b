// Fuzzing the recordset persistence reader with arbitrary bytes. Besides
// "no crash, no leak, no hang", whatever reads must write a document that
// reads back and writes the same bytes again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qv_platform/data/persist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvp::persist::Document doc;
  std::string error;
  if (!qvp::persist::Read(std::string_view(reinterpret_cast<const char*>(data), size), doc, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  const std::string text = qvp::persist::Write(doc);
  qvp::persist::Document back;
  if (!qvp::persist::Read(text, back, error)) __builtin_trap();
  if (qvp::persist::Write(back) != text) __builtin_trap();
  return 0;
}
