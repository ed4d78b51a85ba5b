// `qvtool sql-where` and `qvtool date`: search conditions to SQL text and
// dates to text and database literals.
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
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "commands.h"
#include "qv_commonclass/database.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;
using nlohmann::json;

struct NamedValue {
  const char* name;
  int value;
};

constexpr NamedValue kDialects[] = {
    {"percent", em_QVDBPercent}, {"oracle", em_QVDBOracle}, {"percent2", em_QVDBPercent2},
    {"db2", em_QVDBDB2},         {"access", em_QVDBAccess},
};

constexpr NamedValue kKinds[] = {
    {"plain", QV_COND_PLAIN},       {"text", QV_COND_TEXT},         {"datetime", QV_COND_DATETIME},
    {"contains", QV_COND_CONTAINS}, {"fragment", QV_COND_FRAGMENT}, {"text-nocase", QV_COND_TEXT_NOCASE},
    {"folder", QV_COND_FOLDER},
};

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

template <std::size_t N>
std::optional<int> Lookup(const NamedValue (&table)[N], const std::string& text) {
  const std::string key = Lower(text);
  for (const auto& e : table)
    if (key == e.name) return e.value;
  if (text.size() == 1 && text[0] >= '1' && text[0] <= static_cast<char>('0' + N)) return text[0] - '0';
  return std::nullopt;
}

template <std::size_t N>
std::string Names(const NamedValue (&table)[N]) {
  std::string s;
  for (const auto& e : table) s += (s.empty() ? "" : ", ") + std::string(e.name);
  return s + " (or 1-" + std::to_string(N) + ")";
}

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// A condition file error: where in the document, and what is wrong.
struct SchemaError {
  std::string where, what;
};

// Reads a date given as an OLE date number or as date text into an OLE date.
std::optional<double> ReadDate(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != nullptr && *end == '\0' && std::isfinite(v)) return v;
  COleDateTime parsed;
  if (parsed.ParseDateTime(CString::FromUtf8(text))) return parsed.m_dt;
  return std::nullopt;
}

stu_QVDBQueryCondition ReadCondition(const json& j, const std::string& where) {
  if (!j.is_object()) throw SchemaError{where, "a condition must be an object"};
  static const char* const kKeys[] = {"kind", "field", "operator", "value", "prefix", "suffix", "allSubTypes"};
  for (const auto& [key, _] : j.items()) {
    bool known = false;
    for (const char* k : kKeys) known = known || key == k;
    if (!known)
      throw SchemaError{where + "." + key,
                        "unknown key (allowed: kind, field, operator, value, prefix, suffix, allSubTypes)"};
  }
  auto text = [&](const char* key, bool required) -> std::optional<std::string> {
    const auto it = j.find(key);
    if (it == j.end()) {
      if (required) throw SchemaError{where, std::string("missing \"") + key + "\""};
      return std::nullopt;
    }
    if (!it->is_string()) throw SchemaError{where + "." + key, "must be a string"};
    return it->get<std::string>();
  };

  stu_QVDBQueryCondition c;
  const auto kind_it = j.find("kind");
  if (kind_it == j.end()) throw SchemaError{where, "missing \"kind\" (" + Names(kKinds) + ")"};
  std::optional<int> kind;
  if (kind_it->is_number_integer()) {
    const auto n = kind_it->get<long long>();
    if (n >= 1 && n <= 7) kind = static_cast<int>(n);
  } else if (kind_it->is_string()) {
    kind = Lookup(kKinds, kind_it->get<std::string>());
  }
  if (!kind) throw SchemaError{where + ".kind", "must be one of " + Names(kKinds)};
  c.nType = *kind;

  c.strField = CString::FromUtf8(*text("field", true));
  const bool needs_operator = c.nType != QV_COND_CONTAINS && c.nType != QV_COND_FRAGMENT;
  if (auto op = text("operator", needs_operator)) c.strOperator = CString::FromUtf8(*op);
  if (auto prefix = text("prefix", false)) c.strPrefix = CString::FromUtf8(*prefix);
  if (auto suffix = text("suffix", false)) c.strSuffix = CString::FromUtf8(*suffix);

  const auto value_it = j.find("value");
  if (value_it == j.end()) {
    if (c.nType != QV_COND_FRAGMENT) throw SchemaError{where, "missing \"value\""};
  } else if (value_it->is_number()) {
    c.strValue = CString::FromUtf8(value_it->dump());  // shortest text that reads back the same
  } else if (value_it->is_string()) {
    c.strValue = CString::FromUtf8(value_it->get<std::string>());
    if (c.nType == QV_COND_DATETIME) {
      const auto date = ReadDate(value_it->get<std::string>());
      if (!date)
        throw SchemaError{where + ".value",
                          "not a date: give an OLE date number or text such as \"2024-03-01 08:30:00\""};
      c.strValue = CString::FromUtf8(Number(*date));
    }
  } else {
    throw SchemaError{where + ".value", "must be a string or a number"};
  }

  const auto all_it = j.find("allSubTypes");
  if (all_it != j.end()) {
    if (!all_it->is_boolean()) throw SchemaError{where + ".allSubTypes", "must be true or false"};
    c.bAllSubTypes = all_it->get<bool>() ? TRUE : FALSE;
  }
  return c;
}

