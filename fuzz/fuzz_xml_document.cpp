// The XML document loader over arbitrary file bytes (encoding detection,
// conversion and the well-formedness checks). Besides "no crash": text that
// loads saves to text that loads to the same document, both as the in-memory
// text and through a file written by Save. The element-by-element scan of
// the bytes refuses what LoadXmlUtf8 refuses (and a document type
// declaration) and reports what it loads.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"
#include "support/xml_trace.h"

namespace {

std::u16string Scratch(const char* what) {
  return qvp::Utf8ToUtf16("/dev/shm/qv_fuzz_xml_" + std::to_string(::getpid()) + what);
}

bool WriteAll(const std::u16string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(qvp::Utf16ToUtf8(path).c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 17)) return 0;
  static const std::u16string input = Scratch(".in.xml"), saved = Scratch(".saved.xml");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  {
    qvp::XmlDocument utf8;
    const bool loads = utf8.LoadXmlUtf8(bytes);
    qvtest::ScanTrace scanned;
    if (qvp::ScanXmlUtf8(bytes, scanned))
      QV_FUZZ_CHECK(loads && scanned.out == qvtest::TraceOf(utf8));
    else if (loads)  // the one thing a scan refuses that loads
      QV_FUZZ_CHECK(bytes.find("<!DOCTYPE") != std::string_view::npos);
  }
  if (!WriteAll(input, data, size)) return 0;

  qvp::XmlDocument doc;
  if (!doc.LoadFile(input)) {
    QV_FUZZ_CHECK(!doc.DocumentElement());
    return 0;
  }
  const std::u16string text = doc.Xml();

  qvp::XmlDocument from_text;
  QV_FUZZ_CHECK(from_text.LoadXml(text));
  QV_FUZZ_CHECK(from_text.Xml() == text);

  try {
    doc.Save(saved);
  } catch (const qvp::ComError&) {
    QV_FUZZ_CHECK(false);  // /dev/shm always takes a small file
  }
  qvp::XmlDocument from_file;
  QV_FUZZ_CHECK(from_file.LoadFile(saved));
  QV_FUZZ_CHECK(from_file.Xml() == text);
  return 0;
}
