// Fuzzing the recordset persistence reader with arbitrary bytes. Besides
// "no crash, no leak, no hang", whatever reads must write a document that
// reads back and writes the same bytes again; and a recordset opened on the
// bytes either refuses them with a description or saves a text that opens
// again and saves the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qv_platform/data/ado.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/data/stream.h"

namespace {

std::string SavedThroughRecordset(std::string_view bytes, bool& refused) {
  AdoNS::_StreamPtr s(AdoNS::_Stream::Create(), false);
  s->Open();
  s->WriteBytes(bytes);
  s->PutPosition(0);
  AdoNS::_RecordsetPtr rs(AdoNS::_Recordset::Create(), false);
  try {
    rs->Open(s.GetInterfacePtr(), AdoNS::adOpenStatic, AdoNS::adLockBatchOptimistic);
  } catch (const _com_error& e) {
    if (e.Description().length() == 0) __builtin_trap();
    refused = true;
    return {};
  }
  refused = false;
  return rs->SaveToText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  qvp::persist::Document doc;
  std::string error;
  const bool read = qvp::persist::Read(input, doc, error);
  bool refused = true;
  const std::string saved = SavedThroughRecordset(input, refused);
  if (!read) {
    if (error.empty() || !refused) __builtin_trap();
    return 0;
  }
  const std::string text = qvp::persist::Write(doc);
  qvp::persist::Document back;
  if (!qvp::persist::Read(text, back, error)) __builtin_trap();
  if (qvp::persist::Write(back) != text) __builtin_trap();
  if (!refused) {
    bool again_refused = true;
    if (SavedThroughRecordset(saved, again_refused) != saved || again_refused) __builtin_trap();
  }
  return 0;
}
