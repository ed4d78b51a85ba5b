// The data-access objects: variant conversions, the client cursor (filter,
// sort, find, seek, clones, batch editing) and the embedded SQLite provider,
// including the write-back of pending changes and its conflicts.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "files/file_faults.h"
#include "qv_platform/data/ado.h"
#include "qv_platform/data/variant.h"
#include "qv_platform/unicode.h"

using namespace AdoNS;

namespace {

std::string Text(const _variant_t& v) {
  _variant_t t;
  if (FAILED(VariantChangeType(&t, &v, 0, VT_BSTR))) return "<no text>";
  return qvp::Utf16ToUtf8(t.bstrView());
}

// ---- Conversions -------------------------------------------------------------

TEST(VariantChangeType, ConvertsThePairsTheWrapperUses) {
  struct Case {
    _variant_t from;
    VARTYPE to;
    HRESULT hr;
    const char* text;  // the result as text when hr is S_OK
  };
  const Case cases[] = {
      {_variant_t(u" 42 "), VT_I4, S_OK, "42"},
      {_variant_t(u"-12.5"), VT_I4, S_OK, "-12"},  // half to even
      {_variant_t(u"13.5"), VT_I4, S_OK, "14"},
      {_variant_t(u"1e3"), VT_I8, S_OK, "1000"},
      {_variant_t(u"9223372036854775807"), VT_I8, S_OK, "9223372036854775807"},
      {_variant_t(u"18446744073709551615"), VT_UI8, S_OK, "18446744073709551615"},
      {_variant_t(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {_variant_t(u""), VT_R8, DISP_E_TYPEMISMATCH, nullptr},
      {_variant_t(u"3000000000"), VT_I4, DISP_E_OVERFLOW, nullptr},
      {_variant_t(4294967297LL), VT_I4, DISP_E_OVERFLOW, nullptr},
      {_variant_t(4294967297LL), VT_I8, S_OK, "4294967297"},
      {_variant_t(-1), VT_UI4, DISP_E_OVERFLOW, nullptr},
      {_variant_t(300), VT_UI1, DISP_E_OVERFLOW, nullptr},
      {_variant_t(true), VT_I4, S_OK, "-1"},
      {_variant_t(true), VT_BSTR, S_OK, "-1"},
      {_variant_t(false), VT_I2, S_OK, "0"},
      {_variant_t(u"True"), VT_BOOL, S_OK, "-1"},
      {_variant_t(u"0"), VT_BOOL, S_OK, "0"},
      {_variant_t(7), VT_BOOL, S_OK, "-1"},
      {_variant_t(0.1), VT_BSTR, S_OK, "0.1"},
      {_variant_t(1e20), VT_BSTR, S_OK, "1E+20"},
      {_variant_t(2.5f), VT_R8, S_OK, "2.5"},
      {_variant_t(45352.5), VT_I4, S_OK, "45352"},
      {_variant_t::Date(45352.5), VT_R8, S_OK, "45352.5"},
      {_variant_t::Date(45352.5), VT_BSTR, S_OK, "2024/3/1 12:00:00"},
      {_variant_t(u"2024-03-01 12:00:00"), VT_DATE, S_OK, "2024/3/1 12:00:00"},
      {_variant_t(u"not a date"), VT_DATE, DISP_E_TYPEMISMATCH, nullptr},
      {_variant_t(u"12.3456"), VT_CY, S_OK, "12.3456"},
      {_variant_t(u"-0.50"), VT_DECIMAL, S_OK, "-0.50"},
      {_variant_t(u"79228162514264337593543950335"), VT_DECIMAL, S_OK, "79228162514264337593543950335"},
      {_variant_t(u"79228162514264337593543950336"), VT_DECIMAL, DISP_E_OVERFLOW, nullptr},
      {_variant_t(), VT_I4, S_OK, "0"},
      {_variant_t(), VT_BSTR, S_OK, ""},
      {_variant_t::Null(), VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {_variant_t::Bytes("ab", 2), VT_BSTR, DISP_E_TYPEMISMATCH, nullptr},
  };
  for (const Case& c : cases) {
    _variant_t out(u"junk");
    const HRESULT hr = VariantChangeType(&out, &c.from, 0, c.to);
    EXPECT_EQ(hr, c.hr) << Text(c.from) << " -> " << c.to;
    if (c.hr == S_OK) {
      EXPECT_EQ(out.vt(), c.to) << Text(c.from);
      EXPECT_EQ(Text(out), c.text) << Text(c.from) << " -> " << c.to;
    } else {
      EXPECT_EQ(out.vt(), VT_BSTR) << "a failed conversion leaves the target alone";
    }
  }
  _variant_t in_place(u"17");
  in_place.ChangeType(VT_I4);
  EXPECT_EQ(in_place.lVal(), 17);
  EXPECT_THROW(in_place.ChangeType(static_cast<VARTYPE>(VT_ARRAY | VT_UI1)), _com_error);
}

TEST(Decimal, TextRoundTripsExactly) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"-0.00", u"0.00"},  // no negative zero
      {u" +7 ", u"7"},
      {u".5", u"0.5"},
      {u"-123456789012345678901234.5678", u"-123456789012345678901234.5678"},
      {u"0.0000000000000000000000000001", u"0.0000000000000000000000000001"},
  };
  for (const auto& [in, out] : cases) {
    DECIMAL d;
    ASSERT_TRUE(qvp::DecimalFromText(in, d)) << qvp::Utf16ToUtf8(in);
    EXPECT_EQ(qvp::DecimalToText(d), out) << qvp::Utf16ToUtf8(in);
  }
  for (const char16_t* bad : {u"", u"-", u"1.2.3", u"12a", u"1e5", u"99999999999999999999999999999"}) {
    DECIMAL d;
    EXPECT_FALSE(qvp::DecimalFromText(bad, d)) << qvp::Utf16ToUtf8(bad);
  }
}

// ---- A recordset built in memory -------------------------------------------

class MemoryRecordset : public ::testing::Test {
 protected:
  void SetUp() override {
    rs_.Attach(_Recordset::Create());
    rs_->PutCursorLocation(adUseClient);
    rs_->PutLockType(adLockBatchOptimistic);
    Fields* f = rs_->GetFields();
    f->Append(u"Id", adInteger, 4, adFldFixed);
    f->Append(u"Title", adVarWChar, 100, adFldIsNullable);
    f->Append(u"Made", adDate, 8, adFldIsNullable);
    f->Append(u"Score", adDouble, 8, adFldIsNullable);
    f->Append(u"Thumb", adLongVarBinary, 300, adFldIsNullable);
    rs_->Open(_variant_t(), static_cast<_Connection*>(nullptr), adOpenKeyset, adLockBatchOptimistic);
    const struct {
      int id;
      const char16_t* title;
      double made;
      double score;
    } rows[] = {{1, u"it's news", 45352.25, 3.5}, {2, u"Sport", 45353.0, 1.0}, {3, u"news at ten", 45351.0, 2.0},
                {4, nullptr, 45360.0, 2.0},        {5, u"Weather", 45352.0, -1.0}};
    for (const auto& r : rows) {
      rs_->AddNew();
      Put(u"Id", _variant_t(r.id));
      Put(u"Title", r.title ? _variant_t(r.title) : _variant_t::Null());
      Put(u"Made", _variant_t::Date(r.made));
      Put(u"Score", _variant_t(r.score));
      rs_->Update();
    }
    rs_->UpdateBatch();  // no connection: accepted locally
    rs_->MoveFirst();
  }
  void Put(const char16_t* name, const _variant_t& v) { rs_->GetFields()->GetItem(_variant_t(name))->PutValue(v); }
  _variant_t Get(const char16_t* name) { return rs_->GetFields()->GetItem(_variant_t(name))->GetValue(); }
  // The ids of the view, in order.
  std::string Ids() {
    std::string out;
    if (rs_->GetRecordCount() == 0) return out;
    for (rs_->MoveFirst(); !rs_->GetadoEOF(); rs_->MoveNext()) out += Text(Get(u"Id"));
    return out;
  }
  _RecordsetPtr rs_;
};

TEST_F(MemoryRecordset, FilterCriteriaLanguage) {
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"Id = 3", "3"},
      {u"id<>3", "1245"},
      {u"Id >= 4", "45"},
      {u"Title LIKE 'news*'", "3"},
      {u"Title LIKE '%NEWS%'", "13"},
      {u"Title = 'it''s news'", "1"},
      {u"Title = Null", "4"},
      {u"Title <> Null", "1235"},
      {u"Made > #2024-03-01#", "124"},
      {u"Made = #2024/3/1 06:00:00#", "1"},
      {u"(Id < 2 OR Id > 4) AND Score > 0", "1"},
      {u"Score = 2 and [Title] = null", "4"},
      {u"Id = 99", ""},
      {u"Score <= -1 OR Title = 'Sport'", "25"},
  };
  for (const auto& [criteria, ids] : cases) {
    try {
      rs_->PutFilter(_variant_t(criteria));
      EXPECT_EQ(Ids(), ids) << qvp::Utf16ToUtf8(criteria);
    } catch (const _com_error& e) {
      ADD_FAILURE() << qvp::Utf16ToUtf8(criteria) << ": " << qvp::Utf16ToUtf8(e.Description().view());
    }
  }
  rs_->PutFilter(_variant_t(u""));
  EXPECT_EQ(Ids(), "12345");
}

