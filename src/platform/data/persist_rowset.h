// The persistence format between the text and a recordset's row store.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "qv_platform/data/persist.h"
#include "rowset.h"

namespace qvp::persist::write {
class RawOut;
}

namespace qvp::data {

// ToDocument describes the rows of `rs` (every row not yet gone, in store
// order, deleted rows last) with their pending changes; `updatable` gives
// the row type's rs:updatable property. Raises adErrFeatureNotAvailable for
// a field type the format cannot hold.
persist::Document ToDocument(const RowSet& rs, bool updatable);
// SchemaOf is ToDocument's columns and properties without the rows.
persist::Document SchemaOf(const RowSet& rs, bool updatable);

// FromDocument builds a row store from a read document: fields, values,
// row statuses with original values, base table, base columns and key
// columns (so that UpdateBatch can write the pending changes once a
// connection is set). Raises adErrDataConversion for a value that the
// field's type cannot hold, naming the field and the row.
// Exported (with LoadText) for the tests and the fuzz target that hold the
// recordset's own reader to the model's path.
QVP_API std::shared_ptr<RowSet> FromDocument(const persist::Document& doc);

// AppendRowOf appends a row of EMPTY values with the status of a read
// record of kind `kind`; a modified row gets its (EMPTY) original values.
// Returns the row's index.
std::size_t AppendRowOf(RowSet& rs, persist::RowKind kind);

// SaveText and LoadText: the two above with the writer and the reader
// (SaveText writes the row store directly, giving the text that
// persist::Write(ToDocument(rs, updatable)) gives, and raises as ToDocument).
// LoadText reads the rows in one scan of the text (xml_scan.h) and, for
// anything that scan does not take, goes the model's way (persist::Read,
// FromDocument), which gives the same rows; it raises E_FAIL with the
// reader's description for a document that is not the persistence format,
// and adErrFeatureNotAvailable naming a hierarchical document's child
// rowsets.
std::string SaveText(const RowSet& rs, bool updatable);
QVP_API std::shared_ptr<RowSet> LoadText(std::string_view bytes);

// One value's text in the format, and back (`text` as the format writes
// it, escapes resolved); false when the value does not convert.
bool CellText(const persist::Column& column, const _variant_t& value, std::string& text);
bool CellValue(const persist::Column& column, std::string_view text, _variant_t& value);

class BstrArena;
// What ReadCell made of a value's text.
enum class CellRead { Ok, Invalid, Unconvertible };
// ReadCell is persist::ValueValid and CellValue in one step: Invalid for a
// text that ValueValid refuses, Unconvertible for a valid text the field's
// type cannot hold (a float beyond its range, a numeric beyond its
// precision), Ok with `value` set otherwise. Types whose conversion checks
// the text (integers, floating point, booleans, GUIDs, binary, text) read
// it once. Text, GUID text included, is cut from `arena` when one is given.
// `value` is left as it was unless the result is Ok; throws std::bad_alloc.
CellRead ReadCell(const persist::Column& column, std::string_view text, _variant_t& value, BstrArena* arena);
// AppendCellText appends CellText's text to `text` (a std::string or a
// persist::write::RawOut); on false, what it appended is unspecified (the
// caller cuts it). AppendExactText is the same for a value that already has
// its field's variant type (VarTypeOf, not VT_EMPTY), which skips the check
// for a conversion.
template <typename Out>
bool AppendCellText(const persist::Column& column, const _variant_t& value, Out& text);
template <typename Out>
bool AppendExactText(const persist::Column& column, const _variant_t& value, Out& text);

}  // namespace qvp::data
