// Database access: SQL search conditions, date literals and the recordset
// wrapper.
#pragma once

#include "qv_commonclass/export.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/data/ado.h"
#include "qv_platform/data/variant.h"
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

// ---- Recordset wrapper -------------------------------------------------------

// The origin of CQVDBRecordset::Move.
enum QV_emRECORDPOS : int {
  QV_RECORDPOS_FIRST = 0,    // any value but 1 and 2 also means the first record
  QV_RECORDPOS_CURRENT = 1,
  QV_RECORDPOS_LAST = 2,
};

// CQVDBRecordset wraps one data-access recordset (AdoNS::_Recordset, see
// qv_platform/data/ado.h for the object model, the providers and the type
// mapping) so that a client walks a result, reads and writes fields as plain
// values, edits in batch mode and builds a recordset in memory.
//
// Failure policy, for every operation below that reaches the recordset: a
// COM error raised underneath is caught, its description goes to
// ShowErrorWithCallStack (shown only in advance debug mode) and the
// operation returns its stated COM-error value; nothing is thrown, except by
// `operator _RecordsetPtr()`. A closed or missing recordset is no error: the
// operation returns its stated "closed" value without a report.
//
// Ownership: the auto-release flag says whether the wrapper owns the held
// recordset (nonzero: closed and released at destruction) or borrows it
// (zero: dropped without a release). Where the wrapper replaces or closes a
// borrowed recordset (SetRecordset, CreateNoConnection, CopyFrom,
// operator&, Close), it closes it where stated but only drops it: the
// reference stays the caller's, so a recordset given to SetRecordset must
// still be released by its giver.
//
// One thread uses a wrapper at a time.
class QV_API CQVDBRecordset {
 public:
  CQVDBRecordset();
  virtual ~CQVDBRecordset();
  CQVDBRecordset(const CQVDBRecordset&) = delete;
  CQVDBRecordset& operator=(const CQVDBRecordset&) = delete;

  // ---- Accessors (no error handling) ----
  AdoNS::_Recordset* GetRecordset() const noexcept { return m_pRecordset.GetInterfacePtr(); }
  // The address of the pointer member; what is stored there becomes the
  // held recordset (with the flag unchanged).
  AdoNS::_Recordset** GetRecordsetHandle() noexcept { return m_pRecordset.GetAddress(); }
  operator AdoNS::_Recordset*() const noexcept { return GetRecordset(); }  // NOLINT
  // A new clone of the held recordset (lock type unspecified). Throws the
  // clone's _com_error (E_POINTER when none is held).
  operator AdoNS::_RecordsetPtr() const;  // NOLINT
  void SetAutoRelease(int autoRelease) noexcept { m_bAutoRelease = autoRelease; }
  // Detach hands the held pointer (null if none) and its reference to the
  // caller and empties the wrapper.
  AdoNS::_Recordset* Detach() noexcept { return m_pRecordset.Detach(); }

  // ---- State and navigation ----
  // 1 when a recordset is held and open, else 0.
  int IsOpen();
  // -1 at the end, 0 otherwise; closed 1; COM error 1.
  int IsEOF();
  // -1 at the beginning, 0 otherwise; closed 0; COM error 0.
  int IsBOF();
  // The record count of the view; closed 0; COM error 0.
  int GetRecordCount();
  // The 1-based position (or a negative PositionEnum); closed 0; COM error 0.
  long GetRecordNo();
  // The number of fields; closed -1; COM error -1.
  int FieldCount();
  // Moves: -1 when they cannot move (MoveFirst and MovePrev at BOF, MoveLast
  // and MoveNext at EOF), 0 for an empty recordset at EOF (MoveFirst,
  // MovePrev, MoveNext, Move), else S_OK (0); closed -1; COM error -1.
  long MoveFirst();
  long MoveLast();
  long MovePrev();
  long MoveNext();
  long Move(long numRecords, QV_emRECORDPOS from);
  // Filter / Sort: 1; closed 0; COM error 0 (bad criteria are a COM error).
  int Filter(const CString& criteria);
  int Sort(const CString& sort);
  // Find: with skip 0 from the first record, else `skip` records past the
  // current one, forward. 1 also when nothing is found (the cursor is then
  // at EOF); closed 0; COM error 0.
  int Find(const CString& criteria, long skip);
  // Seek the first record whose index field equals the text (the second
  // argument has no effect). 1; closed 0; COM error 0.
  int Seek(const CString& key, int option);

