// The client-cursor recordset, its fields and the connection object.
#include <algorithm>
#include <cstring>

#include "data/persist_rowset.h"
#include "data/rowset.h"
#include "qv_platform/data/stream.h"
#include "qv_platform/file_content.h"
#include "qv_platform/fileio.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"

namespace qvp::data {

void Raise(HRESULT hr, std::u16string description) { throw _com_error(hr, std::move(description)); }
void Raise(HRESULT hr, const char* utf8_description) { Raise(hr, qvp::Utf8ToUtf16(utf8_description)); }

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    char16_t x = a[k];
    char16_t y = b[k];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

namespace {
long FindField(const std::vector<FieldDef>& fields, std::u16string_view name) noexcept {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (EqualsNoCase(fields[i].name, name)) return static_cast<long>(i);
  return -1;
}
}  // namespace

long RowSet::FieldIndex(std::u16string_view name) const noexcept { return FindField(fields, name); }

std::size_t RowSet::AppendRow() {
  cells.resize(cells.size() + fields.size());
  rows.emplace_back();
  return rows.size() - 1;
}

VARTYPE VarTypeOf(DataTypeEnum type) noexcept {
  switch (type) {
    case adTinyInt: return VT_I1;
    case adSmallInt: return VT_I2;
    case adInteger: return VT_I4;
    case adBigInt: return VT_I8;
    case adUnsignedTinyInt: return VT_UI1;
    case adUnsignedSmallInt: return VT_UI2;
    case adUnsignedInt: return VT_UI4;
    case adUnsignedBigInt: return VT_UI8;
    case adSingle: return VT_R4;
    case adDouble: return VT_R8;
    case adCurrency: return VT_CY;
    case adDecimal: case adNumeric: case adVarNumeric: return VT_DECIMAL;
    case adBoolean: return VT_BOOL;
    case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: return VT_DATE;
    case adBSTR: case adChar: case adWChar: case adVarChar: case adVarWChar: case adLongVarChar:
    case adLongVarWChar: case adGUID: return VT_BSTR;
    case adBinary: case adVarBinary: case adLongVarBinary: return static_cast<VARTYPE>(VT_ARRAY | VT_UI1);
    default: return VT_EMPTY;
  }
}

_variant_t CoerceToField(const FieldDef& def, const _variant_t& value) {
  if (value.IsNullOrEmpty()) return _variant_t::Null();
  const VARTYPE target = VarTypeOf(def.type);
  if (target == VT_EMPTY || value.vt() == target) return value;
  if (target & VT_ARRAY) {
    if (value.vt() == VT_BSTR) {
      const std::string bytes = qvp::Utf16ToUtf8(value.bstrView());
      return _variant_t::Bytes(bytes.data(), bytes.size());
    }
  } else {
    _variant_t out;
    const HRESULT hr = VariantChangeType(&out, &value, 0, target);
    if (SUCCEEDED(hr)) return out;
    std::u16string msg = qvp::Utf8ToUtf16("Application uses a value of the wrong type for the current operation: field ");
    msg += def.name;
    msg += qvp::Utf8ToUtf16(hr == DISP_E_OVERFLOW ? " cannot hold the value (overflow)" : " cannot take the value (type mismatch)");
    Raise(adErrDataConversion, std::move(msg));
  }
  std::u16string msg = qvp::Utf8ToUtf16("Application uses a value of the wrong type for the current operation: field ");
  msg += def.name;
  Raise(adErrDataConversion, std::move(msg));
}

std::u16string Provider::QuoteIdentifier(std::u16string_view name) const {
  std::u16string out(1, u'"');
  for (char16_t c : name) {
    if (c == u'"') out += u'"';
    out += c;
  }
  out += u'"';
  return out;
}

std::u16string InsertText(const std::u16string& table, const std::u16string& columns, std::size_t n_params) {
  std::u16string sql = u"INSERT INTO " + table;
  if (columns.empty()) return sql + u" DEFAULT VALUES";
  sql += u" (" + columns + u") VALUES (";
  for (std::size_t i = 0; i < n_params; ++i) sql += i ? u", ?" : u"?";
  return sql + u")";
}

_variant_t Provider::InsertRow(const std::u16string& table, const std::u16string& columns,
                               const std::vector<_variant_t>& params, const std::vector<FieldDef>& defs,
                               const std::u16string* key_column) {
  Execute(InsertText(table, columns, params.size()), params, &defs, nullptr);
  return key_column ? LastInsertId() : _variant_t();
}

std::shared_ptr<Provider> OpenProvider(std::u16string_view cs) {
  // Split "key=value;..." pairs; a string without '=' is a SQLite file path.
  if (cs.find(u'=') == std::u16string_view::npos) {
    std::u16string path(cs);
    while (!path.empty() && path.back() == u' ') path.pop_back();
    if (path.empty()) Raise(adErrProviderNotFound, "The connection string is empty.");
    return OpenSqlite(path);
  }
  std::u16string provider;
  std::u16string provider_name;
  std::u16string data_source;
  bool odbc = false;
  std::u16string rest;
  std::size_t i = 0;
  while (i < cs.size()) {
    while (i < cs.size() && (cs[i] == u' ' || cs[i] == u';')) ++i;
    if (i >= cs.size()) break;
    const std::size_t eq = cs.find(u'=', i);
    if (eq == std::u16string_view::npos) Raise(adErrInvalidArgument, "The connection string has a part without '='.");
    std::u16string key(cs.substr(i, eq - i));
    while (!key.empty() && key.back() == u' ') key.pop_back();
    std::size_t j = eq + 1;
    std::u16string value;
    if (j < cs.size() && (cs[j] == u'"' || cs[j] == u'{' || cs[j] == u'\'')) {
      const char16_t close = cs[j] == u'{' ? u'}' : cs[j];
      const std::size_t end = cs.find(close, j + 1);
      if (end == std::u16string_view::npos) Raise(adErrInvalidArgument, "The connection string has an unclosed quote.");
      value = std::u16string(cs.substr(j + 1, end - j - 1));
      const bool braces = cs[j] == u'{';
      j = end + 1;
      if (braces) value = u"{" + value + u"}";
      while (j < cs.size() && cs[j] != u';') ++j;
    } else {
      const std::size_t end = cs.find(u';', j);
      value = std::u16string(cs.substr(j, end == std::u16string_view::npos ? cs.size() - j : end - j));
      j = end == std::u16string_view::npos ? cs.size() : end;
      while (!value.empty() && value.back() == u' ') value.pop_back();
    }
    std::u16string low = key;
    for (auto& c : low)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (low == u"provider") {
      provider_name = value;
      provider = value;
      for (auto& c : provider)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
      if (provider.rfind(u"msdasql", 0) == 0) odbc = true;
    } else {
      if (low == u"data source") data_source = value;
      if (low == u"driver" || low == u"dsn" || low == u"filedsn") odbc = true;
      rest += key + u"=" + value + u";";
    }
    i = j;
  }
  if (odbc) return OpenOdbc(rest);
  if (provider.empty() || provider == u"sqlite" || provider.rfind(u"sqlite", 0) == 0) {
    if (data_source.empty()) Raise(adErrInvalidArgument, "The connection string names no Data Source.");
    return OpenSqlite(data_source);
  }
  std::u16string msg = qvp::Utf8ToUtf16("Provider cannot be found. It may not be properly installed: ");
  msg += provider_name;
  Raise(adErrProviderNotFound, std::move(msg));
}

}  // namespace qvp::data

