// A recordset saves the text the document model writes for the same rows:
// every field type, nulls, empty text, escapes, wrapped hex and each kind
// of pending change, with the values' texts unchanged by the trip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qv_platform/data/ado.h"
#include "qv_platform/data/persist.h"
#include "qv_platform/data/stream.h"
#include "qv_platform/unicode.h"

using namespace AdoNS;
using qvp::persist::Cell;
using qvp::persist::Column;
using qvp::persist::Document;
using qvp::persist::RowKind;

namespace {

struct Field {
  const char* name;
  DataTypeEnum type;
  std::uint64_t size;
  const char* text;  // the value of the first row, as the writer writes it
};

// One field of each type the format holds, with a value whose text is
// already in the writer's form.
const Field kFields[] = {
    {"id", adInteger, 4, "1"},
    {"i1", adTinyInt, 1, "-128"},
    {"i2", adSmallInt, 2, "-32768"},
    {"i8", adBigInt, 8, "-9223372036854775808"},
    {"u1", adUnsignedTinyInt, 1, "255"},
    {"u2", adUnsignedSmallInt, 2, "65535"},
    {"u4", adUnsignedInt, 4, "4294967295"},
    {"u8", adUnsignedBigInt, 8, "18446744073709551615"},
    {"r4", adSingle, 4, "0.1"},
    {"r8", adDouble, 8, "-0"},
    {"big", adDouble, 8, "1e+300"},
    {"cy", adCurrency, 8, "-922337203685477.5808"},
    {"dec", adDecimal, 16, "0.0000000000000000000000000001"},
    {"num", adNumeric, 19, "-.5000"},
    {"ok", adBoolean, 2, "True"},
    {"guid", adGUID, 16, "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
    {"at", adDate, 16, "2026-06-12T14:30:15"},
    {"ts", adDBTimeStamp, 16, "1999-12-31T23:59:59"},
    {"ft", adFileTime, 16, "2000-01-01T00:00:01"},
    {"day", adDBDate, 6, "2038-01-19"},
    {"t", adDBTime, 6, "03:14:07"},
    {"narrow", adVarChar, 40, ""},
    {"Full Name", adVarWChar, 200, "it's <a> & \"b\"\r\n\t 한글 😀"},
    {"memo", adLongVarWChar, 4294967295u, "plain"},
    {"bin", adVarBinary, 400, "00ff7f"},
};
constexpr std::size_t kWidth = std::size(kFields);
constexpr std::size_t kName = 22, kBin = 24, kNum = 13;

Document Base() {
  Document d;
  for (const Field& f : kFields) {
    Column c;
    c.name = f.name;
    if (!qvp::persist::RowNameValid(c.name)) c.name = "c" + std::to_string(d.columns.size()), c.alias = f.name;
    c.number = static_cast<long>(d.columns.size() + 1);
    c.type = f.type;
    c.maxLength = f.size;
    c.nullable = c.write = true;
    c.isLong = f.type == adLongVarWChar;
    if (f.type == adNumeric) c.precision = 10, c.scale = 4, c.hasScale = true;
    if (f.type == adDecimal) c.precision = 28, c.scale = 28, c.hasScale = true;
    d.columns.push_back(c);
  }
  for (int r = 0; r < 3; ++r) {
    qvp::persist::Row row;
    for (const Field& f : kFields) row.values.push_back({false, f.text});
    row.values[0].text = std::to_string(r + 1);
    d.rows.push_back(row);
  }
  return d;
}

_RecordsetPtr Open(const std::string& text, LockTypeEnum lock) {
  _StreamPtr s(_Stream::Create(), false);
  s->Open();
  s->WriteBytes(text);
  s->PutPosition(0);
  _RecordsetPtr rs(_Recordset::Create(), false);
  try {
    rs->Open(s.GetInterfacePtr(), adOpenStatic, lock);
  } catch (const _com_error& e) {
    ADD_FAILURE() << qvp::Utf16ToUtf8(e.Description().view());
    throw;
  }
  return rs;
}

std::string Hex(std::size_t bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string h;
  for (std::size_t i = 0; i < bytes; ++i) h += kHex[i * 7 % 16], h += kHex[i % 16];
  return h;
}

_variant_t Bytes(const std::string& hex) {
  std::string b;
  for (std::size_t i = 0; i < hex.size(); i += 2) b += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return _variant_t::Bytes(b.data(), b.size());
}

// Saves `rs`, checks that the model reads the text and writes it back byte
// for byte, and returns what it read.
Document SaveAndRead(_Recordset* rs, std::string& text) {
  text = rs->SaveToText();
  Document doc;
  std::string error;
  EXPECT_TRUE(qvp::persist::Read(text, doc, error)) << error;
  EXPECT_EQ(qvp::persist::Write(doc), text);
  return doc;
}

TEST(RecordsetSave, EveryKindOfRowAndValueIsTheModelsText) {
  const Document base = Base();
  _RecordsetPtr rs = Open(qvp::persist::Write(base), adLockBatchOptimistic);
  Fields* f = rs->GetFields();
  // Row 1 stays; row 2 gets a new text and a null; row 3 is deleted.
  rs->MoveNext();
  f->ItemByIndex(kName)->PutValue(_variant_t(u"changed 'again'"));
  f->ItemByIndex(kNum)->PutValue(_variant_t::Null());
  f->ItemByIndex(1)->PutValue(_variant_t(std::int64_t{-128}, VT_I1));  // the same value: not a change
  rs->Update();
  rs->MoveNext();
  rs->Delete();
  // New rows with hex values around the line widths, the rest null; one
  // text holds a lone surrogate, written as U+FFFD.
  const std::size_t lengths[] = {1, 30, 31, 32, 53, 54, 55, 56, 110, 111, 400};
  for (std::size_t n : lengths) {
    rs->AddNew();
    f->ItemByIndex(0)->PutValue(_variant_t(static_cast<int>(100 + n)));
    f->ItemByIndex(kBin)->PutValue(Bytes(Hex(n)));
    f->ItemByIndex(kName)->PutValue(_variant_t(std::u16string_view(u"lone \xD800 end")));
    rs->Update();
  }
  // A new row deleted again is left out.
  rs->AddNew();
  f->ItemByIndex(0)->PutValue(_variant_t(999));
  rs->Update();
  rs->Delete();

  std::string text;
  const Document back = SaveAndRead(rs, text);
  ASSERT_EQ(back.rows.size(), 3 + std::size(lengths));
  EXPECT_EQ(back.rows[0].kind, RowKind::Unchanged);
  EXPECT_EQ(back.rows[0].values, base.rows[0].values) << "every value's text survives the trip";

  const auto& mod = back.rows[1];
  ASSERT_EQ(mod.kind, RowKind::Modified);
  EXPECT_EQ(mod.original, base.rows[1].values);
  std::vector<bool> changed(kWidth, false);
  changed[kName] = changed[kNum] = true;
  EXPECT_EQ(mod.changed, changed);
  EXPECT_EQ(mod.values[kName].text, "changed 'again'");
  EXPECT_TRUE(mod.values[kNum].null);
  EXPECT_NE(text.find("<z:row c22='changed &#x27;again&#x27;' rs:forcenull='num'/>"), std::string::npos);

  for (std::size_t i = 0; i < std::size(lengths); ++i) {
    const auto& row = back.rows[2 + i];
    EXPECT_EQ(row.kind, RowKind::Inserted) << i;
    EXPECT_EQ(row.values[kBin].text, Hex(lengths[i])) << lengths[i];
    EXPECT_EQ(row.values[kName].text, "lone \xEF\xBF\xBD end");
    EXPECT_TRUE(row.values[1].null);
  }
  EXPECT_EQ(back.rows.back().kind, RowKind::Deleted) << "deleted rows come last";
  EXPECT_EQ(back.rows.back().values, base.rows[2].values);
  EXPECT_EQ(text.find("'999'"), std::string::npos);
  // One insert element holds the consecutive new rows.
  EXPECT_EQ(text.find("<rs:insert>"), text.rfind("<rs:insert>"));
}

TEST(RecordsetSave, ReadOnlyAndEmptyRecordsets) {
  Document base = Base();
  for (const bool rows : {true, false}) {
    if (!rows) base.rows.clear();
    _RecordsetPtr rs = Open(qvp::persist::Write(base), adLockReadOnly);
    std::string text;
    const Document back = SaveAndRead(rs, text);
    EXPECT_EQ(text.find("rs:updatable"), std::string::npos);
    EXPECT_EQ(back.rows.size(), base.rows.size());
    EXPECT_TRUE(text.ends_with("<rs:data>\r\n</rs:data>\r\n</xml>") != rows);
  }
}

// Hex values wrap by the column where they start: a second one on a row
// starts on the line the first one wrapped onto.
TEST(RecordsetSave, SeveralWrappedHexValuesOnOneRow) {
  _RecordsetPtr rs(_Recordset::Create(), false);
  const auto attrs = static_cast<FieldAttributeEnum>(adFldUpdatable | adFldIsNullable | adFldMayBeNull);
  rs->GetFields()->Append(_bstr_t(u"a"), adVarBinary, 4000, attrs);
  rs->GetFields()->Append(_bstr_t(u"note"), adVarWChar, 100, attrs);
  rs->GetFields()->Append(_bstr_t(u"b"), adLongVarBinary, 4000, attrs);
  rs->Open(_variant_t(), static_cast<_Connection*>(nullptr), adOpenKeyset, adLockBatchOptimistic);
  const std::size_t lengths[][2] = {{1, 1}, {40, 40}, {54, 1}, {55, 55}, {200, 7}, {111, 300}, {0, 56}};
  for (const auto& n : lengths) {
    rs->AddNew();
    rs->GetFields()->ItemByIndex(0)->PutValue(n[0] ? Bytes(Hex(n[0])) : _variant_t::Null());
    rs->GetFields()->ItemByIndex(1)->PutValue(_variant_t(u"between"));
    rs->GetFields()->ItemByIndex(2)->PutValue(Bytes(Hex(n[1])));
    rs->Update();
  }
  std::string text;
  const Document back = SaveAndRead(rs, text);
  ASSERT_EQ(back.rows.size(), std::size(lengths));
  for (std::size_t r = 0; r < std::size(lengths); ++r) {
    EXPECT_EQ(back.rows[r].values[0].text, lengths[r][0] ? Hex(lengths[r][0]) : "") << r;
    EXPECT_EQ(back.rows[r].values[2].text, Hex(lengths[r][1])) << r;
  }
}

// A GUID field holds whatever text was put in it: the save writes a GUID's
// text braced and upper-case, and refuses one that is not a GUID.
TEST(RecordsetSave, GuidTextsAreNormalisedOrRefused) {
  const struct {
    const char16_t* value;
    const char* written;  // null: refused
  } cases[] = {
      {u"{6b29fc40-ca47-1067-b31d-00dd010662da}", "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
      {u"6b29fc40-ca47-1067-b31d-00dd010662da", "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
      {u"{00000000-0000-0000-0000-000000000000}", "{00000000-0000-0000-0000-000000000000}"},
      {u"{6B29FC40-CA47-1067-B31D-00DD010662D}", nullptr},     // a digit short
      {u"{6B29FC40-CA47-1067-B31D-00DD010662DAA}", nullptr},   // a digit long
      {u"{6B29FC40-CA47-1067-B31D-00DD010662DG}", nullptr},    // not hex
      {u"{6B29FC40-CA47-1067-B31D-00DD010662D\u00e9}", nullptr},  // beyond ASCII
      {u"{6B29FC40CCA47-1067-B31D-00DD010662DA}", nullptr},    // a dash missing
      {u"{6B29FC40-CA47-1067-B31D-00DD010662DA}}}}", nullptr},  // longer than any GUID
      {u"{6B29FC40-CA47-1067-B31D-00DD010662\uff21A}", nullptr},  // a unit from 0x8000 up
      {u"{6B29FC40-CA47-1067-\u0142\u0131\u0131D-00DD010662DA}", nullptr},  // units that narrow to hex
      {u"{abc}", nullptr},
      {u"", nullptr},
  };
  for (const auto& c : cases) {
    _RecordsetPtr rs(_Recordset::Create(), false);
    rs->GetFields()->Append(_bstr_t(u"id"), adGUID, 16, static_cast<FieldAttributeEnum>(adFldUpdatable));
    rs->Open(_variant_t(), static_cast<_Connection*>(nullptr), adOpenKeyset, adLockBatchOptimistic);
    rs->AddNew();
    rs->GetFields()->ItemByIndex(0)->PutValue(_variant_t(c.value));
    rs->Update();
    const std::string what = qvp::Utf16ToUtf8(c.value);
    try {
      const std::string text = rs->SaveToText();
      ASSERT_NE(c.written, nullptr) << "saved: " << what;
      EXPECT_NE(text.find(std::string(" id='") + c.written + "'"), std::string::npos) << what;
    } catch (const _com_error& e) {
      EXPECT_EQ(c.written, nullptr) << what << ": " << qvp::Utf16ToUtf8(e.Description().view());
      EXPECT_EQ(e.Error(), adErrDataConversion) << what;
    }
  }
}

}  // namespace