TEST_F(MemoryRecordset, BadCriteriaRaiseWithADescription) {
  const char16_t* bad[] = {u"Id =", u"Id = 'open", u"(Id = 1", u"Nope = 1", u"Id ~ 1", u"Id = 1 AND", u"Id = 1 OR OR Id = 2",
                           u"Made = #not a date#", u"Id LIKE 3", u"Id > Null"};
  for (const char16_t* criteria : bad) {
    try {
      rs_->PutFilter(_variant_t(criteria));
      ADD_FAILURE() << "accepted: " << qvp::Utf16ToUtf8(criteria);
    } catch (const _com_error& e) {
      EXPECT_FALSE(e.Description().view().empty()) << qvp::Utf16ToUtf8(criteria);
    }
    EXPECT_EQ(Ids(), "12345") << "a refused filter leaves the view alone";
  }
}

TEST_F(MemoryRecordset, SortFindSeekAndBookmarks) {
  rs_->PutSort(u"Score DESC, Id");
  EXPECT_EQ(Ids(), "13425");
  rs_->PutSort(u"Title");  // NULL first, text case-free
  EXPECT_EQ(Ids(), "41325");
  EXPECT_THROW(rs_->PutSort(u"Nope"), _com_error);
  rs_->PutSort(u"");
  rs_->MoveFirst();
  rs_->Find(u"Score = 2");
  EXPECT_EQ(Text(Get(u"Id")), "3");
  rs_->Find(u"Score = 2", 1);
  EXPECT_EQ(Text(Get(u"Id")), "4");
  rs_->Find(u"Score = 2", 1);
  EXPECT_TRUE(rs_->GetadoEOF());
  EXPECT_THROW(rs_->Find(u"Score = 2"), _com_error);  // no current record
  rs_->MoveLast();
  rs_->Find(u"Id < 3", 0, adSearchBackward);
  EXPECT_EQ(Text(Get(u"Id")), "2");
  const _variant_t mark = rs_->GetBookmark();
  rs_->MoveFirst();
  rs_->PutBookmark(mark);
  EXPECT_EQ(Text(Get(u"Id")), "2");
  EXPECT_THROW(rs_->Seek(_variant_t(u"3")), _com_error);  // no index yet
  rs_->PutIndex(u"Id");
  rs_->Seek(_variant_t(u"3"));
  EXPECT_EQ(Text(Get(u"Id")), "3");
  rs_->Seek(_variant_t(42));
  EXPECT_TRUE(rs_->GetadoEOF());
}

