// CQVDBRecordset: the typed wrapper round one data-access recordset.
#include <cstring>
#include <new>

#include "qv_commonclass/database.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/codepage.h"
#include "qv_platform/data/stream.h"
#include "qv_platform/xmldom.h"

namespace qv_commonclass {

using namespace AdoNS;

namespace {

void Report(const _com_error& e) {
  const CString text(e.Description().str());
  ShowErrorWithCallStack(text.GetString());
}

// Runs `body`; a COM error is reported and turns into `failed`.
template <class R, class F>
R Guarded(R failed, F&& body) {
  try {
    return body();
  } catch (const _com_error& e) {
    Report(e);
    return failed;
  }
}

template <class F>
void GuardedVoid(F&& body) {
  try {
    body();
  } catch (const _com_error& e) {
    Report(e);
  }
}

_variant_t Key(const CString& name) { return _variant_t(name.view()); }
_variant_t Key(long index) { return _variant_t(static_cast<int>(index)); }

Field* Item(_Recordset* rs, const CString& name) {
  if (!rs) throw _com_error(E_POINTER);
  return rs->GetFields()->ItemByName(name.view());
}
Field* Item(_Recordset* rs, long index) {
  if (!rs) throw _com_error(E_POINTER);
  return rs->GetFields()->ItemByIndex(index);
}

const COleDateTime kNullDate(1901, 1, 1, 0, 0, 1);
const COleDateTime kClosedDate(1800, 1, 1, 0, 0, 1);

}  // namespace

CQVDBRecordset::CQVDBRecordset() = default;

CQVDBRecordset::~CQVDBRecordset() {
  if (m_bAutoRelease) {
    Close();
    m_pRecordset = nullptr;
  } else {
    m_pRecordset.Detach();
  }
}

CQVDBRecordset::operator _RecordsetPtr() const { return m_pRecordset->Clone(adLockUnspecified); }

void CQVDBRecordset::DropHeld(bool close) {
  if (!m_pRecordset) return;
  if (close && m_pRecordset->GetState() != adStateClosed) m_pRecordset->Close();
  if (m_bAutoRelease) m_pRecordset = nullptr;
  else m_pRecordset.Detach();
}

// ---- State and navigation ----

int CQVDBRecordset::IsOpen() {
  return Guarded(0, [&] { return m_pRecordset && m_pRecordset->GetState() != adStateClosed ? 1 : 0; });
}

int CQVDBRecordset::IsEOF() {
  if (!IsOpen()) return 1;
  return Guarded(1, [&] { return static_cast<int>(m_pRecordset->GetadoEOF()); });
}

int CQVDBRecordset::IsBOF() {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] { return static_cast<int>(m_pRecordset->GetBOF()); });
}

int CQVDBRecordset::GetRecordCount() {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] { return static_cast<int>(m_pRecordset->GetRecordCount()); });
}

long CQVDBRecordset::GetRecordNo() {
  if (!IsOpen()) return 0;
  return Guarded(0L, [&] { return m_pRecordset->GetAbsolutePosition(); });
}

int CQVDBRecordset::FieldCount() {
  if (!IsOpen()) return -1;
  return Guarded(-1, [&] { return static_cast<int>(m_pRecordset->GetFields()->GetCount()); });
}

long CQVDBRecordset::MoveFirst() {
  if (!IsOpen()) return -1;
  return Guarded(-1L, [&]() -> long {
    if (m_pRecordset->GetBOF()) return -1;
    if (m_pRecordset->GetRecordCount() == 0 && m_pRecordset->GetadoEOF()) return 0;
    return m_pRecordset->MoveFirst();
  });
}

long CQVDBRecordset::MoveLast() {
  if (!IsOpen()) return -1;
  return Guarded(-1L, [&]() -> long {
    if (m_pRecordset->GetadoEOF()) return -1;
    return m_pRecordset->MoveLast();
  });
}