namespace AdoNS {

using namespace qvp::data;

namespace {
const char* const kClosedText = "Operation is not allowed when the object is closed.";
const char* const kOpenText = "Operation is not allowed when the object is open.";
const char* const kNoRecordText =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current record.";
const char* const kReadOnlyText =
    "Current Recordset does not support updating. This may be a limitation of the provider, or of the selected locktype.";
const char* const kConnectionText =
    "The connection cannot be used to perform this operation. It is either closed or invalid in this context.";
const char* const kConflictText = "Row cannot be located for updating. Some values may have been changed since it was last read.";

bool Pending(long status) { return (status & (adRecNew | adRecModified | adRecDeleted)) != 0; }
}  // namespace

// ---- ComObject ----

ComObject::~ComObject() = default;

unsigned long ComObject::Release() noexcept {
  const unsigned long left = --refs_;
  if (left == 0) delete this;
  return left;
}

// ---- Recordset state ----

struct _Recordset::Impl final : RowSetView {
  _Recordset* self = nullptr;
  bool open = false;
  std::vector<FieldDef> pending_fields;  // appended while closed
  std::shared_ptr<RowSet> data;
  std::vector<std::uint32_t> view;
  long pos = 0;  // -1 BOF, view.size() EOF
  long deleted_in_view = 0;
  _variant_t filter;
  std::u16string sort;
  std::u16string index;
  ComPtr<Fields> fields;
  std::vector<FieldPtr> field_objs;
  EditModeEnum edit = adEditNone;
  long edit_row = -1;
  long before_add = -1;
  std::vector<_variant_t> backup;
  std::shared_ptr<RowSet> watched;  // the RowSet this view is registered with

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { Unwatch(); }

  // Registers with `data` (once), so that clones' changes reach this view.
  void Watch() {
    if (watched == data) return;
    Unwatch();
    if (!data) return;
    data->views.push_back(this);
    watched = data;
  }
  void Unwatch() noexcept {
    if (!watched) return;
    auto& v = watched->views;
    v.erase(std::remove(v.begin(), v.end(), static_cast<RowSetView*>(this)), v.end());
    watched.reset();
  }
  template <class F>
  void TellOthers(F&& f) {
    if (!data || data->views.size() < 2) return;
    // Walks a copy: being told never unregisters a view, but nothing then
    // depends on that.
    const std::vector<RowSetView*> views = data->views;
    for (RowSetView* v : views)
      if (v != this) f(*v);
  }

  // A row added through a clone joins the end of this view; a cursor past
  // the end stays past the end.
  void RowAdded(std::uint32_t row) override {
    const bool at_eof = pos >= size();
    view.push_back(row);
    if (at_eof) pos = size();
  }
  void RowsChanged() override { DropGone(); }

  const std::vector<FieldDef>& defs() const { return open ? data->fields : pending_fields; }
  long size() const { return static_cast<long>(view.size()); }

  void RequireOpen() const {
    if (!open) Raise(adErrObjectClosed, kClosedText);
  }
  void RequireWritable() const {
    RequireOpen();
    if (self->lock_type_ == adLockReadOnly) Raise(adErrFeatureNotAvailable, kReadOnlyText);
  }
  std::uint32_t CurrentRow() const {
    RequireOpen();
    if (pos < 0 || pos >= size()) Raise(adErrNoCurrentRecord, kNoRecordText);
    return view[static_cast<std::size_t>(pos)];
  }
  bool Visible(long p) const {
    const Row& r = data->rows[view[static_cast<std::size_t>(p)]];
    return !(r.status & adRecDeleted) || FilterIsPending();
  }
  bool FilterIsPending() const {
    return (filter.vt() == VT_I4 || filter.vt() == VT_I2) && filter.llVal() == adFilterPendingRecords;
  }
  long NextVisible(long p) const {
    while (p < size() && !Visible(p)) ++p;
    return p;
  }
  long PrevVisible(long p) const {
    while (p >= 0 && !Visible(p)) --p;
    return p;
  }

  void BuildFieldObjects() {
    for (auto& f : field_objs) f->rs_ = nullptr;
    field_objs.clear();
    const auto& d = defs();
    field_objs.reserve(d.size());
    for (std::size_t i = 0; i < d.size(); ++i) {
      auto* f = new Field;
      f->rs_ = self;
      f->index_ = static_cast<int>(i);
      field_objs.emplace_back(f, false);
    }
  }

  void ApplyView() {
    Watch();
    view.clear();
    std::unique_ptr<Criteria> crit;
    const bool pending = FilterIsPending();
    if (filter.vt() == VT_BSTR && !filter.bstrView().empty())
      crit = std::make_unique<Criteria>(Criteria::Parse(filter.bstrView(), data->fields));
    std::vector<SortKey> keys;
    if (!sort.empty()) keys = ParseSort(sort, data->fields);
    view.reserve(data->rows.size());
    for (std::size_t r = 0; r < data->rows.size(); ++r) {
      const Row& row = data->rows[r];
      if (row.gone) continue;
      if (pending) {
        if (!Pending(row.status)) continue;
      } else {
        if (row.status & adRecDeleted) continue;
        if (crit && !crit->Matches(data->row_cells(r))) continue;
      }
      view.push_back(static_cast<std::uint32_t>(r));
    }
    if (!keys.empty()) SortView(keys);
    deleted_in_view = 0;  // a pending-records view shows its deleted rows
    pos = 0;
  }

