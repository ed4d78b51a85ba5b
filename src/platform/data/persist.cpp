// Reader and writer of the XML persistence format (rules in persist.h).
#include "qv_platform/data/persist.h"

#include <array>
#include <charconv>
#include <cstring>
#include <map>

#include "persist_write.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"
#include "persist_read.h"

namespace qvp::persist {
namespace {

using namespace AdoNS;

struct TypeRow {
  DataTypeEnum type;
  TypeText text;
};

// Field type <-> dt:type [rs:dbtype] and the size of fixed-size types.
constexpr TypeRow kTypes[] = {
    {adTinyInt, {"i1", nullptr, 1}},          {adSmallInt, {"i2", nullptr, 2}},
    {adInteger, {"int", nullptr, 4}},         {adBigInt, {"i8", nullptr, 8}},
    {adUnsignedTinyInt, {"ui1", nullptr, 1}}, {adUnsignedSmallInt, {"ui2", nullptr, 2}},
    {adUnsignedInt, {"ui4", nullptr, 4}},     {adUnsignedBigInt, {"ui8", nullptr, 8}},
    {adSingle, {"r4", nullptr, 4}},           {adDouble, {"float", nullptr, 8}},
    {adCurrency, {"number", "currency", 8}},  {adDecimal, {"number", "decimal", 16}},
    {adNumeric, {"number", "numeric", 19}},   {adBoolean, {"boolean", nullptr, 2}},
    {adGUID, {"uuid", nullptr, 16}},          {adDate, {"dateTime", "variantdate", 16}},
    {adDBTimeStamp, {"dateTime", "timestamp", 16}}, {adFileTime, {"dateTime", "filetime", 16}},
    {adDBDate, {"date", nullptr, 6}},         {adDBTime, {"time", nullptr, 6}},
    {adChar, {"string", "str", 0}},           {adVarChar, {"string", "str", 0}},
    {adLongVarChar, {"string", "str", 0}},    {adWChar, {"string", nullptr, 0}},
    {adVarWChar, {"string", nullptr, 0}},     {adLongVarWChar, {"string", nullptr, 0}},
    {adBSTR, {"string", nullptr, 0}},         {adBinary, {"bin.hex", nullptr, 0}},
    {adVarBinary, {"bin.hex", nullptr, 0}},   {adLongVarBinary, {"bin.hex", nullptr, 0}},
};

constexpr std::uint64_t kUnbounded = 4294967295ull;
constexpr std::size_t kSchemaWidth = 128;

// ---- value checks ----

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

template <typename T>
bool IntIn(std::string_view s) {
  T v{};
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size();
}

bool DecimalText(std::string_view s) {
  if (!s.empty() && s[0] == '-') s.remove_prefix(1);
  auto dot = s.find('.');
  std::string_view ip = s.substr(0, dot), fp = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  if (ip.empty() && fp.empty()) return false;
  if (!ip.empty() && !AllDigits(ip)) return false;
  if (dot != std::string_view::npos && !fp.empty() && !AllDigits(fp)) return false;
  if (dot != std::string_view::npos && fp.empty() && ip.empty()) return false;
  return ip.size() + fp.size() <= 40;
}

using write::GuidText;
using write::HexDigit;

// ---- writing ----

using write::AppendEscaped;

// Appends " name='value'" to a schema element, wrapping the line first when
// the attribute would end past the schema width.
void SchemaAttr(std::string& out, std::size_t tabs, std::string_view name, std::string_view value) {
  std::string attr = " ";
  attr += name;
  attr += "='";
  AppendEscaped(attr, value);
  attr += '\'';
  if (write::LineColumn(out) + attr.size() > kSchemaWidth) {
    out += "\r\n";
    out.append(tabs, '\t');
  }
  out += attr;
}

bool IsBinary(const Column& c) { return write::IsBinary(c.type); }

// ---- reading ----

std::string_view Local(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view TypeName(const Column& c) {
  for (const auto& row : kTypes)
    if (row.type == c.type) return row.text.dbType ? row.text.dbType : row.text.dtType;
  return "value";
}

bool Flag(const XmlNode& n, std::string_view attr) {
  auto a = n.GetAttributeNode(attr);
  return a && (a.ValueUtf8() == "true" || a.ValueUtf8() == "1");
}

std::string Attr(const XmlNode& n, std::string_view attr) {
  auto a = n.GetAttributeNode(attr);
  return a ? std::string(a.ValueUtf8()) : std::string();
}

using detail::Fail;

bool NumberAttr(const XmlNode& n, std::string_view attr, std::uint64_t& v, std::uint64_t max, const std::string& field) {
  auto a = n.GetAttributeNode(attr);
  if (!a) return false;
  auto t = a.ValueUtf8();
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || p != t.data() + t.size() || v > max)
    throw Fail{"field '" + field + "': " + std::string(attr) + " '" + std::string(t) + "' is out of range"};
  return true;
}

// A name rows can carry as an attribute: an XML name that is neither a
// namespace declaration nor the format's own forcenull attribute.
bool RowAttributeName(std::string_view n) {
  if (n.empty() || n.starts_with("xmlns") || n == "rs:forcenull") return false;
  for (std::size_t i = 0; i < n.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(n[i]);
    bool ok = c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
              (i > 0 && ((c >= '0' && c <= '9') || c == '.' || c == '-'));
    if (!ok) return false;
  }
  return true;
}

Column ReadColumn(const XmlNode& at) {
  Column c;
  c.name = Attr(at, "name");
  if (c.name.empty()) throw Fail{"a field of the schema has no name"};
  if (!RowAttributeName(c.name)) throw Fail{"field name '" + c.name + "' is not an XML name (use rs:name for it)"};
  c.alias = Attr(at, "rs:name");
  std::uint64_t num = 0;
  if (NumberAttr(at, "rs:number", num, 100000, c.name)) c.number = static_cast<long>(num);
  c.nullable = Flag(at, "rs:nullable");
  c.write = Flag(at, "rs:write");
  c.baseCatalog = Attr(at, "rs:basecatalog");
  c.baseTable = Attr(at, "rs:basetable");
  c.baseColumn = Attr(at, "rs:basecolumn");
  c.keyColumn = Flag(at, "rs:keycolumn");
  XmlNode dt;
  for (XmlNode ch = at.FirstChild(); ch; ch = ch.NextSibling())
    if (ch.Type() == XmlNodeType::Element && Local(ch.NodeNameUtf8()) == "datatype") dt = ch;
  if (!dt) {  // a bare column: unbounded nullable text
    c.hasDatatype = false;
    c.type = adLongVarWChar;
    c.isLong = true;
    c.nullable = true;
    c.maxLength = kUnbounded;
    return c;
  }
  std::string type = Attr(dt, "dt:type"), db = Attr(dt, "rs:dbtype");
  c.fixedLength = Flag(dt, "rs:fixedlength");
  c.isLong = Flag(dt, "rs:long");
  std::uint64_t v = 0;
  NumberAttr(dt, "dt:maxLength", c.maxLength, kUnbounded, c.name);
  c.hasPrecision = NumberAttr(dt, "rs:precision", v, 255, c.name);
  c.precision = static_cast<int>(v);
  v = 0;
  c.hasScale = NumberAttr(dt, "rs:scale", v, 255, c.name);
  c.scale = static_cast<int>(v);
  c.hasMaybeNull = static_cast<bool>(dt.GetAttributeNode("rs:maybenull"));
  if (type == "i4") type = "int";
  if (type == "r8") type = "float";
  if (type == "string") {
    bool narrow = db == "str";
    c.type = c.isLong ? (narrow ? adLongVarChar : adLongVarWChar)
                      : c.fixedLength ? (narrow ? adChar : adWChar) : (narrow ? adVarChar : adVarWChar);
    return c;
  }
  if (type == "bin.hex") {
    c.type = c.isLong ? adLongVarBinary : c.fixedLength ? adBinary : adVarBinary;
    return c;
  }
  if (type == "number" && db.empty()) db = "numeric";
  if (type == "dateTime" && db.empty()) db = "timestamp";
  for (const auto& row : kTypes) {
    if (type == row.text.dtType && (row.text.dbType ? db == row.text.dbType : true)) {
      c.type = row.type;
      return c;
    }
  }
  throw Fail{"field '" + c.name + "': unknown data type '" + type + (db.empty() ? "" : "/" + db) + "'"};
}

struct Reader {
  Document& doc;
  std::map<std::string, std::size_t, std::less<>>& index;  // XML name -> column

