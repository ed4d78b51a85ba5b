// Recordsets saved to and opened from the XML persistence format: the
// platform's saved files open and save back byte for byte, the text and the
// recordset agree both ways, pending changes survive the trip and are
// written to a database, and bad input leaves the recordset closed.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "qv_platform/data/ado.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/data/stream.h"
#include "qv_platform/unicode.h"
#include "support/ado_samples.h"

using namespace AdoNS;
namespace fs = std::filesystem;

namespace {

std::string Text(const _variant_t& v) {
  if (v.vt() == VT_NULL) return "<null>";
  _variant_t t;
  if (FAILED(VariantChangeType(&t, &v, 0, VT_BSTR))) return "<no text>";
  return qvp::Utf16ToUtf8(t.bstrView());
}

_RecordsetPtr OpenText(const std::string& text) {
  _StreamPtr s(_Stream::Create(), false);
  s->Open();
  s->PutCharset(u"utf-8");
  s->WriteText(_bstr_t(qvp::Utf8ToUtf16(text)));
  s->PutPosition(0);
  _RecordsetPtr rs(_Recordset::Create(), false);
  rs->Open(s.GetInterfacePtr(), adOpenStatic, adLockBatchOptimistic);
  return rs;
}

// Every field value of every row in the current view, one line a row.
std::string Dump(_Recordset* rs) {
  std::string out;
  rs->MoveFirst();
  for (; !rs->GetadoEOF(); rs->MoveNext()) {
    for (long i = 0; i < rs->GetFields()->GetCount(); ++i) out += Text(rs->GetFields()->ItemByIndex(i)->GetValue()) + "|";
    out += "\n";
  }
  return out;
}

TEST(RecordsetXml, EverySavedFileOpensAndSavesBackByteForByte) {
  SKIP_WITHOUT_ADO_SAMPLES();
  int files = 0;
  for (const auto& e : fs::directory_iterator(qvtest::AdoSamplesDir())) {
    if (e.path().extension() != ".xml" || !e.path().filename().string().starts_with("tg-")) continue;
    const std::string bytes = qvtest::ReadFile(e.path());
    _RecordsetPtr rs(_Recordset::Create(), false);
    ASSERT_NO_THROW(rs->Open(_variant_t(e.path().string().c_str()), nullptr, adOpenStatic,
                             adLockBatchOptimistic, adCmdFile))
        << e.path().filename();
    EXPECT_EQ(rs->GetCursorType(), adOpenStatic);
    // The document path of the tools and the recordset's path agree.
    qvp::persist::Document doc;
    std::string error;
    ASSERT_TRUE(qvp::persist::Read(bytes, doc, error));
    const std::string saved = rs->SaveToText();
    EXPECT_EQ(saved, bytes) << e.path().filename();
    EXPECT_EQ(saved, qvp::persist::Write(doc)) << e.path().filename();
    ++files;
  }
  EXPECT_EQ(files, 74);
}

TEST(RecordsetXml, PendingChangesOfASavedFileShowAsRowStatuses) {
  SKIP_WITHOUT_ADO_SAMPLES();
  _RecordsetPtr rs = OpenText(qvtest::ReadFile(qvtest::AdoSamplesDir() / "tg-exhaustive-flat_DBTimeStamp_states.xml"));
  EXPECT_EQ(rs->GetRecordCount(), 3) << "the deleted row is hidden";
  EXPECT_EQ(Dump(rs), "1|2026/6/12 14:30:15|\n3|2000/1/1 0:00:01|\n4|2038/1/19 3:14:07|\n");
  rs->MoveFirst();
  EXPECT_EQ(rs->GetStatus(), adRecModified);
  EXPECT_EQ(Text(rs->GetFields()->ItemByIndex(1)->GetOriginalValue()), "0:00:00");
  rs->MoveLast();
  EXPECT_EQ(rs->GetStatus(), adRecNew);
  rs->PutFilter(_variant_t(static_cast<int>(adFilterPendingRecords)));
  EXPECT_EQ(rs->GetRecordCount(), 3);
}

// A recordset built in memory with one field of each type survives the
// trip, and saving the reopened recordset gives the same text.
TEST(RecordsetXml, EveryFieldTypeRoundTripsThroughTheText) {
  struct F {
    const char16_t* name;
    DataTypeEnum type;
    long size;
    _variant_t value;
    const char* text;  // what the reopened field reads as text
  };
  DECIMAL d;
  qvp::DecimalFromText(u"-12.3400", d);
  const unsigned char bytes[] = {0x00, 0x7f, 0xff};
  const F fields[] = {
      {u"i1", adTinyInt, 1, _variant_t(std::int64_t{-128}, VT_I1), "-128"},
      {u"i2", adSmallInt, 2, _variant_t(short{-32768}), "-32768"},
      {u"i4", adInteger, 4, _variant_t(2147483647), "2147483647"},
      {u"i8", adBigInt, 8, _variant_t(-9223372036854775807LL), "-9223372036854775807"},
      {u"u8", adUnsignedBigInt, 8, _variant_t(18446744073709551615ULL), "18446744073709551615"},
      {u"r4", adSingle, 4, _variant_t(0.1f), "0.1"},
      {u"r8", adDouble, 8, _variant_t(-123456789.125), "-123456789.125"},
      {u"cy", adCurrency, 8, _variant_t::Currency(-9223372036854775807LL - 1), "-922337203685477.5808"},
      {u"dec", adDecimal, 16, _variant_t::Decimal(d), "-12.34"},
      {u"num", adNumeric, 19, _variant_t::Decimal(d), "-12"},  // scale 0,
      {u"ok", adBoolean, 2, _variant_t(true), "-1"},
      {u"id", adGUID, 16, _variant_t(u"{6b29fc40-ca47-1067-b31d-00dd010662da}"), "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
      {u"at", adDBTimeStamp, 16, _variant_t(COleDateTime(2024, 3, 1, 19, 0, 5)), "2024/3/1 19:00:05"},
      {u"day", adDBDate, 6, _variant_t(COleDateTime(1999, 12, 31, 0, 0, 0)), "1999/12/31"},
      {u"t", adDBTime, 6, _variant_t(COleDateTime(1899, 12, 30, 23, 59, 58)), "23:59:58"},
      {u"txt", adVarWChar, 50, _variant_t(u"it's <a> & \"b\"\r\n\t한글"), "it's <a> & \"b\"\r\n\t한글"},
      {u"Order Date", adVarChar, 20, _variant_t(u""), ""},
      {u"bin", adVarBinary, 8, _variant_t::Bytes(bytes, sizeof bytes), "<no text>"},
      {u"nul", adInteger, 4, _variant_t::Null(), "<null>"},
  };
  _RecordsetPtr rs(_Recordset::Create(), false);
  for (const F& f : fields)
    rs->GetFields()->Append(_bstr_t(f.name), f.type, f.size,
                            static_cast<FieldAttributeEnum>(adFldUpdatable | adFldIsNullable | adFldMayBeNull));
  rs->Open(_variant_t(), static_cast<_Connection*>(nullptr), adOpenKeyset, adLockBatchOptimistic);
  rs->AddNew();
  for (long i = 0; i < static_cast<long>(std::size(fields)); ++i) rs->GetFields()->ItemByIndex(i)->PutValue(fields[i].value);
  rs->Update();
  const std::string text = rs->SaveToText();
  EXPECT_NE(text.find("name='c16' rs:name='Order Date'"), std::string::npos) << "a name rows cannot carry is aliased";
  _RecordsetPtr back = OpenText(text);
  ASSERT_EQ(back->GetFields()->GetCount(), static_cast<long>(std::size(fields)));
  for (long i = 0; i < static_cast<long>(std::size(fields)); ++i) {
    Field* f = back->GetFields()->ItemByIndex(i);
    EXPECT_EQ(qvp::Utf16ToUtf8(f->GetName().view()), qvp::Utf16ToUtf8(fields[i].name));
    EXPECT_EQ(Text(f->GetValue()), fields[i].text) << qvp::Utf16ToUtf8(fields[i].name);
  }
  EXPECT_EQ(back->GetFields()->ItemByName(u"bin")->GetValue(), fields[17].value);
  EXPECT_EQ(back->GetStatus(), adRecNew) << "a row added without a connection stays pending";
  EXPECT_EQ(back->SaveToText(), text);
}

// What the recordset adds to the reader (whose shapes and refusals have
// tests of their own): a Unicode stream's text, bare columns as nullable
// long text, the reader's reasons as errors, hierarchical documents refused.
TEST(RecordsetXml, StreamsBareColumnsAndRefusals) {
  const std::string head =
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
      " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'><s:Schema id='RowsetSchema'>"
      "<s:ElementType name='row' content='eltOnly'><s:AttributeType name='a'/><s:AttributeType name='b'/>";
  _StreamPtr s(_Stream::Create(), false);
  s->Open();
  s->WriteText(_bstr_t(qvp::Utf8ToUtf16(head + "</s:ElementType></s:Schema><rs:data><z:row a='한글'/><z:row b=''/>"
                                               "</rs:data></xml>")));
  s->PutPosition(0);
  _RecordsetPtr wide(_Recordset::Create(), false);
  wide->Open(s.GetInterfacePtr());
  EXPECT_EQ(wide->GetFields()->ItemByIndex(0)->GetType(), adLongVarWChar);
  EXPECT_EQ(Dump(wide), "한글|<null>|\n<null>||\n");

  const struct {
    std::string text;
    const char* reason;
  } cases[] = {
      {"", "Source XML is incomplete or invalid: malformed XML"},
      {"<xml/>", "no rowset schema"},
      {head + "</s:ElementType></s:Schema><rs:data><z:row c='1'/></rs:data></xml>", "'c' is not in the schema"},
      {head + "<s:ElementType name='kids' content='eltOnly'/></s:ElementType></s:Schema></xml>",
       "child rowsets 'kids'"},
      // Written back with its 28 fraction digits it would not read again.
      {head + "<s:AttributeType name='n'><s:datatype dt:type='number' rs:dbtype='numeric' rs:scale='28'/>"
              "</s:AttributeType></s:ElementType></s:Schema><rs:data><z:row n='1000000000000000000000000000'/>"
              "</rs:data></xml>",
       "does not convert"},
  };
  for (const auto& c : cases) {
    _RecordsetPtr rs(_Recordset::Create(), false);
    try {
      rs = OpenText(c.text);
      ADD_FAILURE() << "opened: " << c.text;
    } catch (const _com_error& e) {
      EXPECT_NE(qvp::Utf16ToUtf8(e.Description().str()).find(c.reason), std::string::npos)
          << qvp::Utf16ToUtf8(e.Description().str());
    }
    EXPECT_EQ(rs->GetState(), adStateClosed);
  }
  _RecordsetPtr rs(_Recordset::Create(), false);
  EXPECT_THROW(rs->Open(_variant_t(u"/no/such/file.xml"), nullptr, adOpenStatic, adLockBatchOptimistic, adCmdFile),
               _com_error);
  EXPECT_THROW(rs->SaveToText(), _com_error) << "closed";
  EXPECT_THROW(rs->SaveToText(adPersistADTG), _com_error);
}

// Changes made on a database's rows, saved, reopened elsewhere and applied
// with a connection set later; a conflict leaves the database as it was.
TEST(RecordsetXml, SavedChangesApplyToTheDatabaseLater) {
  const fs::path db = fs::temp_directory_path() / ("qv_xml_" + std::to_string(::getpid()) + ".db");
  const fs::path file = fs::temp_directory_path() / ("qv_xml_" + std::to_string(::getpid()) + ".xml");
  fs::remove(db);
  _ConnectionPtr conn(_Connection::Create(), false);
  conn->Open(_bstr_t(db.string().c_str()));
  conn->Execute(_bstr_t("CREATE TABLE tapes(id INTEGER PRIMARY KEY, title VARCHAR(40), length INT)"));
  conn->Execute(_bstr_t("INSERT INTO tapes VALUES (1, 'News', 1800), (2, 'Sport', 900), (3, 'Weather', 300)"));
  auto contents = [&] {
    _RecordsetPtr r = conn->Execute(_bstr_t("SELECT group_concat(id || ':' || title || ':' || length, ',') FROM tapes"));
    return Text(r->GetFields()->ItemByIndex(0)->GetValue());
  };
  {
    _RecordsetPtr rs(_Recordset::Create(), false);
    rs->PutCursorLocation(adUseClient);
    rs->Open(_variant_t(u"SELECT * FROM tapes"), conn, adOpenStatic, adLockBatchOptimistic);
    rs->GetFields()->ItemByName(u"title")->PutValue(_variant_t(u"News at seven"));
    rs->MoveNext();
    rs->Delete();
    rs->AddNew();
    rs->GetFields()->ItemByName(u"id")->PutValue(_variant_t(4));
    rs->GetFields()->ItemByName(u"title")->PutValue(_variant_t(u"Film"));
    rs->GetFields()->ItemByName(u"length")->PutValue(_variant_t(5400));
    rs->Update();
    rs->Save(_bstr_t(qvp::Utf8ToUtf16(file.string())));
  }
  for (bool conflict : {true, false}) {
    _RecordsetPtr rs(_Recordset::Create(), false);
    rs->Open(_variant_t(file.string().c_str()), nullptr, adOpenStatic, adLockBatchOptimistic, adCmdFile);
    rs->PutRefActiveConnection(conn);
    if (conflict) {
      conn->Execute(_bstr_t("UPDATE tapes SET title = 'Headlines' WHERE id = 1"));
      try {
        rs->UpdateBatch();
        ADD_FAILURE() << "a row changed underneath is a conflict";
      } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), DB_E_CONCURRENCYVIOLATION);
      }
      EXPECT_EQ(contents(), "1:Headlines:1800,2:Sport:900,3:Weather:300");
      conn->Execute(_bstr_t("UPDATE tapes SET title = 'News' WHERE id = 1"));
    } else {
      rs->UpdateBatch();
      EXPECT_EQ(contents(), "1:News at seven:1800,3:Weather:300,4:Film:5400");
    }
  }
  conn = nullptr;
  fs::remove(db);
  fs::remove(file);
}

}  // namespace