  // Sorts the view stably. Each key's values are taken out once: numbers as
  // doubles, text folded to upper case in one buffer, so that comparing two
  // rows touches no variant.
  void SortView(const std::vector<SortKey>& keys) {
    struct Column {
      std::vector<signed char> kind;  // 0 NULL, 1 number, 2 text, 3 other
      std::vector<double> number;
      std::vector<std::uint32_t> start, length;
      std::u16string text;
    };
    std::vector<Column> cols(keys.size());
    const std::size_t n = view.size();
    for (std::size_t k = 0; k < keys.size(); ++k) {
      Column& c = cols[k];
      c.kind.resize(n);
      c.number.resize(n);
      c.start.resize(n);
      c.length.resize(n);
      for (std::size_t i = 0; i < n; ++i) {
        const _variant_t& v = data->row_cells(view[i])[keys[k].field];
        if (v.IsNullOrEmpty()) {
          c.kind[i] = 0;
        } else if (v.vt() == VT_BSTR) {
          c.kind[i] = 2;
          const std::u16string_view t = v.bstrView();
          c.start[i] = static_cast<std::uint32_t>(c.text.size());
          c.length[i] = static_cast<std::uint32_t>(t.size());
          c.text.resize(c.text.size() + t.size());
          char16_t* out = c.text.data() + c.start[i];
          for (char16_t ch : t) *out++ = ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch;
        } else {
          _variant_t d;
          if (SUCCEEDED(VariantChangeType(&d, &v, 0, VT_R8))) {
            c.kind[i] = 1;
            c.number[i] = d.dblVal();
          } else {
            c.kind[i] = 3;
          }
        }
      }
    }
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
    const RowSet& rs = *data;
    const std::vector<std::uint32_t>& rows = view;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      for (std::size_t k = 0; k < keys.size(); ++k) {
        const Column& c = cols[k];
        int r = 0;
        if (c.kind[a] != c.kind[b]) {
          r = c.kind[a] < c.kind[b] ? -1 : 1;
        } else if (c.kind[a] == 1) {
          r = c.number[a] < c.number[b] ? -1 : (c.number[a] > c.number[b] ? 1 : 0);
        } else if (c.kind[a] == 2) {
          // Equal runs are skipped four units at a time: sort keys often
          // share long prefixes.
          const char16_t* x = c.text.data() + c.start[a];
          const char16_t* y = c.text.data() + c.start[b];
          const std::size_t n = std::min(c.length[a], c.length[b]);
          std::size_t i = 0;
          for (; i + 4 <= n; i += 4) {
            std::uint64_t p = 0;
            std::uint64_t q = 0;
            std::memcpy(&p, x + i, 8);
            std::memcpy(&q, y + i, 8);
            if (p != q) break;
          }
          while (i < n && x[i] == y[i]) ++i;
          if (i < n) r = x[i] < y[i] ? -1 : 1;
          else r = c.length[a] == c.length[b] ? 0 : (c.length[a] < c.length[b] ? -1 : 1);
        } else if (c.kind[a] == 3) {
          r = qvp::VariantCompare(rs.row_cells(rows[a])[keys[k].field], rs.row_cells(rows[b])[keys[k].field]);
        }
        if (r) return keys[k].descending ? r > 0 : r < 0;
      }
      return false;
    });
    std::vector<std::uint32_t> sorted(n);
    for (std::size_t i = 0; i < n; ++i) sorted[i] = view[order[i]];
    view.swap(sorted);
  }

  void EndEdit() {
    if (edit != adEditNone) self->Update();
  }

  // Opens on `rows`: no filter, no sort, at the first record.
  void Adopt(std::shared_ptr<RowSet> rows) {
    data = std::move(rows);
    open = true;
    filter.Clear();
    sort.clear();
    edit = adEditNone;
    BuildFieldObjects();
    ApplyView();
  }

  // Writes `rows` back to the base table in one transaction.
  void WriteBack(const std::vector<std::uint32_t>& rows);
  void AfterWrite(const std::vector<std::uint32_t>& rows);
  void DropGone();
};

void _Recordset::Impl::WriteBack(const std::vector<std::uint32_t>& rows) {
  RowSet& d = *data;
  if (!d.provider) {
    AfterWrite(rows);
    return;
  }
  if (!d.provider->IsOpen()) Raise(adErrInvalidConnection, kConnectionText);
  bool any = false;
  for (std::uint32_t r : rows) any = any || Pending(d.rows[r].status);
  if (!any) return;
  if (d.base_table.empty()) Raise(E_FAIL, "Insufficient base table information for updating or refreshing.");
  if (d.key_columns.empty()) Raise(E_FAIL, "Insufficient key column information for updating or refreshing.");
  Provider& p = *d.provider;
  const std::u16string table = p.QuoteIdentifier(d.base_table);
  long conflict_row = -1;
  // Keys the database gave new rows; taken back when the batch is not
  // written, so the rows stay pending exactly as they were.
  std::vector<_variant_t*> given_keys;
  auto take_back_keys = [&given_keys]() noexcept {
    for (_variant_t* k : given_keys) *k = _variant_t::Null();
  };
  p.Begin();
  try {
    for (std::uint32_t r : rows) {
      Row& row = d.rows[r];
      if (!Pending(row.status)) continue;
      const _variant_t* cur = d.row_cells(r);
      const _variant_t* orig = row.original ? row.original.get() : cur;
      const bool fresh = (row.status & adRecNew) != 0;
      std::vector<_variant_t> params;
      std::vector<FieldDef> defs;
      auto add_key_where = [&](std::u16string& sql) {
        bool first = true;
        for (int k : d.key_columns) {
          sql += first ? u" WHERE " : u" AND ";
          first = false;
          sql += p.QuoteIdentifier(d.fields[static_cast<std::size_t>(k)].base_column);
          if (orig[k].IsNullOrEmpty()) {
            sql += u" IS NULL";
          } else {
            sql += u" = ?";
            params.push_back(orig[k]);
            defs.push_back(d.fields[static_cast<std::size_t>(k)]);
          }
        }
      };
      if (row.status & adRecDeleted) {
        if (fresh) continue;
        std::u16string sql = u"DELETE FROM " + table;
        add_key_where(sql);
        if (p.Execute(sql, params, &defs, nullptr) == 0) {
          conflict_row = static_cast<long>(r);
          break;
        }
      } else if (fresh) {
        std::u16string cols;
        for (std::size_t f = 0; f < d.fields.size(); ++f) {
          if (d.fields[f].base_column.empty() || cur[f].vt() == VT_EMPTY) continue;
          if (cur[f].vt() == VT_NULL && std::find(d.key_columns.begin(), d.key_columns.end(), static_cast<int>(f)) !=
                                            d.key_columns.end())
            continue;  // let the database give the key
          if (!cols.empty()) cols += u", ";
          cols += p.QuoteIdentifier(d.fields[f].base_column);
          params.push_back(cur[f]);
          defs.push_back(d.fields[f]);
        }
        // A single key left to the database is read back.
        _variant_t* key = nullptr;
        std::u16string key_name;
        if (d.key_columns.size() == 1 && cur[d.key_columns[0]].IsNullOrEmpty()) {
          key = &d.row_cells(r)[d.key_columns[0]];
          key_name = p.QuoteIdentifier(d.fields[static_cast<std::size_t>(d.key_columns[0])].base_column);
        }
        const _variant_t id = p.InsertRow(table, cols, params, defs, key ? &key_name : nullptr);
        if (key && !id.IsNullOrEmpty()) {
          given_keys.push_back(key);
          *key = CoerceToField(d.fields[static_cast<std::size_t>(d.key_columns[0])], id);
        }
      } else {
        std::u16string sets;
        std::vector<std::size_t> changed;
        for (std::size_t f = 0; f < d.fields.size(); ++f) {
          if (d.fields[f].base_column.empty() || cur[f] == orig[f]) continue;
          changed.push_back(f);
          if (!sets.empty()) sets += u", ";
          sets += p.QuoteIdentifier(d.fields[f].base_column) + u" = ?";
          params.push_back(cur[f]);
          defs.push_back(d.fields[f]);
        }
        if (changed.empty()) continue;
        std::u16string sql = u"UPDATE " + table + u" SET " + sets;
        add_key_where(sql);
        // The changed columns must still hold what was read: otherwise the
        // row changed underneath.
        for (std::size_t f : changed) {
          if (std::find(d.key_columns.begin(), d.key_columns.end(), static_cast<int>(f)) != d.key_columns.end()) continue;
          sql += u" AND " + p.QuoteIdentifier(d.fields[f].base_column);
          if (orig[f].IsNullOrEmpty()) {
            sql += u" IS NULL";
          } else {
            sql += u" = ?";
            params.push_back(orig[f]);
            defs.push_back(d.fields[f]);
          }
        }
        if (p.Execute(sql, params, &defs, nullptr) == 0) {
          conflict_row = static_cast<long>(r);
          break;
        }
      }
    }
    if (conflict_row >= 0) {
      p.Rollback();
      take_back_keys();
    } else {
      p.Commit();
    }
  } catch (...) {
    p.Rollback();
    take_back_keys();
    throw;
  }
  if (conflict_row >= 0) {
    d.rows[static_cast<std::size_t>(conflict_row)].status |= adRecConcurrencyViolation;
    Raise(DB_E_CONCURRENCYVIOLATION, kConflictText);
  }
  AfterWrite(rows);
}