  void Schema(const XmlNode& schema) {
    std::map<std::string, XmlNode, std::less<>> shared;  // schema-level AttributeTypes
    XmlNode rowType;
    for (XmlNode n = schema.FirstChild(); n; n = n.NextSibling()) {
      if (n.Type() != XmlNodeType::Element) continue;
      auto local = Local(n.NodeNameUtf8());
      if (local == "AttributeType")
        shared.emplace(Attr(n, "name"), n);
      else if (local == "ElementType" && !rowType)
        rowType = n;
    }
    if (!rowType) throw Fail{"the schema declares no row element type"};
    for (XmlAttribute a = rowType.FirstAttribute(); a; a = a.Next()) {
      auto name = a.NameUtf8();
      if (name != "name" && name != "content") doc.properties.emplace_back(name, a.ValueUtf8());
    }
    for (XmlNode n = rowType.FirstChild(); n; n = n.NextSibling()) {
      if (n.Type() != XmlNodeType::Element) continue;
      auto local = Local(n.NodeNameUtf8());
      if (local == "AttributeType") {
        Add(ReadColumn(n));
      } else if (local == "attribute") {
        auto it = shared.find(Attr(n, "type"));
        if (it == shared.end()) throw Fail{"field reference '" + Attr(n, "type") + "' names no declared field"};
        Add(ReadColumn(it->second));
      } else if (local == "ElementType") {
        doc.skippedChildren.push_back(Attr(n, "name"));
      }
    }
    if (doc.columns.empty()) throw Fail{"the schema declares no fields"};
  }

