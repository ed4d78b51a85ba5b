// The recordset over a real server through ODBC (PostgreSQL). scripts/test.sh
// starts a throwaway server and sets QV_PG_ODBC; without it these tests skip
// and say why.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "qv_commonclass/database.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {
namespace {

using namespace AdoNS;

std::string Text(const _variant_t& v) {
  _variant_t t;
  if (FAILED(VariantChangeType(&t, &v, 0, VT_BSTR))) return "<no text>";
  return qvp::Utf16ToUtf8(t.bstrView());
}

class PostgresOdbc : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* cs = std::getenv("QV_PG_ODBC");
    if (!cs || !*cs) {
      const char* why = std::getenv("QV_PG_SKIP_REASON");
      GTEST_SKIP() << "no PostgreSQL test server (run scripts/test.sh, which starts one): "
                   << (why ? why : "QV_PG_ODBC is not set");
    }
    conn_.Attach(_Connection::Create());
    conn_->Open(_bstr_t(cs));
    table_ = "qv_tapes_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Exec("CREATE TABLE " + table_ +
         " (id integer PRIMARY KEY, small smallint, big bigint, ratio real, score double precision,"
         " price numeric(10,2), code varchar(20), note text, thumb bytea, day date, at time, aired timestamp,"
         " ok boolean, tag uuid)");
    Exec("INSERT INTO " + table_ +
         " VALUES (1, 7, 4294967297, 0.5, 2.25, 12.50, 'N-1', 'it''s news', '\\x0102ff', '2024-03-01',"
         " '08:30:00', '2024-03-01 19:00:00', true, '6b29fc40-ca47-1067-b31d-00dd010662da')");
    Exec("INSERT INTO " + table_ + " (id, code) VALUES (2, 'S-2'), (3, 'W-3')");
  }
  void TearDown() override {
    if (conn_) {
      rs_.Close();
      if (conn_->GetState() == adStateOpen) Exec("DROP TABLE IF EXISTS " + table_);
    }
  }
  long Exec(const std::string& sql) {
    _variant_t n;
    conn_->Execute(_bstr_t(sql.c_str()), &n);
    return n.lVal();
  }
  std::string Scalar(const std::string& sql) {
    _RecordsetPtr r = conn_->Execute(_bstr_t(sql.c_str()));
    return r->GetadoEOF() ? "<none>" : Text(r->GetFields()->GetItem(_variant_t(0))->GetValue());
  }
  void OpenBatch() {
    _Recordset** slot = &rs_;
    *slot = _Recordset::Create();
    rs_.GetRecordset()->PutCursorLocation(adUseClient);
    rs_.GetRecordset()->Open(_variant_t(("SELECT * FROM " + table_ + " ORDER BY id").c_str()), conn_, adOpenStatic,
                             adLockBatchOptimistic);
  }
  _ConnectionPtr conn_;
  CQVDBRecordset rs_;
  std::string table_;
};