void _Recordset::Impl::AfterWrite(const std::vector<std::uint32_t>& rows) {
  RowSet& d = *data;
  bool removed = false;
  for (std::uint32_t r : rows) {
    Row& row = d.rows[r];
    if (!Pending(row.status)) continue;
    if (row.status & adRecDeleted) {
      row.gone = true;
      removed = true;
    }
    row.status = adRecUnmodified;
    row.original.reset();
  }
  if (removed) DropGone();
  TellOthers([](RowSetView& v) { v.RowsChanged(); });
}

void _Recordset::Impl::DropGone() {
  // Drop rows that left the store from this view, keeping the cursor on its
  // record (or the next one when its own left), and recount the deleted
  // rows it shows.
  RowSet& d = *data;
  std::vector<std::uint32_t> kept;
  kept.reserve(view.size());
  long new_pos = -1;
  for (long i = 0; i < size(); ++i) {
    const std::uint32_t r = view[static_cast<std::size_t>(i)];
    if (i == pos) new_pos = static_cast<long>(kept.size());
    if (!d.rows[r].gone) kept.push_back(r);
  }
  const bool was_eof = pos >= size();
  view.swap(kept);
  deleted_in_view = 0;
  if (!FilterIsPending())
    for (std::uint32_t r : view)
      if (d.rows[r].status & adRecDeleted) ++deleted_in_view;
  if (was_eof) pos = size();
  else if (pos >= 0) pos = new_pos < 0 ? size() : std::min(new_pos, size());
}

// ---- _Recordset ----

_Recordset* _Recordset::Create() {
  auto* rs = new _Recordset;
  rs->impl_ = std::make_unique<Impl>();
  rs->impl_->self = rs;
  auto* f = new Fields;
  f->rs_ = rs;
  rs->impl_->fields = FieldsPtr(f, false);
  return rs;
}

_Recordset::~_Recordset() {
  if (impl_) {
    impl_->fields->rs_ = nullptr;
    for (auto& f : impl_->field_objs) f->rs_ = nullptr;
  }
}

long _Recordset::GetState() const noexcept { return impl_->open ? adStateOpen : adStateClosed; }

void _Recordset::PutCursorLocation(CursorLocationEnum v) {
  if (impl_->open) Raise(adErrObjectOpen, kOpenText);
  cursor_location_ = v;
}
void _Recordset::PutCursorType(CursorTypeEnum v) {
  if (impl_->open) Raise(adErrObjectOpen, kOpenText);
  cursor_type_ = v;
}
void _Recordset::PutLockType(LockTypeEnum v) {
  if (impl_->open) Raise(adErrObjectOpen, kOpenText);
  lock_type_ = v;
}

Fields* _Recordset::GetFields() { return impl_->fields.GetInterfacePtr(); }

void _Recordset::Open(const _variant_t& source, _Connection* connection, CursorTypeEnum cursor, LockTypeEnum lock,
                      long options) {
  if (impl_->open) Raise(adErrObjectOpen, kOpenText);
  if (options == adCmdFile && !connection) return OpenFile(source, cursor, lock);
  std::shared_ptr<Provider> provider;
  if (connection) {
    provider = connection->provider();
    if (!provider || !provider->IsOpen()) Raise(adErrInvalidConnection, kConnectionText);
  }
  OpenWith(source, std::move(provider), cursor, lock);
}

void _Recordset::Open(const _variant_t& source, const _bstr_t& connection_string, CursorTypeEnum cursor,
                      LockTypeEnum lock, long options) {
  if (impl_->open) Raise(adErrObjectOpen, kOpenText);
  if (options == adCmdFile && !connection_string.length()) return OpenFile(source, cursor, lock);
  std::shared_ptr<Provider> provider;
  if (connection_string.length()) provider = OpenProvider(connection_string.view());
  OpenWith(source, std::move(provider), cursor, lock);
}

void _Recordset::OpenWith(const _variant_t& source, std::shared_ptr<Provider> provider, CursorTypeEnum cursor,
                          LockTypeEnum lock) {
  Impl& m = *impl_;
  const bool has_source = source.vt() == VT_BSTR && !source.bstrView().empty();
  if (cursor != adOpenUnspecified) cursor_type_ = cursor;
  if (lock != adLockUnspecified) lock_type_ = lock;
  auto data = std::make_shared<RowSet>();
  if (!has_source) {
    if (provider) Raise(adErrInvalidArgument, "The recordset needs a source text to open on a connection.");
    if (m.pending_fields.empty()) Raise(adErrInvalidConnection, kConnectionText);
    data->fields = m.pending_fields;
  } else {
    if (!provider) Raise(adErrInvalidConnection, kConnectionText);
    provider->Execute(source.bstrView(), {}, nullptr, data.get());
    if (data->fields.empty()) return;  // a statement without rows leaves the recordset closed
    data->provider = provider;
    if (data->base_table.empty()) data->base_table = SingleTableOf(source.bstrView());
    if (!data->base_table.empty()) {
      for (FieldDef& f : data->fields)
        if (f.base_column.empty() && !f.name.empty()) f.base_column = f.name;
      if (data->key_columns.empty()) {
        for (const std::u16string& k : provider->PrimaryKey(data->base_table)) {
          long found = -1;
          for (std::size_t i = 0; i < data->fields.size(); ++i)
            if (EqualsNoCase(data->fields[i].base_column, k)) found = static_cast<long>(i);
          if (found < 0) {
            data->key_columns.clear();
            break;
          }
          data->key_columns.push_back(static_cast<int>(found));
        }
      }
      for (int k : data->key_columns) data->fields[static_cast<std::size_t>(k)].attributes |= adFldKeyColumn;
    }
  }
  m.Adopt(std::move(data));
}

// ---- XML persistence (the text itself: persist_rowset.cpp) ----

void _Recordset::OpenFile(const _variant_t& source, CursorTypeEnum cursor, LockTypeEnum lock) {
  if (source.vt() != VT_BSTR || source.bstrView().empty()) Raise(adErrInvalidArgument, "A file path is needed to open a saved recordset.");
  std::string bytes;
  const int err = qvp::ReadWholeFile(qvp::ToNativePath(std::u16string(source.bstrView()).c_str()), bytes);
  if (err) Raise(E_FAIL, u"The file cannot be read: " + std::u16string(source.bstrView()) + qvp::Utf8ToUtf16(std::string(": ") + std::strerror(err)));
  OpenSaved(bytes, cursor, lock);
}

