// The data-access objects: connection, recordset, fields and field, with the
// platform's object model, enumeration values and error behaviour, over real
// databases.
//
// Layout. A recordset keeps its rows on the client (a client cursor): the
// rows live in one shared row store (qvp::data::RowSet) that clones share;
// each recordset object has its own view of that store (filter, sort,
// current position). Values are variants (variant.h). Rows read from a
// database remember their provider, base table and key columns, so that
// UpdateBatch can write pending inserts, updates and deletes back. A single
// key column the database fills (an identity, a serial, SQLite's rowid)
// comes back into the new row after the write: over ODBC from PostgreSQL,
// SQL Server and DB2 in the INSERT's own result, from Access, MySQL and
// SQLite drivers as the session's last key; Oracle's stays NULL until a
// Requery. SQLite's file calls go through the platform's file seam
// (qv_platform/fileio.h).
//
// Providers. `_Connection::Open` takes a connection string of
// "key=value;..." pairs (values may be quoted with "..." or {...}):
//   - the embedded default, SQLite: "Provider=SQLite;Data Source=PATH" (PATH
//     a file, created when missing, or ":memory:"); a string without '=' is
//     taken as a plain SQLite file path;
//   - ODBC: any string with "Driver=" or "DSN=" (or "Provider=MSDASQL;...",
//     whose remainder is handed on) is given to the ODBC driver manager as
//     it stands, so each server is reached through its own ODBC driver.
//
// Column types map to field types (DataTypeEnum) both ways:
//   SQLite, by declared type: TINYINT adTinyInt, SMALLINT adSmallInt, INT
//     and MEDIUMINT adInteger, INTEGER and BIGINT adBigInt, BOOL/BOOLEAN
//     adBoolean, REAL/FLOAT/DOUBLE adDouble, DECIMAL(p,s)/NUMERIC(p,s)
//     adNumeric (precision p, scale s), MONEY/CURRENCY adCurrency, DATE
//     adDBDate, TIME adDBTime, DATETIME/TIMESTAMP adDBTimeStamp, CHAR(n)/
//     VARCHAR(n)/NVARCHAR(n) adVarWChar(n), TEXT/CLOB adLongVarWChar,
//     BLOB/BINARY/VARBINARY adLongVarBinary, GUID/UUID/UNIQUEIDENTIFIER
//     adGUID; a column without a declared type takes the storage class of
//     its first value (integer adBigInt, real adDouble, text adVarWChar,
//     blob adLongVarBinary). Dates are stored as text "YYYY-MM-DD HH:MM:SS"
//     (a number in a date column is read as an OLE date); booleans as 0/1.
//   ODBC, by SQL type: BIT adBoolean, TINYINT adTinyInt, SMALLINT
//     adSmallInt, INTEGER adInteger, BIGINT adBigInt, REAL adSingle,
//     FLOAT/DOUBLE adDouble, DECIMAL/NUMERIC adNumeric with the column's
//     precision and scale, CHAR/VARCHAR/WCHAR/WVARCHAR adVarWChar(size),
//     LONGVARCHAR/WLONGVARCHAR adLongVarWChar, BINARY/VARBINARY adVarBinary,
//     LONGVARBINARY adLongVarBinary, TYPE_DATE adDBDate, TYPE_TIME adDBTime,
//     TYPE_TIMESTAMP adDBTimeStamp, GUID adGUID.
//   Values: integers are VT_I1..VT_I8 (VT_UI* for the unsigned types),
//   adSingle VT_R4, adDouble VT_R8, adCurrency VT_CY, adNumeric/adDecimal
//   VT_DECIMAL, text VT_BSTR, binary VT_ARRAY|VT_UI1, dates VT_DATE,
//   booleans VT_BOOL, GUIDs VT_BSTR "{XXXXXXXX-XXXX-...}"; SQL NULL VT_NULL.
//   Values go back to the database as bound parameters of the column's type;
//   the data-access layer never pastes a value into SQL text.
//
// Errors are raised as _com_error with the platform's HRESULT (the
// adErr... codes below, or E_FAIL for a database's own error) and a
// description: the database's message for its errors, the platform's text
// for the object's own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/bstr.h"
#include "qv_platform/com_error.h"
#include "qv_platform/data/variant.h"
#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

