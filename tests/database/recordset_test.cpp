// CQVDBRecordset: the results of its tables (open, closed and COM-error
// columns), ownership, building in memory, and the wrapper on a real SQLite
// database.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qv_commonclass/database.h"
#include "qv_platform/message_box.h"
#include "qv_platform/module.h"
#include "qv_platform/profile.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {
namespace {

using namespace AdoNS;

// Turns the advance debug mode on while it lives and keeps the boxes shown,
// so a test sees each COM error's description.
struct ErrorBoxes {
  std::vector<std::u16string> shown;
  std::u16string ini;
  qvp::MessageBoxHandler previous;
  ErrorBoxes() {
    char16_t path[MAX_PATH + 1] = {};
    ini.assign(path, GetModuleFileNameW(GetModuleHandleW(u"ExceptionHandlerU.dll"), path, MAX_PATH));
    ini = ini.substr(0, ini.rfind(u'/') + 1) + u"DazazuraVada.ini";
    WritePrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", u"1", ini.c_str());
    previous = qvp::SetMessageBoxHandler([this](std::u16string_view text, std::u16string_view, UINT, HWND) {
      shown.emplace_back(text);
      return IDOK;
    });
  }
  ~ErrorBoxes() {
    qvp::SetMessageBoxHandler(std::move(previous));
    WritePrivateProfileStringW(u"ADVANCE", u"AdvanceDebugMode", nullptr, ini.c_str());
  }
  bool Saw(const char* fragment) const {
    const std::u16string f = qvp::Utf8ToUtf16(fragment);
    for (const auto& s : shown)
      if (s.find(f) != std::u16string::npos) return true;
    return false;
  }
};

const COleDateTime kNullDate(1901, 1, 1, 0, 0, 1);
const COleDateTime kClosedDate(1800, 1, 1, 0, 0, 1);

TEST(Recordset, FreshWrapperGivesTheClosedValuesWithoutReports) {
  ErrorBoxes boxes;
  CQVDBRecordset rs;
  EXPECT_EQ(rs.IsOpen(), 0);
  EXPECT_EQ(rs.IsEOF(), 1);
  EXPECT_EQ(rs.IsBOF(), 0);
  EXPECT_EQ(rs.GetRecordCount(), 0);
  EXPECT_EQ(rs.GetRecordNo(), 0);
  EXPECT_EQ(rs.FieldCount(), -1);
  EXPECT_EQ(rs.MoveFirst(), -1);
  EXPECT_EQ(rs.MoveNext(), -1);
  EXPECT_EQ(rs.MoveLast(), -1);
  EXPECT_EQ(rs.MovePrev(), -1);
  EXPECT_EQ(rs.Move(1, QV_RECORDPOS_CURRENT), -1);
  EXPECT_EQ(rs.Filter(u"A = 1"), 0);
  EXPECT_EQ(rs.Sort(u"A"), 0);
  EXPECT_EQ(rs.Find(u"A = 1", 0), 0);
  EXPECT_EQ(rs.Seek(u"1", 0), 0);
  EXPECT_EQ(rs.FieldInt(u"A"), 0);
  EXPECT_EQ(rs.FieldString(0), CString());
  EXPECT_EQ(rs.FieldODT(u"A"), kClosedDate);
  EXPECT_EQ(rs.FieldVariant(u"A").vt(), VT_EMPTY);
  EXPECT_EQ(rs.IsNullField(u"A"), 0);
  EXPECT_EQ(rs.IsFieldExist(u"A"), 0);
  EXPECT_EQ(rs.AddNew(), 0);
  EXPECT_EQ(rs.Update(), 1);
  EXPECT_EQ(rs.UpdateBatch(adAffectAll), 0);
  EXPECT_EQ(rs.Delete(adAffectCurrent), 0);
  EXPECT_EQ(rs.OpenNoConnection(), 0);
  void* data = reinterpret_cast<void*>(1);
  long size = 7;
  rs.FieldBlob(u"A", &data, size);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0);
  rs.SetField(u"A", 1);
  rs.Close();
  EXPECT_EQ(rs.Detach(), nullptr);
  EXPECT_TRUE(boxes.shown.empty());
  // A byte write is not guarded by IsOpen: with no recordset it is a COM
  // error, reported.
  char bytes[2] = {1, 2};
  rs.SetField(u"A", bytes, 2);
  EXPECT_EQ(boxes.shown.size(), 1u);
  rs.SetField(u"A", nullptr, 2);
  EXPECT_EQ(boxes.shown.size(), 1u) << "null data does nothing";
}

