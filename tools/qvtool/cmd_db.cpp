// `qvtool db query`, `qvtool db exec` and the recordset demo: SQL against a
// database through the data-access objects and the recordset wrapper.
//
// CONN is a connection string ("Provider=SQLite;Data Source=clips.db",
// "Driver={PostgreSQL Unicode};Servername=...;Database=...") or a plain
// SQLite file path.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "commands.h"
#include "progress.h"
#include "qv_commonclass/database.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/file_content.h"
#include "qv_platform/unicode.h"

namespace qvtool {

namespace {

using namespace qv_commonclass;
using namespace AdoNS;

std::string Utf8(std::u16string_view s) { return qvp::Utf16ToUtf8(s); }
std::string Describe(const _com_error& e) {
  const std::string d = Utf8(e.Description().view());
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(e.Error()));
  return d.empty() ? std::string("error ") + code : d + " (" + code + ")";
}

_ConnectionPtr Connect(const std::string& conn) {
  _ConnectionPtr c(_Connection::Create(), false);
  c->Open(_bstr_t(conn.c_str()));
  return c;
}

// Opens `sql` on `conn` into the wrapper, with a client cursor and batch
// locking so that the rows can be edited.
void OpenInto(CQVDBRecordset& rs, _Connection* conn, const std::string& sql) {
  _Recordset** slot = &rs;
  *slot = _Recordset::Create();
  rs.GetRecordset()->PutCursorLocation(adUseClient);
  rs.GetRecordset()->Open(_variant_t(sql.c_str()), conn, adOpenStatic, adLockBatchOptimistic);
}

// One value as text; `null` tells NULL apart.
std::string Cell(CQVDBRecordset& rs, int field, bool* null) {
  const _variant_t v = rs.FieldVariant(static_cast<long>(field));
  *null = v.IsNullOrEmpty();
  if (*null) return {};
  if (const SAFEARRAY* a = v.parray()) {
    std::string hex = "0x";
    const auto* p = static_cast<const unsigned char*>(a->pvData);
    for (std::uint32_t i = 0; i < a->cElements && i < 32; ++i) {
      char b[3];
      std::snprintf(b, sizeof b, "%02x", p[i]);
      hex += b;
    }
    if (a->cElements > 32) hex += "...";
    return hex;
  }
  if (v.vt() == VT_DATE) {
    const COleDateTime t(v.date());
    return t.Format(u"%Y-%m-%d %H:%M:%S").ToUtf8();
  }
  return rs.FieldString(field).ToUtf8();
}

// Display width: CJK and other wide characters take two columns.
std::size_t Width(const std::string& s) {
  std::size_t w = 0;
  for (char16_t c : qvp::Utf8ToUtf16(s)) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;
    w += (c >= 0x1100 && (c <= 0x115F || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                          (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6)))
             ? 2
             : 1;
  }
  return w;
}