  // ---- Typed reads ----
  // The value of the field (by name, case-free, or zero-based index) at the
  // current record, converted with VariantChangeType. NULL gives the null
  // value; closed and COM error (unknown field, no current record, a value
  // that does not convert) give the stated values: 0, 0.0 or empty.
  int FieldInt(const CString& name);       // VT_I8, low 32 bits
  int FieldInt(int index);
  long FieldLong(const CString& name);     // VT_I8, low 32 bits, sign-extended
  long FieldLong(int index);
  unsigned long FieldDWORD(const CString& name);  // as FieldLong, as unsigned 32 bits
  long long FieldLONGLONG(const CString& name);
  unsigned long long FieldULONGLONG(const CString& name);
  int FieldBool(const CString& name);      // -1 true, 0 false
  int FieldBool(int index);
  unsigned char FieldByte(const CString& name);
  unsigned char FieldByte(int index);
  double FieldDouble(const CString& name);
  double FieldDouble(int index);
  float FieldFloat(const CString& name);
  float FieldFloat(int index);
  CString FieldString(const CString& name);
  CString FieldString(int index);
  // The variant's date member read without conversion: the date when
  // -100000.0 <= date <= 100000.0, else (and for NULL) 1901-01-01 00:00:01;
  // closed and COM error 1800-01-01 00:00:01.
  COleDateTime FieldODT(const CString& name);
  COleDateTime FieldODT(int index);
  // A copy of the value; NULL for a null field; closed and COM error EMPTY.
  _variant_t FieldVariant(const CString& name);
  _variant_t FieldVariant(long index);
  // The field's name passed through the process's ANSI code page; closed
  // and COM error empty.
  CString FieldName(const CString& name);
  CString FieldName(int index);
  // 1 when the field is NULL or EMPTY, else 0; closed 0; COM error 0.
  int IsNullField(const CString& name);
  // 1 when some field's name equals `name` in lower case; closed 0; COM
  // error 0.
  int IsFieldExist(const CString& name);
  // The field's bytes: *data is a buffer of size + 1 bytes allocated with
  // new[] (the caller frees it with delete[]; the extra byte is not set) and
  // size the field's ActualSize. size 0 and *data null when the field is
  // empty, not binary, or on any failure.
  void FieldBlob(const CString& name, void** data, long& size);
  void FieldBlob(int index, void** data, long& size);

  // ---- Typed writes (nothing happens when closed) ----
  void SetField(const CString& name, const CString& value);             // VT_BSTR
  void SetField(const CString& name, int value);                        // VT_I4
  void SetField(const CString& name, long value);                       // VT_I4 (low 32 bits)
  void SetField(const CString& name, unsigned long value);              // VT_I4, same bits
  void SetField(const CString& name, long long value);                  // VT_I8
  void SetField(const CString& name, unsigned long long value);         // VT_UI8
  void SetField(const CString& name, bool value);                       // VT_BOOL
  void SetField(const CString& name, unsigned char value);              // VT_UI1
  void SetField(const CString& name, double value);                     // VT_R8
  void SetField(const CString& name, float value);                      // VT_R4
  void SetField(const CString& name, const COleDateTime& value);        // VT_R8 serial
  void SetField(int index, const CString& value);
  void SetField(int index, int value);
  void SetField(int index, long value);
  void SetField(int index, bool value);
  void SetField(int index, unsigned char value);
  void SetField(int index, double value);
  void SetField(int index, float value);
  void SetField(int index, const COleDateTime& value);
  // Appends `length` bytes with AppendChunk (no IsOpen test; nothing for
  // null data; a negative length appends nothing).
  void SetField(const CString& name, void* data, int length);
  void SetField(int index, void* data, int length);
  void SetFieldVariant(const CString& name, _variant_t& value);
  void SetFieldVariant(long index, _variant_t& value);

  // ---- Editing ----
  // AddNew: 1; closed 0; COM error 0.
  int AddNew();
  // Update writes every pending change (UpdateBatch of all records); it
  // returns 1 in every case, a failure being only reported.
  int Update();
  // UpdateBatch / Delete: 1; closed 0; COM error 0.
  int UpdateBatch(AdoNS::AffectEnum affect);
  int Delete(AdoNS::AffectEnum affect);
  // Close an open recordset and drop the pointer (released when owned).
  // Nothing when closed; a COM error is reported.
  void Close();