TEST(Recordset, BuildsInMemoryWithTheFieldTypeMapping) {
  CQVDBRecordset rs;
  rs.AddStringField(u"A", 0);
  rs.AddIntField(u"B", 1);
  const struct {
    unsigned short vt;
    DataTypeEnum type;
    long size;
  } more[] = {{VT_I2, adSmallInt, 2},        {VT_R4, adSingle, 4},          {VT_R8, adDouble, 8},
              {VT_CY, adCurrency, 8},        {VT_DATE, adDate, 8},          {VT_BOOL, adBoolean, 4},
              {VT_DECIMAL, adDecimal, 16},   {VT_I1, adTinyInt, 1},         {VT_UI1, adUnsignedTinyInt, 1},
              {VT_UI2, adUnsignedSmallInt, 2}, {VT_UI4, adUnsignedInt, 4},  {VT_UINT, adUnsignedInt, 4},
              {VT_I8, adBigInt, 8},          {VT_UI8, adUnsignedBigInt, 8}, {VT_BLOB, adLongVarBinary, 300}};
  int n = 0;
  for (const auto& m : more) rs.AddField(CString(u"F") + CString(std::to_string(n++)), m.vt, 0);
  rs.AddField(u"Ignored", static_cast<unsigned short>(VT_DISPATCH), 1);
  ASSERT_EQ(rs.OpenNoConnection(), 1);
  EXPECT_EQ(rs.OpenNoConnection(), 1);
  ASSERT_EQ(rs.FieldCount(), 2 + static_cast<int>(std::size(more)));
  Fields* fields = rs.GetRecordset()->GetFields();
  EXPECT_EQ(fields->GetItem(_variant_t(0))->GetType(), adVarWChar);
  EXPECT_EQ(fields->GetItem(_variant_t(0))->GetDefinedSize(), 300);
  EXPECT_EQ(fields->GetItem(_variant_t(0))->GetAttributes(), 228);
  EXPECT_EQ(fields->GetItem(_variant_t(1))->GetType(), adInteger);
  EXPECT_EQ(fields->GetItem(_variant_t(1))->GetAttributes(), 116);
  for (std::size_t i = 0; i < std::size(more); ++i) {
    Field* f = fields->GetItem(_variant_t(static_cast<int>(i + 2)));
    EXPECT_EQ(f->GetType(), more[i].type) << more[i].vt;
    EXPECT_EQ(f->GetDefinedSize(), more[i].size) << more[i].vt;
    EXPECT_EQ(f->GetAttributes(), more[i].vt == VT_BLOB ? 228 : 20) << more[i].vt;
  }
  EXPECT_EQ(rs.MoveFirst(), -1) << "an empty recordset is at BOF";
  EXPECT_EQ(rs.MoveNext(), 0);
  EXPECT_EQ(rs.MoveLast(), -1);
  EXPECT_EQ(rs.Move(3, QV_RECORDPOS_FIRST), 0);
  ASSERT_EQ(rs.AddNew(), 1);
  rs.SetField(u"A", CString(u"hello"));
  rs.SetField(1, 7);
  EXPECT_EQ(rs.Update(), 1);
  EXPECT_EQ(rs.GetRecordCount(), 1);
  EXPECT_EQ(rs.FieldString(u"A"), CString(u"hello"));
  EXPECT_EQ(rs.FieldInt(u"b"), 7);
  EXPECT_EQ(rs.IsNullField(u"F0"), 1);
  EXPECT_EQ(rs.IsFieldExist(u"f13"), 1);
  EXPECT_EQ(rs.IsFieldExist(u"Ignored"), 0);
  EXPECT_EQ(rs.GetRecordset()->GetStatus(), adRecUnmodified) << "Update writes the batch";
  // AddField on an open recordset starts again with only the new field.
  rs.AddLongField(u"Only", 1);
  EXPECT_EQ(rs.IsOpen(), 0);
  EXPECT_EQ(rs.OpenNoConnection(), 1);
  EXPECT_EQ(rs.FieldCount(), 1);
  EXPECT_EQ(rs.GetRecordCount(), 0);
}

