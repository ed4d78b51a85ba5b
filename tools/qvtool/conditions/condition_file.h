// The condition file of `qvtool sql-where`: JSON text to the library's
// search condition records, with an exact message for every mistake.
//
// Condition file (JSON, UTF-8):
//   {
//     "dialect": "oracle",              optional; --dialect wins over it
//     "conditions": [                   required (a bare array is accepted too)
//       {
//         "kind": "text",               required: plain | text | datetime | contains |
//                                         fragment | text-nocase | folder, or 1-7
//         "field": "TITLE",             required string
//         "operator": "=",              string; required for plain, text, datetime,
//                                         text-nocase and folder
//         "value": "it's",              string or number; required except for fragment.
//                                         datetime: an OLE date number or date text such
//                                         as "2024-03-01 08:30:00"
//         "prefix": "AND",              optional string, default ""
//         "suffix": ")",                optional string, default ""
//         "allSubTypes": false          optional boolean, folder only
//       }
//     ]
//   }
// Any other key is an error, so that a misspelt key is never silently ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qv_commonclass/database.h"

namespace qvtool {

struct NamedValue {
  const char* name;
  int value;
};

inline constexpr NamedValue kDialects[] = {
    {"percent", qv_commonclass::em_QVDBPercent}, {"oracle", qv_commonclass::em_QVDBOracle},
    {"percent2", qv_commonclass::em_QVDBPercent2}, {"db2", qv_commonclass::em_QVDBDB2},
    {"access", qv_commonclass::em_QVDBAccess},
};

// Lower folds ASCII letters to lower case.
std::string Lower(std::string s);

// LookupDialect reads a dialect name (any case) or its number "1"-"5";
// nullopt for anything else.
std::optional<int> LookupDialect(const std::string& text);
// DialectNames lists the accepted dialect names for messages.
std::string DialectNames();

// Number writes a double with 17 significant digits, so it reads back exactly.
std::string Number(double v);

// ReadDate reads an OLE date number or date text (ParseDateTime's forms);
// nullopt when it is neither.
std::optional<double> ReadDate(const std::string& text);

struct ConditionFile {
  std::optional<int> dialect;  // the file's "dialect", when given
  std::vector<qv_commonclass::stu_QVDBQueryCondition> conditions;
};

// ParseConditionFile reads the JSON text of a condition file. On failure it
// returns nullopt and sets `error` to where and what ("conditions[0].kind:
// must be one of ..." or "not valid JSON at byte N: ..."); never raises.
std::optional<ConditionFile> ParseConditionFile(std::string_view text, std::string& error);

}  // namespace qvtool
