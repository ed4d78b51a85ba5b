// Internal parts of the data-access objects: the shared row store, the
// provider interface that the database back ends implement, and the
// criteria language of Filter and Find.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/data/ado.h"

namespace qvp::data {

using namespace AdoNS;

// One field definition.
struct FieldDef {
  std::u16string name;
  DataTypeEnum type = adVarWChar;
  long defined_size = 0;
  unsigned char precision = 0;
  unsigned char scale = 0;
  long attributes = 0;
  std::u16string base_column;  // column of the base table; empty when computed
};

// One row's bookkeeping; its values live in RowSet::cells.
struct Row {
  std::int32_t status = adRecUnmodified;
  bool gone = false;  // deleted and written (or a cancelled new row): in no view
  std::unique_ptr<_variant_t[]> original;  // values as read, kept from the first change
};
static_assert(sizeof(Row) == 16, "rows are kept small: one per record");

// A recordset's window on a RowSet. Rows added, or leaving (written
// deletions, cancelled additions), or marked deleted through one recordset
// show in its clones at once: the recordset that made the change tells the
// others.
class RowSetView {
 public:
  // `row` was appended through another view.
  virtual void RowAdded(std::uint32_t row) = 0;
  // Rows left or changed their deleted mark through another view.
  virtual void RowsChanged() = 0;

 protected:
  ~RowSetView() = default;
};

// The rows of a recordset and of its clones.
struct RowSet {
  std::vector<FieldDef> fields;
  std::vector<_variant_t> cells;  // row-major, fields.size() per row
  std::vector<Row> rows;
  // Where the rows came from (empty provider: built in memory).
  std::shared_ptr<Provider> provider;
  std::u16string base_table;
  std::vector<int> key_columns;
  // The open recordsets showing these rows (each registers itself).
  std::vector<RowSetView*> views;

  std::size_t width() const noexcept { return fields.size(); }
  _variant_t* row_cells(std::size_t row) noexcept { return cells.data() + row * fields.size(); }
  const _variant_t* row_cells(std::size_t row) const noexcept { return cells.data() + row * fields.size(); }
  long FieldIndex(std::u16string_view name) const noexcept;
  // Appends a row of EMPTY values; returns its index.
  std::size_t AppendRow();
};

// Field names compare case-free (A-Z only), as the platform compares them.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b) noexcept;

// Converts `value` to what a field of `def`'s type holds (NULL stays NULL);
// raises adErrDataConversion with the reason.
_variant_t CoerceToField(const FieldDef& def, const _variant_t& value);
// The VARTYPE that values of a field type have.
VARTYPE VarTypeOf(DataTypeEnum type) noexcept;

// A database back end.
class Provider {
 public:
  virtual ~Provider() = default;
  virtual bool IsOpen() const noexcept = 0;
  virtual void Close() noexcept = 0;
  // Runs `sql` with `params` bound in order. When it gives rows and `out`
  // is not null, fills out->fields, out->cells and out->rows (and, when the
  // rows come from one table, out->base_table and key columns). Returns the
  // rows changed, or -1 when the statement reports none.
  virtual long Execute(std::u16string_view sql, const std::vector<_variant_t>& params, const std::vector<FieldDef>* param_defs,
                       RowSet* out) = 0;
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;
  // The key columns of `table`, in key order; empty when unknown.
  virtual std::vector<std::u16string> PrimaryKey(std::u16string_view table) = 0;
  // The key value the database gave the last inserted row, or EMPTY.
  virtual _variant_t LastInsertId() = 0;
  // Inserts one row into `table` (quoted): `columns` (quoted, comma
  // separated, empty for the defaults of every column) with `params` bound
  // in order. When `key_column` (quoted) is given, returns the value the
  // database gave it, or EMPTY when the database cannot say. The default
  // runs a plain INSERT and asks LastInsertId.
  virtual _variant_t InsertRow(const std::u16string& table, const std::u16string& columns,
                               const std::vector<_variant_t>& params, const std::vector<FieldDef>& defs,
                               const std::u16string* key_column);
  virtual std::u16string QuoteIdentifier(std::u16string_view name) const;
};

// "INSERT INTO table (columns) VALUES (?, ...)" with `n_params` markers, or
// "INSERT INTO table DEFAULT VALUES" when `columns` is empty.
std::u16string InsertText(const std::u16string& table, const std::u16string& columns, std::size_t n_params);

// Opens the provider that `connection_string` names; raises
// adErrProviderNotFound or E_FAIL with the database's message.
std::shared_ptr<Provider> OpenProvider(std::u16string_view connection_string);
std::shared_ptr<Provider> OpenSqlite(const std::u16string& path);
// The name of the SQLite VFS whose file calls go through the platform's file
// seam (registered on first use); null when SQLite has no unix VFS to wrap.
const char* SeamVfs() noexcept;
std::shared_ptr<Provider> OpenOdbc(const std::u16string& connection_string);

// Raise a _com_error with a description.
[[noreturn]] void Raise(HRESULT hr, std::u16string description);
[[noreturn]] void Raise(HRESULT hr, const char* utf8_description);

// The base table of a single-table SELECT ("... FROM name ..."), empty when
// the text is not one.
std::u16string SingleTableOf(std::u16string_view sql);

// The criteria language of Filter and Find:
//   criteria := term { OR term }
//   term     := factor { AND factor }
//   factor   := '(' criteria ')' | field op value
//   field    := name | [name with blanks]
//   op       := = | <> | < | > | <= | >= | LIKE
//   value    := 'text' (a quote doubled inside) | #date# | number | Null
// Keywords are case-free; text comparison is case-free; LIKE takes '*' or
// '%' as "any run of characters" anywhere in the pattern. A value is
// converted to its field's type before comparing (a date field compares
// dates). NULL fields equal only Null; "field <> Null" is true for every
// other value.
class Criteria {
 public:
  // Parses `text` against `fields`; raises adErrInvalidArgument with the
  // reason (or adErrItemNotFound for an unknown field).
  static Criteria Parse(std::u16string_view text, const std::vector<FieldDef>& fields);
  bool Matches(const _variant_t* row) const;

  struct Node;
  ~Criteria();
  Criteria(Criteria&&) noexcept;
  Criteria& operator=(Criteria&&) noexcept;

 private:
  Criteria();
  std::vector<Node> nodes_;
  int root_ = -1;
  bool Eval(int node, const _variant_t* row) const;
};

// One key of a sort: field index and direction.
struct SortKey {
  int field = 0;
  bool descending = false;
};
// Parses "a ASC, [b c] DESC"; raises adErrItemNotFound / adErrInvalidArgument.
std::vector<SortKey> ParseSort(std::u16string_view text, const std::vector<FieldDef>& fields);

// Case-free wildcard match ('*' and '%' match any run).
bool LikeMatch(std::u16string_view text, std::u16string_view pattern) noexcept;

}  // namespace qvp::data
