// The recordset XML persistence format: the saved files of the Windows
// platform read and write back byte for byte; other accepted shapes; bad
// input refused with the model kept.
#include "qv_platform/data/persist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include "support/ado_samples.h"

namespace {

using namespace qvp::persist;
namespace fs = std::filesystem;

TEST(PersistSamples, EverySavedFileReadsAndWritesBackByteForByte) {
  SKIP_WITHOUT_ADO_SAMPLES();
  int files = 0;
  for (const auto& e : fs::directory_iterator(qvtest::AdoSamplesDir())) {
    if (e.path().extension() != ".xml") continue;
    std::string bytes = qvtest::ReadFile(e.path()), error;
    Document doc;
    ASSERT_TRUE(Read(bytes, doc, error)) << e.path().filename() << ": " << error;
    const bool saved = e.path().filename().string().starts_with("tg-");
    ASSERT_EQ(doc.columns.size(), saved ? 2u : 3u);
    ++files;
    // The documentation's example is hand-formatted; every other file is
    // the platform's own output.
    if (saved) {
      EXPECT_EQ(Write(doc), bytes) << e.path().filename();
    }
    Document again;
    ASSERT_TRUE(Read(Write(doc), again, error)) << error;
    ASSERT_EQ(again.rows.size(), doc.rows.size());
    for (std::size_t i = 0; i < doc.rows.size(); ++i) EXPECT_EQ(again.rows[i].values, doc.rows[i].values);
  }
  EXPECT_EQ(files, 75);
}

struct Expect {
  const char* file;
  AdoNS::DataTypeEnum type;
  std::uint64_t size;
  const char* original;  // row 1 before its change
  const char* changed;   // row 1 after (nullptr: set to null)
  const char* inserted;  // row 4 (nullptr: null)
};

TEST(PersistSamples, FieldsValuesAndPendingChangesComeOutAsTheFileSays) {
  SKIP_WITHOUT_ADO_SAMPLES();
  const Expect cases[] = {
      {"Integer_states", AdoNS::adInteger, 4, "-2147483647", "1", "2147483647"},
      {"BSTR_states", AdoNS::adLongVarWChar, 4294967295u, "", "\xED\x95\x9C\xEA\xB8\x80", "tail-value"},
      {"VarChar_states", AdoNS::adVarChar, 120, "", "\xED\x95\x9C\xEA\xB8\x80", "tail-value"},
      {"Char_states", AdoNS::adChar, 12, "            ", "twelve-char ", "last        "},
      {"Currency_states", AdoNS::adCurrency, 8, "-922337203685477.5808", "1.0001", "922337203685477.5807"},
      {"Numeric_states", AdoNS::adNumeric, 19, "-922337.5808", "1.2345", "922337.5807"},
      {"GUID_states", AdoNS::adGUID, 16, "{00000000-0000-0000-0000-000000000000}",
       "{01234567-89AB-CDEF-0123-456789ABCDEF}", "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
      {"DBTimeStamp_states", AdoNS::adDBTimeStamp, 16, "1899-12-30T00:00:00", "2026-06-12T14:30:15",
       "2038-01-19T03:14:07"},
      {"Boolean_null_states", AdoNS::adBoolean, 2, "False", nullptr, nullptr},
      {"VarWChar_null_states", AdoNS::adVarWChar, 120, "", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string error;
    Document doc;
    ASSERT_TRUE(Read(qvtest::ReadFile(qvtest::AdoSamplesDir() / (std::string("tg-exhaustive-flat_") + c.file + ".xml")), doc, error)) << error;
    const Column& v = doc.columns[1];
    EXPECT_EQ(v.name, "VALUE_FIELD");
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.maxLength, c.size);
    EXPECT_TRUE(v.nullable);
    EXPECT_FALSE(doc.columns[0].nullable);
    ASSERT_EQ(doc.rows.size(), 4u);
    EXPECT_EQ(doc.rows[0].kind, RowKind::Modified);
    EXPECT_EQ(doc.rows[1].kind, RowKind::Unchanged);
    EXPECT_EQ(doc.rows[2].kind, RowKind::Inserted);
    EXPECT_EQ(doc.rows[3].kind, RowKind::Deleted);
    const Row& m = doc.rows[0];
    EXPECT_EQ(m.original[0].text, "1");
    EXPECT_EQ(m.original[1].text, c.original);
    EXPECT_FALSE(m.changed[0]);
    EXPECT_TRUE(m.changed[1]);
    EXPECT_EQ(m.values[0].text, "1");  // unchanged fields carry over
    EXPECT_EQ(m.values[1].null, c.changed == nullptr);
    if (c.changed) {
      EXPECT_EQ(m.values[1].text, c.changed);
    }
    EXPECT_EQ(doc.rows[2].values[0].text, "4");
    EXPECT_EQ(doc.rows[2].values[1].null, c.inserted == nullptr);
    if (c.inserted) {
      EXPECT_EQ(doc.rows[2].values[1].text, c.inserted);
    }
    EXPECT_EQ(doc.rows[3].values[0].text, "2");
  }
}

TEST(PersistSamples, EscapedTextAndWrappedHexReadAsPlainValues) {
  SKIP_WITHOUT_ADO_SAMPLES();
  std::string error;
  Document doc;
  ASSERT_TRUE(Read(qvtest::ReadFile(qvtest::AdoSamplesDir() / "tg-exhaustive-flat_VarWChar_states.xml"), doc, error));
  EXPECT_EQ(doc.rows[1].values[1].text, "Joe's <xml> & data");
  ASSERT_TRUE(Read(qvtest::ReadFile(qvtest::AdoSamplesDir() / "tg-exhaustive-flat_LongVarBinary_states.xml"), doc, error));
  const std::string& hex = doc.rows[1].values[1].text;
  EXPECT_EQ(hex.find_first_of(" \t\r\n"), std::string::npos);
  EXPECT_EQ(hex.size() % 2, 0u);
  EXPECT_EQ(hex.substr(0, 8), "4a5d7083");
}

Document Built() {
  Document d;
  auto col = [](const char* n, AdoNS::DataTypeEnum t, std::uint64_t size, bool nullable) {
    Column c;
    c.name = n;
    c.type = t;
    c.maxLength = size;
    c.nullable = nullable;
    return c;
  };
  Column id = col("ID", AdoNS::adInteger, 4, false), name = col("c1", AdoNS::adVarWChar, 50, true),
         amount = col("Amount", AdoNS::adNumeric, 19, true), blob = col("Blob", AdoNS::adLongVarBinary, 4000, true);
  id.number = 1, name.number = 2, amount.number = 3, blob.number = 4;
  id.fixedLength = amount.fixedLength = true;
  name.alias = "Full Name";
  name.write = true;
  amount.precision = 9, amount.scale = 2, amount.hasScale = true;
  blob.isLong = true;
  d.columns = {id, name, amount, blob};
  auto cell = [](const char* t) { return t ? Cell{false, t} : Cell{}; };
  d.rows.push_back({RowKind::Unchanged, {cell("1"), cell("a\tb\r\n\"q\""), cell(".00"), cell(std::string(300, 'f').c_str())}, {}, {}});
  d.rows.push_back({RowKind::Modified, {cell("2"), cell(nullptr), cell("-1.50"), cell(nullptr)},
                    {cell("2"), cell("old"), cell("1.00"), cell(nullptr)}, {false, true, true, false}});
  d.rows.push_back({RowKind::Inserted, {cell("3"), cell(""), cell(nullptr), cell(nullptr)}, {}, {}});
  d.rows.push_back({RowKind::Inserted, {cell("4"), cell("x"), cell("2.00"), cell("00")}, {}, {}});
  d.rows.push_back({RowKind::Deleted, {cell("5"), cell("gone"), cell(nullptr), cell(nullptr)}, {}, {}});
  return d;
}

TEST(Persist, ARecordsetBuiltInMemoryWritesWhatTheReaderGivesBack) {
  Document d = Built(), back;
  std::string text = Write(d), error;
  ASSERT_TRUE(Read(text, back, error)) << error;
  ASSERT_EQ(back.columns.size(), 4u);
  EXPECT_EQ(back.columns[1].FieldName(), "Full Name");
  EXPECT_EQ(back.columns[2].scale, 2);
  ASSERT_EQ(back.rows.size(), d.rows.size());
  for (std::size_t i = 0; i < d.rows.size(); ++i) {
    EXPECT_EQ(back.rows[i].kind, d.rows[i].kind) << i;
    EXPECT_EQ(back.rows[i].values, d.rows[i].values) << i;
  }
  EXPECT_EQ(back.rows[1].original, d.rows[1].original);
  EXPECT_EQ(Write(back), text);
  EXPECT_NE(text.find("<rs:insert>\r\n\t\t<z:row ID='3' c1='' rs:forcenull='Amount Blob'/>\r\n\t\t<z:row ID='4'"),
            std::string::npos);
  EXPECT_NE(text.find("c1='a&#x9;b&#xd;&#xa;&#x22;q&#x22;'"), std::string::npos);
  EXPECT_EQ(text.find("<?xml"), std::string::npos);
}

TEST(Persist, OtherShapesThePlatformReads) {
  struct Case {
    const char* what;
    std::string text;
    std::size_t columns, rows;
  };
  const std::string head =
      "<xml xmlns:s=\"uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882\" xmlns:dt=\"uuid:C2F41010-65B3-11d1-A29F-00AA00C14882\" "
      "xmlns:rs=\"urn:schemas-microsoft-com:rowset\" xmlns:z=\"#RowsetSchema\">";
  const Case cases[] = {
      {"bare column names",
       head + "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'><s:AttributeType name='a'/>"
              "<s:AttributeType name='b'/></s:ElementType></s:Schema><rs:data><z:row a='1'/><z:row b='x'/></rs:data></xml>",
       2, 2},
      {"columns by reference",
       head + "<s:Schema id='RowsetSchema'><s:AttributeType name='k'><s:datatype dt:type='i4'/></s:AttributeType>"
              "<s:ElementType name='row' content='eltOnly'><s:attribute type='k'/></s:ElementType></s:Schema>"
              "<rs:data><z:row k='7'/></rs:data></xml>",
       1, 1},
      {"hierarchical",
       head + "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'><s:AttributeType name='p'>"
              "<s:datatype dt:type='int'/></s:AttributeType><s:ElementType name='child' content='eltOnly'>"
              "<s:AttributeType name='q'/></s:ElementType></s:ElementType></s:Schema>"
              "<rs:data><z:row p='1'><child q='2'/></z:row></rs:data></xml>",
       1, 1},
      {"no data", head + "<s:Schema id='RowsetSchema'><s:ElementType name='row'><s:AttributeType name='a'/>"
                         "</s:ElementType></s:Schema></xml>",
       1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Document d;
    std::string error;
    ASSERT_TRUE(Read(c.text, d, error)) << error;
    EXPECT_EQ(d.columns.size(), c.columns);
    EXPECT_EQ(d.rows.size(), c.rows);
  }
  // UTF-16 with its byte-order mark, as a wide-text stream saves it.
  std::string utf16 = "\xFF\xFE";
  for (char ch : cases[0].text) utf16 += {ch, '\0'};
  Document d;
  std::string error;
  ASSERT_TRUE(Read(utf16, d, error)) << error;
  EXPECT_EQ(d.rows[1].values[1].text, "x");
  ASSERT_TRUE(Read(cases[2].text, d, error));
  EXPECT_EQ(d.skippedChildren, std::vector<std::string>{"child"});
}

TEST(Persist, BadInputIsRefusedAndTheEarlierModelKept) {
  const std::string schema =
      "<xml xmlns:s='s' xmlns:dt='d' xmlns:rs='r' xmlns:z='z'><s:Schema id='RowsetSchema'>"
      "<s:ElementType name='row' content='eltOnly'><s:AttributeType name='ID' rs:number='1'>"
      "<s:datatype dt:type='int' dt:maxLength='4'/></s:AttributeType>"
      "<s:AttributeType name='V' rs:number='2' rs:nullable='true'><s:datatype dt:type='%T' dt:maxLength='%S'/>"
      "</s:AttributeType></s:ElementType></s:Schema><rs:data>%R</rs:data></xml>";
  auto make = [&](std::string type, std::string size, std::string rows) {
    std::string s = schema;
    s.replace(s.find("%T"), 2, type);
    s.replace(s.find("%S"), 2, size);
    s.replace(s.find("%R"), 2, rows);
    return s;
  };
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"", "malformed XML"},
      {"<xml><rs:data/>", "malformed XML"},
      {"<xml><rs:data/></xml>", "no rowset schema"},
      {make("money", "8", ""), "unknown data type 'money'"},
      {make("i2", "2", "<z:row ID='1' V='70000'/>"), "'70000' is not a valid i2"},
      {make("uuid", "16", "<z:row ID='1' V='{nope}'/>"), "is not a valid uuid"},
      {make("bin.hex", "8", "<z:row ID='1' V='abc'/>"), "is not a valid bin.hex"},
      {make("dateTime", "16", "<z:row ID='1' V='2026-13-01T00:00:00'/>"), "is not a valid timestamp"},
      {make("int", "4", "<z:row ID='1' W='1'/>"), "field 'W' is not in the schema"},
      {make("int", "4", "<z:row V='1'/>"), "non-nullable field 'ID' is missing"},
      {make("string", "99999999999", ""), "dt:maxLength '99999999999' is out of range"},
      {make("int", "4", "<rs:update><z:row V='1'/></rs:update>"), "lacks its original"},
      {make("int", "4", "<z:row ID='1' rs:forcenull='Q'/>"), "unknown field 'Q'"},
  };
  Document keep;
  keep.columns.emplace_back().name = "kept";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_FALSE(Read(c.text, keep, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    ASSERT_EQ(keep.columns.size(), 1u);
    EXPECT_EQ(keep.columns[0].name, "kept");
  }
}

TEST(Persist, DateAndTimeTexts) {
  const struct {
    AdoNS::DataTypeEnum type;
    const char* text;
    bool valid;
  } cases[] = {
      {AdoNS::adDBTimeStamp, "2026-06-12T14:30:15", true},   {AdoNS::adDBTimeStamp, "2026-06-12T14:30:15.5", true},
      {AdoNS::adDBTimeStamp, "0001-01-01T00:00:00.123456789", true},
      {AdoNS::adDBTimeStamp, "2026-06-12T14:30:15.", false},  // a point without digits
      {AdoNS::adDBTimeStamp, "2026-06-12T14:30:15.1234567890", false},
      {AdoNS::adDate, "2026-06-12 14:30:15", false},          {AdoNS::adDate, "2026-06-12", false},
      {AdoNS::adFileTime, "2026-02-31T24:00:00", false},      {AdoNS::adFileTime, "2026-02-31T23:59:59", true},
      {AdoNS::adDBDate, "2026-06-12", true},                  {AdoNS::adDBDate, "2026-06-12T00:00:00", false},
      {AdoNS::adDBDate, "2026-00-12", false},                 {AdoNS::adDBDate, "2026-6-12", false},
      {AdoNS::adDBTime, "23:59:59", true},                    {AdoNS::adDBTime, "23:60:00", false},
      {AdoNS::adDBTime, "7:00:00", false},                    {AdoNS::adDBTime, "07:00:00.25", true},
      {AdoNS::adDBTime, "", false},
  };
  for (const auto& c : cases) {
    Column col;
    col.type = c.type;
    EXPECT_EQ(ValueValid(col, c.text), c.valid) << c.type << " " << c.text;
  }
}

TEST(Persist, ScaledValueTexts) {
  const struct {
    bool negative;
    const char* digits;
    int scale;
    bool numeric;
    const char* text;
  } cases[] = {
      {false, "0", 4, true, ".0000"},       {false, "0", 4, false, "0"},
      {false, "12345", 4, true, "1.2345"},  {true, "9223372036854775808", 4, false, "-922337203685477.5808"},
      {false, "10001", 4, false, "1.0001"}, {true, "1", 28, false, "-0.0000000000000000000000000001"},
      {true, "1", 28, true, "-.0000000000000000000000000001"}, {false, "0", 0, true, "0"},
      {true, "9", 0, true, "-9"},           {false, "12300", 2, false, "123"},
      {true, "0", 2, true, ".00"},          {false, "0050", 2, false, "0.5"},
      {false, "", 3, false, "0"},           {false, "1200", 2, true, "12.00"},
      {true, "000", 2, false, "0"},         {false, "7", 3, true, ".007"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatScaled(c.negative, c.digits, c.scale, c.numeric), c.text) << c.digits;
}

}  // namespace
