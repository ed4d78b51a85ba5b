// `qvtool sql-where` and `qvtool date`: search conditions to SQL text and
// dates to text and database literals.
//
// The condition file is described in conditions/condition_file.h.
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
#include "conditions/condition_file.h"
#include "qv_commonclass/database.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;
using nlohmann::json;

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
  std::string error;
  auto file = ParseConditionFile(content, error);
  if (!file) Fail(name + ": " + error);
  return file;
}

// DialectOption reads --dialect (empty: not given, `dialect` stays unset);
// false after reporting an unknown name.
bool DialectOption(const std::string& name, std::optional<int>& dialect) {
  if (name.empty()) return true;
  dialect = LookupDialect(name);
  if (!dialect) Fail("unknown dialect '" + name + "' (" + DialectNames() + ")");
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
    Fail("no dialect: give --dialect or a \"dialect\" key in the file (" + DialectNames() + ")");
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