class FilledRecordset : public ::testing::Test {
 protected:
  void SetUp() override {
    rs_.AddLongLongField(u"Big", 1);
    rs_.AddDateField(u"Made", 1);
    rs_.AddStringField(u"Name", 1);
    rs_.AddBoolField(u"Ok", 1);
    rs_.AddDoubleField(u"Ratio", 1);
    rs_.AddBlobField(u"Thumb", 1);
    ASSERT_EQ(rs_.OpenNoConnection(), 1);
    rs_.AddNew();
    rs_.SetField(u"Big", 4294967297LL);
    rs_.SetField(u"Made", COleDateTime(100000.5));
    rs_.SetField(u"Name", CString(u"12.5"));
    rs_.SetField(u"Ok", true);
    rs_.SetField(u"Ratio", 2.75);
    const unsigned char thumb[] = {0, 1, 2, 255};
    rs_.SetField(u"Thumb", const_cast<unsigned char*>(thumb), 4);
    rs_.AddNew();
    rs_.SetField(u"Made", COleDateTime(100000.0));
    rs_.SetField(u"Name", CString(u"Nom"));
    rs_.AddNew();
    rs_.SetField(u"Made", COleDateTime(-100000.0));
    rs_.SetField(u"Name", CString(u"abc"));
    rs_.Update();
    rs_.MoveFirst();
  }
  CQVDBRecordset rs_;
};

TEST_F(FilledRecordset, TypedReadsConvertOrReport) {
  EXPECT_EQ(rs_.FieldInt(u"Big"), 1) << "low 32 bits of 2^32 + 1";
  EXPECT_EQ(rs_.FieldLong(0), 1);
  EXPECT_EQ(rs_.FieldLONGLONG(u"Big"), 4294967297LL);
  EXPECT_EQ(rs_.FieldULONGLONG(u"Big"), 4294967297ULL);
  EXPECT_EQ(rs_.FieldBool(u"Ok"), -1);
  EXPECT_EQ(rs_.FieldInt(u"Ok"), -1);
  EXPECT_EQ(rs_.FieldDouble(u"Name"), 12.5) << "text converts to numbers";
  EXPECT_EQ(rs_.FieldInt(u"Name"), 12) << "half to even";
  EXPECT_EQ(rs_.FieldString(u"Ratio"), CString(u"2.75"));
  EXPECT_EQ(rs_.FieldFloat(4), 2.75f);
  EXPECT_EQ(rs_.FieldODT(u"Made"), kNullDate) << "100000.5 is out of range";
  EXPECT_EQ(rs_.FieldVariant(u"Made").vt(), VT_DATE);
  void* data = nullptr;
  long size = 0;
  rs_.FieldBlob(u"Thumb", &data, size);
  ASSERT_EQ(size, 4);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(data)[3], 255);
  delete[] static_cast<unsigned char*>(data);
  rs_.FieldBlob(u"Name", &data, size);
  EXPECT_EQ(data, nullptr) << "text is no byte array";

  rs_.MoveNext();
  EXPECT_EQ(rs_.FieldODT(u"Made"), COleDateTime(100000.0));
  EXPECT_EQ(rs_.IsNullField(u"Big"), 1);
  EXPECT_EQ(rs_.FieldInt(u"Big"), 0);
  EXPECT_EQ(rs_.FieldString(u"Ok"), CString());
  EXPECT_EQ(rs_.FieldODT(u"Big"), kNullDate);
  EXPECT_EQ(rs_.FieldVariant(u"Big").vt(), VT_NULL);
  EXPECT_EQ(rs_.FieldName(2), CString(u"Name"));
  rs_.MoveNext();
  EXPECT_EQ(rs_.FieldODT(u"Made"), COleDateTime(-100000.0));

  ErrorBoxes boxes;
  EXPECT_EQ(rs_.FieldInt(u"Name"), 0) << "'abc' does not convert";
  EXPECT_TRUE(boxes.Saw("Type mismatch"));
  EXPECT_EQ(rs_.FieldInt(u"Missing"), 0);
  EXPECT_EQ(rs_.FieldString(17), CString());
  EXPECT_EQ(rs_.FieldODT(u"Missing"), kClosedDate);
  EXPECT_EQ(rs_.FieldName(-1), CString());
  EXPECT_EQ(rs_.IsNullField(u"Missing"), 0);
  EXPECT_TRUE(boxes.Saw("Item cannot be found"));
  rs_.SetField(u"Big", CString(u"not a number"));
  EXPECT_TRUE(boxes.Saw("wrong type"));
  EXPECT_EQ(rs_.Filter(u"Name = "), 0);
  EXPECT_TRUE(boxes.Saw("criteria are not valid"));
  EXPECT_EQ(rs_.MoveNext(), 0);
  EXPECT_EQ(rs_.IsEOF(), -1);
  EXPECT_EQ(rs_.MoveNext(), -1);
  EXPECT_EQ(rs_.FieldInt(u"Big"), 0);
  EXPECT_TRUE(boxes.Saw("BOF or EOF"));
  EXPECT_TRUE(boxes.shown.front().starts_with(u"错误信息是："));
}