long CQVDBRecordset::MovePrev() {
  if (!IsOpen()) return -1;
  return Guarded(-1L, [&]() -> long {
    if (m_pRecordset->GetBOF()) return -1;
    if (m_pRecordset->GetRecordCount() == 0 && m_pRecordset->GetadoEOF()) return 0;
    return m_pRecordset->MovePrevious();
  });
}

long CQVDBRecordset::MoveNext() {
  if (!IsOpen()) return -1;
  return Guarded(-1L, [&]() -> long {
    if (m_pRecordset->GetRecordCount() == 0 && m_pRecordset->GetadoEOF()) return 0;
    if (m_pRecordset->GetadoEOF()) return -1;
    return m_pRecordset->MoveNext();
  });
}

long CQVDBRecordset::Move(long numRecords, QV_emRECORDPOS from) {
  if (!IsOpen()) return -1;
  return Guarded(-1L, [&]() -> long {
    if (m_pRecordset->GetRecordCount() == 0 && m_pRecordset->GetadoEOF()) return 0;
    const int bookmark = from == QV_RECORDPOS_CURRENT ? adBookmarkCurrent
                         : from == QV_RECORDPOS_LAST  ? adBookmarkLast
                                                      : adBookmarkFirst;
    return m_pRecordset->Move(numRecords, _variant_t(bookmark));
  });
}

int CQVDBRecordset::Filter(const CString& criteria) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    m_pRecordset->PutFilter(_variant_t(criteria.view()));
    return 1;
  });
}

int CQVDBRecordset::Sort(const CString& sort) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    m_pRecordset->PutSort(_bstr_t(sort));
    return 1;
  });
}

int CQVDBRecordset::Find(const CString& criteria, long skip) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    if (skip == 0) {
      MoveFirst();
      m_pRecordset->Find(_bstr_t(criteria), 0, adSearchForward, _variant_t());
    } else {
      m_pRecordset->Find(_bstr_t(criteria), skip, adSearchForward, _variant_t());
    }
    return 1;
  });
}

int CQVDBRecordset::Seek(const CString& key, int /*option*/) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    m_pRecordset->Seek(_variant_t(key.view()), adSeekFirstEQ);
    return 1;
  });
}

// ---- Typed reads ----

_variant_t CQVDBRecordset::Value(const _variant_t& key) { return m_pRecordset->GetFields()->GetItem(key)->GetValue(); }

// The typed reads convert a copy of the value; a value already of the wanted
// type is read in place.
#define QV_TYPED_READ(Ret, Name, KeyType, Vt, Null, Expr)                    \
  Ret CQVDBRecordset::Name(KeyType key) {                                   \
    if (!IsOpen()) return Null;                                             \
    return Guarded(static_cast<Ret>(Null), [&]() -> Ret {                   \
      const _variant_t& value = Item(m_pRecordset, key)->ValueRef();        \
      if (value.IsNullOrEmpty()) return Null;                               \
      if (value.vt() == (Vt)) {                                             \
        const _variant_t& v = value;                                        \
        return Expr;                                                        \
      }                                                                     \
      _variant_t v = value;                                                 \
      v.ChangeType(Vt);                                                     \
      return Expr;                                                          \
    });                                                                     \
  }