std::string CsvQuote(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

enum class Format { Table, Csv, Json };

// Prints the rows of an open recordset from the first one.
void PrintRows(CQVDBRecordset& rs, Format format) {
  const int n = rs.FieldCount();
  std::vector<std::string> names;
  for (int f = 0; f < n; ++f) names.push_back(rs.FieldName(f).ToUtf8());
  std::vector<std::vector<std::pair<std::string, bool>>> rows;
  ProgressBar progress("reading rows");
  const auto total = static_cast<std::uint64_t>(rs.GetRecordCount());
  nlohmann::json json = nlohmann::json::array();
  if (rs.GetRecordCount() > 0) rs.GetRecordset()->MoveFirst();
  for (std::uint64_t done = 0; !rs.IsEOF(); rs.MoveNext(), ++done) {
    progress.Update(done, total);
    if (format == Format::Json) {
      nlohmann::json row = nlohmann::json::object();
      for (int f = 0; f < n; ++f) {
        const _variant_t v = rs.FieldVariant(static_cast<long>(f));
        bool null = false;
        const std::string text = Cell(rs, f, &null);
        auto& slot = row[names[static_cast<std::size_t>(f)]];
        switch (v.vt()) {
          case VT_EMPTY: case VT_NULL: slot = nullptr; break;
          case VT_BOOL: slot = v.boolVal() != 0; break;
          case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT: slot = v.llVal(); break;
          case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT: slot = v.ullVal(); break;
          case VT_R4: case VT_R8: slot = rs.FieldDouble(f); break;
          default: slot = text; break;
        }
      }
      json.push_back(std::move(row));
      continue;
    }
    std::vector<std::pair<std::string, bool>> row;
    for (int f = 0; f < n; ++f) {
      bool null = false;
      std::string text = Cell(rs, f, &null);
      row.emplace_back(std::move(text), null);
    }
    rows.push_back(std::move(row));
  }
  progress.Finish();
  if (format == Format::Json) {
    std::printf("%s\n", json.dump(2).c_str());
    return;
  }
  if (format == Format::Csv) {
    for (int f = 0; f < n; ++f) std::printf("%s%s", f ? "," : "", CsvQuote(names[static_cast<std::size_t>(f)]).c_str());
    std::printf("\n");
    for (const auto& row : rows) {
      for (int f = 0; f < n; ++f)
        std::printf("%s%s", f ? "," : "", CsvQuote(row[static_cast<std::size_t>(f)].first).c_str());
      std::printf("\n");
    }
    return;
  }
  std::vector<std::size_t> width(static_cast<std::size_t>(n));
  for (int f = 0; f < n; ++f) width[static_cast<std::size_t>(f)] = Width(names[static_cast<std::size_t>(f)]);
  for (const auto& row : rows)
    for (int f = 0; f < n; ++f) {
      const auto& [text, null] = row[static_cast<std::size_t>(f)];
      width[static_cast<std::size_t>(f)] = std::max(width[static_cast<std::size_t>(f)], null ? 4 : Width(text));
    }
  auto line = [&] {
    for (int f = 0; f < n; ++f) std::printf("+%s", std::string(width[static_cast<std::size_t>(f)] + 2, '-').c_str());
    std::printf("+\n");
  };
  auto cell = [&](const std::string& text, std::size_t w) {
    std::printf("| %s%s ", text.c_str(), std::string(w - Width(text), ' ').c_str());
  };
  line();
  for (int f = 0; f < n; ++f) cell(names[static_cast<std::size_t>(f)], width[static_cast<std::size_t>(f)]);
  std::printf("|\n");
  line();
  for (const auto& row : rows) {
    for (int f = 0; f < n; ++f) {
      const auto& [text, null] = row[static_cast<std::size_t>(f)];
      cell(null ? "NULL" : text, width[static_cast<std::size_t>(f)]);
    }
    std::printf("|\n");
  }
  line();
  std::printf("(%zu row%s)\n", rows.size(), rows.size() == 1 ? "" : "s");
}

struct DbOptions {
  std::string db;
  std::string sql;
  std::string xml;  // query: save the rows here instead of printing them
  bool csv = false;
  bool json = false;
};

int Query(const DbOptions& o) {
  if (o.csv && o.json) {
    Fail("--csv and --json exclude each other");
    return kExitUsage;
  }
  try {
    _ConnectionPtr conn = Connect(o.db);
    CQVDBRecordset rs;
    OpenInto(rs, conn, o.sql);
    if (!rs.IsOpen()) {
      std::printf("(the statement gave no rows; use `qvtool db exec` for statements)\n");
      return kExitOk;
    }
    if (!o.xml.empty()) {
      rs.GetRecordset()->Save(_bstr_t(o.xml.c_str()), adPersistXML);
      std::printf("%d row%s saved to %s\n", rs.GetRecordCount(), rs.GetRecordCount() == 1 ? "" : "s", o.xml.c_str());
      return kExitOk;
    }
    PrintRows(rs, o.csv ? Format::Csv : o.json ? Format::Json : Format::Table);
    return kExitOk;
  } catch (const _com_error& e) {
    Fail(Describe(e));
    return kExitFailure;
  }
}

int Exec(const DbOptions& o) {
  try {
    _ConnectionPtr conn = Connect(o.db);
    _variant_t affected;
    _RecordsetPtr rs = conn->Execute(_bstr_t(o.sql.c_str()), &affected);
    if (rs->GetState() == adStateOpen)
      std::printf("(the statement gave %ld rows; use `qvtool db query` to see them)\n", rs->GetRecordCount());
    else if (affected.lVal() >= 0)
      std::printf("%d row%s affected\n", affected.lVal(), affected.lVal() == 1 ? "" : "s");
    else
      std::printf("done\n");
    return kExitOk;
  } catch (const _com_error& e) {
    Fail(Describe(e));
    return kExitFailure;
  }
}

// Writes the pending changes of a saved recordset file to the database.
int Apply(const DbOptions& o) {
  try {
    _RecordsetPtr rs(_Recordset::Create(), false);
    rs->Open(_variant_t(o.sql.c_str()), nullptr, adOpenStatic, adLockBatchOptimistic, adCmdFile);
    long kinds[3] = {};  // modified, inserted, deleted
    rs->PutFilter(_variant_t(static_cast<int>(adFilterPendingRecords)));
    for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext()) {
      const long st = rs->GetStatus();
      ++kinds[(st & adRecNew) ? 1 : (st & adRecDeleted) ? 2 : 0];
    }
    rs->PutFilter(_variant_t(static_cast<int>(adFilterNone)));
    _ConnectionPtr conn = Connect(o.db);
    rs->PutRefActiveConnection(conn);
    rs->UpdateBatch(adAffectAll);
    if (JsonWanted()) {
      JsonResult() = {{"file", o.sql}, {"modified", kinds[0]}, {"inserted", kinds[1]}, {"deleted", kinds[2]}};
    } else {
      std::printf("%s: applied %ld modified, %ld inserted, %ld deleted row%s\n", o.sql.c_str(), kinds[0], kinds[1],
                  kinds[2], kinds[2] == 1 ? "" : "s");
    }
    return kExitOk;
  } catch (const _com_error& e) {
    Fail(o.sql + ": " + Describe(e));
    return kExitFailure;
  }
}