TEST_F(MemoryRecordset, ClonesShareRowsAndMoveAlone) {
  _RecordsetPtr clone = rs_->Clone();
  rs_->MoveLast();
  EXPECT_EQ(Text(clone->GetFields()->GetItem(_variant_t(0))->GetValue()), "1");
  clone->GetFields()->GetItem(_variant_t(u"Title"))->PutValue(_variant_t(u"changed"));
  clone->Update();
  rs_->MoveFirst();
  EXPECT_EQ(Text(Get(u"Title")), "changed");
  EXPECT_EQ(rs_->GetStatus(), adRecModified);
  EXPECT_EQ(Text(rs_->GetFields()->GetItem(_variant_t(u"Title"))->GetOriginalValue()), "it's news");
  _RecordsetPtr read_only = rs_->Clone(adLockReadOnly);
  EXPECT_THROW(read_only->GetFields()->GetItem(_variant_t(1))->PutValue(_variant_t(u"x")), _com_error);
}

TEST_F(MemoryRecordset, ClonesSeeRowsAddedAndDeletedThroughEachOther) {
  _RecordsetPtr sorted = rs_->Clone();
  sorted->PutSort(u"Id DESC");
  _RecordsetPtr at_end = rs_->Clone();
  at_end->MoveLast();
  at_end->MoveNext();  // past the end
  _RecordsetPtr on_three = rs_->Clone();
  on_three->Move(2);
  auto ids = [](_Recordset* r) {
    std::string out;
    const _variant_t mark = r->GetadoEOF() ? _variant_t() : r->GetBookmark();
    for (r->MoveFirst(); !r->GetadoEOF(); r->MoveNext()) out += Text(r->GetFields()->GetItem(_variant_t(0))->GetValue());
    if (mark.vt() != VT_EMPTY) r->PutBookmark(mark);
    return out;
  };
  auto id = [](_Recordset* r) { return Text(r->GetFields()->GetItem(_variant_t(0))->GetValue()); };

  rs_->AddNew();
  Put(u"Id", _variant_t(6));
  rs_->Update();
  EXPECT_EQ(sorted->GetRecordCount(), 6);
  EXPECT_EQ(ids(sorted), "543216") << "a new row joins the end, even of a sorted clone";
  EXPECT_TRUE(at_end->GetadoEOF()) << "a clone past the end stays there";
  EXPECT_EQ(id(on_three), "3");

  on_three->Delete();  // deletes 3 through a clone
  EXPECT_EQ(rs_->GetRecordCount(), 5);
  EXPECT_EQ(Ids(), "12456");
  EXPECT_EQ(ids(sorted), "54216");

  // Written deletions leave every view; a clone's cursor moves on to the
  // next record when its own leaves.
  rs_->UpdateBatch();
  EXPECT_EQ(on_three->GetRecordCount(), 5);
  EXPECT_EQ(id(on_three), "4");
  rs_->PutFilter(_variant_t(static_cast<int>(adFilterPendingRecords)));
  EXPECT_EQ(rs_->GetRecordCount(), 0);
  rs_->PutFilter(_variant_t(u""));

  // A cancelled addition leaves the clones too, and so does one cancelled
  // by CancelBatch.
  sorted->AddNew();
  sorted->GetFields()->GetItem(_variant_t(0))->PutValue(_variant_t(7));
  EXPECT_EQ(ids(rs_), "124567");
  sorted->CancelUpdate();
  EXPECT_EQ(ids(rs_), "12456");
  rs_->AddNew();
  Put(u"Id", _variant_t(8));
  rs_->Update();
  at_end->MoveLast();
  EXPECT_EQ(id(at_end), "8");
  sorted->CancelBatch();
  EXPECT_TRUE(at_end->GetadoEOF()) << "its record left: the cursor moves past the end";
  EXPECT_EQ(ids(at_end), "12456");
  // A clone closed or gone is no longer told.
  on_three->Close();
  at_end = nullptr;
  rs_->AddNew();
  rs_->CancelUpdate();
  EXPECT_EQ(ids(sorted), "65421") << "its own CancelBatch sorted it again";
}

