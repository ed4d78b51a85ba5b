// Database access: SQL search conditions and date literals.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/datetime.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass {

// The SQL dialect of the database a client is connected to. The library gives
// meaning to the values 1 to 5; the enumeration has a fixed 32-bit type so
// that any other value can be passed and is handled as documented below.
enum em_QVDatabaseType : int {
  em_QVDBPercent = 1,   // "%" wildcards, "+" concatenation, quoted date text
  em_QVDBOracle = 2,    // TO_DATE literals, UPPER, DBMS_LOB.INSTR, hierarchical folders
  em_QVDBPercent2 = 3,  // treated exactly like em_QVDBPercent
  em_QVDBDB2 = 4,       // TIMESTAMP literals, UPPER, LOCATE
  em_QVDBAccess = 5,    // "*" wildcards, "#" date literals, "+" concatenation
};

// Condition kinds (stu_QVDBQueryCondition::nType).
inline constexpr int QV_COND_PLAIN = 1;        // value written unquoted
inline constexpr int QV_COND_TEXT = 2;         // quoted text; LIKE adds wildcards; IN makes a list
inline constexpr int QV_COND_DATETIME = 3;     // value is an OLE date number -> date literal
inline constexpr int QV_COND_CONTAINS = 4;     // substring test for long-text columns
inline constexpr int QV_COND_FRAGMENT = 5;     // prefix, field and suffix only
inline constexpr int QV_COND_TEXT_NOCASE = 6;  // as text, upper-cased in Oracle and DB2
inline constexpr int QV_COND_FOLDER = 7;       // folder subtree (Oracle only)

// The object subtype that a folder-subtree condition leaves out unless
// bAllSubTypes is set.
inline constexpr int QV_FOLDER_EXCLUDED_SUBTYPE = 1048584;  // 0x100008

// One search condition. The caller owns it; the builder reads it and, for
// text kinds in Oracle, DB2 and Access, trims and upper-cases strOperator in
// place.
struct stu_QVDBQueryCondition {
  CString strPrefix;    // connector and opening brackets, written unchanged
  CString strField;     // column name or expression
  CString strValue;     // value text; an OLE date number for kind 3, a folder id for kind 7
  CString strOperator;  // "=", "<>", "LIKE", "NOT LIKE", "IN", ...
  int nType = QV_COND_PLAIN;
  CString strSuffix;    // closing brackets, written unchanged
  BOOL bAllSubTypes = FALSE;  // kind 7: nonzero keeps subtype 1048584 in the subtree
};

using CQVQueryConditionArray = CArray<stu_QVDBQueryCondition*, stu_QVDBQueryCondition*&>;

// The client's holder of a search. The library needs only its condition
// array, the first data member; adding, removing and owning the records is the
// client's business (a client class may derive from this one to add it).
class CQVQueryConditionManager {
 public:
  CQVQueryConditionArray m_arrConditions;
};

// QV_CreateSqlWhere turns the conditions, in array order, into the text of a
// search condition for `type` (no "WHERE" keyword). Each record's text is
// built from its own forms with the blanks they contain and appended with no
// separator; an empty array gives "". Text values have every "'" doubled
// (and, in dialects 1 and 3, every '"' too); kind 1 values and kind 7 folder
// ids are written unchanged, so they must come from the program, never from
// a user. A "%" or "*" inside a LIKE value stays a wildcard.
//
// Unsupported input contributes an empty text (the record is dropped): a
// kind outside 1-7 in any dialect; kinds 2, 4 and 6 in a dialect outside
// 1-5; kind 7 in any dialect but Oracle. Kinds 1, 3 and 5 do not depend on
// the dialect (an unknown dialect gets single-quoted date text).
// Every entry must be a valid pointer; null entries are skipped.
QV_API CString QV_CreateSqlWhere(const CQVQueryConditionArray& conditions, em_QVDatabaseType type);
// The same on the manager's condition array.
QV_API CString QV_CreateSqlWhere(CQVQueryConditionManager& manager, em_QVDatabaseType type);

// ---- Date and time formatting ------------------------------------------------
//
// Placeholders of the library's own pattern language, replaced as plain
// case-sensitive substrings in this order: %Y (year, 4 digits), %m, %d, %H,
// %M, %S (2 digits each), %A (the Chinese weekday name, e.g. "星期五", held in
// GBK and decoded with the process's ANSI code page). Nothing else in a
// pattern is interpreted (no "%%" escape). Milliseconds are never written.
//
// The double-based forms convert with VariantTimeToSystemTime. For a date the
// platform cannot convert (NaN, before year 100, after 9999) they use a
// record of zeros ("0000-00-00 00:00:00") and an empty weekday name.

// The pattern with its placeholders replaced; a null pattern gives "".
QV_API CString QV_FormatDateTime(SYSTEMTIME st, LPCWSTR pattern);
// "YYYY-MM-DD HH:MM:SS" when withTime is nonzero, else "YYYY-MM-DD".
QV_API CString QV_FormatDateTime(SYSTEMTIME st, int withTime);
QV_API CString QV_FormatDateTime(double date, LPCWSTR pattern);
QV_API CString QV_FormatDateTime(double date, int withTime);
// The dialect's literal of the pattern text T:
//   Oracle  TO_DATE('T','mask'), the mask being the pattern with %Y %m %d %H
//           %M %S replaced by YYYY MM DD HH24 MI SS;
//   DB2     TIMESTAMP('T.000000');
//   Access  #T#;
//   others  'T'.
QV_API CString QV_FormatDateTime(double date, em_QVDatabaseType type, LPCWSTR pattern);
// The dialect's literal of the style text: as above, with the Oracle mask
// "YYYY-MM-DD HH24:MI:SS" or "YYYY-MM-DD".
QV_API CString QV_FormatDateTime(double date, em_QVDatabaseType type, int withTime);

// The OLE date of `st` (milliseconds dropped); 0.0 when the record cannot be
// converted.
QV_API double QV_FromSystemTime2Date(SYSTEMTIME& st);
// The record of `date`; all fields zero when the date cannot be converted.
QV_API SYSTEMTIME QV_FromDate2SystemTime(double date);
// "Y-MM-DDTHH:MM:SS.0Z" (year unpadded) from the date's fields; each field
// that cannot be read (invalid or null status, unconvertible date) is -1, so
// an invalid date gives "-1--1--1T-1:-1:-1.0Z". No time-zone conversion.
QV_API CString QV_GetStandardDateTimeString(const COleDateTime& t);

}  // namespace qv_commonclass
