// The condition file reader of `qvtool sql-where` over arbitrary text.
// Besides "no crash, no uncaught exception": every failure says what is
// wrong, reading is deterministic (the same JSON written out again by the
// JSON library reads to the same conditions), and each dialect builds its
// search condition from what was read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "conditions/condition_file.h"
#include "fuzz_check.h"
#include "qv_commonclass/database.h"

using namespace qv_commonclass;

namespace {

bool Same(const stu_QVDBQueryCondition& a, const stu_QVDBQueryCondition& b) {
  return a.nType == b.nType && a.strField == b.strField && a.strOperator == b.strOperator &&
         a.strValue == b.strValue && a.strPrefix == b.strPrefix && a.strSuffix == b.strSuffix &&
         a.bAllSubTypes == b.bAllSubTypes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 14)) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto file = qvtool::ParseConditionFile(text, error);
  if (!file) {
    QV_FUZZ_CHECK(!error.empty());
    return 0;
  }
  const std::string again = nlohmann::json::parse(text).dump();
  std::string error2;
  const auto file2 = qvtool::ParseConditionFile(again, error2);
  QV_FUZZ_CHECK(file2.has_value());
  QV_FUZZ_CHECK(file2->dialect == file->dialect);
  QV_FUZZ_CHECK(file2->conditions.size() == file->conditions.size());
  for (std::size_t i = 0; i < file->conditions.size(); ++i) QV_FUZZ_CHECK(Same(file->conditions[i], file2->conditions[i]));

  auto conditions = file->conditions;
  CQVQueryConditionArray list;
  for (auto& c : conditions) {
    stu_QVDBQueryCondition* p = &c;
    list.Add(p);
  }
  for (const auto& d : qvtool::kDialects) QV_CreateSqlWhere(list, static_cast<em_QVDatabaseType>(d.value));
  return 0;
}