  void Add(Column c) {
    if (!index.emplace(c.name, doc.columns.size()).second) throw Fail{"field '" + c.name + "' is declared twice"};
    if (c.number == 0) c.number = static_cast<long>(doc.columns.size() + 1);
    doc.columns.push_back(std::move(c));
  }
};

}  // namespace

bool RowNameValid(std::string_view name) { return RowAttributeName(name); }

bool TypeToText(DataTypeEnum type, TypeText& out) {
  for (const auto& row : kTypes)
    if (row.type == type) {
      out = row.text;
      return true;
    }
  return false;
}

bool ValueValid(const Column& c, std::string_view s) {
  switch (c.type) {
    case adTinyInt: return IntIn<std::int8_t>(s);
    case adSmallInt: return IntIn<std::int16_t>(s);
    case adInteger: return IntIn<std::int32_t>(s);
    case adBigInt: return IntIn<std::int64_t>(s);
    case adUnsignedTinyInt: return IntIn<std::uint8_t>(s);
    case adUnsignedSmallInt: return IntIn<std::uint16_t>(s);
    case adUnsignedInt: return IntIn<std::uint32_t>(s);
    case adUnsignedBigInt: return IntIn<std::uint64_t>(s);
    case adSingle:
    case adDouble: {
      double d = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
      return ec == std::errc() && p == s.data() + s.size();
    }
    case adCurrency:
    case adDecimal:
    case adNumeric: return DecimalText(s);
    case adBoolean: return s == "True" || s == "False" || s == "true" || s == "false" || s == "1" || s == "0";
    case adGUID: return GuidText(s);
    case adDBDate:
    case adDBTime:
    case adDate:
    case adDBTimeStamp:
    case adFileTime: {
      detail::DateTimeText parts;
      return detail::SplitDateTime(c.type, s, parts);
    }
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
      if (s.size() % 2) return false;
      for (char ch : s)
        if (!HexDigit(ch)) return false;
      return true;
    default: return true;
  }
}

std::string FormatScaled(bool negative, std::string_view digits, int scale, bool numericStyle) {
  std::string out;
  write::AppendScaled(out, negative, digits, scale, numericStyle);
  return out;
}

namespace write {

void AppendHead(std::string& out, const Document& doc) {
  out +=
      "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\r\n"
      "\txmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'\r\n"
      "\txmlns:rs='urn:schemas-microsoft-com:rowset'\r\n"
      "\txmlns:z='#RowsetSchema'>\r\n"
      "<s:Schema id='RowsetSchema'>\r\n"
      "\t<s:ElementType name='row' content='eltOnly'";
  for (const auto& [k, v] : doc.properties) SchemaAttr(out, 1, k, v);
  out += ">\r\n";
  for (const Column& c : doc.columns) {
    out += "\t\t<s:AttributeType";
    SchemaAttr(out, 2, "name", c.name);
    if (!c.alias.empty()) SchemaAttr(out, 2, "rs:name", c.alias);
    SchemaAttr(out, 2, "rs:number", std::to_string(c.number));
    if (c.nullable) SchemaAttr(out, 2, "rs:nullable", "true");
    if (c.write) SchemaAttr(out, 2, "rs:write", "true");
    if (!c.baseCatalog.empty()) SchemaAttr(out, 2, "rs:basecatalog", c.baseCatalog);
    if (!c.baseTable.empty()) SchemaAttr(out, 2, "rs:basetable", c.baseTable);
    if (!c.baseColumn.empty()) SchemaAttr(out, 2, "rs:basecolumn", c.baseColumn);
    if (c.keyColumn) SchemaAttr(out, 2, "rs:keycolumn", "true");
    out += ">\r\n";
    if (c.hasDatatype) {
      TypeText t{"string", nullptr, 0};
      TypeToText(c.type, t);
      out += "\t\t\t<s:datatype";
      SchemaAttr(out, 3, "dt:type", t.dtType);
      if (t.dbType) SchemaAttr(out, 3, "rs:dbtype", t.dbType);
      SchemaAttr(out, 3, "dt:maxLength", std::to_string(c.type == adBSTR ? kUnbounded : c.maxLength));
      if (c.hasScale) SchemaAttr(out, 3, "rs:scale", std::to_string(c.scale));
      if (c.hasPrecision) SchemaAttr(out, 3, "rs:precision", std::to_string(c.precision));
      if (c.isLong || c.type == adBSTR) SchemaAttr(out, 3, "rs:long", "true");
      if (c.fixedLength) SchemaAttr(out, 3, "rs:fixedlength", "true");
      if (c.hasMaybeNull) SchemaAttr(out, 3, "rs:maybenull", "false");
      out += "/>\r\n";
    }
    out += "\t\t</s:AttributeType>\r\n";
  }
  out += "\t\t<s:extends type='rs:rowbase'/>\r\n\t</s:ElementType>\r\n</s:Schema>\r\n<rs:data>\r\n";
}

}  // namespace write

std::string Write(const Document& doc) {
  std::string out;
  std::size_t estimate = 1024 + doc.columns.size() * 200;
  for (const auto& r : doc.rows)
    for (const auto& cell : r.values) estimate += cell.text.size() + 16;
  out.reserve(estimate);
  write::AppendHead(out, doc);
  const write::AttributeStarts starts(doc.columns);
  const auto cellsOf = [&](const Row& r, write::Part part) -> const std::vector<Cell>& {
    return part == write::Part::Original ? r.original : r.values;
  };
  write::AppendRows(
      out, doc.rows.size(), [&](std::size_t r) { return doc.rows[r].kind; },
      [&](std::string& o, std::size_t r, write::Part part, std::size_t tabs) {
        const Row& row = doc.rows[r];
        const std::vector<Cell>& cells = cellsOf(row, part);
        const bool changes = part == write::Part::Changes;
        write::AppendRow(
            o, doc.columns, starts, cells.size(), changes ? &row.changed : nullptr,
            changes || row.kind == RowKind::Inserted, tabs, [&](std::size_t i) { return cells[i].null; },
            [&](std::string& to, std::size_t i) {
              const std::string& text = cells[i].text;
              if (IsBinary(doc.columns[i]))
                write::AppendWrappedHex(to, text.size(), tabs,
                                        [&](std::string& h, std::size_t from, std::size_t n) { h.append(text, from, n); });
              else
                AppendEscaped(to, text);
            });
      });
  out += write::kTail;
  return out;
}

namespace {

// Runs a step of reading, turning what it throws into a description.
template <typename F>
bool Guarded(std::string& error, F step) {
  try {
    return step();
  } catch (const Fail& f) {
    error = f.what;
  } catch (const ComError& e) {
    error = "XML error: " + Utf16ToUtf8(e.Description());
  } catch (const std::bad_alloc&) {
    error = "out of memory reading the document";
  }
  return false;
}

// Builds the model's rows from the walk.
struct DocSink {
  Document& doc;
  std::vector<Cell> changes;