QV_TYPED_READ(int, FieldInt, const CString&, VT_I8, 0, static_cast<int>(static_cast<std::uint32_t>(v.llVal())))
QV_TYPED_READ(int, FieldInt, int, VT_I8, 0, static_cast<int>(static_cast<std::uint32_t>(v.llVal())))
QV_TYPED_READ(long, FieldLong, const CString&, VT_I8, 0, static_cast<std::int32_t>(static_cast<std::uint32_t>(v.llVal())))
QV_TYPED_READ(long, FieldLong, int, VT_I8, 0, static_cast<std::int32_t>(static_cast<std::uint32_t>(v.llVal())))
QV_TYPED_READ(long long, FieldLONGLONG, const CString&, VT_I8, 0, v.llVal())
QV_TYPED_READ(unsigned long long, FieldULONGLONG, const CString&, VT_UI8, 0, v.ullVal())
QV_TYPED_READ(int, FieldBool, const CString&, VT_BOOL, 0, static_cast<int>(v.boolVal()))
QV_TYPED_READ(int, FieldBool, int, VT_BOOL, 0, static_cast<int>(v.boolVal()))
QV_TYPED_READ(unsigned char, FieldByte, const CString&, VT_UI1, 0, static_cast<unsigned char>(v.ullVal()))
QV_TYPED_READ(unsigned char, FieldByte, int, VT_UI1, 0, static_cast<unsigned char>(v.ullVal()))
QV_TYPED_READ(double, FieldDouble, const CString&, VT_R8, 0.0, v.dblVal())
QV_TYPED_READ(double, FieldDouble, int, VT_R8, 0.0, v.dblVal())
QV_TYPED_READ(float, FieldFloat, const CString&, VT_R4, 0.0f, v.fltVal())
QV_TYPED_READ(float, FieldFloat, int, VT_R4, 0.0f, v.fltVal())
QV_TYPED_READ(CString, FieldString, const CString&, VT_BSTR, CString(), CString(v.bstrView()))
QV_TYPED_READ(CString, FieldString, int, VT_BSTR, CString(), CString(v.bstrView()))
#undef QV_TYPED_READ

unsigned long CQVDBRecordset::FieldDWORD(const CString& name) {
  return static_cast<std::uint32_t>(FieldLong(name));
}

COleDateTime CQVDBRecordset::Odt(const _variant_t& key) {
  if (!IsOpen()) return kClosedDate;
  return Guarded(kClosedDate, [&]() -> COleDateTime {
    const _variant_t v = Value(key);
    if (v.IsNullOrEmpty()) return kNullDate;
    const double date = v.date();
    if (date >= -100000.0 && date <= 100000.0) return COleDateTime(date);
    return kNullDate;
  });
}

COleDateTime CQVDBRecordset::FieldODT(const CString& name) { return Odt(Key(name)); }
COleDateTime CQVDBRecordset::FieldODT(int index) { return Odt(Key(static_cast<long>(index))); }

_variant_t CQVDBRecordset::FieldVariant(const CString& name) {
  if (!IsOpen()) return _variant_t();
  return Guarded(_variant_t(), [&] { return Value(Key(name)); });
}

_variant_t CQVDBRecordset::FieldVariant(long index) {
  if (!IsOpen()) return _variant_t();
  return Guarded(_variant_t(), [&] { return Value(Key(index)); });
}

CString CQVDBRecordset::FieldName(const CString& name) {
  if (!IsOpen()) return CString();
  return Guarded(CString(), [&] {
    const _bstr_t n = m_pRecordset->GetFields()->GetItem(Key(name))->GetName();
    return CString(qvp::ToWide(qvp::FromWide(n.view())));
  });
}

CString CQVDBRecordset::FieldName(int index) {
  if (!IsOpen()) return CString();
  return Guarded(CString(), [&] {
    const _bstr_t n = m_pRecordset->GetFields()->GetItem(Key(static_cast<long>(index)))->GetName();
    return CString(qvp::ToWide(qvp::FromWide(n.view())));
  });
}

int CQVDBRecordset::IsNullField(const CString& name) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] { return Value(Key(name)).IsNullOrEmpty() ? 1 : 0; });
}

int CQVDBRecordset::IsFieldExist(const CString& name) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    CString want = name;
    want.MakeLower();
    Fields* fields = m_pRecordset->GetFields();
    const long n = fields->GetCount();
    for (long i = 0; i < n; ++i) {
      CString have(fields->GetItem(Key(i))->GetName().view());
      have.MakeLower();
      if (have == want) return 1;
    }
    return 0;
  });
}

