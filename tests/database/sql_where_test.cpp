#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "database/sql_test_util.h"
#include "qv_commonclass/database.h"

using namespace qv_commonclass;
using qvtest::Cond;
using qvtest::Where;

namespace {

TEST(SqlWhereTest, UnsupportedKindsAndDialectsContributeNothing) {
  CQVQueryConditionArray none;
  for (int d = 0; d <= 6; ++d) EXPECT_EQ(QV_CreateSqlWhere(none, static_cast<em_QVDatabaseType>(d)), u"");
  for (int d : {0, 6, -1}) {
    for (int kind : {2, 4, 6, 7}) EXPECT_EQ(Where({Cond(kind, "AND", "F", "=", "v")}, d), u"") << kind << "/" << d;
    EXPECT_EQ(Where({Cond(1, "AND", "F", "=", "v")}, d), u" AND F = v  ");
    EXPECT_EQ(Where({Cond(3, "AND", "F", "=", "45352")}, d), u" AND F = '2024-03-01 00:00:00'  ");
    EXPECT_EQ(Where({Cond(5, "AND", "F", "=", "v")}, d), u" AND F ");
  }
  for (int kind : {0, 8, -1, 1000}) EXPECT_EQ(Where({Cond(kind, "AND", "F", "=", "v")}, 2), u"") << kind;
}

// Every kind in every dialect, with operators that exercise each branch.
// Dialect 3 writes what dialect 1 writes; an absent text is dialect 1's.
TEST(SqlWhereTest, EveryKindInEveryDialect) {
  const std::u16string tree = u"FOLDERID IN (SELECT OBJECTID FROM QV_OBJECT START WITH OBJECTID = 12 CONNECT BY  PRIOR "
                              u"OBJECTID = FOLDERID AND OBJECTID <> 0";
  const struct Case {
    stu_QVDBQueryCondition c;
    std::u16string expected[4];  // dialects 1 (and 3), 2, 4, 5
  } cases[] = {
      {Cond(1, "AND", "SIZE", ">", "'5'", ")"), {u" AND SIZE > '5' ) "}},
      {Cond(2, "AND", "TITLE", "=", "it's \"x\""),
       {u" AND TITLE = 'it''s \"\"x\"\"'  ", u" AND TITLE = 'it''s \"x\"'  ", u" AND TITLE = 'it''s \"x\"'  ",
        u" AND TITLE = 'it''s \"x\"'  "}},
      {Cond(2, "OR", "A||B", "LIKE", "o'k"),
       {u" OR A+B LIKE '%o''k%'  ", u" OR A||B LIKE '%o''k%'  ", u" OR A||B LIKE '%o''k%'  ",
        u" OR A+B LIKE '*o''k*'  "}},
      {Cond(2, "OR", "A||B", "IN", "1,2,3"), {u" OR A||B IN ('1','2','3')  ", {}, {}, u" OR A+B IN ('1','2','3')  "}},
      {Cond(2, "", "A||B", "NOT LIKE", "x"), {u"  A||B NOT LIKE 'x'  ", {}, {}, u"  A+B NOT LIKE 'x'  "}},
      {Cond(3, "AND", "CREATETIME", ">=", "45352.354166666664"),
       {u" AND CREATETIME >= '2024-03-01 08:30:00'  ",
        u" AND CREATETIME >= TO_DATE('2024-03-01 08:30:00','YYYY-MM-DD HH24:MI:SS')  ",
        u" AND CREATETIME >= TIMESTAMP('2024-03-01 08:30:00.000000')  ",
        u" AND CREATETIME >= #2024-03-01 08:30:00#  "}},
      {Cond(4, "AND", "NOTE", "ignored", "a'b"),
       {u" AND NOTE LIKE '%a''b%'  ", u" AND DBMS_LOB.INSTR(NOTE,'a''b',1,1) <> 0  ",
        u" AND LOCATE('a''b',NOTE) <> 0  ", u" AND NOTE LIKE '*a''b*'  "}},
      {Cond(5, "AND (", "X = 1 OR Y = 2", "ignored", "ignored", ")"), {u" AND ( X = 1 OR Y = 2 )"}},
      {Cond(6, "AND", "NAME", "like", "Ab'c"),
       {u" AND NAME like 'Ab''c'  ", u" AND UPPER(NAME) LIKE '%AB''C%'  ", u" AND UPPER(NAME) LIKE '%AB''C%'  ",
        u" AND NAME LIKE '*Ab''c*'  "}},
      {Cond(6, "AND", "NAME", "not like", "ab"),
       {u" AND NAME not like 'ab'  ", u" AND UPPER(NAME) NOT LIKE '%AB%'  ", u" AND UPPER(NAME) NOT LIKE '%AB%'  ",
        u" AND NAME NOT LIKE 'ab'  "}},
      {Cond(6, "AND", "NAME", "IN", "a,b"),
       {u" AND NAME IN ('a','b')  ", u" AND UPPER(NAME) IN ('A','B')  ", u" AND UPPER(NAME) IN ('A','B')  "}},
      {Cond(6, "AND", "NAME", "<>", "x\"y"),
       {u" AND NAME <> 'x\"\"y'  ", u" AND UPPER(NAME) <> 'X\"Y'  ", u" AND UPPER(NAME) <> 'X\"Y'  ",
        u" AND NAME <> 'x\"y'  "}},
      // Only dialect 2 has the folder tree; the flag keeps every subtype.
      {Cond(7, "AND", "FOLDERID", "IN", "12", ")"), {u"", u" AND " + tree + u" AND SUBTYPE <> 1048584)"}},
      {Cond(7, "OR", "FOLDERID", "IN", "12", ")", TRUE), {u"", u" OR " + tree + u")"}},
  };
  for (const auto& c : cases) {
    for (int d : {1, 2, 3, 4, 5}) {
      const std::u16string& text = c.expected[d == 1 || d == 3 ? 0 : d == 2 ? 1 : d - 2];
      EXPECT_EQ(Where({c.c}, d), text.empty() ? c.expected[0] : text)
          << "kind " << c.c.nType << " op '" << c.c.strOperator << "' dialect " << d;
    }
  }
}

TEST(SqlWhereTest, OnlyTextKindsTrimAndUpperCaseTheCallersOperator) {
  for (int kind = 1; kind <= 7; ++kind) {
    for (int d = 1; d <= 5; ++d) {
      std::vector c{Cond(kind, "AND", "F", " like ", "1")};
      Where(c, d);
      const bool changed = (kind == 2 || kind == 6) && d != 1 && d != 3;
      EXPECT_EQ(c[0].strOperator, changed ? u"LIKE" : u" like ") << "kind " << kind << " dialect " << d;
    }
  }
}

TEST(SqlWhereTest, RecordsAreJoinedInOrderAndManagerGivesTheSame) {
  stu_QVDBQueryCondition records[] = {Cond(6, "AND (", "NAME", " like ", "abc", ")"),
                                      Cond(2, "OR", "STATUS", "IN", "1,2,3"),
                                      Cond(3, "AND", "CREATETIME", ">=", "45352.354166666664")};
  CQVQueryConditionManager manager;
  for (stu_QVDBQueryCondition* p = records; p != records + 3; ++p) manager.m_arrConditions.Add(p);
  const CString expected =
      u" AND ( UPPER(NAME) LIKE '%ABC%' ) "
      u" OR STATUS IN ('1','2','3')  "
      u" AND CREATETIME >= TO_DATE('2024-03-01 08:30:00','YYYY-MM-DD HH24:MI:SS')  ";
  EXPECT_EQ(QV_CreateSqlWhere(manager, em_QVDBOracle), expected);
  EXPECT_EQ(QV_CreateSqlWhere(manager.m_arrConditions, em_QVDBOracle), expected);
}

TEST(SqlWhereTest, DateValueIsReadAsLeadingNumber) {
  EXPECT_EQ(Where({Cond(3, "AND", "T", "<", "  45352.5xyz")}, 1), u" AND T < '2024-03-01 12:00:00'  ");
  EXPECT_EQ(Where({Cond(3, "AND", "T", "<", "45352' OR '1'='1")}, 1), u" AND T < '2024-03-01 00:00:00'  ");
  EXPECT_EQ(Where({Cond(3, "AND", "T", "<", "garbage")}, 1), u" AND T < '1899-12-30 00:00:00'  ");
  EXPECT_EQ(Where({Cond(3, "AND", "T", "<", "-1.25")}, 5), u" AND T < #1899-12-29 06:00:00#  ");
  EXPECT_EQ(Where({Cond(3, "AND", "T", "<", "1e300")}, 1), u" AND T < '0000-00-00 00:00:00'  ");
  // The runtime's _wtof: hexadecimal floats count, full-width digits do not.
  EXPECT_EQ(Where({Cond(3, "AND", "T", "<", "0x1p1")}, 1), u" AND T < '1900-01-01 00:00:00'  ");
  EXPECT_EQ(Where({Cond(3, "AND", "T", "<", "\xEF\xBC\x91")}, 1), u" AND T < '1899-12-30 00:00:00'  ");
}

}  // namespace
