// CQVDBRecordset's XML exchange: a recordset built in memory goes to text
// and back into another wrapper, failures keep what the wrapper held, and
// changes carried as text are written to PostgreSQL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "qv_commonclass/database.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {
namespace {

using namespace AdoNS;
namespace fs = std::filesystem;

std::string Utf8(const CString& s) { return qvp::Utf16ToUtf8(s.view()); }

void BuildTwoFields(CQVDBRecordset& rs) {
  rs.AddStringField(u"Title", 1);
  rs.AddIntField(u"Length", 0);
  ASSERT_EQ(rs.OpenNoConnection(), 1);
  ASSERT_EQ(rs.AddNew(), 1);
  rs.SetField(u"Title", CString(u"News 'at' <seven> & 中文"));
  rs.SetField(u"Length", 1800);
  rs.Update();
}

TEST(RecordsetXmlExchange, TextCarriesFieldsAndRowsToAnotherWrapper) {
  CQVDBRecordset a;
  BuildTwoFields(a);
  CString xml;
  ASSERT_EQ(a.Recordset2XML(xml), 1);
  EXPECT_EQ(a.FieldInt(u"Length"), 1800) << "the cursor stays";
  CQVDBRecordset b;
  b.SetAutoRelease(1);
  ASSERT_EQ(b.XML2Recordset(xml), 1);
  EXPECT_EQ(b.IsOpen(), 1);
  ASSERT_EQ(b.FieldCount(), 2);
  EXPECT_EQ(b.GetRecordCount(), 1);
  EXPECT_EQ(Utf8(b.FieldName(0)), "Title");
  EXPECT_EQ(Utf8(b.FieldName(1)), "Length");
  EXPECT_EQ(Utf8(b.FieldString(u"Title")), "News 'at' <seven> & 中文");
  EXPECT_EQ(b.FieldInt(u"Length"), 1800);
  _Recordset* held = b.GetRecordset();
  EXPECT_EQ(held->GetFields()->ItemByIndex(1)->GetType(), adInteger);
  EXPECT_EQ(held->GetCursorType(), adOpenStatic);
  EXPECT_EQ(held->GetLockType(), adLockBatchOptimistic);

  // SaveFile writes the same document as the text.
  const fs::path file = fs::temp_directory_path() / ("qv_xml_wrapper_" + std::to_string(::getpid()) + ".xml");
  ASSERT_EQ(b.SaveFile(CString(qvp::Utf8ToUtf16(file.string()))), 1);
  std::string bytes;
  {
    FILE* f = std::fopen(file.string().c_str(), "rb");
    ASSERT_TRUE(f);
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
    std::fclose(f);
  }
  fs::remove(file);
  qvp::persist::Document fromFile, fromText;
  std::string error;
  ASSERT_TRUE(qvp::persist::Read(bytes, fromFile, error)) << error;
  ASSERT_TRUE(qvp::persist::Read(qvp::Utf16ToUtf8(xml.view()), fromText, error)) << error;
  EXPECT_EQ(qvp::persist::Write(fromFile), qvp::persist::Write(fromText));
  EXPECT_TRUE(bytes.starts_with("<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\r\n"));
}

TEST(RecordsetXmlExchange, FailuresKeepWhatWasThere) {
  CQVDBRecordset rs;
  CString xml(u"unchanged");
  EXPECT_EQ(rs.Recordset2XML(xml), 0) << "nothing held";
  EXPECT_EQ(Utf8(xml), "unchanged");
  const fs::path file = fs::temp_directory_path() / ("qv_xml_closed_" + std::to_string(::getpid()) + ".xml");
  EXPECT_EQ(rs.SaveFile(CString(qvp::Utf8ToUtf16(file.string()))), 0);
  EXPECT_FALSE(fs::exists(file)) << "a closed wrapper leaves the file system alone";

  BuildTwoFields(rs);
  _Recordset* before = rs.GetRecordset();
  for (const char16_t* bad : {u"", u"not xml at all", u"<xml><s:Schema/></xml>"}) {
    EXPECT_EQ(rs.XML2Recordset(CString(bad)), 0) << qvp::Utf16ToUtf8(bad);
    EXPECT_EQ(rs.GetRecordset(), before);
    EXPECT_EQ(rs.FieldInt(u"Length"), 1800);
  }
  EXPECT_EQ(rs.SaveFile(CString(u"/no/such/folder/x.xml")), 0);
}

// Changes made on a server's rows travel as text and are applied later.
TEST(RecordsetXmlExchange, ChangesCarriedAsTextApplyToPostgres) {
  const char* cs = std::getenv("QV_PG_ODBC");
  if (!cs || !*cs) GTEST_SKIP() << "no PostgreSQL test server (QV_PG_ODBC is not set)";
  _ConnectionPtr conn(_Connection::Create(), false);
  conn->Open(_bstr_t(cs));
  const std::string table = "qv_xml_" + std::to_string(::getpid());
  conn->Execute(_bstr_t(("CREATE TABLE " + table + " (id integer PRIMARY KEY, title varchar(40), price numeric(10,2),"
                                                   " aired timestamp, ok boolean)")
                            .c_str()));
  conn->Execute(_bstr_t(("INSERT INTO " + table + " VALUES (1, 'News', 12.50, '2024-03-01 19:00:00', true),"
                                                  " (2, 'Sport', NULL, NULL, false), (3, 'Weather', 1, NULL, NULL)")
                            .c_str()));
  CString xml;
  {
    CQVDBRecordset rs;
    *(&rs) = _Recordset::Create();
    rs.GetRecordset()->PutCursorLocation(adUseClient);
    rs.GetRecordset()->Open(_variant_t(("SELECT * FROM " + table + " ORDER BY id").c_str()), conn, adOpenStatic,
                            adLockBatchOptimistic);
    rs.SetField(u"title", CString(u"News at seven"));
    rs.SetField(u"price", 0.25);
    rs.MoveNext();
    rs.Delete(adAffectCurrent);
    rs.AddNew();
    rs.SetField(u"id", 4);
    rs.SetField(u"title", CString(u"中文"));
    rs.Update();
    ASSERT_EQ(rs.Recordset2XML(xml), 1);
  }
  CQVDBRecordset back;
  back.SetAutoRelease(1);
  ASSERT_EQ(back.XML2Recordset(xml), 1);
  back.GetRecordset()->PutRefActiveConnection(conn);
  EXPECT_EQ(back.UpdateBatch(adAffectAll), 1);
  _RecordsetPtr r = conn->Execute(
      _bstr_t(("SELECT string_agg(id || ':' || title || ':' || coalesce(price::text, '-'), ',' ORDER BY id) FROM " + table)
                  .c_str()));
  EXPECT_EQ(qvp::Utf16ToUtf8(r->GetFields()->ItemByIndex(0)->GetValue().bstrView()),
            "1:News at seven:0.25,3:Weather:1.00,4:中文:-");
  conn->Execute(_bstr_t(("DROP TABLE " + table).c_str()));
}

}  // namespace
}  // namespace qv_commonclass