  // ---- Building without a connection ----
  // CreateNoConnection replaces the held recordset (closed if open) by a new
  // one with a client cursor, keyset cursor type and batch-optimistic
  // locking, owned by the wrapper. 1; COM error 0.
  int CreateNoConnection();
  // AddField appends a field; on an open recordset, or without one, a fresh
  // recordset is made first (CreateNoConnection), so an open one is
  // discarded. COM errors are reported.
  void AddField(const CString& name, AdoNS::DataTypeEnum type, long definedSize, AdoNS::FieldAttributeEnum attributes);
  // The VARTYPE form: VT_I2 adSmallInt(2), VT_I4 and VT_INT adInteger(4),
  // VT_R4 adSingle(4), VT_R8 adDouble(8), VT_CY adCurrency(8), VT_DATE
  // adDate(8), VT_BSTR adVarWChar(300) with attributes 228, VT_BOOL
  // adBoolean(4), VT_DECIMAL adDecimal(16), VT_I1 adTinyInt(1), VT_UI1
  // adUnsignedTinyInt(1), VT_UI2 adUnsignedSmallInt(2), VT_UI4 and VT_UINT
  // adUnsignedInt(4), VT_I8 adBigInt(8), VT_UI8 adUnsignedBigInt(8), VT_BLOB
  // adLongVarBinary(300) with attributes 228; other types attributes 20
  // (updatable, fixed), plus 96 (nullable) when `nullable` is nonzero. Any
  // other VARTYPE adds nothing.
  void AddField(const CString& name, unsigned short vt, int nullable);
  void AddByteField(const CString& name, int nullable) { AddField(name, VT_I1, nullable); }
  void AddShortField(const CString& name, int nullable) { AddField(name, VT_I2, nullable); }
  void AddLongField(const CString& name, int nullable) { AddField(name, VT_I4, nullable); }
  void AddLongLongField(const CString& name, int nullable) { AddField(name, VT_I8, nullable); }
  void AddIntField(const CString& name, int nullable) { AddField(name, VT_INT, nullable); }
  void AddUByteField(const CString& name, int nullable) { AddField(name, VT_UI1, nullable); }
  void AddUShortField(const CString& name, int nullable) { AddField(name, VT_UI2, nullable); }
  void AddULongField(const CString& name, int nullable) { AddField(name, VT_UI4, nullable); }
  void AddULongLongField(const CString& name, int nullable) { AddField(name, VT_UI8, nullable); }
  void AddUIntField(const CString& name, int nullable) { AddField(name, VT_UINT, nullable); }
  void AddFloatField(const CString& name, int nullable) { AddField(name, VT_R4, nullable); }
  void AddDoubleField(const CString& name, int nullable) { AddField(name, VT_R8, nullable); }
  void AddBoolField(const CString& name, int nullable) { AddField(name, VT_BOOL, nullable); }
  void AddDateField(const CString& name, int nullable) { AddField(name, VT_DATE, nullable); }
  void AddCurrencyField(const CString& name, int nullable) { AddField(name, VT_CY, nullable); }
  void AddStringField(const CString& name, int nullable) { AddField(name, VT_BSTR, nullable); }
  void AddBlobField(const CString& name, int nullable) { AddField(name, VT_BLOB, nullable); }
  void AddDecimalField(const CString& name, int nullable) { AddField(name, VT_DECIMAL, nullable); }
  // OpenNoConnection: 0 without a recordset or without fields; 1 when
  // already open; else opens it empty (keyset, batch-optimistic) and 1. COM
  // error 0.
  int OpenNoConnection();

  // ---- Recordset exchange ----
  // SetRecordset closes the held recordset (reporting a refusal, in which
  // case it stays held and `p` is not taken), then holds `p` without a
  // reference of its own and clears the flag. Always 1.
  int SetRecordset(AdoNS::_Recordset* p);
  // operator& drops the held recordset (an owned one is closed and
  // released) and returns the member's address for an out-parameter; the
  // flag becomes 1.
  AdoNS::_Recordset** operator&();  // NOLINT
  // CopyFrom: 0 for null; otherwise the held recordset is replaced by a
  // clone of `src`, which the wrapper owns (the flag becomes 1, so the clone
  // is released at destruction). 1, also after a COM error (then nothing is
  // held).
  int CopyFrom(AdoNS::_Recordset* src);
  // CopyTo hands a clone of the held, open recordset over in `*dst` (with
  // its reference; the caller releases it). 0 when dst is null, *dst is not
  // null, or nothing open is held; 1 when *dst is set; 1 after a COM error.
  int CopyTo(AdoNS::_Recordset** dst);

  // ---- XML exchange ----
  // The text is the data-access objects' XML persistence format (schema,
  // then rows with their pending changes), as the Windows clients write and
  // read it.
  //
  // Recordset2XML saves the held, open recordset into a new XML document
  // and puts the document's `xml` text in `xml` (the DOM's serialisation of
  // the saved document: the same schema and rows as SaveFile's file, in the
  // DOM's form, without the file's indentation). 1, or 0 when nothing open
  // is held or the save fails (reported); `xml` is then unchanged. The
  // cursor does not move.
  int Recordset2XML(CString& xml);
  // XML2Recordset reads `xml` into a new recordset (static cursor,
  // batch-optimistic lock, no connection, pending changes kept) that
  // replaces the held one: the old one is released, not closed (dropped
  // when borrowed); the auto-release flag is left as it was, so a wrapper
  // that did not own its recordset must be given SetAutoRelease(1) to free
  // the new one. 1, or 0 when the text is empty or not the format (the
  // reason reported); the held recordset is then unchanged.
  int XML2Recordset(const CString& xml);
  // SaveFile writes the held, open recordset to `path` in the same format
  // (UTF-8, the platform's bytes), creating or replacing the file. 1; 0 when
  // closed (the file system untouched) or when the save fails (reported; a
  // partly written file stays).
  int SaveFile(const CString& path);

 protected:
  AdoNS::_RecordsetPtr m_pRecordset;
  BOOL m_bAutoRelease = FALSE;

 private:
  _variant_t Value(const _variant_t& key);
  void Put(const _variant_t& key, const _variant_t& value);
  void PutChunk(const _variant_t& key, const void* data, int length);
  COleDateTime Odt(const _variant_t& key);
  void Blob(const _variant_t& key, void** data, long& size);
  void DropHeld(bool close);
};

}  // namespace qv_commonclass