TEST_F(MemoryRecordset, BatchEditingPendingFilterAndCancel) {
  Put(u"Score", _variant_t(9.0));  // row 1 modified
  rs_->MoveNext();
  rs_->Delete();  // row 2 deleted
  rs_->AddNew();
  Put(u"Id", _variant_t(6));
  rs_->Update();
  EXPECT_EQ(rs_->GetRecordCount(), 5);
  rs_->PutFilter(_variant_t(static_cast<int>(adFilterPendingRecords)));
  EXPECT_EQ(rs_->GetRecordCount(), 3);
  long statuses = 0;
  for (rs_->MoveFirst(); !rs_->GetadoEOF(); rs_->MoveNext()) statuses |= rs_->GetStatus();
  EXPECT_EQ(statuses, adRecModified | adRecDeleted | adRecNew);
  rs_->PutFilter(_variant_t(u""));
  rs_->CancelBatch();
  EXPECT_EQ(Ids(), "12345");
  rs_->MoveFirst();
  EXPECT_EQ(Text(Get(u"Score")), "3.5");
  // CancelUpdate of an AddNew drops the row; of an edit restores it.
  rs_->AddNew();
  rs_->CancelUpdate();
  Put(u"Title", _variant_t(u"edited"));
  rs_->CancelUpdate();
  EXPECT_EQ(Text(Get(u"Title")), "it's news");
  EXPECT_EQ(Ids(), "12345");
}

