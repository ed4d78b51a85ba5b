// The data-access objects' XML persistence format: the text a recordset is
// saved as and opened from, written and read against a small neutral model
// of columns and rows so that the recordset, the tools and the tests share
// one reader and one writer.
//
// The format, as the Windows platform writes it (every rule below was
// taken from files that platform saved; "unobserved" marks a choice made
// here where no saved file shows the answer):
//
// Document
//   - UTF-8, no byte-order mark, no XML declaration; every line ends in CR LF
//     except the last ("</xml>" has no line end); indentation is tabs.
//   - Attribute values are always in single quotes.
//   - Root: "<xml" and the four namespace declarations s (schema), dt
//     (data types), rs (rowset) and z ('#RowsetSchema'), the first on the
//     root's line, each further one on its own line after a tab; the fixed
//     text is in Write.
//   - Schema first, then data: "<s:Schema id='RowsetSchema'>", one
//     "<s:ElementType name='row' content='eltOnly' ...>" whose further
//     attributes are the recordset's properties (rs:updatable='true' for a
//     batch-updatable recordset), one AttributeType per field in field order,
//     "<s:extends type='rs:rowbase'/>", then "</s:ElementType>", "</s:Schema>",
//     "<rs:data>" ... "</rs:data>", "</xml>".
// Fields (s:AttributeType, two tabs)
//   - Attribute order: name, rs:name (the field's own name when it is not a
//     usable XML name; name then holds the XML alias used on rows),
//     rs:number (1-based position), rs:nullable='true' (field accepts
//     nulls), rs:write='true' (field is writable), rs:basecatalog,
//     rs:basetable, rs:basecolumn, rs:keycolumn='true' (base-table facts,
//     order unobserved beyond table/column/key).
//   - One child, three tabs: "<s:datatype" dt:type, rs:dbtype (only where the
//     dt:type is ambiguous), dt:maxLength, rs:scale (decimal, numeric,
//     timestamp only), rs:precision (0 for every type but decimal/numeric),
//     rs:long='true' (long data), rs:fixedlength='true' (fixed width),
//     rs:maybenull='false' (always written), then "/>".
//   - Schema lines wrap: an attribute that would end past column 128 (tabs
//     count one column) starts a new line holding the element's indentation
//     and then the attribute with its leading space.
// Type mapping (field type <-> dt:type [rs:dbtype], dt:maxLength)
//   TinyInt i1 1; SmallInt i2 2; Integer int 4; BigInt i8 8; UnsignedTinyInt
//   ui1 1; UnsignedSmallInt ui2 2; UnsignedInt ui4 4; UnsignedBigInt ui8 8;
//   Single r4 4; Double float 8; Currency number/currency 8; Decimal
//   number/decimal 16; Numeric number/numeric 19; Boolean boolean 2; GUID
//   uuid 16; Date dateTime/variantdate 16; DBTimeStamp dateTime/timestamp 16;
//   FileTime dateTime/filetime 16; DBDate date 6; DBTime time 6; Char, VarChar,
//   LongVarChar string/str; WChar, VarWChar, LongVarWChar string; Binary,
//   VarBinary, LongVarBinary bin.hex (fixed / variable / long told apart by
//   rs:fixedlength and rs:long; text and binary sizes are the defined size).
//   BSTR is written as a long string of size 4294967295 and so reads back as
//   LongVarWChar. Read only: i4 = int, r8 = float, number without dbtype =
//   Numeric, dateTime without dbtype = DBTimeStamp, no datatype at all = a
//   nullable LongVarWChar (minimal schemas with bare column names).
// Rows (rs:data)
//   - Each row is "<z:row" + one attribute per non-null field in field order
//     + "/>"; a null field is left out. Empty text is an empty attribute
//     (name=''), so empty and null differ.
//   - Row order: rows in recordset order, deleted rows after all others.
//   - A modified row: "<rs:update>", "<rs:original>", the row as it was,
//     "</rs:original>", then a row holding only the changed fields, then
//     "</rs:update>". A changed field set to null is named in
//     rs:forcenull='F' on the new row (several fields: separated by single
//     spaces, unobserved).
//   - A new row: "<rs:insert>" with the row (nulls in rs:forcenull); a
//     deleted row: "<rs:delete>" with the row as it was (nulls left out).
//     Consecutive new or deleted rows share one element (unobserved).
//   - Indentation: one tab per nesting level below rs:data.
//   - rs:forcenull comes after the field attributes.
// Value texts
//   - Integers: plain decimal. Single and Double: the shortest decimal that
//     reads back ("0", "1.25", "-123456789.125"). Boolean: "True"/"False".
//   - Currency and Decimal: decimal with a leading zero and no trailing
//     fraction zeros ("0", "1.0001", "0.0000000000000000000000000001").
//     Numeric: exactly `scale` fraction digits, no leading zero before the
//     point (".0000", "-.5000", "1.23"; scale 0: "0", "-9").
//   - GUID: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
//   - DBDate "YYYY-MM-DD"; DBTime "HH:MM:SS"; Date, DBTimeStamp, FileTime
//     "YYYY-MM-DDTHH:MM:SS" (a fraction ".fffffffff" is read, and kept).
//   - Binary: lower-case hex, two digits a byte. A hex value wraps: the
//     first line takes byte pairs while it stays within column 108 (tabs
//     count one), every further line starts with the row's indentation plus
//     one tab and holds 110 hex digits; text values never wrap.
//   - Text: UTF-8 as is, except ' < > & and " (unobserved) and characters
//     below U+0020 written as lower-case hex references (&#x27; &#x3c;
//     &#x3e; &#x26; &#x22; &#x9;), so that quotes and line ends survive.
//     Control characters that XML 1.0 does not allow (U+0001 to U+0008,
//     U+000B, U+000C, U+000E to U+001F) are written the same way, as the
//     platform writes them: no XML 1.0 parser, the platform's included,
//     reads such a file back, and opening it fails with the parser's
//     description of the reference.
//
// Recordsets (persist_rowset.cpp; choices made here, none shown by a saved
// file):
//   - A field whose name rows cannot carry (not an XML name, or with a
//     colon) is written as name='c<zero-based position>' (underscores added
//     while that is taken) with rs:name holding its own name.
//   - rs:updatable='true' is written unless the recordset is read-only.
//   - Field attributes: rs:nullable from adFldIsNullable, rs:write from
//     adFldUpdatable, rs:fixedlength from adFldFixed, rs:long from adFldLong,
//     rs:keycolumn from adFldKeyColumn; reading gives them back (nullable
//     adds adFldMayBeNull). rs:precision is the field's for decimal and
//     numeric, else 0; rs:scale is written for decimal, numeric and
//     timestamp. Base table and column are written for fields read from one
//     table; the first rs:basetable read names the table UpdateBatch writes.
//   - Dates are OLE dates: a fraction of a second is read into the date,
//     and dates are written to the whole second (rounded). Years below 100
//     do not convert (the platform's two-digit years would move them).
//   - Numeric values are written with exactly the field's scale (further
//     digits cut), so a numeric value opens only when that text reads back
//     (scale and digits within a 96-bit decimal's); currency reads exactly,
//     further fraction digits cut.
//   - A recordset does not open a hierarchical document: its child rowsets
//     are refused by name (the neutral model reads the parent rows).
//   - Rows are saved whatever the filter and position; rows whose deletion
//     was written, and new rows deleted again, are left out.
//
// Reading is done through the XML document object (qv_platform/xmldom.h);
// the reader also takes double-quoted and hand-formatted files, a UTF-16
// document with a byte-order mark, fields declared at schema level and
// referenced with <s:attribute type='...'/>, and hierarchical documents
// (the parent rows are read; child rowsets are skipped and named in
// Document::skippedChildren so that a caller can refuse them).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qv_platform/data/ado.h"
#include "qv_platform/export.h"