int Demo() {
  const std::string script_path = DataDir() + "/db/tapes.sql";
  std::ifstream in(script_path);
  if (!in) {
    Fail("cannot read " + script_path);
    return kExitFailure;
  }
  std::stringstream script;
  script << in.rdbuf();
  const auto db = std::filesystem::temp_directory_path() / ("qvtool-demo-" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(db);
  int result = kExitOk;
  try {
    _ConnectionPtr conn = Connect(db.string());
    conn->Execute(_bstr_t(script.str().c_str()));
    std::printf("SQLite database %s made from data/db/tapes.sql:\n", db.string().c_str());
    CQVDBRecordset rs;
    OpenInto(rs, conn, "SELECT id, title, standard, frames, aired, archived FROM clips ORDER BY id");
    PrintRows(rs, Format::Table);
    std::printf("In batch mode: retitle clip 2, set clip 5's standard, delete clip 3; then UpdateBatch.\n");
    rs.Find(u"id = 2", 0);
    rs.SetField(u"title", CString(u"Weather report (late)"));
    rs.Find(u"title LIKE 'Raw*'", 0);
    rs.SetField(u"standard", CString(u"PAL"));
    rs.SetField(u"aired", COleDateTime(2024, 3, 3, 8, 0, 0));
    rs.Find(u"id = 3", 0);
    rs.Delete(adAffectCurrent);
    rs.Filter(u"");
    std::printf("pending before UpdateBatch: %d records in the view\n", rs.GetRecordCount());
    if (!rs.UpdateBatch(adAffectAll)) {
      Fail("UpdateBatch failed");
      result = kExitFailure;
    }
    std::printf("Edited again and saved as XML, reloaded, then applied: clip 2 archived, clip 6 added.\n");
    rs.Find(u"id = 2", 0);
    rs.SetField(u"archived", 1);
    rs.AddNew();
    rs.SetField(u"id", 6);
    rs.SetField(u"title", CString(u"Evening news (repeat)"));
    rs.SetField(u"standard", CString(u"PAL"));
    rs.SetField(u"frames", 45000);
    rs.Update();
    const auto xml = std::filesystem::temp_directory_path() / ("qvtool-demo-" + std::to_string(::getpid()) + ".xml");
    if (!rs.SaveFile(CString(qvp::Utf8ToUtf16(xml.string())))) {
      Fail("SaveFile failed");
      result = kExitFailure;
    }
    rs.Close();
    CQVDBRecordset reloaded;
    reloaded.SetAutoRelease(1);
    CString text;
    {
      std::string bytes;
      qvp::ReadWholeFile(xml.string(), bytes);
      text = CString(qvp::Utf8ToUtf16(bytes));
    }
    std::filesystem::remove(xml);
    if (!reloaded.XML2Recordset(text)) {
      Fail("XML2Recordset failed");
      result = kExitFailure;
    } else {
      reloaded.GetRecordset()->PutRefActiveConnection(conn);
      std::printf("reloaded: %d records, %zu bytes of XML\n", reloaded.GetRecordCount(), Utf8(text.view()).size());
      if (!reloaded.UpdateBatch(adAffectAll)) {
        Fail("UpdateBatch of the reloaded recordset failed");
        result = kExitFailure;
      }
    }
    CQVDBRecordset after;
    OpenInto(after, conn, "SELECT id, title, standard, frames, aired, archived FROM clips ORDER BY id");
    std::printf("The table as the database now holds it:\n");
    PrintRows(after, Format::Table);
  } catch (const _com_error& e) {
    Fail(Describe(e));
    result = kExitFailure;
  }
  std::filesystem::remove(db);
  return result;
}

}  // namespace