TEST_F(MemoryRecordset, MovesSkipDeletedRowsAndCountsLeaveThemOut) {
  rs_->Move(1);
  rs_->Delete();
  EXPECT_EQ(Text(Get(u"Id")), "2") << "the deleted record stays current until the cursor moves";
  EXPECT_EQ(rs_->GetRecordCount(), 4);
  rs_->MoveNext();
  EXPECT_EQ(Text(Get(u"Id")), "3");
  rs_->MovePrevious();
  EXPECT_EQ(Text(Get(u"Id")), "1");
  rs_->Move(2);
  EXPECT_EQ(Text(Get(u"Id")), "4") << "2 is skipped";
  rs_->Move(-1, _variant_t(static_cast<int>(adBookmarkLast)));
  EXPECT_EQ(Text(Get(u"Id")), "4");
  rs_->Move(10);
  EXPECT_TRUE(rs_->GetadoEOF());
  EXPECT_EQ(rs_->GetAbsolutePosition(), adPosEOF);
  EXPECT_THROW(rs_->Move(1), _com_error);
  rs_->PutAbsolutePosition(1);
  EXPECT_EQ(Text(Get(u"Id")), "1");
  rs_->Delete(adAffectGroup);
  EXPECT_EQ(rs_->GetRecordCount(), 0);
  rs_->CancelBatch();
  EXPECT_EQ(rs_->GetRecordCount(), 5);
  // Pending rows are gone from the pending filter once written.
  Put(u"Id", _variant_t(u"10"));
  EXPECT_EQ(Get(u"Id").vt(), VT_I4) << "text converts to the field's type";
  rs_->PutFilter(_variant_t(static_cast<int>(adFilterPendingRecords)));
  EXPECT_EQ(rs_->GetRecordCount(), 1);
  rs_->UpdateBatch();
  rs_->Requery();
  EXPECT_EQ(rs_->GetRecordCount(), 0);
  EXPECT_THROW(rs_->PutFilter(_variant_t(99)), _com_error);
}

TEST_F(MemoryRecordset, FieldsChunksAndErrors) {
  Field* thumb = rs_->GetFields()->GetItem(_variant_t(u"thumb"));
  EXPECT_EQ(thumb->GetActualSize(), 0);
  EXPECT_EQ(thumb->GetChunk(4).vt(), VT_NULL);
  thumb->AppendChunk(_variant_t::Bytes("abc", 3));
  thumb->AppendChunk(_variant_t::Bytes("defg", 4));
  rs_->Update();
  EXPECT_EQ(thumb->GetActualSize(), 7);
  std::string read;
  for (_variant_t part = thumb->GetChunk(3); part.vt() != VT_NULL; part = thumb->GetChunk(3))
    read.append(static_cast<const char*>(part.parray()->pvData), part.parray()->cElements);
  EXPECT_EQ(read, "abcdefg") << "GetChunk reads on where it left off";
  EXPECT_THROW(thumb->AppendChunk(_variant_t(5)), _com_error);
  EXPECT_THROW(thumb->GetChunk(-1), _com_error);

  EXPECT_EQ(rs_->GetFields()->GetCount(), 5);
  EXPECT_THROW(rs_->GetFields()->GetItem(_variant_t(u"nope")), _com_error);
  EXPECT_THROW(rs_->GetFields()->GetItem(_variant_t(5)), _com_error);
  EXPECT_THROW(Put(u"Id", _variant_t(u"not a number")), _com_error);
  EXPECT_THROW(Put(u"Id", _variant_t(4294967297LL)), _com_error);
  EXPECT_EQ(Text(Get(u"Id")), "1") << "a refused value leaves the field alone";
  EXPECT_THROW(rs_->GetFields()->Append(u"Late", adInteger, 4, adFldFixed), _com_error);
  rs_->MoveLast();
  rs_->MoveNext();
  EXPECT_THROW(Get(u"Id"), _com_error);
  EXPECT_THROW(rs_->MoveNext(), _com_error);
  rs_->Close();
  EXPECT_THROW(rs_->Close(), _com_error);
  EXPECT_THROW(rs_->GetRecordCount(), _com_error);
}

// ---- SQLite -----------------------------------------------------------------

class SqliteProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() / ("qv_data_" + std::to_string(::getpid()) + ".db");
    std::filesystem::remove(path_);
    conn_.Attach(_Connection::Create());
    conn_->Open(_bstr_t(("Provider=SQLite;Data Source=" + path_.string()).c_str()));
    Exec("CREATE TABLE clips(id INTEGER PRIMARY KEY, title VARCHAR(40), made DATETIME, ok BOOLEAN,"
         " price DECIMAL(10,2), size BIGINT, thumb BLOB, ratio REAL, tag GUID)");
    Exec("INSERT INTO clips VALUES (1, 'first', '2024-03-01 08:30:00', 1, 12.50, 4294967297, x'0102', 0.5,"
         " '{6B29FC40-CA47-1067-B31D-00DD010662DA}')");
    Exec("INSERT INTO clips(id, title) VALUES (2, 'second')");
    Exec("INSERT INTO clips(id, title) VALUES (3, 'third')");
  }
  void TearDown() override {
    rs_ = nullptr;
    conn_ = nullptr;
    std::filesystem::remove(path_);
  }
  long Exec(const char* sql) {
    _variant_t n;
    conn_->Execute(_bstr_t(sql), &n);
    return n.lVal();
  }
  void OpenBatch(const char* sql = "SELECT * FROM clips ORDER BY id") {
    rs_.Attach(_Recordset::Create());
    rs_->PutCursorLocation(adUseClient);
    rs_->Open(_variant_t(sql), conn_, adOpenStatic, adLockBatchOptimistic);
  }
  Field* F(const char16_t* name) { return rs_->GetFields()->GetItem(_variant_t(name)); }
  std::string Scalar(const char* sql) {
    _RecordsetPtr r = conn_->Execute(_bstr_t(sql));
    return r->GetadoEOF() ? "<none>" : Text(r->GetFields()->GetItem(_variant_t(0))->GetValue());
  }
  std::filesystem::path path_;
  _ConnectionPtr conn_;
  _RecordsetPtr rs_;
};