void _Recordset::Open(_Stream* source, CursorTypeEnum cursor, LockTypeEnum lock, long) {
  if (impl_->open) Raise(adErrObjectOpen, kOpenText);
  if (!source) Raise(adErrInvalidArgument, "A stream is needed to open a saved recordset.");
  OpenSaved(source->Remaining(), cursor, lock);
}

void _Recordset::OpenSaved(std::string_view bytes, CursorTypeEnum cursor, LockTypeEnum lock) {
  std::shared_ptr<RowSet> data = LoadText(bytes);
  cursor_location_ = adUseClient;
  cursor_type_ = cursor == adOpenUnspecified ? adOpenStatic : cursor;
  lock_type_ = lock == adLockUnspecified ? adLockBatchOptimistic : lock;
  impl_->Adopt(std::move(data));
}

std::string _Recordset::SaveToText(PersistFormatEnum format) {
  Impl& m = *impl_;
  if (format != adPersistXML) Raise(adErrFeatureNotAvailable, "Only the XML persistence format (adPersistXML) is supported.");
  m.RequireOpen();
  m.EndEdit();
  return SaveText(*m.data, lock_type_ != adLockReadOnly);
}

void _Recordset::Save(const _bstr_t& path, PersistFormatEnum format) {
  const std::string text = SaveToText(format);
  const int err = qvp::WriteWholeFile(qvp::ToNativePath(path), text);
  if (err) Raise(E_FAIL, u"The file cannot be written: " + path.str() + qvp::Utf8ToUtf16(std::string(": ") + std::strerror(err)));
}

void _Recordset::Save(_Stream* destination, PersistFormatEnum format) {
  if (!destination) Raise(adErrInvalidArgument, "The destination of Save is not a stream, a file or a document.");
  destination->WriteBytes(SaveToText(format));
}

void _Recordset::Save(qvp::XmlDocument& destination, PersistFormatEnum format) {
  const std::string text = SaveToText(format);
  if (!destination.LoadXmlUtf8(text)) Raise(E_FAIL, "The document cannot take the saved recordset.");
}

void _Recordset::PutRefActiveConnection(_Connection* connection) {
  Impl& m = *impl_;
  m.RequireOpen();
  std::shared_ptr<Provider> provider;
  if (connection) {
    provider = connection->provider();
    if (!provider || !provider->IsOpen()) Raise(adErrInvalidConnection, kConnectionText);
  }
  m.data->provider = std::move(provider);
}

void _Recordset::Close() {
  Impl& m = *impl_;
  m.RequireOpen();
  if (!m.data->provider) m.pending_fields = m.data->fields;
  else m.pending_fields.clear();
  m.open = false;
  m.Unwatch();
  m.data.reset();
  m.view.clear();
  m.edit = adEditNone;
  m.filter.Clear();
  m.sort.clear();
  m.BuildFieldObjects();
}

VARIANT_BOOL _Recordset::GetadoEOF() const {
  impl_->RequireOpen();
  return impl_->pos >= impl_->size() || impl_->size() == 0 ? VARIANT_TRUE : VARIANT_FALSE;
}

VARIANT_BOOL _Recordset::GetBOF() const {
  impl_->RequireOpen();
  return impl_->pos < 0 || impl_->size() == 0 ? VARIANT_TRUE : VARIANT_FALSE;
}

long _Recordset::GetRecordCount() const {
  impl_->RequireOpen();
  return impl_->size() - impl_->deleted_in_view;
}

long _Recordset::GetAbsolutePosition() const {
  const Impl& m = *impl_;
  m.RequireOpen();
  if (m.size() == 0) return adPosUnknown;
  if (m.pos < 0) return adPosBOF;
  if (m.pos >= m.size()) return adPosEOF;
  return m.pos + 1;
}

void _Recordset::PutAbsolutePosition(long position) {
  Impl& m = *impl_;
  m.RequireOpen();
  if (position < 1 || position > m.size()) Raise(adErrInvalidArgument, "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.");
  m.EndEdit();
  m.pos = position - 1;
}

_variant_t _Recordset::GetBookmark() const {
  return _variant_t(static_cast<double>(impl_->CurrentRow()) + 1.0);
}

void _Recordset::PutBookmark(const _variant_t& bookmark) {
  Impl& m = *impl_;
  m.RequireOpen();
  _variant_t v;
  if (FAILED(VariantChangeType(&v, &bookmark, 0, VT_R8)))
    Raise(adErrInvalidArgument, "The bookmark is not valid.");
  const double want = v.dblVal() - 1.0;
  for (long i = 0; i < m.size(); ++i)
    if (static_cast<double>(m.view[static_cast<std::size_t>(i)]) == want) {
      m.EndEdit();
      m.pos = i;
      return;
    }
  Raise(adErrInvalidArgument, "The bookmark is not valid.");
}

long _Recordset::GetStatus() const { return impl_->data->rows[impl_->CurrentRow()].status; }

EditModeEnum _Recordset::GetEditMode() const {
  impl_->CurrentRow();
  return impl_->edit;
}

HRESULT _Recordset::MoveFirst() {
  Impl& m = *impl_;
  m.RequireOpen();
  m.EndEdit();
  m.pos = m.NextVisible(0);
  return S_OK;
}

HRESULT _Recordset::MoveLast() {
  Impl& m = *impl_;
  m.RequireOpen();
  m.EndEdit();
  const long p = m.PrevVisible(m.size() - 1);
  m.pos = p < 0 ? m.size() : p;
  return S_OK;
}

HRESULT _Recordset::MoveNext() {
  Impl& m = *impl_;
  m.RequireOpen();
  if (m.pos >= m.size()) Raise(adErrNoCurrentRecord, kNoRecordText);
  m.EndEdit();
  m.pos = m.NextVisible(m.pos + 1);
  return S_OK;
}

HRESULT _Recordset::MovePrevious() {
  Impl& m = *impl_;
  m.RequireOpen();
  if (m.pos < 0 || m.size() == 0) Raise(adErrNoCurrentRecord, kNoRecordText);
  m.EndEdit();
  m.pos = m.PrevVisible(m.pos - 1);
  return S_OK;
}

HRESULT _Recordset::Move(long n, const _variant_t& start) {
  Impl& m = *impl_;
  m.RequireOpen();
  long base = m.pos;
  if (start.vt() == VT_EMPTY || ((start.vt() == VT_I4 || start.vt() == VT_I2) && start.llVal() == adBookmarkCurrent)) {
    if (n == 0) return S_OK;
    if ((base >= m.size() && n > 0) || (base < 0 && n < 0) || m.size() == 0)
      Raise(adErrNoCurrentRecord, kNoRecordText);
  } else if ((start.vt() == VT_I4 || start.vt() == VT_I2) && start.llVal() == adBookmarkFirst) {
    base = m.NextVisible(0);
  } else if ((start.vt() == VT_I4 || start.vt() == VT_I2) && start.llVal() == adBookmarkLast) {
    base = m.PrevVisible(m.size() - 1);
  } else {
    PutBookmark(start);
    base = m.pos;
  }
  m.EndEdit();
  long p = base;
  if (m.deleted_in_view == 0 || m.FilterIsPending()) {
    p = base + n;
  } else {
    for (long k = 0; k < n && p < m.size(); ++k) p = m.NextVisible(p + 1);
    for (long k = 0; k > n && p >= 0; --k) p = m.PrevVisible(p - 1);
  }
  m.pos = p < 0 ? -1 : (p >= m.size() ? m.size() : p);
  return S_OK;
}