struct ConditionFile {
  std::optional<int> dialect;
  std::vector<stu_QVDBQueryCondition> conditions;
};

ConditionFile ReadConditions(const json& doc) {
  ConditionFile file;
  const json* list = &doc;
  if (doc.is_object()) {
    for (const auto& [key, _] : doc.items())
      if (key != "dialect" && key != "conditions") throw SchemaError{key, "unknown key (allowed: dialect, conditions)"};
    if (const auto it = doc.find("dialect"); it != doc.end()) {
      std::optional<int> d;
      if (it->is_string()) d = Lookup(kDialects, it->get<std::string>());
      if (it->is_number_integer() && it->get<long long>() >= 1 && it->get<long long>() <= 5)
        d = static_cast<int>(it->get<long long>());
      if (!d) throw SchemaError{"dialect", "must be one of " + Names(kDialects)};
      file.dialect = d;
    }
    const auto it = doc.find("conditions");
    if (it == doc.end()) throw SchemaError{"(top level)", "missing \"conditions\""};
    list = &*it;
  }
  if (!list->is_array()) throw SchemaError{"conditions", "must be an array of condition objects"};
  for (std::size_t i = 0; i < list->size(); ++i)
    file.conditions.push_back(ReadCondition((*list)[i], "conditions[" + std::to_string(i) + "]"));
  return file;
}

std::string BuildWhere(std::vector<stu_QVDBQueryCondition> conditions, int dialect) {
  CQVQueryConditionArray list;
  for (auto& c : conditions) {
    stu_QVDBQueryCondition* p = &c;
    list.Add(p);
  }
  return QV_CreateSqlWhere(list, static_cast<em_QVDatabaseType>(dialect)).ToUtf8();
}

// Loads and checks a condition file; prints the reason and returns nullopt on
// failure.
std::optional<ConditionFile> LoadConditionFile(const std::string& path) {
  std::string content;
  if (path == "-") {
    content.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      Fail(ErrnoText(path, "cannot read the condition file", errno));
      return std::nullopt;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
  }
  const std::string name = path == "-" ? "(stdin)" : path;
  json doc;
  try {
    doc = json::parse(content);
  } catch (const json::parse_error& e) {
    Fail(name + ": not valid JSON at byte " + std::to_string(e.byte) + ": " + e.what());
    return std::nullopt;
  }
  try {
    return ReadConditions(doc);
  } catch (const SchemaError& e) {
    Fail(name + ": " + e.where + ": " + e.what);
  } catch (const json::exception& e) {  // e.g. text that is not UTF-8
    Fail(name + ": " + e.what());
  }
  return std::nullopt;
}

// DialectOption reads --dialect (empty: not given, `dialect` stays unset);
// false after reporting an unknown name.
bool DialectOption(const std::string& name, std::optional<int>& dialect) {
  if (name.empty()) return true;
  dialect = Lookup(kDialects, name);
  if (!dialect) Fail("unknown dialect '" + name + "' (" + Names(kDialects) + ")");
  return dialect.has_value();
}

struct SqlOptions {
  std::string file;
  std::string dialect;
};

