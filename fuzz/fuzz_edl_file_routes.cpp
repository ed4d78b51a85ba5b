// Differential fuzzing of the list file reader. It reads lists in the
// writer's form straight from the bytes and everything else through the
// document object, while the text reader always uses the document object;
// for UTF-8 input both must return the same, say the same and leave the
// same record.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "qv_commonclass/edl.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

namespace {

const std::string& ScratchFile() {
  static const std::string path = "/dev/shm/qv_fuzz_routes_" + std::to_string(::getpid()) + ".xml";
  return path;
}

bool WriteAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = qvp::Utf8ToUtf16(bytes);
  if (qvp::Utf16ToUtf8(wide) != bytes) return 0;  // the text reader would see other characters
  if (bytes.find("encoding") != std::string_view::npos && bytes.find("encoding=\"UTF-8\"") == std::string_view::npos)
    return 0;  // a declared code page changes what the file reader decodes
  if (!WriteAll(ScratchFile(), data, size)) return 0;

  _VEDL_INFO_2 by_file, by_text;
  std::u16string file_said, text_said;
  int file_result, text_result;
  {
    qvp::DebugOutputCapture out;
    file_result = QVReadVEDLFromFile2(qvp::Utf8ToUtf16(ScratchFile()).c_str(), &by_file);
    file_said = out.Text();
  }
  {
    qvp::DebugOutputCapture out;
    text_result = QVReadVEDL2(_bstr_t(wide), &by_text);
    text_said = out.Text();
  }
  if (file_result != text_result) __builtin_trap();
  // Each reader words a load failure its own way; nothing else may differ.
  if (text_said.find(u"加载XML串失败") != std::u16string::npos) return 0;
  if (file_said != text_said) __builtin_trap();
  if (QVVEDL2ToString(&by_file) != QVVEDL2ToString(&by_text)) __builtin_trap();
  return 0;
}