TEST_F(PostgresOdbc, ColumnTypesMapToFieldTypes) {
  OpenBatch();
  ASSERT_EQ(rs_.GetRecordCount(), 3);
  const struct {
    const char16_t* name;
    DataTypeEnum type;
    const char* text;
  } cases[] = {
      {u"id", adInteger, "1"},         {u"small", adSmallInt, "7"},
      {u"big", adBigInt, "4294967297"}, {u"ratio", adSingle, "0.5"},
      {u"score", adDouble, "2.25"},     {u"price", adNumeric, "12.50"},
      {u"code", adVarWChar, "N-1"},     {u"note", adLongVarWChar, "it's news"},
      {u"day", adDBDate, "2024/3/1"},   {u"at", adDBTime, "8:30:00"},
      {u"aired", adDBTimeStamp, "2024/3/1 19:00:00"}, {u"ok", adBoolean, "-1"},
      {u"tag", adGUID, "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
  };
  Fields* fields = rs_.GetRecordset()->GetFields();
  for (const auto& c : cases) {
    Field* f = fields->GetItem(_variant_t(c.name));
    EXPECT_EQ(f->GetType(), c.type) << qvp::Utf16ToUtf8(c.name);
    EXPECT_EQ(Text(f->GetValue()), c.text) << qvp::Utf16ToUtf8(c.name);
  }
  EXPECT_EQ(fields->GetItem(_variant_t(u"price"))->GetPrecision(), 10);
  EXPECT_EQ(fields->GetItem(_variant_t(u"price"))->GetNumericScale(), 2);
  void* data = nullptr;
  long size = 0;
  rs_.FieldBlob(u"thumb", &data, size);
  ASSERT_EQ(size, 3);
  EXPECT_EQ(static_cast<unsigned char*>(data)[2], 0xff);
  delete[] static_cast<unsigned char*>(data);
  EXPECT_EQ(rs_.FieldInt(u"big"), 1);
  EXPECT_EQ(rs_.FieldBool(u"ok"), -1);
  EXPECT_EQ(rs_.FieldODT(u"aired"), COleDateTime(2024, 3, 1, 19, 0, 0));
}

TEST_F(PostgresOdbc, BatchChangesGoBackInOneTransaction) {
  OpenBatch();
  rs_.SetField(u"note", CString(u"edited 'text'"));
  rs_.SetField(u"price", 0.25);
  rs_.SetField(u"aired", COleDateTime(2025, 1, 2, 3, 4, 5));
  rs_.MoveNext();
  rs_.SetField(u"ok", false);
  rs_.MoveNext();
  EXPECT_EQ(rs_.Delete(adAffectCurrent), 1);
  rs_.AddNew();
  rs_.SetField(u"id", 4);
  rs_.SetField(u"code", CString(u"中文"));
  const unsigned char bytes[] = {0, 1};
  rs_.SetField(u"thumb", const_cast<unsigned char*>(bytes), 2);
  EXPECT_EQ(rs_.UpdateBatch(adAffectAll), 1);
  EXPECT_EQ(Scalar("SELECT note || '|' || price || '|' || aired FROM " + table_ + " WHERE id = 1"),
            "edited 'text'|0.25|2025-01-02 03:04:05");
  EXPECT_EQ(Scalar("SELECT count(*) FROM " + table_ + " WHERE id = 3"), "0");
  EXPECT_EQ(Scalar("SELECT code || length(thumb) FROM " + table_ + " WHERE id = 4"), "中文2");
  EXPECT_EQ(Scalar("SELECT ok FROM " + table_ + " WHERE id = 2"), "0");

  // A row changed underneath: nothing of the batch is written.
  rs_.MoveFirst();
  rs_.SetField(u"code", CString(u"mine"));
  rs_.MoveNext();
  rs_.SetField(u"code", CString(u"mine too"));
  Exec("UPDATE " + table_ + " SET code = 'theirs' WHERE id = 2");
  EXPECT_EQ(rs_.UpdateBatch(adAffectAll), 0);
  EXPECT_EQ(Scalar("SELECT code FROM " + table_ + " WHERE id = 1"), "N-1");
}

TEST_F(PostgresOdbc, KeysTheServerGivesComeBackAfterTheWrite) {
  const std::string gen = table_ + "_gen";
  Exec("CREATE TABLE " + gen + " (id serial PRIMARY KEY, code varchar(20))");
  const std::string select = "SELECT * FROM " + gen + " ORDER BY id";
  for (LockTypeEnum lock : {adLockBatchOptimistic, adLockOptimistic}) {
    _RecordsetPtr rs(_Recordset::Create(), false);
    rs->PutCursorLocation(adUseClient);
    rs->Open(_variant_t(select.c_str()), conn_, adOpenStatic, lock);
    rs->AddNew();
    rs->GetFields()->GetItem(_variant_t(u"code"))->PutValue(_variant_t(u"first"));
    rs->Update();
    rs->AddNew();  // nothing set: the server's defaults
    rs->Update();
    if (lock == adLockBatchOptimistic) rs->UpdateBatch();
    std::string keys;
    for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext()) keys += Text(rs->GetFields()->GetItem(_variant_t(u"id"))->GetValue()) + ",";
    EXPECT_EQ(keys, lock == adLockBatchOptimistic ? "1,2," : "1,2,3,4,") << lock;
  }
  EXPECT_EQ(Scalar("SELECT string_agg(coalesce(code, '-'), ',' ORDER BY id) FROM " + gen), "first,-,first,-");
  Exec("DROP TABLE " + gen);
}

TEST_F(PostgresOdbc, ServerErrorsAndAServerThatGoesAway) {
  try {
    conn_->Execute(_bstr_t("SELECT * FROM no_such_table"));
    ADD_FAILURE() << "accepted";
  } catch (const _com_error& e) {
    EXPECT_NE(qvp::Utf16ToUtf8(e.Description().view()).find("no_such_table"), std::string::npos);
  }
  _ConnectionPtr bad(_Connection::Create(), false);
  EXPECT_THROW(bad->Open(_bstr_t("Driver=/nonexistent/driver.so;Servername=/nowhere")), _com_error);
  // The server ends this session while a query runs.
  _ConnectionPtr victim(_Connection::Create(), false);
  victim->Open(_bstr_t(std::getenv("QV_PG_ODBC")));
  const std::string pid = [&] {
    _RecordsetPtr r = victim->Execute(_bstr_t("SELECT pg_backend_pid()"));
    return Text(r->GetFields()->GetItem(_variant_t(0))->GetValue());
  }();
  Exec("SELECT pg_terminate_backend(" + pid + ")");
  try {
    victim->Execute(_bstr_t("SELECT 1"));
    ADD_FAILURE() << "a dead session answered";
  } catch (const _com_error& e) {
    EXPECT_FALSE(e.Description().view().empty());
  }
}

}  // namespace
}  // namespace qv_commonclass