int SqlWhere(const SqlOptions& o) {
  std::optional<int> dialect;
  if (!DialectOption(o.dialect, dialect)) return kExitUsage;
  const auto file = LoadConditionFile(o.file);
  if (!file) return kExitFailure;
  if (!dialect) dialect = file->dialect;
  if (!dialect) {
    Fail("no dialect: give --dialect or a \"dialect\" key in the file (" + Names(kDialects) + ")");
    return kExitUsage;
  }
  const std::string where = BuildWhere(file->conditions, *dialect);
  if (JsonWanted()) {
    JsonResult() = {{"dialect", kDialects[*dialect - 1].name}, {"where", where}};
  } else {
    std::printf("%s\n", where.c_str());
  }
  return kExitOk;
}

struct DateOptions {
  std::string date;
  std::string pattern;
  bool has_pattern = false;
  std::string dialect;
};

int Date(const DateOptions& o) {
  std::optional<int> dialect;
  if (!DialectOption(o.dialect, dialect)) return kExitUsage;
  std::optional<double> date;
  if (Lower(o.date) == "now") {
    date = COleDateTime::GetCurrentTime().m_dt;
  } else {
    date = ReadDate(o.date);
  }
  if (!date) {
    Fail("not a date: '" + o.date + "' (an OLE date number, text such as \"2024-03-01 08:30:00\", or now)");
    return kExitUsage;
  }
  SYSTEMTIME st;
  const bool convertible = VariantTimeToSystemTime(*date, &st) != FALSE;
  if (!convertible)
    Fail("date " + Number(*date) + " is outside years 100-9999: its fields are written as zeros");
  const CString pattern = CString::FromUtf8(o.pattern);

  if (JsonWanted()) {
    nlohmann::json& doc = JsonResult();
    doc = {{"oleDate", *date}};
    auto literals = [&](int d) {
      const auto type = static_cast<em_QVDatabaseType>(d);
      if (o.has_pattern) return json{{"text", QV_FormatDateTime(*date, type, pattern).ToUtf8()}};
      return json{{"dateTime", QV_FormatDateTime(*date, type, 1).ToUtf8()},
                  {"date", QV_FormatDateTime(*date, type, 0).ToUtf8()}};
    };
    if (o.has_pattern) doc["pattern"] = o.pattern;
    if (o.has_pattern && !dialect) doc["text"] = QV_FormatDateTime(*date, pattern).ToUtf8();
    if (!o.has_pattern) {
      doc["dateTime"] = QV_FormatDateTime(*date, 1).ToUtf8();
      doc["date"] = QV_FormatDateTime(*date, 0).ToUtf8();
      doc["weekday"] = QV_FormatDateTime(*date, u"%A").ToUtf8();
      doc["standard"] = QV_GetStandardDateTimeString(COleDateTime(*date)).ToUtf8();
    }
    if (dialect) {
      doc["dialects"] = {{kDialects[*dialect - 1].name, literals(*dialect)}};
    } else if (!o.has_pattern) {
      doc["dialects"] = json::object();
      for (const auto& d : kDialects) doc["dialects"][d.name] = literals(d.value);
    }
  } else if (o.has_pattern && dialect) {
    std::printf("%s\n", QV_FormatDateTime(*date, static_cast<em_QVDatabaseType>(*dialect), pattern).ToUtf8().c_str());
  } else if (o.has_pattern) {
    std::printf("%s\n", QV_FormatDateTime(*date, pattern).ToUtf8().c_str());
  } else if (dialect) {
    const auto type = static_cast<em_QVDatabaseType>(*dialect);
    std::printf("%s\n%s\n", QV_FormatDateTime(*date, type, 1).ToUtf8().c_str(),
                QV_FormatDateTime(*date, type, 0).ToUtf8().c_str());
  } else {
    std::printf("OLE date    %s\n", Number(*date).c_str());
    std::printf("date time   %s\n", QV_FormatDateTime(*date, 1).ToUtf8().c_str());
    std::printf("date        %s\n", QV_FormatDateTime(*date, 0).ToUtf8().c_str());
    std::printf("weekday     %s\n", QV_FormatDateTime(*date, u"%A").ToUtf8().c_str());
    std::printf("standard    %s\n", QV_GetStandardDateTimeString(COleDateTime(*date)).ToUtf8().c_str());
    for (const auto& d : kDialects) {
      const auto type = static_cast<em_QVDatabaseType>(d.value);
      std::printf("%-11s %s   %s\n", d.name, QV_FormatDateTime(*date, type, 1).ToUtf8().c_str(),
                  QV_FormatDateTime(*date, type, 0).ToUtf8().c_str());
    }
  }
  return convertible ? kExitOk : kExitFailure;
}