TEST_F(SqliteProvider, ColumnTypesMapToFieldTypes) {
  OpenBatch();
  const struct {
    const char16_t* name;
    DataTypeEnum type;
    VARTYPE vt;
    const char* text;
  } cases[] = {
      {u"id", adBigInt, VT_I8, "1"},
      {u"title", adVarWChar, VT_BSTR, "first"},
      {u"made", adDBTimeStamp, VT_DATE, "2024/3/1 8:30:00"},
      {u"ok", adBoolean, VT_BOOL, "-1"},
      {u"price", adNumeric, VT_DECIMAL, "12.50"},  // at the column's scale
      {u"size", adBigInt, VT_I8, "4294967297"},
      {u"thumb", adLongVarBinary, VT_ARRAY | VT_UI1, "<no text>"},
      {u"ratio", adDouble, VT_R8, "0.5"},
      {u"tag", adGUID, VT_BSTR, "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(F(c.name)->GetType(), c.type) << qvp::Utf16ToUtf8(c.name);
    const _variant_t v = F(c.name)->GetValue();
    EXPECT_EQ(v.vt(), c.vt) << qvp::Utf16ToUtf8(c.name);
    EXPECT_EQ(Text(v), c.text) << qvp::Utf16ToUtf8(c.name);
  }
  EXPECT_EQ(F(u"price")->GetPrecision(), 10);
  EXPECT_EQ(F(u"price")->GetNumericScale(), 2);
  EXPECT_EQ(F(u"title")->GetDefinedSize(), 40);
  EXPECT_TRUE(F(u"id")->GetAttributes() & adFldKeyColumn);
  EXPECT_EQ(F(u"thumb")->GetActualSize(), 2);
  rs_->MoveNext();
  EXPECT_EQ(F(u"made")->GetValue().vt(), VT_NULL);
}

// Text values are cut from shared blocks: every length (empty, long enough
// for a block of its own, enough rows for several blocks), non-ASCII text,
// and values replaced, kept in a clone after the recordset closed, or
// outliving the connection.
TEST_F(SqliteProvider, TextOfEveryLengthReadsBackAndOutlivesItsRecordset) {
  Exec("CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT)");
  const std::u16string long_text(700, u'x');
  const std::u16string cases[] = {u"", u"a", long_text, u"中文 text", std::u16string(511, u'y') + u"中"};
  Exec("BEGIN");
  for (int i = 0; i < 3000; ++i) {
    const std::u16string& t = cases[i % 5];
    Exec(("INSERT INTO notes(body) VALUES ('" + qvp::Utf16ToUtf8(t) + "')").c_str());
  }
  Exec("COMMIT");
  OpenBatch("SELECT * FROM notes ORDER BY id");
  _RecordsetPtr clone = rs_->Clone();
  for (int i = 0; !rs_->GetadoEOF(); rs_->MoveNext(), ++i) {
    const _variant_t v = F(u"body")->GetValue();
    ASSERT_EQ(v.bstrView(), cases[i % 5]) << i;
    EXPECT_EQ(SysStringLen(v.bstrVal()), cases[i % 5].size());
    if (i % 7 == 0) F(u"body")->PutValue(_variant_t(u"replaced"));
  }
  rs_->Close();
  rs_ = nullptr;
  conn_ = nullptr;
  clone->MoveLast();
  EXPECT_EQ(clone->GetFields()->GetItem(_variant_t(u"body"))->GetValue().bstrView(), cases[2999 % 5]);
  clone->MoveFirst();
  EXPECT_EQ(clone->GetFields()->GetItem(_variant_t(u"body"))->GetValue().bstrView(), u"replaced");
}

TEST_F(SqliteProvider, UpdateBatchWritesInsertsUpdatesAndDeletesByKey) {
  OpenBatch();
  F(u"title")->PutValue(_variant_t(u"first, edited"));
  F(u"made")->PutValue(_variant_t(u"2025-01-02 03:04:05"));
  F(u"price")->PutValue(_variant_t(0.25));
  rs_->MoveNext();
  rs_->Delete();
  rs_->AddNew();
  F(u"title")->PutValue(_variant_t(u"new 'quoted' title"));
  F(u"thumb")->AppendChunk(_variant_t::Bytes("\x00\xff", 2));
  rs_->UpdateBatch();
  EXPECT_EQ(Scalar("SELECT title || '|' || made || '|' || price FROM clips WHERE id = 1"),
            "first, edited|2025-01-02 03:04:05|0.25");
  EXPECT_EQ(Scalar("SELECT count(*) FROM clips WHERE id = 2"), "0");
  EXPECT_EQ(Scalar("SELECT id || '|' || length(thumb) FROM clips WHERE title = 'new ''quoted'' title'"), "4|2");
  EXPECT_EQ(Text(F(u"id")->GetValue()), "4") << "the new key comes back from the database";
  EXPECT_EQ(rs_->GetStatus(), adRecUnmodified);
  EXPECT_EQ(rs_->GetRecordCount(), 3);
}

TEST_F(SqliteProvider, AConflictRollsBackTheWholeBatch) {
  OpenBatch();
  F(u"title")->PutValue(_variant_t(u"mine"));
  rs_->MoveNext();
  F(u"title")->PutValue(_variant_t(u"mine too"));
  rs_->MoveNext();
  rs_->Delete();
  Exec("UPDATE clips SET title = 'theirs' WHERE id = 2");  // changed underneath
  try {
    rs_->UpdateBatch();
    ADD_FAILURE() << "the conflict went unnoticed";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), DB_E_CONCURRENCYVIOLATION);
    EXPECT_FALSE(e.Description().view().empty());
  }
  EXPECT_EQ(Scalar("SELECT group_concat(title, ',') FROM (SELECT title FROM clips ORDER BY id)"), "first,theirs,third");
  rs_->MoveFirst();
  rs_->MoveNext();
  EXPECT_TRUE(rs_->GetStatus() & adRecConcurrencyViolation);
  rs_->MoveFirst();
  EXPECT_EQ(rs_->GetStatus(), adRecModified) << "pending changes stay pending";
}