void CQVDBRecordset::Blob(const _variant_t& key, void** data, long& size) {
  size = 0;
  if (data) *data = nullptr;
  if (!data || !IsOpen()) return;
  GuardedVoid([&] {
    Field* field = m_pRecordset->GetFields()->GetItem(key);
    const long actual = field->GetActualSize();
    size = actual;
    if (actual <= 0) return;
    const _variant_t chunk = field->GetChunk(actual);
    if (chunk.vt() != (VT_ARRAY | VT_UI1) || !chunk.parray()) return;
    auto* buffer = new unsigned char[static_cast<std::size_t>(actual) + 1];
    const std::size_t have = chunk.parray()->cElements;
    std::memcpy(buffer, chunk.parray()->pvData, have < static_cast<std::size_t>(actual) ? have : static_cast<std::size_t>(actual));
    *data = buffer;
  });
}

void CQVDBRecordset::FieldBlob(const CString& name, void** data, long& size) { Blob(Key(name), data, size); }
void CQVDBRecordset::FieldBlob(int index, void** data, long& size) { Blob(Key(static_cast<long>(index)), data, size); }

// ---- Typed writes ----

void CQVDBRecordset::Put(const _variant_t& key, const _variant_t& value) {
  if (!IsOpen()) return;
  GuardedVoid([&] { m_pRecordset->GetFields()->GetItem(key)->PutValue(value); });
}

void CQVDBRecordset::SetField(const CString& name, const CString& value) { Put(Key(name), _variant_t(value.view())); }
void CQVDBRecordset::SetField(const CString& name, int value) { Put(Key(name), _variant_t(value)); }
void CQVDBRecordset::SetField(const CString& name, long value) { Put(Key(name), _variant_t(static_cast<int>(value))); }
void CQVDBRecordset::SetField(const CString& name, unsigned long value) {
  Put(Key(name), _variant_t(static_cast<int>(static_cast<std::uint32_t>(value))));
}
void CQVDBRecordset::SetField(const CString& name, long long value) { Put(Key(name), _variant_t(value)); }
void CQVDBRecordset::SetField(const CString& name, unsigned long long value) { Put(Key(name), _variant_t(value)); }
void CQVDBRecordset::SetField(const CString& name, bool value) { Put(Key(name), _variant_t(value)); }
void CQVDBRecordset::SetField(const CString& name, unsigned char value) { Put(Key(name), _variant_t(value)); }
void CQVDBRecordset::SetField(const CString& name, double value) { Put(Key(name), _variant_t(value)); }
void CQVDBRecordset::SetField(const CString& name, float value) { Put(Key(name), _variant_t(value)); }
void CQVDBRecordset::SetField(const CString& name, const COleDateTime& value) {
  Put(Key(name), _variant_t(static_cast<double>(value.m_dt)));
}
void CQVDBRecordset::SetField(int index, const CString& value) { Put(Key(static_cast<long>(index)), _variant_t(value.view())); }
void CQVDBRecordset::SetField(int index, int value) { Put(Key(static_cast<long>(index)), _variant_t(value)); }
void CQVDBRecordset::SetField(int index, long value) { Put(Key(static_cast<long>(index)), _variant_t(static_cast<int>(value))); }
void CQVDBRecordset::SetField(int index, bool value) { Put(Key(static_cast<long>(index)), _variant_t(value)); }
void CQVDBRecordset::SetField(int index, unsigned char value) { Put(Key(static_cast<long>(index)), _variant_t(value)); }
void CQVDBRecordset::SetField(int index, double value) { Put(Key(static_cast<long>(index)), _variant_t(value)); }
void CQVDBRecordset::SetField(int index, float value) { Put(Key(static_cast<long>(index)), _variant_t(value)); }
void CQVDBRecordset::SetField(int index, const COleDateTime& value) {
  Put(Key(static_cast<long>(index)), _variant_t(static_cast<double>(value.m_dt)));
}