int Demo() {
  const std::string path = DataDir() + "/sql/conditions.json";
  const auto file = LoadConditionFile(path);
  if (!file) return kExitFailure;
  std::printf("%zu conditions from data/sql/conditions.json, as each dialect writes them:\n",
              file->conditions.size());
  for (const auto& d : kDialects)
    std::printf("  %-9s WHERE%s\n", d.name, BuildWhere(file->conditions, d.value).c_str());
  const double date = 45352.354166666664;
  std::printf("date %s: %s, %s, %s\n", Number(date).c_str(),
              QV_FormatDateTime(date, u"%Y-%m-%d %H:%M:%S %A").ToUtf8().c_str(),
              QV_FormatDateTime(date, em_QVDBDB2, 1).ToUtf8().c_str(),
              QV_GetStandardDateTimeString(COleDateTime(date)).ToUtf8().c_str());
  return kExitOk;
}

}  // namespace

void AddDatabaseCommands(CLI::App& app) {
  auto sql = std::make_shared<SqlOptions>();
  auto* where = app.add_subcommand(
      "sql-where",
      "Print the SQL search condition (no WHERE keyword) built from a JSON list of conditions.\n"
      "File: {\"dialect\": NAME, \"conditions\": [{\"kind\", \"field\", \"operator\", \"value\", \"prefix\", "
      "\"suffix\", \"allSubTypes\"}, ...]}; see data/sql/conditions.json");
  where->add_option("FILE", sql->file, "Condition file (JSON); - reads standard input")->required();
  where->add_option("-d,--dialect", sql->dialect,
                    "SQL dialect: percent, oracle, percent2, db2, access or 1-5 (overrides the file's \"dialect\")");
  where->callback([sql] { ExitCode() = SqlWhere(*sql); });
  AddExamples(where, {"qvtool sql-where --dialect oracle conditions.json",
                      "echo '[{\"kind\":\"text\",\"field\":\"TITLE\",\"operator\":\"=\",\"value\":\"news\"}]' | qvtool sql-where -d db2 --json -"});
  AddJsonOutput(where, "{\"dialect\": name, \"where\": the condition text}");

  auto date = std::make_shared<DateOptions>();
  auto* date_cmd = app.add_subcommand(
      "date",
      "Print a date in the library's text forms and as database literals.\n"
      "With --pattern: the pattern text (placeholders %Y %m %d %H %M %S %A); with --dialect: that dialect's "
      "literal(s)");
  date_cmd->add_option("DATE", date->date,
                       "An OLE date number (days since 1899-12-30), date text such as \"2024-03-01 08:30:00\", "
                       "or now")
      ->required();
  date_cmd->add_option("-p,--pattern", date->pattern, "Pattern, e.g. \"%Y-%m-%d %H:%M:%S\"");
  date_cmd->add_option("-d,--dialect", date->dialect, "SQL dialect: percent, oracle, percent2, db2, access or 1-5");
  AddExamples(date_cmd, {"qvtool date \"2024-03-01 08:30:00\"", "qvtool date now --dialect oracle",
                         "qvtool date 45352.35 --pattern \"%Y-%m-%d %A\" --json"});
  AddJsonOutput(date_cmd,
                "{\"oleDate\": number, \"dateTime\", \"date\", \"weekday\", \"standard\": text (without --pattern), "
                "\"pattern\", \"text\": text (with --pattern), \"dialects\": {NAME: {\"dateTime\", \"date\"} or "
                "{\"text\"}} (every dialect, or the --dialect one)}");
  date_cmd->callback([date, date_cmd] {
    date->has_pattern = date_cmd->count("--pattern") > 0;
    ExitCode() = Date(*date);
  });

  AddDemoSection("sql conditions", Demo);
}

}  // namespace qvtool
