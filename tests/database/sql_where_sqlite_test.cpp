// Runs generated search conditions against a real database. Each condition is
// checked against the same query with its value bound as a parameter: if a
// value ever closed its literal, the rows found would differ (or the text
// would not be one statement).
#include <sqlite3.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database/sql_test_util.h"
#include "qv_commonclass/database.h"

using namespace qv_commonclass;

namespace {

const char* const kNasty[] = {
    "it's", "O'Brien", "' OR '1'='1", "'; DROP TABLE objects; --", "100%", "50% off_sale", "[abc]", "a\"b\"c",
    "x''y", "\\'", "end'", "'", "''", "%", "_", "(1),(2)", "中文'引号", "*star*", ")) OR ((1=1", "--", "/* c */",
    "'||'", "' UNION SELECT 1 --", "Mixed Case'S", "]'[",
};
constexpr std::size_t kRows = std::size(kNasty) + 2;

// Stand-ins for the server functions that the dialects' texts call.
void ToDate(sqlite3_context* ctx, int, sqlite3_value** argv) {  // TO_DATE(text, mask) -> text
  const auto* mask = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  if (mask && std::strcmp(mask, "YYYY-MM-DD HH24:MI:SS") == 0) return sqlite3_result_value(ctx, argv[0]);
  sqlite3_result_error(ctx, "unexpected mask", -1);
}
void Locate(sqlite3_context* ctx, int, sqlite3_value** argv) {  // LOCATE(needle, haystack) -> 1-based or 0
  const auto* needle = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const auto* hay = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const char* at = needle && hay ? std::strstr(hay, needle) : nullptr;
  sqlite3_result_int(ctx, at ? static_cast<int>(at - hay) + 1 : 0);
}

class SqliteWhereTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db_,
                           "CREATE TABLE objects(id INTEGER PRIMARY KEY, title TEXT, note TEXT, created TEXT);"
                           "PRAGMA case_sensitive_like = ON;",  // LIKE as the server dialects have it
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    int n = 0;
    for (const char* v : kNasty) {
      char created[32];
      std::snprintf(created, sizeof created, "2024-03-%02d 08:30:00", 1 + n++ % 28);
      Run("INSERT INTO objects(title, note, created) VALUES (?, ?, ?)", {v, "note " + std::string(v) + " !", created});
    }
    Run("INSERT INTO objects(title, note, created) VALUES ('MIXED CASE''S', 'IT''S', '2024-03-01 08:29:59')");
    Run("INSERT INTO objects(title, note, created) VALUES ('1', 'a 100 percent note', '2024-03-01 08:30:01')");
    sqlite3_create_function(db_, "TO_DATE", 2, SQLITE_UTF8, nullptr, &ToDate, nullptr, nullptr);
    sqlite3_create_function(db_, "LOCATE", 2, SQLITE_UTF8, nullptr, &Locate, nullptr, nullptr);
  }
  void TearDown() override { sqlite3_close(db_); }

  // Runs one statement with text parameters; returns the first column's
  // values. Text after the statement fails the test.
  std::set<int> Run(const std::string& sql, const std::vector<std::string>& params = {}) {
    std::set<int> ids;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, &tail), SQLITE_OK) << sql << ": " << sqlite3_errmsg(db_);
    if (stmt == nullptr) return {-1};
    EXPECT_STREQ(tail, "") << "text after the statement: " << sql;
    for (std::size_t i = 0; i < params.size(); ++i)
      sqlite3_bind_text(stmt, static_cast<int>(i) + 1, params[i].c_str(), -1, SQLITE_TRANSIENT);
    int rc = 0;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) ids.insert(sqlite3_column_int(stmt, 0));
    EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return ids;
  }
  std::set<int> Ids(const std::string& where, const std::vector<std::string>& params = {}) {
    return Run("SELECT id FROM objects WHERE " + where, params);
  }

  static std::string Where(std::vector<stu_QVDBQueryCondition> conds, em_QVDatabaseType type) {
    return qvtest::Where(conds, type).ToUtf8();
  }
  // The rows that one generated condition finds.
  std::set<int> Found(int kind, const char* field, const char* op, const std::string& value, em_QVDatabaseType type) {
    return Ids(Where({qvtest::Cond(kind, "", field, op, value)}, type));
  }

  static std::string Upper(std::string s) {
    for (char& c : s) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return s;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(SqliteWhereTest, TextConditionsBehaveAsBoundParameters) {
  for (const char* v : kNasty) {
    for (em_QVDatabaseType type : {em_QVDBOracle, em_QVDBDB2, em_QVDBAccess}) {
      EXPECT_EQ(Found(2, "title", "=", v, type), Ids("title = ?", {v})) << v;
      EXPECT_EQ(Found(2, "title", "<>", v, type).size(), kRows - 1) << v;
    }
    // Dialects 1 and 3 double '"' too: such values reach the server doubled
    // and match nothing, but still stay inside their literal.
    const std::set<int> percent = Found(2, "title", "=", v, em_QVDBPercent);
    EXPECT_EQ(percent.size(), std::strchr(v, '"') ? 0u : 1u) << v;

    // LIKE, substring and case-free forms: "%" and "_" stay wildcards, exactly as when bound.
    const std::string s = v;
    EXPECT_EQ(Found(2, "title", " like ", v, em_QVDBOracle), Ids("title LIKE ?", {"%" + s + "%"})) << v;
    EXPECT_EQ(Found(4, "note", "", v, em_QVDBPercent), Ids("note LIKE ?", {"%" + s + "%"})) << v;
    EXPECT_EQ(Found(6, "title", "=", v, em_QVDBOracle), Ids("UPPER(title) = ?", {Upper(s)})) << v;
    EXPECT_EQ(Found(6, "title", "not like", v, em_QVDBDB2), Ids("UPPER(title) NOT LIKE ?", {"%" + Upper(s) + "%"}))
        << v;
    // DB2's LOCATE is a plain substring test: every note holds its own title.
    const std::set<int> found = Found(4, "note", "", v, em_QVDBDB2);
    EXPECT_EQ(found, Ids("instr(note, ?) > 0", {v})) << v;
    EXPECT_FALSE(found.empty()) << v;
  }
  EXPECT_EQ(Found(6, "title", "=", "mixed case's", em_QVDBOracle).size(), 2u);
  const std::set<int> in = Found(2, "title", "IN", "it's,O'Brien,' OR '1'='1,nope", em_QVDBOracle);
  EXPECT_EQ(in, Ids("title IN (?,?,?,?)", {"it's", "O'Brien", "' OR '1'='1", "nope"}));
  EXPECT_EQ(in.size(), 3u);
}

TEST_F(SqliteWhereTest, DateConditionsCannotCarryText) {
  const std::string at = "45352.354166666664";  // 2024-03-01 08:30:00
  for (em_QVDatabaseType type : {em_QVDBPercent, em_QVDBOracle}) {
    EXPECT_EQ(Found(3, "created", "=", at, type), Ids("created = '2024-03-01 08:30:00'"));
    EXPECT_EQ(Found(3, "created", "<", at, type), Ids("created < '2024-03-01 08:30:00'"));
    EXPECT_EQ(Found(3, "created", "=", at + "' OR '1'='1", type), Ids("created = '2024-03-01 08:30:00'"));
  }
}

TEST_F(SqliteWhereTest, BracketedCombination) {
  const std::string where = Where({qvtest::Cond(6, "", "title", "in", "it's,o'brien"),
                                   qvtest::Cond(2, "AND (", "note", "LIKE", "O'B"),
                                   qvtest::Cond(2, "OR", "title", "=", "' OR '1'='1", ")")},
                                  em_QVDBOracle);
  EXPECT_EQ(Ids(where), Ids("UPPER(title) IN ('IT''S','O''BRIEN') AND (note LIKE ? OR title = ?)",
                            {"%O'B%", "' OR '1'='1"}));
  EXPECT_EQ(Ids(where).size(), 1u);
  EXPECT_EQ(Ids("1=1").size(), kRows);  // the table survived every query
}

}  // namespace
