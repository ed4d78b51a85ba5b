// Runs generated search conditions against a real database. Each condition is
// checked against the same query with its value bound as a parameter: if a
// value ever closed its literal, the rows found would differ (or the text
// would not even be one statement).
#include <sqlite3.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qv_commonclass/database.h"

using namespace qv_commonclass;

namespace {

const char* const kNastyValues[] = {
    "it's",         "O'Brien",       "' OR '1'='1",     "'; DROP TABLE objects; --", "100%",
    "50% off_sale", "[abc]",         "a\"b\"c",         "x''y",                      "\\'",
    "end'",         "'",             "''",              "%",                         "_",
    "(1),(2)",      "中文'引号",      "*star*",          ")) OR ((1=1",               "--",
    "/* c */",      "'||'",          "' UNION SELECT 1 --", "Mixed Case'S",          "]'[",
};

class SqliteWhereTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    Exec("CREATE TABLE objects(id INTEGER PRIMARY KEY, title TEXT, note TEXT, created TEXT)");
    Exec("PRAGMA case_sensitive_like = ON");  // LIKE as the server dialects have it
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_, "INSERT INTO objects(id, title, note, created) VALUES (?,?,?,?)", -1,
                                 &insert, nullptr),
              SQLITE_OK);
    int id = 1;
    auto add = [&](const std::string& title, const std::string& note, const std::string& created) {
      sqlite3_bind_int(insert, 1, id++);
      sqlite3_bind_text(insert, 2, title.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, note.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 4, created.c_str(), -1, SQLITE_TRANSIENT);
      ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
      sqlite3_reset(insert);
    };
    int n = 0;
    for (const char* v : kNastyValues) {
      char created[32];
      std::snprintf(created, sizeof created, "2024-03-%02d 08:30:00", 1 + n++ % 28);
      add(v, std::string("note about ") + v + " here", created);
    }
    add("plain", "nothing special", "2023-12-31 23:59:59");
    add("MIXED CASE'S", "IT'S LOUD", "2024-03-01 08:29:59");
    add("1", "a 100 percent note", "2024-03-01 08:30:01");
    sqlite3_finalize(insert);
    // Stand-ins for the server functions the dialects' texts call.
    sqlite3_create_function(db_, "TO_DATE", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &ToDate, nullptr,
                            nullptr);
    sqlite3_create_function(db_, "LOCATE", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &Locate, nullptr,
                            nullptr);
  }
  void TearDown() override { sqlite3_close(db_); }

  void Exec(const char* sql) { ASSERT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql; }

  // TO_DATE(text, mask): the text itself for the one mask the builder uses.
  static void ToDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const char* mask = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    if (mask == nullptr || std::strcmp(mask, "YYYY-MM-DD HH24:MI:SS") != 0) {
      sqlite3_result_error(ctx, "unexpected mask", -1);
      return;
    }
    sqlite3_result_value(ctx, argv[0]);
  }
  // LOCATE(needle, haystack): 1-based position of needle, 0 when absent.
  static void Locate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const char* needle = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const char* hay = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    if (needle == nullptr || hay == nullptr) {
      sqlite3_result_int(ctx, 0);
      return;
    }
    const char* at = std::strstr(hay, needle);
    sqlite3_result_int(ctx, at == nullptr ? 0 : static_cast<int>(at - hay) + 1);
  }

  // The ids that "SELECT id FROM objects WHERE <where>" finds; the text must
  // be exactly one statement.
  std::set<int> Ids(const std::string& where, const std::vector<std::string>& params = {}) {
    std::set<int> ids;
    const std::string sql = "SELECT id FROM objects WHERE " + where;
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

  std::string Where(std::vector<stu_QVDBQueryCondition> conds, em_QVDatabaseType type) {
    CQVQueryConditionArray list;
    for (auto& c : conds) {
      stu_QVDBQueryCondition* p = &c;
      list.Add(p);
    }
    return QV_CreateSqlWhere(list, type).ToUtf8();
  }

  static stu_QVDBQueryCondition Cond(int kind, const char* field, const char* op, const std::string& value,
                                     const char* prefix = "", const char* suffix = "") {
    stu_QVDBQueryCondition c;
    c.nType = kind;
    c.strPrefix = prefix;
    c.strField = field;
    c.strOperator = op;
    c.strValue = value;
    c.strSuffix = suffix;
    return c;
  }

  static std::string AsciiUpper(std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(SqliteWhereTest, TextEqualityFindsExactlyTheValue) {
  for (em_QVDatabaseType type : {em_QVDBOracle, em_QVDBDB2, em_QVDBAccess}) {
    for (const char* v : kNastyValues) {
      const std::set<int> found = Ids(Where({Cond(2, "title", "=", v)}, type));
      EXPECT_EQ(found, Ids("title = ?", {v})) << v;
      EXPECT_EQ(found.size(), 1u) << v;
      EXPECT_EQ(Ids(Where({Cond(2, "title", "<>", v)}, type)).size(), std::size(kNastyValues) + 2) << v;
    }
  }
}

TEST_F(SqliteWhereTest, PercentDialectDoublesDoubleQuotesButKeepsTheLiteralClosed) {
  for (const char* v : kNastyValues) {
    const std::string where = Where({Cond(2, "title", "=", v)}, em_QVDBPercent);
    if (std::strchr(v, '"') == nullptr) {
      EXPECT_EQ(Ids(where), Ids("title = ?", {v})) << v;
    } else {  // the quotes reach the server doubled: nothing matches, nothing escapes
      EXPECT_TRUE(Ids(where).empty()) << where;
    }
  }
}

TEST_F(SqliteWhereTest, LikeAndInBehaveAsBoundParameters) {
  for (const char* v : kNastyValues) {
    // A "%" or "_" in the value stays a wildcard, exactly as when bound.
    EXPECT_EQ(Ids(Where({Cond(2, "title", " like ", v)}, em_QVDBOracle)),
              Ids("title LIKE ?", {std::string("%") + v + "%"}))
        << v;
    EXPECT_EQ(Ids(Where({Cond(4, "note", "", v)}, em_QVDBPercent)),
              Ids("note LIKE ?", {std::string("%") + v + "%"}))
        << v;
  }
  EXPECT_EQ(Ids(Where({Cond(2, "title", "IN", "it's,O'Brien,' OR '1'='1,nope")}, em_QVDBOracle)),
            Ids("title IN (?,?,?,?)", {"it's", "O'Brien", "' OR '1'='1", "nope"}));
  EXPECT_EQ(Ids(Where({Cond(2, "title", "IN", "it's,O'Brien,' OR '1'='1,nope")}, em_QVDBOracle)).size(), 3u);
}

TEST_F(SqliteWhereTest, CaseFreeComparisonUpperCasesBothSides) {
  for (const char* v : kNastyValues) {
    const std::string upper = AsciiUpper(v);
    EXPECT_EQ(Ids(Where({Cond(6, "title", "=", v)}, em_QVDBOracle)), Ids("UPPER(title) = ?", {upper})) << v;
    EXPECT_EQ(Ids(Where({Cond(6, "title", "not like", v)}, em_QVDBDB2)),
              Ids("UPPER(title) NOT LIKE ?", {"%" + upper + "%"}))
        << v;
  }
  EXPECT_EQ(Ids(Where({Cond(6, "title", "=", "mixed case's")}, em_QVDBOracle)).size(), 2u);
}

TEST_F(SqliteWhereTest, ContainsIsAPlainSubstringTestInDb2) {
  for (const char* v : kNastyValues) {
    const std::set<int> found = Ids(Where({Cond(4, "note", "", v)}, em_QVDBDB2));
    EXPECT_EQ(found, Ids("instr(note, ?) > 0", {v})) << v;
    EXPECT_FALSE(found.empty()) << v;
  }
  EXPECT_EQ(Ids(Where({Cond(4, "note", "", "100%")}, em_QVDBDB2)).size(), 1u);  // "%" is no wildcard here
}

TEST_F(SqliteWhereTest, DateConditionsCannotCarryText) {
  const std::string at = "45352.354166666664";  // 2024-03-01 08:30:00
  for (em_QVDatabaseType type : {em_QVDBPercent, em_QVDBOracle}) {
    EXPECT_EQ(Ids(Where({Cond(3, "created", "=", at)}, type)), Ids("created = '2024-03-01 08:30:00'"));
    EXPECT_EQ(Ids(Where({Cond(3, "created", "<", at)}, type)), Ids("created < '2024-03-01 08:30:00'"));
    EXPECT_EQ(Ids(Where({Cond(3, "created", "=", at + "' OR '1'='1")}, type)), Ids("created = '2024-03-01 08:30:00'"));
  }
  EXPECT_EQ(Ids(Where({Cond(3, "created", ">", "45352.3541550926")}, em_QVDBOracle)).size(),
            Ids("created > '2024-03-01 08:29:59'").size());
}

TEST_F(SqliteWhereTest, BracketedCombination) {
  // title = v1 AND (note contains v2 OR title LIKE v3), built from three records.
  const std::string where = Where({Cond(6, "title", "in", "it's,o'brien"),
                                   Cond(2, "note", "LIKE", "O'B", "AND (", ""),
                                   Cond(2, "title", "=", "' OR '1'='1", "OR", ")")},
                                  em_QVDBOracle);
  EXPECT_EQ(Ids(where), Ids("UPPER(title) IN ('IT''S','O''BRIEN') AND (note LIKE ? OR title = ?)",
                            {"%O'B%", "' OR '1'='1"}));
  EXPECT_EQ(Ids(where).size(), 1u);
  EXPECT_EQ(Ids("1=1").size(), std::size(kNastyValues) + 3);  // the table survived every query
}

}  // namespace