namespace qvp::data {
struct RowSet;
class Provider;
}  // namespace qvp::data
namespace qvp {
class XmlDocument;
}  // namespace qvp

namespace AdoNS {

enum DataTypeEnum {
  adEmpty = 0, adSmallInt = 2, adInteger = 3, adSingle = 4, adDouble = 5, adCurrency = 6, adDate = 7,
  adBSTR = 8, adIDispatch = 9, adError = 10, adBoolean = 11, adVariant = 12, adIUnknown = 13, adDecimal = 14,
  adTinyInt = 16, adUnsignedTinyInt = 17, adUnsignedSmallInt = 18, adUnsignedInt = 19, adBigInt = 20,
  adUnsignedBigInt = 21, adFileTime = 64, adGUID = 72, adBinary = 128, adChar = 129, adWChar = 130,
  adNumeric = 131, adUserDefined = 132, adDBDate = 133, adDBTime = 134, adDBTimeStamp = 135,
  adChapter = 136, adVarNumeric = 139, adVarChar = 200, adLongVarChar = 201, adVarWChar = 202,
  adLongVarWChar = 203, adVarBinary = 204, adLongVarBinary = 205,
};

enum FieldAttributeEnum {
  adFldUnspecified = -1, adFldMayDefer = 0x2, adFldUpdatable = 0x4, adFldUnknownUpdatable = 0x8,
  adFldFixed = 0x10, adFldIsNullable = 0x20, adFldMayBeNull = 0x40, adFldLong = 0x80, adFldRowID = 0x100,
  adFldRowVersion = 0x200, adFldCacheDeferred = 0x1000, adFldIsChapter = 0x2000, adFldNegativeScale = 0x4000,
  adFldKeyColumn = 0x8000, adFldIsRowURL = 0x10000, adFldIsDefaultStream = 0x20000, adFldIsCollection = 0x40000,
};

enum AffectEnum { adAffectCurrent = 1, adAffectGroup = 2, adAffectAll = 3, adAffectAllChapters = 4 };
enum ObjectStateEnum { adStateClosed = 0, adStateOpen = 1, adStateConnecting = 2, adStateExecuting = 4, adStateFetching = 8 };
enum CursorLocationEnum { adUseNone = 1, adUseServer = 2, adUseClient = 3 };
enum CursorTypeEnum { adOpenUnspecified = -1, adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockTypeEnum {
  adLockUnspecified = -1, adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3, adLockBatchOptimistic = 4,
};
enum BookmarkEnum { adBookmarkCurrent = 0, adBookmarkFirst = 1, adBookmarkLast = 2 };
enum SearchDirectionEnum { adSearchForward = 1, adSearchBackward = -1 };
enum SeekEnum {
  adSeekFirstEQ = 0x1, adSeekLastEQ = 0x2, adSeekAfterEQ = 0x4, adSeekAfter = 0x8, adSeekBeforeEQ = 0x10,
  adSeekBefore = 0x20,
};
enum FilterGroupEnum {
  adFilterNone = 0, adFilterPendingRecords = 1, adFilterAffectedRecords = 2, adFilterFetchedRecords = 3,
  adFilterConflictingRecords = 5,
};
enum RecordStatusEnum {
  adRecOK = 0, adRecNew = 0x1, adRecModified = 0x2, adRecDeleted = 0x4, adRecUnmodified = 0x8,
  adRecInvalid = 0x10, adRecMultipleChanges = 0x40, adRecPendingChanges = 0x80, adRecCanceled = 0x100,
  adRecCantRelease = 0x400, adRecConcurrencyViolation = 0x800, adRecIntegrityViolation = 0x1000,
  adRecDBDeleted = 0x40000,
};
enum PositionEnum { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };
enum EditModeEnum { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2, adEditDelete = 4 };
enum CommandTypeEnum { adCmdUnspecified = -1, adCmdText = 1, adCmdTable = 2, adCmdUnknown = 8, adCmdFile = 256, adCmdTableDirect = 512 };
enum PersistFormatEnum { adPersistADTG = 0, adPersistXML = 1 };

// The platform's error codes (HRESULTs of facility 0x0A).
inline constexpr HRESULT adErrInvalidArgument = static_cast<HRESULT>(0x800A0BB9u);        // 3001
inline constexpr HRESULT adErrNoCurrentRecord = static_cast<HRESULT>(0x800A0BCDu);        // 3021
inline constexpr HRESULT adErrIllegalOperation = static_cast<HRESULT>(0x800A0C93u);       // 3219
inline constexpr HRESULT adErrFeatureNotAvailable = static_cast<HRESULT>(0x800A0CB3u);    // 3251
inline constexpr HRESULT adErrItemNotFound = static_cast<HRESULT>(0x800A0CC1u);           // 3265
inline constexpr HRESULT adErrDataConversion = static_cast<HRESULT>(0x800A0D5Du);         // 3421
inline constexpr HRESULT adErrObjectClosed = static_cast<HRESULT>(0x800A0E78u);           // 3704
inline constexpr HRESULT adErrObjectOpen = static_cast<HRESULT>(0x800A0E79u);             // 3705
inline constexpr HRESULT adErrProviderNotFound = static_cast<HRESULT>(0x800A0E7Au);       // 3706
inline constexpr HRESULT adErrInvalidConnection = static_cast<HRESULT>(0x800A0E7Du);      // 3709
// A batch update met rows changed or removed underneath since they were read.
inline constexpr HRESULT DB_E_CONCURRENCYVIOLATION = static_cast<HRESULT>(0x80040E38u);

// The reference count that every object below carries. Objects are created
// with one reference, owned by their creator; Release at zero deletes.
class QVP_API ComObject {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;
  virtual ~ComObject();
  unsigned long AddRef() noexcept { return ++refs_; }
  unsigned long Release() noexcept;