namespace qvp::persist {

// One field of the rowset schema.
struct Column {
  std::string name;   // the XML name used on rows (UTF-8)
  std::string alias;  // rs:name: the field's own name; empty when it is `name`
  long number = 0;    // rs:number
  AdoNS::DataTypeEnum type = AdoNS::adVarWChar;
  std::uint64_t maxLength = 0;  // dt:maxLength, the defined size
  int precision = 0;
  int scale = 0;
  bool hasScale = false;  // rs:scale written
  bool nullable = false;  // rs:nullable
  bool write = false;     // rs:write
  bool fixedLength = false;
  bool isLong = false;
  bool keyColumn = false;
  bool hasDatatype = true;    // false for a bare column (no s:datatype)
  bool hasPrecision = true;   // rs:precision written
  bool hasMaybeNull = true;   // rs:maybenull written
  std::string baseCatalog, baseTable, baseColumn;

  // FieldName is the name a recordset shows for the column.
  const std::string& FieldName() const { return alias.empty() ? name : alias; }
};

// One value: null, or its text as the format writes it (XML escapes
// resolved; binary as hex digits without white space).
struct Cell {
  bool null = true;
  std::string text;
  bool operator==(const Cell&) const = default;
};

enum class RowKind { Unchanged, Modified, Inserted, Deleted };

struct Row {
  RowKind kind = RowKind::Unchanged;
  std::vector<Cell> values;     // current values (the row as it was for a deleted row)
  std::vector<Cell> original;   // Modified only: the values before the change
  std::vector<bool> changed;    // Modified only: fields written on the update's new row
};

struct Document {
  // Recordset properties on the row element type after name and content,
  // in file order (e.g. {"rs:updatable","true"}).
  std::vector<std::pair<std::string, std::string>> properties{{"rs:updatable", "true"}};
  std::vector<Column> columns;
  std::vector<Row> rows;
  std::vector<std::string> skippedChildren;  // names of child rowsets not read
};

// Read parses a saved document (UTF-8 or UTF-16 with its byte-order mark)
// into `out`. Returns true on success; on failure returns false, leaves
// `out` unchanged and puts a one-line description in `error` (malformed XML
// with line and column, missing schema, unknown data type, a value that
// does not convert, a row naming a field the schema lacks, a non-nullable
// field missing from a full row, a size beyond 4294967295).
QVP_API bool Read(std::string_view bytes, Document& out, std::string& error);

// Write renders `doc` in the platform's byte form (rules above). Columns
// must be non-empty; every row holds one cell per column (original and
// changed too for a modified row). Never fails; invalid models give a
// document the reader refuses.
QVP_API std::string Write(const Document& doc);

// The dt:type / rs:dbtype / fixed dt:maxLength for a field type; false for
// a type the format cannot hold (chapters, variants, objects).
struct TypeText {
  const char* dtType;
  const char* dbType;  // nullptr when not written
  std::uint64_t fixedSize;  // 0 for sized types (text, binary)
};
QVP_API bool TypeToText(AdoNS::DataTypeEnum type, TypeText& out);

// RowNameValid tells whether `name` can stand as an attribute of a row: an
// XML name that is neither a namespace declaration nor rs:forcenull.
QVP_API bool RowNameValid(std::string_view name);

// ValueValid tells whether `text` is a value the column's type accepts (the
// check the reader applies to every cell).
QVP_API bool ValueValid(const Column& column, std::string_view text);

// Value texts for typed values (the writer's side of the rules above).
// FormatScaled renders `digits` (an unsigned decimal integer, the value
// times 10^scale) with a sign: Numeric style keeps all `scale` digits and
// no leading zero, the other style (Decimal, Currency) trims zeros.
QVP_API std::string FormatScaled(bool negative, std::string_view digits, int scale, bool numericStyle);

}  // namespace qvp::persist
