// The recordset's own reader (one scan of the text) against the document
// model's reader: both give the same row store (fields, values, statuses,
// original values) for the platform's saved files and for a generated
// recordset with every field type and every kind of pending change, and
// refuse bad documents with the same description.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/data/persist_rowset.h"
#include "qv_platform/data/ado.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/data/stream.h"
#include "qv_platform/unicode.h"
#include "support/ado_samples.h"

using namespace AdoNS;
namespace fs = std::filesystem;
namespace data = qvp::data;

namespace {

std::shared_ptr<data::RowSet> ThroughModel(const std::string& bytes) {
  qvp::persist::Document doc;
  std::string error;
  EXPECT_TRUE(qvp::persist::Read(bytes, doc, error)) << error;
  return data::FromDocument(doc);
}

void ExpectSameCells(const _variant_t* a, const _variant_t* b, std::size_t w, const std::string& where) {
  for (std::size_t i = 0; i < w; ++i) {
    EXPECT_EQ(a[i].vt(), b[i].vt()) << where << " field " << i;
    EXPECT_TRUE(a[i] == b[i]) << where << " field " << i;
  }
}

// The direct reader and the model's reader build the same row store.
void ExpectAgree(const std::string& bytes, const std::string& what) {
  SCOPED_TRACE(what);
  std::shared_ptr<data::RowSet> direct = data::LoadText(bytes), model = ThroughModel(bytes);
  ASSERT_EQ(direct->width(), model->width());
  for (std::size_t i = 0; i < direct->width(); ++i) {
    const data::FieldDef &a = direct->fields[i], &b = model->fields[i];
    EXPECT_TRUE(a.name == b.name && a.type == b.type && a.defined_size == b.defined_size &&
                a.precision == b.precision && a.scale == b.scale && a.attributes == b.attributes &&
                a.base_column == b.base_column)
        << "field " << i;
  }
  EXPECT_TRUE(direct->base_table == model->base_table);
  EXPECT_EQ(direct->key_columns, model->key_columns);
  ASSERT_EQ(direct->rows.size(), model->rows.size());
  ASSERT_EQ(direct->cells.size(), model->cells.size());
  for (std::size_t r = 0; r < direct->rows.size(); ++r) {
    const std::string where = "row " + std::to_string(r + 1);
    EXPECT_EQ(direct->rows[r].status, model->rows[r].status) << where;
    ExpectSameCells(direct->row_cells(r), model->row_cells(r), direct->width(), where);
    ASSERT_EQ(!direct->rows[r].original, !model->rows[r].original) << where;
    if (direct->rows[r].original)
      ExpectSameCells(direct->rows[r].original.get(), model->rows[r].original.get(), direct->width(),
                      where + " original");
  }
}

TEST(RecordsetXmlLoad, SavedFilesReadTheSameBothWays) {
  SKIP_WITHOUT_ADO_SAMPLES();
  int files = 0;
  for (const auto& e : fs::directory_iterator(qvtest::AdoSamplesDir())) {
    if (e.path().extension() != ".xml") continue;
    const std::string bytes = qvtest::ReadFile(e.path());
    qvp::persist::Document doc;
    std::string error;
    if (!qvp::persist::Read(bytes, doc, error) || !doc.skippedChildren.empty()) continue;
    ExpectAgree(bytes, e.path().filename().string());
    ++files;
  }
  EXPECT_GE(files, 74);
}

// Every field type with nulls, empty and escaped text, a binary value long
// enough to wrap, and a modified (one field set to null), a deleted and two
// new rows.
TEST(RecordsetXmlLoad, EveryTypeAndPendingChangeReadTheSameBothWays) {
  struct F {
    const char16_t* name;
    DataTypeEnum type;
    long size;
    _variant_t value;
  };
  DECIMAL d;
  qvp::DecimalFromText(u"-12.3400", d);
  std::string blob(200, '\0');
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
  const F fields[] = {
      {u"i1", adTinyInt, 1, _variant_t(std::int64_t{-128}, VT_I1)},
      {u"i2", adSmallInt, 2, _variant_t(short{-32768})},
      {u"i4", adInteger, 4, _variant_t(2147483647)},
      {u"i8", adBigInt, 8, _variant_t(-9223372036854775807LL)},
      {u"u1", adUnsignedTinyInt, 1, _variant_t(std::int64_t{255}, VT_UI1)},
      {u"u8", adUnsignedBigInt, 8, _variant_t(18446744073709551615ULL)},
      {u"r4", adSingle, 4, _variant_t(0.1f)},
      {u"r8", adDouble, 8, _variant_t(-123456789.125)},
      {u"cy", adCurrency, 8, _variant_t::Currency(-9223372036854775807LL - 1)},
      {u"dec", adDecimal, 16, _variant_t::Decimal(d)},
      {u"num", adNumeric, 19, _variant_t::Decimal(d)},
      {u"ok", adBoolean, 2, _variant_t(true)},
      {u"id", adGUID, 16, _variant_t(u"{6b29fc40-ca47-1067-b31d-00dd010662da}")},
      {u"at", adDBTimeStamp, 16, _variant_t(COleDateTime(2024, 3, 1, 19, 0, 5))},
      {u"when", adDate, 16, _variant_t(COleDateTime(1999, 12, 31, 23, 59, 59))},
      {u"day", adDBDate, 6, _variant_t(COleDateTime(1999, 12, 31, 0, 0, 0))},
      {u"t", adDBTime, 6, _variant_t(COleDateTime(1899, 12, 30, 23, 59, 58))},
      {u"txt", adVarWChar, 50, _variant_t(u"it's <a> & \"b\"\r\n\t한글")},
      {u"Order Date", adVarChar, 20, _variant_t(u"")},
      {u"memo", adLongVarWChar, 1 << 20, _variant_t(u"plain")},
      {u"fix", adWChar, 4, _variant_t(u"abcd")},
      {u"bin", adVarBinary, 300, _variant_t::Bytes(blob.data(), blob.size())},
      {u"nul", adInteger, 4, _variant_t::Null()},
  };
  _RecordsetPtr rs(_Recordset::Create(), false);
  for (const F& f : fields)
    rs->GetFields()->Append(_bstr_t(f.name), f.type, f.size,
                            static_cast<FieldAttributeEnum>(adFldUpdatable | adFldIsNullable | adFldMayBeNull));
  rs->Open(_variant_t(), static_cast<_Connection*>(nullptr), adOpenKeyset, adLockBatchOptimistic);
  const long w = static_cast<long>(std::size(fields));
  for (int r = 0; r < 4; ++r) {
    rs->AddNew();
    for (long i = 0; i < w; ++i) rs->GetFields()->ItemByIndex(i)->PutValue(r == 3 ? _variant_t::Null() : fields[i].value);
    rs->Update();
  }
  const std::string fresh = rs->SaveToText();
  ExpectAgree(fresh, "new rows");

  // Without the insert wrapper the rows open unchanged; change one, delete
  // one, add one.
  std::string plain = fresh;
  for (const std::string tag : {"\t<rs:insert>\r\n", "\t</rs:insert>\r\n"}) plain.erase(plain.find(tag), tag.size());
  _RecordsetPtr back(_Recordset::Create(), false);
  _StreamPtr s(_Stream::Create(), false);
  s->Open();
  s->WriteBytes(plain);
  s->PutPosition(0);
  back->Open(s.GetInterfacePtr(), adOpenStatic, adLockBatchOptimistic);
  back->MoveFirst();
  back->GetFields()->ItemByName(u"txt")->PutValue(_variant_t(u"changed & <escaped>"));
  back->GetFields()->ItemByName(u"i4")->PutValue(_variant_t::Null());
  back->Update();
  back->MoveNext();
  back->Delete();
  back->AddNew();
  back->GetFields()->ItemByName(u"i4")->PutValue(_variant_t(7));
  back->Update();
  const std::string pending = back->SaveToText();
  ASSERT_NE(pending.find("rs:forcenull="), std::string::npos);
  ASSERT_NE(pending.find("<rs:delete>"), std::string::npos);
  ASSERT_NE(pending.find("<rs:insert>"), std::string::npos);
  ExpectAgree(pending, "pending changes");

  // The same in the encodings a file may come in.
  const std::string bom = "\xEF\xBB\xBF";
  ExpectAgree(bom + pending, "UTF-8 with a byte-order mark");
  ExpectAgree(bom + bom + pending, "two byte-order marks");
  const std::u16string wide = qvp::Utf8ToUtf16(pending);
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : wide) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  ExpectAgree(utf16, "UTF-16 with a byte-order mark");
}