void CQVDBRecordset::PutChunk(const _variant_t& key, const void* data, int length) {
  if (!data) return;
  GuardedVoid([&] {
    const std::uint32_t n = length > 0 ? static_cast<std::uint32_t>(length) : 0;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, n);
    if (!array) throw _com_error(E_OUTOFMEMORY, u"Out of memory.");
    void* dst = nullptr;
    SafeArrayAccessData(array, &dst);
    if (n) std::memcpy(dst, data, n);
    SafeArrayUnaccessData(array);
    const _variant_t chunk = _variant_t::Attach(array);
    m_pRecordset->GetFields()->GetItem(key)->AppendChunk(chunk);
  });
}

void CQVDBRecordset::SetField(const CString& name, void* data, int length) { PutChunk(Key(name), data, length); }
void CQVDBRecordset::SetField(int index, void* data, int length) { PutChunk(Key(static_cast<long>(index)), data, length); }
void CQVDBRecordset::SetFieldVariant(const CString& name, _variant_t& value) { Put(Key(name), value); }
void CQVDBRecordset::SetFieldVariant(long index, _variant_t& value) { Put(Key(index), value); }

// ---- Editing ----

int CQVDBRecordset::AddNew() {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    m_pRecordset->AddNew();
    return 1;
  });
}

int CQVDBRecordset::Update() {
  if (IsOpen()) GuardedVoid([&] { m_pRecordset->UpdateBatch(adAffectAll); });
  return 1;
}

int CQVDBRecordset::UpdateBatch(AffectEnum affect) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    m_pRecordset->UpdateBatch(affect);
    return 1;
  });
}

int CQVDBRecordset::Delete(AffectEnum affect) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    m_pRecordset->Delete(affect);
    return 1;
  });
}

void CQVDBRecordset::Close() {
  if (!IsOpen()) return;
  GuardedVoid([&] {
    m_pRecordset->Close();
    if (m_bAutoRelease) m_pRecordset = nullptr;
    else m_pRecordset.Detach();
  });
}

// ---- Building without a connection ----

int CQVDBRecordset::CreateNoConnection() {
  return Guarded(0, [&] {
    DropHeld(true);
    _Recordset* created = _Recordset::Create();
    if (!created) return 0;
    m_pRecordset.Attach(created);
    m_pRecordset->PutCursorLocation(adUseClient);
    m_pRecordset->PutCursorType(adOpenKeyset);
    m_pRecordset->PutLockType(adLockBatchOptimistic);
    m_bAutoRelease = TRUE;
    return 1;
  });
}

void CQVDBRecordset::AddField(const CString& name, DataTypeEnum type, long definedSize, FieldAttributeEnum attributes) {
  GuardedVoid([&] {
    if (!m_pRecordset || IsOpen()) CreateNoConnection();
    m_pRecordset->GetFields()->Append(_bstr_t(name), type, definedSize, attributes);
  });
}

void CQVDBRecordset::AddField(const CString& name, unsigned short vt, int nullable) {
  struct Mapping {
    unsigned short vt;
    DataTypeEnum type;
    long size;
    long attributes;  // 0: the default 20 (+96 when nullable)
  };
  static constexpr Mapping kMap[] = {
      {VT_I2, adSmallInt, 2, 0},          {VT_I4, adInteger, 4, 0},          {VT_INT, adInteger, 4, 0},
      {VT_R4, adSingle, 4, 0},            {VT_R8, adDouble, 8, 0},           {VT_CY, adCurrency, 8, 0},
      {VT_DATE, adDate, 8, 0},            {VT_BSTR, adVarWChar, 300, 228},   {VT_BOOL, adBoolean, 4, 0},
      {VT_DECIMAL, adDecimal, 16, 0},     {VT_I1, adTinyInt, 1, 0},          {VT_UI1, adUnsignedTinyInt, 1, 0},
      {VT_UI2, adUnsignedSmallInt, 2, 0}, {VT_UI4, adUnsignedInt, 4, 0},     {VT_UINT, adUnsignedInt, 4, 0},
      {VT_I8, adBigInt, 8, 0},            {VT_UI8, adUnsignedBigInt, 8, 0},  {VT_BLOB, adLongVarBinary, 300, 228},
  };
  for (const Mapping& m : kMap) {
    if (m.vt != vt) continue;
    long attributes = m.attributes;
    if (attributes == 0) attributes = (adFldUpdatable | adFldFixed) + (nullable ? adFldIsNullable | adFldMayBeNull : 0);
    AddField(name, m.type, m.size, static_cast<FieldAttributeEnum>(attributes));
    return;
  }
}