TEST_F(SqliteProvider, BadInputRaisesWithTheDatabaseMessage) {
  const char* bad_sql[] = {"SELEC 1", "SELECT nope FROM clips", "INSERT INTO clips(id) VALUES (1)"};
  for (const char* sql : bad_sql) {
    try {
      conn_->Execute(_bstr_t(sql));
      ADD_FAILURE() << sql;
    } catch (const _com_error& e) {
      EXPECT_EQ(e.Error(), E_FAIL) << sql;
      EXPECT_FALSE(e.Description().view().empty()) << sql;
    }
  }
  const char* bad_connections[] = {"Provider=Nothing;Data Source=x", "Provider=SQLite", "",
                                   "/nonexistent-folder/x.db", "Provider=SQLite;Data Source=\"unclosed"};
  for (const char* cs : bad_connections) {
    _ConnectionPtr c(_Connection::Create(), false);
    EXPECT_THROW(c->Open(_bstr_t(cs)), _com_error) << cs;
    EXPECT_EQ(c->GetState(), adStateClosed) << cs;
  }
  OpenBatch();
  F(u"title")->PutValue(_variant_t(u"pending"));
  conn_->Close();
  EXPECT_THROW(rs_->UpdateBatch(), _com_error);
  EXPECT_THROW(conn_->Execute(_bstr_t("SELECT 1")), _com_error);
  EXPECT_EQ(Text(F(u"title")->GetValue()), "pending") << "the rows stay readable";
}

TEST_F(SqliteProvider, ExecuteGivesReadOnlyRowsOrAffectedCounts) {
  EXPECT_EQ(Exec("UPDATE clips SET ok = 0"), 3);
  _RecordsetPtr r = conn_->Execute(_bstr_t("SELECT id, ok, id * 2 AS twice FROM clips WHERE id > 1"));
  EXPECT_EQ(r->GetRecordCount(), 2);
  EXPECT_EQ(Text(r->GetFields()->GetItem(_variant_t(u"twice"))->GetValue()), "4");
  EXPECT_THROW(r->GetFields()->GetItem(_variant_t(1))->PutValue(_variant_t(true)), _com_error);
  _RecordsetPtr none = conn_->Execute(_bstr_t("DELETE FROM clips WHERE id = 99"));
  EXPECT_EQ(none->GetState(), adStateClosed);
  // A plain file path is a SQLite database too.
  _ConnectionPtr plain(_Connection::Create(), false);
  plain->Open(_bstr_t(path_.string().c_str()));
  EXPECT_EQ(plain->Execute(_bstr_t("SELECT count(*) FROM clips"))->GetRecordCount(), 1);
}