void _Recordset::PutFilter(const _variant_t& filter) {
  Impl& m = *impl_;
  m.RequireOpen();
  _variant_t f;
  if (filter.vt() == VT_BSTR) {
    f = filter;
    if (!filter.bstrView().empty()) Criteria::Parse(filter.bstrView(), m.data->fields);  // raises on bad text
  } else if (filter.IsNullOrEmpty()) {
    f = _variant_t(std::u16string_view());
  } else {
    if (FAILED(VariantChangeType(&f, &filter, 0, VT_I4)))
      Raise(adErrInvalidArgument, "The filter is neither criteria text nor a filter group.");
    const long g = f.lVal();
    if (g != adFilterNone && g != adFilterPendingRecords && g != adFilterAffectedRecords &&
        g != adFilterFetchedRecords && g != adFilterConflictingRecords)
      Raise(adErrInvalidArgument, "The filter group is not one the recordset knows.");
    if (g != adFilterPendingRecords) f = _variant_t(std::u16string_view());
  }
  m.EndEdit();
  m.filter = std::move(f);
  m.ApplyView();
}

_variant_t _Recordset::GetFilter() const {
  if (impl_->filter.vt() == VT_EMPTY) return _variant_t(static_cast<int>(adFilterNone));
  if (impl_->filter.vt() == VT_BSTR && impl_->filter.bstrView().empty()) return _variant_t(static_cast<int>(adFilterNone));
  return impl_->filter;
}

void _Recordset::PutSort(const _bstr_t& sort) {
  Impl& m = *impl_;
  m.RequireOpen();
  ParseSort(sort.view(), m.data->fields);  // raises on bad text
  m.EndEdit();
  m.sort = sort.str();
  m.ApplyView();
}

_bstr_t _Recordset::GetSort() const { return _bstr_t(impl_->sort); }
void _Recordset::PutIndex(const _bstr_t& index) { impl_->index = index.str(); }
_bstr_t _Recordset::GetIndex() const { return _bstr_t(impl_->index); }

void _Recordset::Find(const _bstr_t& criteria, long skip, SearchDirectionEnum direction, const _variant_t& start) {
  Impl& m = *impl_;
  m.RequireOpen();
  const Criteria crit = Criteria::Parse(criteria.view(), m.data->fields);
  long p = m.pos;
  if (!start.IsNullOrEmpty()) {
    PutBookmark(start);
    p = m.pos;
  } else if (p < 0 || p >= m.size()) {
    Raise(adErrNoCurrentRecord, kNoRecordText);
  }
  m.EndEdit();
  const long step = direction == adSearchBackward ? -1 : 1;
  p += step * skip;
  for (; p >= 0 && p < m.size(); p += step) {
    if (!m.Visible(p)) continue;
    if (crit.Matches(m.data->row_cells(m.view[static_cast<std::size_t>(p)]))) {
      m.pos = p;
      return;
    }
  }
  m.pos = step > 0 ? m.size() : -1;
}

void _Recordset::Seek(const _variant_t& key, SeekEnum option) {
  Impl& m = *impl_;
  m.RequireOpen();
  long field = -1;
  if (!m.index.empty()) field = m.data->FieldIndex(m.index);
  else if (!m.data->key_columns.empty()) field = m.data->key_columns[0];
  if (field < 0)
    Raise(adErrFeatureNotAvailable, "Current provider does not support the necessary interface for Index functionality.");
  const FieldDef& def = m.data->fields[static_cast<std::size_t>(field)];
  _variant_t want = key;
  try {
    want = CoerceToField(def, key);
  } catch (const _com_error&) {
  }
  m.EndEdit();
  const bool backward = option == adSeekLastEQ || option == adSeekBeforeEQ || option == adSeekBefore;
  const long n = m.size();
  for (long i = 0; i < n; ++i) {
    const long p = backward ? n - 1 - i : i;
    if (!m.Visible(p)) continue;
    const _variant_t& cell = m.data->row_cells(m.view[static_cast<std::size_t>(p)])[field];
    if (cell.IsNullOrEmpty()) continue;
    const int c = qvp::VariantCompare(cell, want);
    bool hit = false;
    switch (option) {
      case adSeekFirstEQ: case adSeekLastEQ: hit = c == 0; break;
      case adSeekAfterEQ: hit = c >= 0; break;
      case adSeekAfter: hit = c > 0; break;
      case adSeekBeforeEQ: hit = c <= 0; break;
      case adSeekBefore: hit = c < 0; break;
    }
    if (hit) {
      m.pos = p;
      return;
    }
  }
  m.pos = n;
}

void _Recordset::AddNew(const _variant_t&, const _variant_t&) {
  Impl& m = *impl_;
  m.RequireWritable();
  m.EndEdit();
  const std::size_t r = m.data->AppendRow();
  _variant_t* cells = m.data->row_cells(r);
  for (std::size_t f = 0; f < m.data->width(); ++f) cells[f] = _variant_t::Null();
  m.data->rows[r].status = adRecNew;
  m.before_add = m.pos;
  m.view.push_back(static_cast<std::uint32_t>(r));
  m.pos = m.size() - 1;
  m.edit = adEditAdd;
  m.edit_row = static_cast<long>(r);
  m.TellOthers([r](RowSetView& v) { v.RowAdded(static_cast<std::uint32_t>(r)); });
}

void _Recordset::Update(const _variant_t&, const _variant_t&) {
  Impl& m = *impl_;
  m.RequireOpen();
  if (m.edit == adEditNone) return;
  Row& row = m.data->rows[static_cast<std::size_t>(m.edit_row)];
  if (m.edit == adEditInProgress && !(row.status & (adRecNew | adRecModified))) {
    row.status = adRecModified;
    row.original = std::make_unique<_variant_t[]>(m.backup.size());
    for (std::size_t f = 0; f < m.backup.size(); ++f) row.original[f] = std::move(m.backup[f]);
  }
  m.backup.clear();
  m.edit = adEditNone;
  const std::uint32_t r = static_cast<std::uint32_t>(m.edit_row);
  m.edit_row = -1;
  if (lock_type_ != adLockBatchOptimistic) m.WriteBack({r});
}

void _Recordset::CancelUpdate() {
  Impl& m = *impl_;
  m.RequireOpen();
  if (m.edit == adEditAdd) {
    m.data->rows[static_cast<std::size_t>(m.edit_row)].gone = true;
    m.view.pop_back();
    m.pos = m.before_add < 0 ? -1 : std::min(m.before_add, m.size());
    m.TellOthers([](RowSetView& v) { v.RowsChanged(); });
  } else if (m.edit == adEditInProgress) {
    _variant_t* cells = m.data->row_cells(static_cast<std::size_t>(m.edit_row));
    for (std::size_t f = 0; f < m.backup.size(); ++f) cells[f] = std::move(m.backup[f]);
  }
  m.backup.clear();
  m.edit = adEditNone;
  m.edit_row = -1;
}