int CQVDBRecordset::OpenNoConnection() {
  return Guarded(0, [&] {
    if (!m_pRecordset || m_pRecordset->GetFields()->GetCount() == 0) return 0;
    if (IsOpen()) return 1;
    m_pRecordset->Open(_variant_t(), static_cast<_Connection*>(nullptr), adOpenKeyset, adLockBatchOptimistic, -1);
    return 1;
  });
}

// ---- Recordset exchange ----

int CQVDBRecordset::SetRecordset(_Recordset* p) {
  try {
    if (m_pRecordset) {
      m_pRecordset->Close();
      if (m_bAutoRelease) m_pRecordset = nullptr;
      else m_pRecordset.Detach();
    }
    m_pRecordset.Attach(p);
    m_bAutoRelease = FALSE;
  } catch (const _com_error& e) {
    Report(e);
  }
  return 1;
}

_Recordset** CQVDBRecordset::operator&() {
  try {
    DropHeld(m_bAutoRelease != FALSE);
  } catch (const _com_error& e) {
    Report(e);
    if (m_bAutoRelease) m_pRecordset = nullptr;
    else m_pRecordset.Detach();
  }
  m_bAutoRelease = TRUE;
  return m_pRecordset.GetAddress();
}

int CQVDBRecordset::CopyFrom(_Recordset* src) {
  if (!src) return 0;
  GuardedVoid([&] {
    DropHeld(true);
    m_pRecordset = src->Clone(adLockUnspecified);
    // The clone is the wrapper's own: without the flag it could never be
    // released.
    m_bAutoRelease = TRUE;
  });
  return 1;
}

int CQVDBRecordset::CopyTo(_Recordset** dst) {
  if (!dst || *dst || !m_pRecordset || !IsOpen()) return 0;
  return Guarded(1, [&] {
    _RecordsetPtr clone = m_pRecordset->Clone(adLockUnspecified);
    *dst = clone.Detach();
    return *dst ? 1 : 0;
  });
}

// ---- XML exchange ----

int CQVDBRecordset::Recordset2XML(CString& xml) {
  if (!m_pRecordset) return 0;
  std::unique_ptr<qvp::XmlDocument> doc;
  try {
    doc = std::make_unique<qvp::XmlDocument>();
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return Guarded(0, [&] {
    m_pRecordset->Save(*doc, adPersistXML);
    xml = CString(doc->Xml());
    return 1;
  });
}

int CQVDBRecordset::XML2Recordset(const CString& xml) {
  _StreamPtr stream(_Stream::Create(), false);
  _RecordsetPtr rs(_Recordset::Create(), false);
  if (!stream || !rs) return 0;
  return Guarded(0, [&] {
    stream->Open(_variant_t(), adModeUnknown, adOpenStreamUnspecified, _bstr_t(u""), _bstr_t(u""));
    stream->WriteText(_bstr_t(xml.view()), adWriteChar);
    stream->PutPosition(0);
    rs->Open(stream.GetInterfacePtr(), adOpenStatic, adLockBatchOptimistic, adCmdFile);
    DropHeld(false);
    m_pRecordset = rs;
    return 1;
  });
}

int CQVDBRecordset::SaveFile(const CString& path) {
  if (!IsOpen()) return 0;
  return Guarded(0, [&] {
    m_pRecordset->Save(_bstr_t(path.view()), adPersistXML);
    return 1;
  });
}

}  // namespace qv_commonclass