  void Begin(RowKind kind) {
    Row& r = doc.rows.emplace_back();
    r.kind = kind;
  }
  std::vector<Cell>& Cells(detail::Part part) {
    Row& r = doc.rows.back();
    if (part == detail::Part::Values) return r.values;
    if (part == detail::Part::Original) return r.original;
    return changes;
  }
  void Value(detail::Part part, std::size_t col, std::string_view text) {
    std::vector<Cell>& cells = Cells(part);
    if (cells.size() != doc.columns.size()) cells.assign(doc.columns.size(), Cell{});
    cells[col].null = false;
    cells[col].text.assign(text);
  }
  void End(detail::Part part, const std::vector<unsigned char>& named) {
    std::vector<Cell>& cells = Cells(part);
    if (cells.size() != doc.columns.size()) cells.assign(doc.columns.size(), Cell{});
    if (part != detail::Part::Changes) return;
    Row& r = doc.rows.back();
    r.changed.assign(named.size(), false);
    r.values = r.original;
    for (std::size_t i = 0; i < named.size(); ++i) {
      if (named[i] == detail::kAbsent) continue;
      r.changed[i] = true;
      r.values[i] = std::move(changes[i]);
    }
    changes.clear();
  }
};

}  // namespace

namespace detail {

std::string_view LocalName(std::string_view name) { return Local(name); }

std::string InvalidValue(std::size_t rowNo, const Column& c, std::string_view text) {
  return "row " + std::to_string(rowNo) + ": field '" + c.FieldName() + "': '" + std::string(text.substr(0, 64)) +
         "' is not a valid " + std::string(TypeName(c));
}

void MissingField(std::size_t rowNo, const Column& c) {
  throw Fail{"row " + std::to_string(rowNo) + ": non-nullable field '" + c.FieldName() + "' is missing"};
}

void UnknownForceNull(std::size_t rowNo, std::string_view name) {
  throw Fail{"row " + std::to_string(rowNo) + ": rs:forcenull names unknown field '" + std::string(name) + "'"};
}

void UnexpectedElement(std::string_view name) {
  throw Fail{"unexpected element '" + std::string(name) + "' in the data"};
}

void BrokenUpdate(std::size_t rowNo) {
  throw Fail{"row " + std::to_string(rowNo) + ": an update lacks its original or its new row"};
}

Walker::Walker(const Parsed& p) : p_(p) {
  for (const Column& c : p.doc.columns) plain_.push_back(c.name != "rs:forcenull" && !c.name.starts_with("xmlns"));
}

std::size_t Walker::Find(std::string_view name, std::size_t rowNo) const {
  const auto it = p_.index.find(name);
  if (it == p_.index.end())
    throw Fail{"row " + std::to_string(rowNo) + ": field '" + std::string(name) + "' is not in the schema"};
  return it->second;
}

void Walker::KeptRow::Keep(std::span<const XmlScanAttribute> attributes) {
  texts.clear();
  for (const XmlScanAttribute& a : attributes) {
    texts.emplace_back(a.name);
    texts.emplace_back(a.value);
  }
  views.clear();
  for (std::size_t i = 0; i < texts.size(); i += 2) views.push_back({texts[i], texts[i + 1]});
  seen = true;
}

// A binary value's text without the white space its line wrapping adds.
// A value wrapped once is only a line break and indentation before its
// digits: trimmed, it needs no copy.
std::string_view Walker::Clean(const Column& c, std::string_view v) {
  if (!IsBinary(c)) return v;
  auto space = [](char ch) { return ch <= ' ' && (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'); };
  while (!v.empty() && space(v.front())) v.remove_prefix(1);
  while (!v.empty() && space(v.back())) v.remove_suffix(1);
  std::size_t i = 0;
  while (i < v.size() && !space(v[i])) ++i;
  if (i == v.size()) return v;
  scratch_.clear();
  while (i < v.size()) {  // runs of digits between the breaks
    scratch_.append(v.data(), i);
    while (i < v.size() && space(v[i])) ++i;
    v.remove_prefix(i);
    i = 0;
    while (i < v.size() && !space(v[i])) ++i;
  }
  scratch_.append(v.data(), i);
  return scratch_;
}

namespace {

// The n digits at `at` as a number within [lo, hi].
bool Digits(std::string_view s, std::size_t at, std::size_t n, int lo, int hi, int& v) {
  if (at + n > s.size()) return false;
  v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  return v >= lo && v <= hi;
}

// "HH:MM:SS" with an optional fraction of 1 to 9 digits.
bool SplitTime(std::string_view s, DateTimeText& t) {
  if (!Digits(s, 0, 2, 0, 23, t.hour) || s.size() < 8 || s[2] != ':' || !Digits(s, 3, 2, 0, 59, t.minute) ||
      s[5] != ':' || !Digits(s, 6, 2, 0, 59, t.second))
    return false;
  if (s.size() == 8) return true;
  if (s[8] != '.' || s.size() > 18 || s.size() == 9) return false;
  t.fraction = s.substr(9);
  for (char ch : t.fraction)
    if (ch < '0' || ch > '9') return false;
  return true;
}

}  // namespace

bool SplitDateTime(AdoNS::DataTypeEnum type, std::string_view s, DateTimeText& t) {
  if (type == adDBTime) return SplitTime(s, t);
  // "YYYY-MM-DD", alone or followed by 'T' and the time.
  if (!Digits(s, 0, 4, 0, 9999, t.year) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, 1, 12, t.month) ||
      s[7] != '-' || !Digits(s, 8, 2, 1, 31, t.day))
    return false;
  if (type == adDBDate) return s.size() == 10;
  return s.size() >= 19 && s[10] == 'T' && SplitTime(s.substr(11), t);
}

std::string_view AsUtf8(std::string_view bytes, std::string& converted) {
  const bool little = bytes.starts_with("\xFF\xFE"), big = bytes.starts_with("\xFE\xFF");
  if (little || big) {
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      auto lo = static_cast<unsigned char>(bytes[i + (little ? 0 : 1)]);
      auto hi = static_cast<unsigned char>(bytes[i + (little ? 1 : 0)]);
      wide += static_cast<char16_t>(lo | hi << 8);
    }
    converted = Utf16ToUtf8(wide);
    return converted;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return bytes;
}

bool Open(std::string_view bytes, Parsed& out, std::string& error) {
  std::string converted;
  bytes = AsUtf8(bytes, converted);
  return Guarded(error, [&] {
    if (!out.xml.LoadXmlUtf8(bytes)) {
      const auto& pe = out.xml.ParseError();
      error = "malformed XML at line " + std::to_string(pe.line) + ", column " + std::to_string(pe.linepos) + ": " +
              Utf16ToUtf8(pe.reason);
      return false;
    }
    XmlNode root = out.xml.DocumentElement();
    XmlNode schema;
    for (XmlNode n = root ? root.FirstChild() : XmlNode(); n; n = n.NextSibling()) {
      if (n.Type() != XmlNodeType::Element) continue;
      auto local = Local(n.NodeNameUtf8());
      if (local == "Schema" && !schema) schema = n;
      if (local == "data" && !out.data) out.data = n;
    }
    if (!schema) {
      error = "the document holds no rowset schema (s:Schema)";
      return false;
    }
    out.doc.properties.clear();
    Reader r{out.doc, out.index};
    r.Schema(schema);
    return true;
  });
}

}  // namespace detail

bool Read(std::string_view bytes, Document& out, std::string& error) {
  detail::Parsed p;
  if (!detail::Open(bytes, p, error)) return false;
  return Guarded(error, [&] {
    DocSink sink{p.doc, {}};
    detail::Walker(p).Walk(sink);
    out = std::move(p.doc);
    return true;
  });
}

}  // namespace qvp::persist
