// Search-condition records for the SQL text tests.
#pragma once

#include <string>
#include <vector>

#include "qv_commonclass/database.h"

namespace qvtest {

inline qv_commonclass::stu_QVDBQueryCondition Cond(int kind, const char* prefix, const char* field, const char* op,
                                                   const std::string& value, const char* suffix = "",
                                                   BOOL all_subtypes = FALSE) {
  qv_commonclass::stu_QVDBQueryCondition c;
  c.nType = kind, c.strPrefix = prefix, c.strField = field, c.strOperator = op, c.strValue = value.c_str();
  c.strSuffix = suffix, c.bAllSubTypes = all_subtypes;
  return c;
}

// The search condition of `conds` in order, in dialect `type` (any number).
// The records are passed by reference: the call may change them.
inline CString Where(std::vector<qv_commonclass::stu_QVDBQueryCondition>& conds, int type) {
  qv_commonclass::CQVQueryConditionArray list;
  for (auto& c : conds) {
    qv_commonclass::stu_QVDBQueryCondition* p = &c;
    list.Add(p);
  }
  return QV_CreateSqlWhere(list, static_cast<qv_commonclass::em_QVDatabaseType>(type));
}
inline CString Where(std::vector<qv_commonclass::stu_QVDBQueryCondition>&& conds, int type) {
  return Where(conds, type);
}

}  // namespace qvtest