// The database's file calls go through the file seam: a write or a sync
// failing at any point of UpdateBatch leaves the file and the pending
// changes as they were, and the same batch goes through once the disk is
// back.
TEST_F(SqliteProvider, AWriteOrSyncFailingMidBatchChangesNothing) {
  const char* const before = "1:first|2:second|3:third";
  const char* const after = "1:first, edited|3:third|4:fourth";
  auto content = [&] {
    return Scalar("SELECT group_concat(id || ':' || title, '|') FROM (SELECT id, title FROM clips ORDER BY id)");
  };
  for (const qvtest::FileCall call : {qvtest::FileCall::kWrite, qvtest::FileCall::kFsync}) {
    int failed = 0;
    bool went_through = false;
    for (int n = 1; n < 64 && !went_through; ++n) {
      OpenBatch();
      F(u"title")->PutValue(_variant_t(u"first, edited"));
      rs_->MoveNext();
      rs_->Delete();
      rs_->AddNew();
      F(u"title")->PutValue(_variant_t(u"fourth"));
      rs_->Update();
      {
        qvtest::FileFaults faults;
        faults.Fail(call, n, n, EIO);
        try {
          rs_->UpdateBatch();
          went_through = true;
        } catch (const _com_error& e) {
          ++failed;
          EXPECT_FALSE(e.Description().view().empty()) << "call " << n;
        }
      }
      if (!went_through) {
        EXPECT_EQ(content(), before) << "call " << n;
        rs_->PutFilter(_variant_t(static_cast<int>(adFilterPendingRecords)));
        EXPECT_EQ(rs_->GetRecordCount(), 3) << "call " << n;
        rs_->PutFilter(_variant_t(u""));
        rs_->MoveLast();
        EXPECT_EQ(F(u"id")->GetValue().vt(), VT_NULL) << "call " << n << ": a key from the undone insert stayed";
        rs_->UpdateBatch();  // the disk is back
      }
      EXPECT_EQ(content(), after) << "call " << n;
      Exec("DELETE FROM clips WHERE id = 4");
      Exec("INSERT INTO clips(id, title) VALUES (2, 'second')");
      Exec("UPDATE clips SET title = 'first' WHERE id = 1");
    }
    EXPECT_TRUE(went_through);
    EXPECT_GT(failed, 0) << "the batch's file calls did not go through the seam";
  }
}

// Locking is the unix layer's: a connection holding the file exclusively
// keeps others out, in this process and in another.
TEST_F(SqliteProvider, ConnectionsToOneFileExcludeEachOther) {
  _ConnectionPtr other(_Connection::Create(), false);
  other->Open(_bstr_t(path_.string().c_str()));
  other->Execute(_bstr_t("PRAGMA busy_timeout = 0"));
  auto other_reads = [&] {
    try {
      return other->Execute(_bstr_t("SELECT count(*) FROM clips"))->GetRecordCount() == 1;
    } catch (const _com_error&) {
      return false;
    }
  };
  Exec("BEGIN EXCLUSIVE");
  EXPECT_FALSE(other_reads()) << "in one process";
  Exec("COMMIT");
  EXPECT_TRUE(other_reads());

  int to_child[2], to_parent[2];
  ASSERT_EQ(::pipe(to_child), 0);
  ASSERT_EQ(::pipe(to_parent), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 1;
    try {
      _ConnectionPtr c(_Connection::Create(), false);
      c->Open(_bstr_t(path_.string().c_str()));
      c->Execute(_bstr_t("BEGIN EXCLUSIVE"));
      c->Execute(_bstr_t("UPDATE clips SET title = 'child' WHERE id = 3"));
      char ch = 'x';
      if (::write(to_parent[1], &ch, 1) == 1 && ::read(to_child[0], &ch, 1) == 1) {
        c->Execute(_bstr_t("COMMIT"));
        status = 0;
      }
    } catch (...) {
    }
    ::_exit(status);
  }
  char ch = 0;
  ASSERT_EQ(::read(to_parent[0], &ch, 1), 1);
  EXPECT_FALSE(other_reads()) << "across processes";
  ASSERT_EQ(::write(to_child[1], &ch, 1), 1);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(other_reads());
  EXPECT_EQ(Scalar("SELECT title FROM clips WHERE id = 3"), "child");
  for (int fd : {to_child[0], to_child[1], to_parent[0], to_parent[1]}) ::close(fd);
}

}  // namespace