// Reads a saved recordset file into the persistence model; prints why not.
bool LoadSaved(const std::string& path, qvp::persist::Document& doc) {
  std::string bytes, error;
  if (int err = qvp::ReadWholeFile(path, bytes); err != 0) {
    std::fprintf(stderr, "qvtool: cannot read %s: %s\n", path.c_str(), std::strerror(err));
    return false;
  }
  if (!qvp::persist::Read(bytes, doc, error)) {
    std::fprintf(stderr, "qvtool: %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

const char* TypeName(AdoNS::DataTypeEnum t) {
  qvp::persist::TypeText text{};
  if (!qvp::persist::TypeToText(t, text)) return "?";
  return text.dbType ? text.dbType : text.dtType;
}

int Info(const std::string& path) {
  qvp::persist::Document doc;
  if (!LoadSaved(path, doc)) return 1;
  std::printf("%s\n", path.c_str());
  for (const auto& [k, v] : doc.properties) std::printf("  property %s = %s\n", k.c_str(), v.c_str());
  for (const auto& c : doc.columns) {
    std::printf("  field %ld %s: %s size %llu", c.number, c.FieldName().c_str(), TypeName(c.type),
                static_cast<unsigned long long>(c.maxLength));
    if (c.hasScale || c.precision) std::printf(" precision %d scale %d", c.precision, c.scale);
    std::printf("%s%s%s%s%s\n", c.nullable ? " nullable" : "", c.write ? " writable" : "", c.fixedLength ? " fixed" : "",
                c.isLong ? " long" : "", c.keyColumn ? " key" : "");
  }
  std::size_t kinds[4] = {};
  for (const auto& r : doc.rows) ++kinds[static_cast<int>(r.kind)];
  std::printf("  rows %zu (unchanged %zu, modified %zu, inserted %zu, deleted %zu)\n", doc.rows.size(), kinds[0],
              kinds[1], kinds[2], kinds[3]);
  for (const auto& child : doc.skippedChildren) std::printf("  child rowset %s not read\n", child.c_str());
  return 0;
}

int Convert(const std::string& path, bool json) {
  qvp::persist::Document doc;
  if (!LoadSaved(path, doc)) return 1;
  static const char* kKinds[] = {"unchanged", "modified", "inserted", "deleted"};
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& r : doc.rows) {
      nlohmann::json row = nlohmann::json::object();
      for (std::size_t f = 0; f < doc.columns.size(); ++f) {
        auto& slot = row[doc.columns[f].FieldName()];
        if (r.values[f].null) slot = nullptr; else slot = r.values[f].text;
      }
      out.push_back({{"status", kKinds[static_cast<int>(r.kind)]}, {"values", std::move(row)}});
    }
    std::printf("%s\n", out.dump(2).c_str());
    return 0;
  }
  std::printf("status");
  for (const auto& c : doc.columns) std::printf(",%s", CsvQuote(c.FieldName()).c_str());
  std::printf("\n");
  for (const auto& r : doc.rows) {
    std::printf("%s", kKinds[static_cast<int>(r.kind)]);
    for (const auto& v : r.values) std::printf(",%s", v.null ? "" : CsvQuote(v.text).c_str());
    std::printf("\n");
  }
  return 0;
}

void AddDbCommands(CLI::App& app) {
  auto* db = app.add_subcommand("db", "Run SQL against a database (SQLite file or any ODBC data source)");
  db->require_subcommand(1);
  AddExamples(db, {"qvtool db query --db clips.db \"SELECT id, title FROM clips\""});
  const char* conn_help =
      "Connection: a SQLite file path, \"Provider=SQLite;Data Source=FILE\", or an ODBC string such as "
      "\"Driver={PostgreSQL Unicode};Servername=HOST;Database=DB;Username=U\"";

  auto q = std::make_shared<DbOptions>();
  auto* query = db->add_subcommand("query", "Run a query and print its rows (a table on a terminal)");
  query->add_option("--db", q->db, conn_help)->required();
  query->add_option("SQL", q->sql, "The SELECT statement")->required();
  query->add_flag("--csv", q->csv, "Print CSV (a header line, then one line a row)");
  query->add_flag("--json", q->json, "Print a JSON array of objects");
  query->add_option("--xml", q->xml,
                    "Save the rows to FILE in the recordset XML persistence format (created or replaced) instead of "
                    "printing them");
  AddExamples(query, {"qvtool db query --db clips.db \"SELECT id, title FROM clips WHERE frames > 1000\" --csv",
                      "qvtool db query --db clips.db \"SELECT * FROM clips\" --xml clips.xml"});
  AddFooter(query, "JSON (--json): {\"COLUMN\": value, ...} for each row, in one array");
  query->callback([q] { ExitCode() = Query(*q); });

  auto e = std::make_shared<DbOptions>();
  auto* exec = db->add_subcommand("exec", "Run statements (several may be separated by ';' for SQLite)");
  exec->add_option("--db", e->db, conn_help)->required();
  exec->add_option("SQL", e->sql, "The statement(s)")->required();
  AddExamples(exec, {"qvtool db exec --db clips.db \"UPDATE clips SET archived = 1 WHERE id = 4\""});
  exec->callback([e] { ExitCode() = Exec(*e); });

  auto info_path = std::make_shared<std::string>();
  auto* info = db->add_subcommand("info", "Describe a saved recordset file: fields, rows, pending changes");
  info->add_option("FILE", *info_path, "The recordset saved as XML")->required();
  AddExamples(info, {"qvtool db info clips.xml"});
  info->callback([info_path] { ExitCode() = Info(*info_path); });

  auto conv = std::make_shared<DbOptions>();
  auto* convert = db->add_subcommand("convert", "Print a saved recordset file as CSV or JSON (rows with their status)");
  convert->add_option("FILE", conv->db, "The recordset saved as XML")->required();
  auto* csv = convert->add_flag("--csv", conv->csv, "CSV: a header line, then one line a row (NULL is empty)");
  auto* js = convert->add_flag("--json", conv->json, "A JSON array of {status, values}");
  csv->excludes(js);
  AddExamples(convert, {"qvtool db convert clips.xml --json"});
  AddFooter(convert, "JSON (--json): {\"status\": text, \"values\": {\"COLUMN\": value, ...}} for each row, in one array");
  convert->callback([conv] {
    if (conv->csv == conv->json) {
      std::fprintf(stderr, "qvtool: db convert needs --csv or --json\n");
      ExitCode() = 2;
      return;
    }
    ExitCode() = Convert(conv->db, conv->json);
  });

  auto a = std::make_shared<DbOptions>();
  auto* apply = db->add_subcommand(
      "apply", "Write the pending changes of a saved recordset file (updates, inserts, deletes) to its base table");
  apply->add_option("FILE", a->sql, "The recordset saved as XML, with its pending changes")->required();
  apply->add_option("--db", a->db, conn_help)->required();
  AddExamples(apply, {"qvtool db apply edited.xml --db clips.db"});
  AddJsonOutput(apply, "{\"file\": path, \"modified\": n, \"inserted\": n, \"deleted\": n}");
  AddFooter(apply,
            "All changes go in one transaction: a row changed in the database since it was read is a conflict "
            "(exit 1, nothing written).");
  apply->callback([a] { ExitCode() = Apply(*a); });

  AddDemoSection("recordset", Demo);
}

}  // namespace qvtool
