#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "qv_commonclass/database.h"

using namespace qv_commonclass;

namespace {

stu_QVDBQueryCondition Cond(int kind, const char* prefix, const char* field, const char* op, const char* value,
                            const char* suffix = "", BOOL all_subtypes = FALSE) {
  stu_QVDBQueryCondition c;
  c.nType = kind;
  c.strPrefix = prefix;
  c.strField = field;
  c.strOperator = op;
  c.strValue = value;
  c.strSuffix = suffix;
  c.bAllSubTypes = all_subtypes;
  return c;
}

CString Where(stu_QVDBQueryCondition& c, int dialect) {
  CQVQueryConditionArray list;
  stu_QVDBQueryCondition* p = &c;
  list.Add(p);
  return QV_CreateSqlWhere(list, static_cast<em_QVDatabaseType>(dialect));
}
CString Where(stu_QVDBQueryCondition&& c, int dialect) { return Where(c, dialect); }

TEST(SqlWhereTest, EmptyListGivesEmptyText) {
  CQVQueryConditionArray none;
  for (int d = 0; d <= 6; ++d) EXPECT_EQ(QV_CreateSqlWhere(none, static_cast<em_QVDatabaseType>(d)), u"");
}

// Every kind in every dialect, with operators that exercise each branch.
TEST(SqlWhereTest, EveryKindInEveryDialect) {
  struct Case {
    stu_QVDBQueryCondition c;
    const char16_t* expected[5];  // dialects 1 to 5
  } cases[] = {
      {Cond(1, "AND", "SIZE", ">", "'5'", ")"),
       {u" AND SIZE > '5' ) ", u" AND SIZE > '5' ) ", u" AND SIZE > '5' ) ", u" AND SIZE > '5' ) ",
        u" AND SIZE > '5' ) "}},
      {Cond(2, "AND", "TITLE", "=", "it's \"x\""),
       {u" AND TITLE = 'it''s \"\"x\"\"'  ", u" AND TITLE = 'it''s \"x\"'  ", u" AND TITLE = 'it''s \"\"x\"\"'  ",
        u" AND TITLE = 'it''s \"x\"'  ", u" AND TITLE = 'it''s \"x\"'  "}},
      {Cond(2, "OR", "A||B", "LIKE", "o'k"),
       {u" OR A+B LIKE '%o''k%'  ", u" OR A||B LIKE '%o''k%'  ", u" OR A+B LIKE '%o''k%'  ",
        u" OR A||B LIKE '%o''k%'  ", u" OR A+B LIKE '*o''k*'  "}},
      {Cond(2, "OR", "A||B", "IN", "1,2,3"),
       {u" OR A||B IN ('1','2','3')  ", u" OR A||B IN ('1','2','3')  ", u" OR A||B IN ('1','2','3')  ",
        u" OR A||B IN ('1','2','3')  ", u" OR A+B IN ('1','2','3')  "}},
      {Cond(2, "", "A||B", "NOT LIKE", "x"),
       {u"  A||B NOT LIKE 'x'  ", u"  A||B NOT LIKE 'x'  ", u"  A||B NOT LIKE 'x'  ", u"  A||B NOT LIKE 'x'  ",
        u"  A+B NOT LIKE 'x'  "}},
      {Cond(3, "AND", "CREATETIME", ">=", "45352.354166666664"),
       {u" AND CREATETIME >= '2024-03-01 08:30:00'  ",
        u" AND CREATETIME >= TO_DATE('2024-03-01 08:30:00','YYYY-MM-DD HH24:MI:SS')  ",
        u" AND CREATETIME >= '2024-03-01 08:30:00'  ", u" AND CREATETIME >= TIMESTAMP('2024-03-01 08:30:00.000000')  ",
        u" AND CREATETIME >= #2024-03-01 08:30:00#  "}},
      {Cond(4, "AND", "NOTE", "ignored", "a'b"),
       {u" AND NOTE LIKE '%a''b%'  ", u" AND DBMS_LOB.INSTR(NOTE,'a''b',1,1) <> 0  ", u" AND NOTE LIKE '%a''b%'  ",
        u" AND LOCATE('a''b',NOTE) <> 0  ", u" AND NOTE LIKE '*a''b*'  "}},
      {Cond(5, "AND (", "X = 1 OR Y = 2", "ignored", "ignored", ")"),
       {u" AND ( X = 1 OR Y = 2 )", u" AND ( X = 1 OR Y = 2 )", u" AND ( X = 1 OR Y = 2 )",
        u" AND ( X = 1 OR Y = 2 )", u" AND ( X = 1 OR Y = 2 )"}},
      {Cond(6, "AND", "NAME", "like", "Ab'c"),
       {u" AND NAME like 'Ab''c'  ", u" AND UPPER(NAME) LIKE '%AB''C%'  ", u" AND NAME like 'Ab''c'  ",
        u" AND UPPER(NAME) LIKE '%AB''C%'  ", u" AND NAME LIKE '*Ab''c*'  "}},
      {Cond(6, "AND", "NAME", "not like", "ab"),
       {u" AND NAME not like 'ab'  ", u" AND UPPER(NAME) NOT LIKE '%AB%'  ", u" AND NAME not like 'ab'  ",
        u" AND UPPER(NAME) NOT LIKE '%AB%'  ", u" AND NAME NOT LIKE 'ab'  "}},
      {Cond(6, "AND", "NAME", "IN", "a,b"),
       {u" AND NAME IN ('a','b')  ", u" AND UPPER(NAME) IN ('A','B')  ", u" AND NAME IN ('a','b')  ",
        u" AND UPPER(NAME) IN ('A','B')  ", u" AND NAME IN ('a','b')  "}},
      {Cond(6, "AND", "NAME", "<>", "x\"y"),
       {u" AND NAME <> 'x\"\"y'  ", u" AND UPPER(NAME) <> 'X\"Y'  ", u" AND NAME <> 'x\"\"y'  ",
        u" AND UPPER(NAME) <> 'X\"Y'  ", u" AND NAME <> 'x\"y'  "}},
      {Cond(7, "AND", "FOLDERID", "IN", "12", ")"),
       {u"",
        u" AND FOLDERID IN (SELECT OBJECTID FROM QV_OBJECT START WITH OBJECTID = 12 CONNECT BY  PRIOR OBJECTID = "
        u"FOLDERID AND OBJECTID <> 0 AND SUBTYPE <> 1048584)",
        u"", u"", u""}},
      {Cond(7, "OR", "FOLDERID", "IN", "12", ")", TRUE),
       {u"",
        u" OR FOLDERID IN (SELECT OBJECTID FROM QV_OBJECT START WITH OBJECTID = 12 CONNECT BY  PRIOR OBJECTID = "
        u"FOLDERID AND OBJECTID <> 0)",
        u"", u"", u""}},
  };
  for (const auto& c : cases) {
    for (int d = 1; d <= 5; ++d) {
      stu_QVDBQueryCondition copy = c.c;
      EXPECT_EQ(Where(copy, d), c.expected[d - 1]) << "kind " << c.c.nType << " op '" << c.c.strOperator
                                                  << "' dialect " << d;
    }
  }
}

TEST(SqlWhereTest, OnlyTextKindsTrimAndUpperCaseTheCallersOperator) {
  for (int kind = 1; kind <= 7; ++kind) {
    for (int d = 1; d <= 5; ++d) {
      stu_QVDBQueryCondition c = Cond(kind, "AND", "F", " like ", "1");
      Where(c, d);
      const bool changed = (kind == 2 || kind == 6) && d != 1 && d != 3;
      EXPECT_EQ(c.strOperator, changed ? u"LIKE" : u" like ") << "kind " << kind << " dialect " << d;
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

TEST(SqlWhereTest, UnsupportedKindsAndDialectsContributeNothing) {
  for (int d : {0, 6, -1}) {
    for (int kind : {2, 4, 6, 7}) EXPECT_EQ(Where(Cond(kind, "AND", "F", "=", "v"), d), u"") << kind << "/" << d;
    EXPECT_EQ(Where(Cond(1, "AND", "F", "=", "v"), d), u" AND F = v  ");
    EXPECT_EQ(Where(Cond(3, "AND", "F", "=", "45352"), d), u" AND F = '2024-03-01 00:00:00'  ");
    EXPECT_EQ(Where(Cond(5, "AND", "F", "=", "v"), d), u" AND F ");
  }
  for (int kind : {0, 8, -1, 1000}) EXPECT_EQ(Where(Cond(kind, "AND", "F", "=", "v"), 2), u"") << kind;
}

TEST(SqlWhereTest, DateValueIsReadAsLeadingNumber) {
  EXPECT_EQ(Where(Cond(3, "AND", "T", "<", "  45352.5xyz"), 1), u" AND T < '2024-03-01 12:00:00'  ");
  EXPECT_EQ(Where(Cond(3, "AND", "T", "<", "45352' OR '1'='1"), 1), u" AND T < '2024-03-01 00:00:00'  ");
  EXPECT_EQ(Where(Cond(3, "AND", "T", "<", "garbage"), 1), u" AND T < '1899-12-30 00:00:00'  ");
  EXPECT_EQ(Where(Cond(3, "AND", "T", "<", "-1.25"), 5), u" AND T < #1899-12-29 06:00:00#  ");
  EXPECT_EQ(Where(Cond(3, "AND", "T", "<", "1e300"), 1), u" AND T < '0000-00-00 00:00:00'  ");
}

}  // namespace