 private:
  std::atomic<unsigned long> refs_{1};
};

// ComPtr: the smart pointer of the framework's compiler support; holds one
// reference.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}  // NOLINT
  // Takes a new reference to `p` (as the framework's constructor does);
  // ComPtr(p, false) adopts the caller's reference instead.
  ComPtr(T* p, bool add_ref = true) noexcept : p_(p) {  // NOLINT
    if (p_ && add_ref) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(const ComPtr& o) noexcept {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) noexcept {
    ComPtr(p).Swap(*this);
    return *this;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }
  T* operator->() const {
    if (!p_) throw _com_error(E_POINTER);
    return p_;
  }
  T* GetInterfacePtr() const noexcept { return p_; }
  operator T*() const noexcept { return p_; }  // NOLINT
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Detach hands the reference over to the caller.
  T* Detach() noexcept {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void Attach(T* p) noexcept {
    ComPtr(p, false).Swap(*this);
  }
  // GetAddress: the address of the held pointer, for code that manages the
  // reference itself (nothing is released).
  T** GetAddress() noexcept { return &p_; }
  T** operator&() noexcept {  // NOLINT: the out-parameter form
    if (p_) p_->Release();
    p_ = nullptr;
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

class _Recordset;
class _Connection;
class _Stream;
class Fields;

// Field: one column of a recordset, seen at the recordset's current row.
class QVP_API Field : public ComObject {
 public:
  _bstr_t GetName() const;
  DataTypeEnum GetType() const;
  long GetDefinedSize() const;
  unsigned char GetPrecision() const;
  unsigned char GetNumericScale() const;
  long GetAttributes() const;
  // Value: the current row's value; adErrNoCurrentRecord at BOF/EOF,
  // adErrObjectClosed on a closed recordset.
  _variant_t GetValue() const;
  // ValueRef: the same value without a copy; valid until the recordset
  // moves, changes or closes.
  const _variant_t& ValueRef() const;
  // PutValue converts the value to the field's type (adErrDataConversion
  // when it does not convert, with the conversion's reason) and starts an
  // edit of the current row.
  void PutValue(const _variant_t& value);
  // OriginalValue: the value before the pending change (the current one for
  // an unchanged row). UnderlyingValue: the value last read from the
  // database (here, as OriginalValue: rows are not re-read).
  _variant_t GetOriginalValue() const;
  _variant_t GetUnderlyingValue() const;
  // ActualSize: bytes of a binary value, bytes of text (2 per UTF-16 unit),
  // the fixed size of other types; 0 for NULL.
  long GetActualSize() const;
  // AppendChunk appends bytes (a byte array) or text to the value; GetChunk
  // reads the next `length` bytes (or characters of text) from where the
  // previous GetChunk on this field stopped; NULL when nothing is left.
  void AppendChunk(const _variant_t& data);
  _variant_t GetChunk(long length);

 private:
  friend class _Recordset;
  friend class Fields;
  _Recordset* rs_ = nullptr;  // the owning recordset; null once it is gone
  int index_ = 0;
  std::size_t chunk_offset_ = 0;
  long chunk_row_ = -1;
};

// Fields: the recordset's field collection.
class QVP_API Fields : public ComObject {
 public:
  long GetCount() const;
  // Item by zero-based index (any integer variant) or by name (text, found
  // case-free); adErrItemNotFound otherwise. The collection keeps the
  // reference; the pointer stays valid while the recordset lives.
  Field* GetItem(const _variant_t& index) const;
  // Append a field to a closed recordset that has no connection
  // (adErrObjectOpen when open, adErrIllegalOperation for a field name that
  // already exists or is empty).
  void Append(const _bstr_t& name, DataTypeEnum type, long defined_size, FieldAttributeEnum attributes,
              const _variant_t& value = _variant_t());
  // Find the index of a field by name, case-free; -1 when there is none.
  long IndexOf(std::u16string_view name) const noexcept;
  // Item by name or by index without building a variant key (the same
  // errors as GetItem).
  Field* ItemByName(std::u16string_view name) const;
  Field* ItemByIndex(long index) const;

 private:
  friend class _Recordset;
  _Recordset* rs_ = nullptr;
};

using FieldPtr = ComPtr<Field>;
using FieldsPtr = ComPtr<Fields>;
using _RecordsetPtr = ComPtr<_Recordset>;
using _ConnectionPtr = ComPtr<_Connection>;

// _Connection: one database session.
class QVP_API _Connection : public ComObject {
 public:
  // Create a connection object (one reference).
  static _Connection* Create();
  ~_Connection() override;

  // Open with a connection string (see the file comment); adErrObjectOpen
  // when already open, adErrProviderNotFound for an unknown provider,
  // E_FAIL with the database's message when it refuses.
  void Open(const _bstr_t& connection_string, const _bstr_t& user = _bstr_t(), const _bstr_t& password = _bstr_t(),
            long options = -1);
  void Close();
  long GetState() const noexcept;
  _bstr_t GetConnectionString() const;
  // Execute runs one statement. A statement that gives rows returns an
  // open, read-only recordset of them; any other returns a closed recordset
  // and sets `records_affected` (when not null).
  _RecordsetPtr Execute(const _bstr_t& sql, _variant_t* records_affected = nullptr, long options = -1);
  long BeginTrans();
  void CommitTrans();
  void RollbackTrans();

  std::shared_ptr<qvp::data::Provider> provider() const { return provider_; }

 private:
  std::shared_ptr<qvp::data::Provider> provider_;
  std::u16string connection_string_;
};

// _Recordset: a client-cursor recordset.
class QVP_API _Recordset : public ComObject {
 public:
  // Create a recordset object (one reference), closed, with no fields.
  static _Recordset* Create();
  ~_Recordset() override;

  // Open. With a source text and an active connection (a _Connection* as
  // VT_... or a connection string) the query runs and its rows are read;
  // with neither, the fields appended while closed make an empty recordset.
  // adErrObjectOpen when already open; adErrInvalidConnection for a closed
  // connection or a source without one.
  void Open(const _variant_t& source, _Connection* connection, CursorTypeEnum cursor = adOpenUnspecified,
            LockTypeEnum lock = adLockUnspecified, long options = -1);
  void Open(const _variant_t& source, const _bstr_t& connection_string, CursorTypeEnum cursor = adOpenUnspecified,
            LockTypeEnum lock = adLockUnspecified, long options = -1);
  // With options adCmdFile and no connection, `source` is the path of a
  // file saved in the XML persistence format (persist.h): the recordset
  // opens on its fields and rows, disconnected, with the file's pending
  // changes (row statuses and original values) and its base table, base
  // columns and key columns, so that setting an active connection and
  // UpdateBatch can write the changes. A file that cannot be read raises
  // E_FAIL with the system's reason; a document that is not the format
  // raises E_FAIL with the reader's description; a hierarchical one
  // raises adErrFeatureNotAvailable naming its child rowsets.
  //
  // The stream form opens the same way on the stream's bytes from its
  // position to its end (the stream is left where it was).
  void Open(_Stream* source, CursorTypeEnum cursor = adOpenUnspecified, LockTypeEnum lock = adLockUnspecified,
            long options = adCmdFile);
  // Close; adErrObjectClosed when already closed. Pending changes are lost.
  void Close();

  // Save writes the open recordset in the XML persistence format: every
  // row not yet written away, pending changes included, whatever the filter
  // and position (which stay as they were; an edit in progress is ended
  // first, as a move would). To a file path: the file is created or
  // replaced (E_FAIL with the system's reason when it cannot be written; a
  // partly written file stays). To a stream: the UTF-8 bytes at its
  // position. To an XML document: its content is replaced by the saved
  // document (whose `Xml()` is then the DOM's own serialisation of it, not
  // the file's bytes: no indentation, double quotes). adPersistADTG raises
  // adErrFeatureNotAvailable; a closed recordset adErrObjectClosed; a field
  // type the format cannot hold adErrFeatureNotAvailable.
  void Save(const _bstr_t& path, PersistFormatEnum format = adPersistXML);
  void Save(_Stream* destination, PersistFormatEnum format = adPersistXML);
  void Save(qvp::XmlDocument& destination, PersistFormatEnum format = adPersistXML);
  // The saved text itself (UTF-8), as Save writes it.
  std::string SaveToText(PersistFormatEnum format = adPersistXML);

  // ActiveConnection: a disconnected recordset (one opened from a file or
  // stream) takes `connection` for UpdateBatch to write its pending changes
  // to the base table named in the saved schema; null disconnects it.
  // adErrInvalidConnection for a closed connection; adErrObjectClosed when
  // the recordset is closed.
  void PutRefActiveConnection(_Connection* connection);
  long GetState() const noexcept;

  void PutCursorLocation(CursorLocationEnum v);
  CursorLocationEnum GetCursorLocation() const noexcept { return cursor_location_; }
  void PutCursorType(CursorTypeEnum v);
  CursorTypeEnum GetCursorType() const noexcept { return cursor_type_; }
  void PutLockType(LockTypeEnum v);
  LockTypeEnum GetLockType() const noexcept { return lock_type_; }

  Fields* GetFields();

  // Position. EOF/BOF as VARIANT_BOOL; RecordCount counts the records in
  // the current view; AbsolutePosition is 1-based, or adPosBOF/adPosEOF/
  // adPosUnknown. Bookmark identifies a record across clones (VT_R8).
  VARIANT_BOOL GetadoEOF() const;
  VARIANT_BOOL GetBOF() const;
  long GetRecordCount() const;
  long GetAbsolutePosition() const;
  void PutAbsolutePosition(long position);
  _variant_t GetBookmark() const;
  void PutBookmark(const _variant_t& bookmark);
  // Status of the current record (RecordStatusEnum bits).
  long GetStatus() const;
  EditModeEnum GetEditMode() const;

  // Moves return S_OK or raise: adErrNoCurrentRecord when moving forward
  // from EOF or back from BOF. Moving off an edited record keeps its
  // changes.
  HRESULT MoveFirst();
  HRESULT MoveLast();
  HRESULT MoveNext();
  HRESULT MovePrevious();
  HRESULT Move(long n, const _variant_t& start = _variant_t());

  // Filter: criteria text (see the criteria language in criteria.h) or a
  // FilterGroupEnum value as an integer; "" or adFilterNone removes it. The
  // cursor goes to the first record of the new view. Bad criteria raise
  // adErrInvalidArgument with the reason.
  void PutFilter(const _variant_t& filter);
  _variant_t GetFilter() const;
  // Sort: "field [ASC|DESC], ..."; "" removes it. Unknown fields raise
  // adErrItemNotFound.
  void PutSort(const _bstr_t& sort);
  _bstr_t GetSort() const;
  // Index: the field that Seek searches (empty: the first key column).
  void PutIndex(const _bstr_t& index);
  _bstr_t GetIndex() const;

  // Find: one condition of the criteria language, from the current record
  // (or `start`, a bookmark) after skipping `skip` records; positions at the
  // match, or at EOF (forward) / BOF (backward) when there is none.
  void Find(const _bstr_t& criteria, long skip = 0, SearchDirectionEnum direction = adSearchForward,
            const _variant_t& start = _variant_t());
  // Seek: the first record (adSeekFirstEQ, or the last with adSeekLastEQ)
  // of the current view whose index field equals `key`; EOF when none.
  // adErrFeatureNotAvailable when there is no index field.
  void Seek(const _variant_t& key, SeekEnum option = adSeekFirstEQ);

  // Editing. AddNew appends a record and makes it current (edit mode add);
  // Update ends the edit of the current record (in a batch recordset the
  // change stays pending; otherwise it is written to the database at once);
  // CancelUpdate drops it. Delete marks records deleted (written at once
  // unless batch). UpdateBatch writes every pending change of the view to
  // the base table in one transaction; a row changed or removed underneath
  // raises DB_E_CONCURRENCYVIOLATION, marks that row
  // adRecConcurrencyViolation and leaves the database and every pending
  // change as they were. A recordset without a connection accepts its
  // changes locally. CancelBatch restores every pending row.
  void AddNew(const _variant_t& field_list = _variant_t(), const _variant_t& values = _variant_t());
  void Update(const _variant_t& fields = _variant_t(), const _variant_t& values = _variant_t());
  void CancelUpdate();
  void Delete(AffectEnum affect = adAffectCurrent);
  void UpdateBatch(AffectEnum affect = adAffectAll);
  void CancelBatch(AffectEnum affect = adAffectAll);
  // Requery rebuilds the view (filter and sort applied again).
  void Requery();

  // Clone: a recordset sharing these rows with its own position (at the
  // first record), no filter and no sort. `lock` adLockUnspecified keeps
  // this recordset's lock type; adLockReadOnly makes a read-only clone.
  // Changes through any of them show in all at once: an added row joins
  // the end of every view (a cursor past the end stays there), deleted rows
  // are skipped, and rows that leave (written deletions, cancelled
  // additions) leave every view, a cursor on one moving to the next.
  _RecordsetPtr Clone(LockTypeEnum lock = adLockUnspecified);

  // Internal to the data-access layer.
  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  friend class Field;
  friend class Fields;
  friend class _Connection;
  void OpenWith(const _variant_t& source, std::shared_ptr<qvp::data::Provider> provider, CursorTypeEnum cursor,
                LockTypeEnum lock);
  void OpenSaved(std::string_view bytes, CursorTypeEnum cursor, LockTypeEnum lock);
  void OpenFile(const _variant_t& source, CursorTypeEnum cursor, LockTypeEnum lock);

  CursorLocationEnum cursor_location_ = adUseServer;
  CursorTypeEnum cursor_type_ = adOpenForwardOnly;
  LockTypeEnum lock_type_ = adLockReadOnly;
  std::unique_ptr<Impl> impl_;
};

}  // namespace AdoNS
