// Fuzzing the recordset persistence reader with arbitrary bytes. Besides
// "no crash, no leak, no hang", whatever reads must write a document that
// reads back and writes the same bytes again; and a recordset opened on the
// bytes either refuses them with a description or saves a text that opens
// again and saves the same bytes. The recordset's direct reader agrees with
// the row store built from the model: both open (and save the same text) or
// both refuse.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qv_platform/data/ado.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/data/stream.h"
#include "platform/data/persist_rowset.h"

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

bool SameCells(const _variant_t* a, const _variant_t* b, std::size_t w) {
  for (std::size_t i = 0; i < w; ++i)
    if (a[i].vt() != b[i].vt() || !(a[i] == b[i])) return false;
  return true;
}

// The direct reader's row store against the one built from the model.
bool SameRows(const qvp::data::RowSet& a, const qvp::data::RowSet& b) {
  if (a.width() != b.width() || a.rows.size() != b.rows.size() || a.base_table != b.base_table ||
      a.key_columns != b.key_columns)
    return false;
  for (std::size_t i = 0; i < a.width(); ++i)
    if (a.fields[i].name != b.fields[i].name || a.fields[i].type != b.fields[i].type ||
        a.fields[i].attributes != b.fields[i].attributes)
      return false;
  for (std::size_t r = 0; r < a.rows.size(); ++r) {
    if (a.rows[r].status != b.rows[r].status || !a.rows[r].original != !b.rows[r].original) return false;
    if (!SameCells(a.row_cells(r), b.row_cells(r), a.width())) return false;
    if (a.rows[r].original && !SameCells(a.rows[r].original.get(), b.rows[r].original.get(), a.width())) return false;
  }
  return true;
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
  if (doc.skippedChildren.empty()) {
    std::shared_ptr<qvp::data::RowSet> model, direct;
    try {
      model = qvp::data::FromDocument(doc);
      direct = qvp::data::LoadText(input);
    } catch (const _com_error&) {
    }
    if (!model != refused || !direct != refused || (model && !SameRows(*model, *direct))) __builtin_trap();
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