TEST_F(FilledRecordset, NavigationFilterSortFindSeek) {
  EXPECT_EQ(rs_.GetRecordCount(), 3);
  EXPECT_EQ(rs_.GetRecordNo(), 1);
  EXPECT_EQ(rs_.MovePrev(), 0);
  EXPECT_EQ(rs_.IsBOF(), -1);
  EXPECT_EQ(rs_.MovePrev(), -1);
  EXPECT_EQ(rs_.MoveFirst(), -1) << "MoveFirst refuses at BOF";
  EXPECT_EQ(rs_.Move(1, QV_RECORDPOS_FIRST), 0);
  EXPECT_EQ(rs_.FieldString(u"Name"), CString(u"Nom"));
  EXPECT_EQ(rs_.Move(-1, QV_RECORDPOS_LAST), 0);
  EXPECT_EQ(rs_.FieldString(u"Name"), CString(u"Nom"));
  EXPECT_EQ(rs_.Move(1, QV_RECORDPOS_CURRENT), 0);
  EXPECT_EQ(rs_.FieldString(u"Name"), CString(u"abc"));
  EXPECT_EQ(rs_.MoveLast(), 0);
  EXPECT_EQ(rs_.Sort(u"Name DESC"), 1);
  EXPECT_EQ(rs_.FieldString(u"Name"), CString(u"Nom"));
  EXPECT_EQ(rs_.Filter(u"Name LIKE '*b*'"), 1);
  EXPECT_EQ(rs_.GetRecordCount(), 1);
  EXPECT_EQ(rs_.Filter(u""), 1);
  EXPECT_EQ(rs_.Find(u"Name = 'abc'", 0), 1);
  EXPECT_EQ(rs_.FieldString(u"Name"), CString(u"abc"));
  EXPECT_EQ(rs_.Find(u"Name = 'abc'", 1), 1);
  EXPECT_EQ(rs_.IsEOF(), -1) << "nothing further: EOF, still 1";
  EXPECT_EQ(rs_.Seek(u"Nom", 5), 0) << "no index field: a COM error";
  rs_.GetRecordset()->PutIndex(u"Name");
  EXPECT_EQ(rs_.Seek(u"Nom", 5), 1);
  EXPECT_EQ(rs_.FieldString(2), CString(u"Nom"));
}

