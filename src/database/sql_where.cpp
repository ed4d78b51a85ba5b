// Search conditions to the text of an SQL search condition.
#include <string>

#include "qv_commonclass/database.h"
#include "qv_platform/crt.h"

namespace qv_commonclass {

namespace {

bool IsPercentDialect(em_QVDatabaseType type) { return type == em_QVDBPercent || type == em_QVDBPercent2; }
bool IsUpperDialect(em_QVDatabaseType type) { return type == em_QVDBOracle || type == em_QVDBDB2; }
bool IsKnownDialect(em_QVDatabaseType type) { return type >= em_QVDBPercent && type <= em_QVDBAccess; }

// The number at the start of `text` as the C runtime's _wtof reads it.
double LeadingNumber(const CString& text) { return _wtof(text.GetString()); }

CString DoubledQuotes(const CString& value) {
  CString v(value);
  v.Replace(u"'", u"''");
  return v;
}

CString ConcatToPlus(const CString& field) {
  CString f(field);
  f.Replace(u"||", u"+");
  return f;
}

CString InList(CString v) {
  v.Replace(u",", u"','");
  return v;
}

// Kinds 2 and 6 outside Oracle and DB2 (kind 6 is the same as kind 2 there).
CString TextCondition(stu_QVDBQueryCondition& c, em_QVDatabaseType type) {
  const CString& P = c.strPrefix;
  const CString& S = c.strSuffix;
  CString V = DoubledQuotes(c.strValue);
  CString text;
  if (IsPercentDialect(type)) {
    V.Replace(u"\"", u"\"\"");
    const CString& O = c.strOperator;  // compared as the caller wrote it
    if (O == u"LIKE") {
      text.Format(u" %s %s %s '%%%s%%' %s ", P, ConcatToPlus(c.strField), O, V, S);
    } else if (O == u"IN") {
      text.Format(u" %s %s %s ('%s') %s ", P, c.strField, O, InList(V), S);
    } else {
      text.Format(u" %s %s %s '%s' %s ", P, c.strField, O, V, S);
    }
  } else if (type == em_QVDBAccess) {
    c.strOperator.Trim();
    c.strOperator.MakeUpper();
    const CString& O = c.strOperator;
    const CString F = ConcatToPlus(c.strField);
    if (O == u"LIKE") {
      text.Format(u" %s %s %s '*%s*' %s ", P, F, O, V, S);
    } else if (O == u"IN") {
      text.Format(u" %s %s %s ('%s') %s ", P, F, O, InList(V), S);
    } else {
      text.Format(u" %s %s %s '%s' %s ", P, F, O, V, S);
    }
  } else if (IsUpperDialect(type)) {  // kind 2 only
    c.strOperator.Trim();
    c.strOperator.MakeUpper();
    const CString& O = c.strOperator;
    if (O == u"LIKE") {
      text.Format(u" %s %s %s '%%%s%%' %s ", P, c.strField, O, V, S);
    } else if (O == u"IN") {
      text.Format(u" %s %s %s ('%s') %s ", P, c.strField, O, InList(V), S);
    } else {
      text.Format(u" %s %s %s '%s' %s ", P, c.strField, O, V, S);
    }
  }
  return text;
}

// Kind 6 in Oracle and DB2: the column and the value are compared upper-cased.
CString NoCaseCondition(stu_QVDBQueryCondition& c) {
  c.strOperator.Trim();
  c.strOperator.MakeUpper();
  const CString& O = c.strOperator;
  CString V = DoubledQuotes(c.strValue);
  V.MakeUpper();
  CString text;
  if (O == u"LIKE" || O == u"NOT LIKE") {
    text.Format(u" %s UPPER(%s) %s '%%%s%%' %s ", c.strPrefix, c.strField, O, V, c.strSuffix);
  } else if (O == u"IN") {
    text.Format(u" %s UPPER(%s) %s ('%s') %s ", c.strPrefix, c.strField, O, InList(V), c.strSuffix);
  } else {
    text.Format(u" %s UPPER(%s) %s '%s' %s ", c.strPrefix, c.strField, O, V, c.strSuffix);
  }
  return text;
}

CString ContainsCondition(const stu_QVDBQueryCondition& c, em_QVDatabaseType type) {
  const CString V = DoubledQuotes(c.strValue);
  CString text;
  switch (type) {
    case em_QVDBOracle:
      text.Format(u" %s DBMS_LOB.INSTR(%s,'%s',1,1) <> 0 %s ", c.strPrefix, c.strField, V, c.strSuffix);
      break;
    case em_QVDBDB2:  // the quoted search text first, the column second
      text.Format(u" %s LOCATE('%s',%s) <> 0 %s ", c.strPrefix, V, c.strField, c.strSuffix);
      break;
    case em_QVDBPercent:
    case em_QVDBPercent2:
      text.Format(u" %s %s LIKE '%%%s%%' %s ", c.strPrefix, c.strField, V, c.strSuffix);
      break;
    case em_QVDBAccess: text.Format(u" %s %s LIKE '*%s*' %s ", c.strPrefix, c.strField, V, c.strSuffix); break;
    default: break;
  }
  return text;
}

CString FolderCondition(const stu_QVDBQueryCondition& c, em_QVDatabaseType type) {
  CString text;
  if (type != em_QVDBOracle) return text;
  CString query;
  query.Format(
      u"SELECT OBJECTID FROM QV_OBJECT START WITH OBJECTID = %s CONNECT BY  PRIOR OBJECTID = FOLDERID AND "
      u"OBJECTID <> 0",
      c.strValue);
  if (!c.bAllSubTypes) query.AppendFormat(u" AND SUBTYPE <> %d", QV_FOLDER_EXCLUDED_SUBTYPE);
  text.Format(u" %s %s %s (%s)", c.strPrefix, c.strField, c.strOperator, query);
  return text;
}

CString ConditionText(stu_QVDBQueryCondition& c, em_QVDatabaseType type) {
  CString text;
  switch (c.nType) {
    case QV_COND_PLAIN:
      text.Format(u" %s %s %s %s %s ", c.strPrefix, c.strField, c.strOperator, c.strValue, c.strSuffix);
      break;
    case QV_COND_TEXT:
      if (IsKnownDialect(type)) text = TextCondition(c, type);
      break;
    case QV_COND_DATETIME: {
      const CString literal = QV_FormatDateTime(LeadingNumber(c.strValue), type, u"%Y-%m-%d %H:%M:%S");
      text.Format(u" %s %s %s %s %s ", c.strPrefix, c.strField, c.strOperator, literal, c.strSuffix);
      break;
    }
    case QV_COND_CONTAINS: text = ContainsCondition(c, type); break;
    case QV_COND_FRAGMENT: text.Format(u" %s %s %s", c.strPrefix, c.strField, c.strSuffix); break;
    case QV_COND_TEXT_NOCASE:
      if (IsUpperDialect(type)) {
        text = NoCaseCondition(c);
      } else if (IsKnownDialect(type)) {
        text = TextCondition(c, type);
      }
      break;
    case QV_COND_FOLDER: text = FolderCondition(c, type); break;
    default: break;  // unknown kinds contribute nothing
  }
  return text;
}

}  // namespace

CString QV_CreateSqlWhere(const CQVQueryConditionArray& conditions, em_QVDatabaseType type) {
  CString where;
  for (int i = 0; i < conditions.GetSize(); ++i) {
    stu_QVDBQueryCondition* c = conditions.GetAt(i);
    if (c != nullptr) where += ConditionText(*c, type);
  }
  return where;
}

CString QV_CreateSqlWhere(CQVQueryConditionManager& manager, em_QVDatabaseType type) {
  return QV_CreateSqlWhere(manager.m_arrConditions, type);
}

}  // namespace qv_commonclass