void _Recordset::Delete(AffectEnum affect) {
  Impl& m = *impl_;
  m.RequireWritable();
  if (m.edit == adEditAdd) {
    CancelUpdate();
    return;
  }
  m.EndEdit();
  std::vector<std::uint32_t> rows;
  if (affect == adAffectCurrent) {
    rows.push_back(m.CurrentRow());
  } else {
    for (long i = 0; i < m.size(); ++i)
      if (m.Visible(i)) rows.push_back(m.view[static_cast<std::size_t>(i)]);
  }
  for (std::uint32_t r : rows) {
    Row& row = m.data->rows[r];
    if (row.status & adRecDeleted) continue;
    row.status = (row.status & adRecNew) | adRecDeleted;
    if (!m.FilterIsPending()) ++m.deleted_in_view;
  }
  m.TellOthers([](RowSetView& v) { v.RowsChanged(); });
  if (lock_type_ != adLockBatchOptimistic) m.WriteBack(rows);
}

void _Recordset::UpdateBatch(AffectEnum affect) {
  Impl& m = *impl_;
  m.RequireOpen();
  m.EndEdit();
  std::vector<std::uint32_t> rows;
  if (affect == adAffectCurrent) {
    rows.push_back(m.CurrentRow());
  } else if (affect == adAffectGroup) {
    rows = m.view;
  } else {
    for (std::size_t r = 0; r < m.data->rows.size(); ++r)
      if (!m.data->rows[r].gone && Pending(m.data->rows[r].status)) rows.push_back(static_cast<std::uint32_t>(r));
  }
  for (std::uint32_t r : rows) m.data->rows[r].status &= ~adRecConcurrencyViolation;
  m.WriteBack(rows);
}

void _Recordset::CancelBatch(AffectEnum affect) {
  Impl& m = *impl_;
  m.RequireOpen();
  if (m.edit != adEditNone) CancelUpdate();
  std::vector<std::uint32_t> rows;
  if (affect == adAffectCurrent) rows.push_back(m.CurrentRow());
  else if (affect == adAffectGroup) rows = m.view;
  else
    for (std::size_t r = 0; r < m.data->rows.size(); ++r) rows.push_back(static_cast<std::uint32_t>(r));
  for (std::uint32_t r : rows) {
    Row& row = m.data->rows[r];
    if (row.gone || !Pending(row.status)) continue;
    if (row.status & adRecNew) {
      row.gone = true;
    } else if (row.original) {
      _variant_t* cells = m.data->row_cells(r);
      for (std::size_t f = 0; f < m.data->width(); ++f) cells[f] = std::move(row.original[f]);
    }
    row.original.reset();
    row.status = adRecUnmodified;
  }
  const long keep = m.pos;
  m.ApplyView();
  m.pos = std::min(std::max(keep, 0L), m.size());
  m.TellOthers([](RowSetView& v) { v.RowsChanged(); });
}

void _Recordset::Requery() {
  Impl& m = *impl_;
  m.RequireOpen();
  m.EndEdit();
  m.ApplyView();
}

_RecordsetPtr _Recordset::Clone(LockTypeEnum lock) {
  Impl& m = *impl_;
  m.RequireOpen();
  _RecordsetPtr copy(Create(), false);
  copy->cursor_location_ = cursor_location_;
  copy->cursor_type_ = cursor_type_;
  copy->lock_type_ = lock == adLockUnspecified ? lock_type_ : lock;
  Impl& c = copy->impl();
  c.data = m.data;
  c.open = true;
  c.BuildFieldObjects();
  c.ApplyView();
  return copy;
}

// ---- Fields ----

long Fields::GetCount() const {
  if (!rs_) Raise(adErrObjectClosed, kClosedText);
  return static_cast<long>(rs_->impl().defs().size());
}

long Fields::IndexOf(std::u16string_view name) const noexcept {
  return rs_ ? qvp::data::FindField(rs_->impl().defs(), name) : -1;
}

namespace {
[[noreturn]] void NotFound(std::u16string_view name) {
  std::u16string msg =
      qvp::Utf8ToUtf16("Item cannot be found in the collection corresponding to the requested name or ordinal.");
  if (!name.empty()) {
    msg += u' ';
    msg += name;
  }
  Raise(adErrItemNotFound, std::move(msg));
}
}  // namespace

Field* Fields::ItemByName(std::u16string_view name) const {
  if (!rs_) Raise(adErrObjectClosed, kClosedText);
  const long i = IndexOf(name);
  if (i < 0) NotFound(name);
  return rs_->impl().field_objs[static_cast<std::size_t>(i)].GetInterfacePtr();
}

Field* Fields::ItemByIndex(long i) const {
  if (!rs_) Raise(adErrObjectClosed, kClosedText);
  const auto& objs = rs_->impl().field_objs;
  if (i < 0 || i >= static_cast<long>(objs.size())) NotFound({});
  return objs[static_cast<std::size_t>(i)].GetInterfacePtr();
}

Field* Fields::GetItem(const _variant_t& index) const {
  if (index.vt() == VT_BSTR) return ItemByName(index.bstrView());
  _variant_t n;
  if (FAILED(VariantChangeType(&n, &index, 0, VT_I4))) NotFound({});
  return ItemByIndex(n.lVal());
}

void Fields::Append(const _bstr_t& name, DataTypeEnum type, long defined_size, FieldAttributeEnum attributes,
                    const _variant_t&) {
  if (!rs_) Raise(adErrObjectClosed, kClosedText);
  auto& m = rs_->impl();
  if (m.open) Raise(adErrObjectOpen, kOpenText);
  if (name.length() == 0 || IndexOf(name.view()) >= 0)
    Raise(adErrIllegalOperation, "Operation requested by the application is not allowed in this context: the field name is empty or already used.");
  if (VarTypeOf(type) == VT_EMPTY && type != adVariant)
    Raise(adErrInvalidArgument, "The field type is not one a recordset can hold.");
  FieldDef d;
  d.name = name.str();
  d.type = type;
  d.defined_size = defined_size;
  d.attributes = attributes == adFldUnspecified ? 0 : attributes;
  if (type == adDecimal || type == adNumeric) d.precision = 28;
  m.pending_fields.push_back(std::move(d));
  m.BuildFieldObjects();
}

// ---- Field ----

namespace {
_Recordset::Impl& OwnerOf(_Recordset* rs) {
  if (!rs) Raise(adErrObjectClosed, kClosedText);
  return rs->impl();
}
}  // namespace