TEST_F(FilledRecordset, OwnershipCopyAndExchange) {
  _Recordset* raw = nullptr;
  EXPECT_EQ(rs_.CopyTo(nullptr), 0);
  ASSERT_EQ(rs_.CopyTo(&raw), 1);
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(rs_.CopyTo(&raw), 0) << "*dst must be null";
  {
    CQVDBRecordset copy;
    EXPECT_EQ(copy.CopyFrom(nullptr), 0);
    EXPECT_EQ(copy.CopyFrom(raw), 1);
    EXPECT_EQ(copy.GetRecordCount(), 3);
    copy.MoveLast();
    EXPECT_EQ(copy.FieldString(u"Name"), CString(u"abc"));
    EXPECT_EQ(rs_.FieldString(u"Name"), CString(u"12.5")) << "clones move alone";
  }
  {
    CQVDBRecordset borrowed;
    EXPECT_EQ(borrowed.SetRecordset(raw), 1);
    EXPECT_EQ(borrowed.GetRecordCount(), 3);
    EXPECT_EQ(borrowed.GetRecordset(), raw);
  }  // dropped without a release: raw is still ours
  EXPECT_EQ(raw->GetState(), adStateOpen);
  {
    CQVDBRecordset out;
    _Recordset** slot = &out;
    *slot = raw;  // the wrapper now owns raw's reference
    EXPECT_EQ(out.IsOpen(), 1);
    _RecordsetPtr clone = out;
    EXPECT_EQ(clone->GetRecordCount(), 3);
  }
  CQVDBRecordset empty;
  EXPECT_THROW((void)static_cast<_RecordsetPtr>(empty), _com_error);
  _Recordset* detached = rs_.Detach();
  EXPECT_EQ(rs_.IsOpen(), 0);
  detached->Release();
}

TEST_F(FilledRecordset, CloseAndSetRecordsetOnAClosedOne) {
  rs_.Close();
  EXPECT_EQ(rs_.GetRecordset(), nullptr);
  CQVDBRecordset other;
  ASSERT_EQ(other.CreateNoConnection(), 1);
  _Recordset* held = other.GetRecordset();
  ErrorBoxes boxes;
  _Recordset* fresh = _Recordset::Create();
  EXPECT_EQ(other.SetRecordset(fresh), 1) << "closing a closed recordset is refused";
  EXPECT_EQ(other.GetRecordset(), held);
  EXPECT_TRUE(boxes.Saw("closed"));
  fresh->Release();
}

// The wrapper on a real database: a query, batch edits written back.
TEST(RecordsetSqlite, EditsInBatchModeAndWritesBack) {
  const auto path = std::filesystem::temp_directory_path() / ("qv_wrapper_" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(path);
  _ConnectionPtr conn(_Connection::Create(), false);
  conn->Open(_bstr_t(path.string().c_str()));
  conn->Execute(_bstr_t("CREATE TABLE tapes(id INTEGER PRIMARY KEY, title TEXT, length INT, aired DATETIME)"));
  conn->Execute(_bstr_t("INSERT INTO tapes VALUES (1, 'News', 1800, '2024-03-01 19:00:00'), (2, 'Sport', 900, NULL),"
                        " (3, 'Weather', 300, '2024-03-01 19:30:00')"));
  CQVDBRecordset rs;
  _Recordset** slot = &rs;
  *slot = _Recordset::Create();
  rs.GetRecordset()->PutCursorLocation(adUseClient);
  rs.GetRecordset()->Open(_variant_t(u"SELECT * FROM tapes"), conn, adOpenStatic, adLockBatchOptimistic);
  ASSERT_EQ(rs.GetRecordCount(), 3);
  EXPECT_EQ(rs.FieldODT(u"aired"), COleDateTime(2024, 3, 1, 19, 0, 0));
  rs.SetField(u"title", CString(u"News at seven"));
  rs.MoveNext();
  rs.SetField(u"length", 901);
  rs.SetField(u"aired", COleDateTime(2024, 3, 2, 12, 0, 0));
  rs.MoveNext();
  EXPECT_EQ(rs.Delete(adAffectCurrent), 1);
  EXPECT_EQ(rs.UpdateBatch(adAffectAll), 1);
  _RecordsetPtr check = conn->Execute(_bstr_t("SELECT group_concat(title || ':' || length || ':' || ifnull(aired, '-'), ',')"
                                              " FROM (SELECT * FROM tapes ORDER BY id)"));
  EXPECT_EQ(CString(_variant_t(check->GetFields()->GetItem(_variant_t(0))->GetValue()).bstrView()),
            CString(u"News at seven:1800:2024-03-01 19:00:00,Sport:901:2024-03-02 12:00:00"));
  rs.Close();
  conn = nullptr;
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace qv_commonclass