// Refusals carry the model reader's description; a value that does not
// convert is reported only when no fault of the text itself comes later.
TEST(RecordsetXmlLoad, RefusalsMatchTheModelsReader) {
  const std::string head =
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
      " xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'><s:Schema id='RowsetSchema'>"
      "<s:ElementType name='row' content='eltOnly'><s:AttributeType name='a'>"
      "<s:datatype dt:type='int'/></s:AttributeType><s:AttributeType name='n' rs:nullable='true'>"
      "<s:datatype dt:type='number' rs:dbtype='numeric' rs:scale='28'/></s:AttributeType>"
      "</s:ElementType></s:Schema><rs:data>";
  const std::string big = "n='1000000000000000000000000000'";
  const struct {
    std::string rows;
    const char* reason;  // in both descriptions
  } cases[] = {
      {"<z:row a='1'></rs:data>", "malformed XML at line 1"},
      {"<z:row a='x'/>", "is not a valid int"},
      {"<z:row n='1'/>", "non-nullable field 'a' is missing"},
      {"<z:row a='1' b='2'/>", "'b' is not in the schema"},
      {"<rs:insert><z:row a='1' rs:forcenull='q'/></rs:insert>", "forcenull names unknown field 'q'"},
      {"<rs:update><z:row a='2'/></rs:update>", "lacks its original"},
      {"<z:rows a='1'/>", "unexpected element 'z:rows'"},
      {"<z:row a='1' " + big + "/>", "does not convert"},
      {"<z:row a='1' " + big + "/><z:row a='1' c='1'/>", "'c' is not in the schema"},
      {"<rs:update><rs:original><z:row a='1'/></rs:original><z:row " + big + "/></rs:update>", "does not convert"},
  };
  for (const auto& c : cases) {
    const std::string text = head + c.rows + "</rs:data></xml>";
    std::string direct, model;
    try {
      data::LoadText(text);
    } catch (const _com_error& e) {
      direct = qvp::Utf16ToUtf8(e.Description().str());
    }
    try {
      qvp::persist::Document doc;
      std::string error;
      if (!qvp::persist::Read(text, doc, error))
        model = "Recordset cannot be created. Source XML is incomplete or invalid: " + error;
      else
        data::FromDocument(doc);
    } catch (const _com_error& e) {
      model = qvp::Utf16ToUtf8(e.Description().str());
    }
    EXPECT_NE(direct.find(c.reason), std::string::npos) << c.rows << "\n" << direct;
    EXPECT_EQ(direct, model) << c.rows;
  }
}

// A control character XML 1.0 does not allow is written as the platform
// writes it, a reference; the file, like the platform's own, does not open
// again, and the description says why.
TEST(RecordsetXmlLoad, AControlCharacterIsWrittenButDoesNotReadBack) {
  qvp::persist::Document d;
  qvp::persist::Column c;
  c.name = "t";
  c.number = 1;
  c.type = adVarWChar;
  c.maxLength = 10;
  c.nullable = true;
  d.columns.push_back(c);
  qvp::persist::Row r;
  r.values = {{false, "a\x01"
                      "b"}};
  d.rows.push_back(r);
  const std::string text = qvp::persist::Write(d);
  EXPECT_NE(text.find("t='a&#x1;b'"), std::string::npos);
  try {
    data::LoadText(text);
    ADD_FAILURE() << "opened";
  } catch (const _com_error& e) {
    EXPECT_NE(qvp::Utf16ToUtf8(e.Description().str()).find("invalid character"), std::string::npos);
  }
}

}  // namespace