_bstr_t Field::GetName() const { return _bstr_t(OwnerOf(rs_).defs().at(static_cast<std::size_t>(index_)).name); }
DataTypeEnum Field::GetType() const { return OwnerOf(rs_).defs().at(static_cast<std::size_t>(index_)).type; }
long Field::GetDefinedSize() const { return OwnerOf(rs_).defs().at(static_cast<std::size_t>(index_)).defined_size; }
unsigned char Field::GetPrecision() const { return OwnerOf(rs_).defs().at(static_cast<std::size_t>(index_)).precision; }
unsigned char Field::GetNumericScale() const { return OwnerOf(rs_).defs().at(static_cast<std::size_t>(index_)).scale; }
long Field::GetAttributes() const { return OwnerOf(rs_).defs().at(static_cast<std::size_t>(index_)).attributes; }

_variant_t Field::GetValue() const { return ValueRef(); }

const _variant_t& Field::ValueRef() const {
  auto& m = OwnerOf(rs_);
  const std::uint32_t r = m.CurrentRow();
  return m.data->row_cells(r)[index_];
}

void Field::PutValue(const _variant_t& value) {
  auto& m = OwnerOf(rs_);
  m.RequireWritable();
  const std::uint32_t r = m.CurrentRow();
  _variant_t v = CoerceToField(m.data->fields[static_cast<std::size_t>(index_)], value);
  if (m.edit == adEditNone) {
    const _variant_t* cells = m.data->row_cells(r);
    m.backup.assign(cells, cells + m.data->width());
    m.edit = adEditInProgress;
    m.edit_row = static_cast<long>(r);
  }
  m.data->row_cells(r)[index_] = std::move(v);
}

_variant_t Field::GetOriginalValue() const {
  auto& m = OwnerOf(rs_);
  const std::uint32_t r = m.CurrentRow();
  const Row& row = m.data->rows[r];
  if (m.edit == adEditInProgress && m.edit_row == static_cast<long>(r) && !row.original) return m.backup[static_cast<std::size_t>(index_)];
  if (row.status & adRecNew) return _variant_t::Null();
  return row.original ? row.original[index_] : m.data->row_cells(r)[index_];
}

_variant_t Field::GetUnderlyingValue() const { return GetOriginalValue(); }

long Field::GetActualSize() const {
  auto& m = OwnerOf(rs_);
  const _variant_t& v = m.data->row_cells(m.CurrentRow())[index_];
  if (v.IsNullOrEmpty()) return 0;
  if (v.vt() == VT_BSTR) return static_cast<long>(v.bstrView().size() * 2);
  if (v.parray()) return static_cast<long>(v.parray()->cElements);
  switch (v.vt()) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: return 4;
    case VT_DECIMAL: return 16;
    default: return 8;
  }
}

void Field::AppendChunk(const _variant_t& data) {
  auto& m = OwnerOf(rs_);
  m.RequireWritable();
  const std::uint32_t r = m.CurrentRow();
  const _variant_t& cur = m.data->row_cells(r)[index_];
  _variant_t joined;
  if (data.parray()) {
    std::vector<unsigned char> bytes;
    if (cur.parray()) {
      const auto* p = static_cast<const unsigned char*>(cur.parray()->pvData);
      bytes.assign(p, p + cur.parray()->cElements);
    }
    const auto* q = static_cast<const unsigned char*>(data.parray()->pvData);
    bytes.insert(bytes.end(), q, q + data.parray()->cElements);
    joined = _variant_t::Bytes(bytes.data(), bytes.size());
  } else if (data.vt() == VT_BSTR) {
    std::u16string text(cur.bstrView());
    text += data.bstrView();
    joined = _variant_t(std::u16string_view(text));
  } else {
    Raise(adErrDataConversion, "Application uses a value of the wrong type for the current operation: AppendChunk takes bytes or text.");
  }
  PutValue(joined);
}

_variant_t Field::GetChunk(long length) {
  auto& m = OwnerOf(rs_);
  const std::uint32_t r = m.CurrentRow();
  if (chunk_row_ != static_cast<long>(r)) {
    chunk_row_ = static_cast<long>(r);
    chunk_offset_ = 0;
  }
  if (length < 0) Raise(adErrInvalidArgument, "The chunk length is negative.");
  const _variant_t& v = m.data->row_cells(r)[index_];
  if (const SAFEARRAY* a = v.parray()) {
    if (chunk_offset_ >= a->cElements) return _variant_t::Null();
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), a->cElements - chunk_offset_);
    _variant_t out = _variant_t::Bytes(static_cast<const unsigned char*>(a->pvData) + chunk_offset_, n);
    chunk_offset_ += n;
    return out;
  }
  if (v.vt() == VT_BSTR) {
    const std::u16string_view t = v.bstrView();
    if (chunk_offset_ >= t.size()) return _variant_t::Null();
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), t.size() - chunk_offset_);
    _variant_t out(t.substr(chunk_offset_, n));
    chunk_offset_ += n;
    return out;
  }
  if (v.IsNullOrEmpty()) return _variant_t::Null();
  Raise(adErrFeatureNotAvailable, "GetChunk needs a binary or text field.");
}

// ---- _Connection ----

_Connection* _Connection::Create() { return new _Connection; }

_Connection::~_Connection() {
  if (provider_) provider_->Close();
}

void _Connection::Open(const _bstr_t& connection_string, const _bstr_t&, const _bstr_t&, long) {
  if (provider_ && provider_->IsOpen()) Raise(adErrObjectOpen, kOpenText);
  provider_ = OpenProvider(connection_string.view());
  connection_string_ = connection_string.str();
}

void _Connection::Close() {
  if (!provider_ || !provider_->IsOpen()) Raise(adErrObjectClosed, kClosedText);
  provider_->Close();
}

long _Connection::GetState() const noexcept { return provider_ && provider_->IsOpen() ? adStateOpen : adStateClosed; }
_bstr_t _Connection::GetConnectionString() const { return _bstr_t(connection_string_); }

_RecordsetPtr _Connection::Execute(const _bstr_t& sql, _variant_t* records_affected, long) {
  if (!provider_ || !provider_->IsOpen()) Raise(adErrObjectClosed, kClosedText);
  _RecordsetPtr rs(_Recordset::Create(), false);
  rs->cursor_location_ = adUseClient;
  auto data = std::make_shared<RowSet>();
  const long affected = provider_->Execute(sql.view(), {}, nullptr, data.get());
  if (records_affected) *records_affected = _variant_t(static_cast<int>(affected));
  if (!data->fields.empty()) {
    // The rows just read become a read-only, static recordset.
    auto& m = rs->impl();
    data->provider = provider_;
    m.data = std::move(data);
    m.open = true;
    rs->cursor_type_ = adOpenStatic;
    rs->lock_type_ = adLockReadOnly;
    m.BuildFieldObjects();
    m.ApplyView();
  }
  return rs;
}

long _Connection::BeginTrans() {
  if (!provider_ || !provider_->IsOpen()) Raise(adErrObjectClosed, kClosedText);
  provider_->Begin();
  return 1;
}
void _Connection::CommitTrans() {
  if (!provider_ || !provider_->IsOpen()) Raise(adErrObjectClosed, kClosedText);
  provider_->Commit();
}
void _Connection::RollbackTrans() {
  if (!provider_ || !provider_->IsOpen()) Raise(adErrObjectClosed, kClosedText);
  provider_->Rollback();
}

}  // namespace AdoNS
