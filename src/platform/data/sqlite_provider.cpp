// The embedded provider: SQLite through its C library.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "data/bstr_arena.h"
#include "data/rowset.h"
#include "qv_platform/unicode.h"

namespace qvp::data {

namespace {

std::u16string Upper(std::string_view s) {
  std::u16string out;
  for (char c : s) out += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return out;
}

// Field definition from a column's declared type.
bool FromDeclared(const char* decl, FieldDef& f) {
  if (!decl || !*decl) return false;
  const std::u16string t = Upper(decl);
  auto has = [&t](const char16_t* w) { return t.find(w) != std::u16string::npos; };
  auto size_in_brackets = [&t](int which) -> long {
    const auto open = t.find(u'(');
    if (open == std::u16string::npos) return -1;
    long v[2] = {-1, -1};
    int k = 0;
    long cur = -1;
    for (std::size_t i = open + 1; i < t.size() && k < 2; ++i) {
      const char16_t c = t[i];
      if (c >= u'0' && c <= u'9') cur = (cur < 0 ? 0 : cur * 10) + (c - u'0');
      else if (c == u',' || c == u')') {
        v[k++] = cur;
        cur = -1;
        if (c == u')') break;
      }
    }
    return v[which];
  };
  if (has(u"UNIQUEIDENTIFIER") || has(u"GUID") || has(u"UUID")) { f.type = adGUID; f.defined_size = 16; }
  else if (has(u"BIGINT") || has(u"INT8") || t == u"INTEGER") { f.type = adBigInt; f.defined_size = 8; }
  else if (has(u"TINYINT")) { f.type = adTinyInt; f.defined_size = 1; }
  else if (has(u"SMALLINT") || has(u"INT2")) { f.type = adSmallInt; f.defined_size = 2; }
  else if (has(u"INT")) { f.type = adInteger; f.defined_size = 4; }
  else if (has(u"BOOL") || t == u"BIT") { f.type = adBoolean; f.defined_size = 2; }
  else if (has(u"MONEY") || has(u"CURRENCY")) { f.type = adCurrency; f.defined_size = 8; }
  else if (has(u"DEC") || has(u"NUMERIC")) {
    f.type = adNumeric;
    f.defined_size = 19;
    const long p = size_in_brackets(0);
    const long s = size_in_brackets(1);
    f.precision = static_cast<unsigned char>(p > 0 && p <= 38 ? p : 18);
    f.scale = static_cast<unsigned char>(s > 0 && s <= 28 ? s : 0);
  }
  else if (has(u"REAL") || has(u"FLOA") || has(u"DOUB")) { f.type = adDouble; f.defined_size = 8; }
  else if (has(u"DATETIME") || has(u"TIMESTAMP")) { f.type = adDBTimeStamp; f.defined_size = 16; }
  else if (has(u"DATE")) { f.type = adDBDate; f.defined_size = 6; }
  else if (has(u"TIME")) { f.type = adDBTime; f.defined_size = 6; }
  else if (has(u"BLOB") || has(u"BINARY")) { f.type = adLongVarBinary; f.defined_size = 2147483647; f.attributes |= adFldLong; }
  else if (has(u"CHAR") && size_in_brackets(0) > 0) { f.type = adVarWChar; f.defined_size = size_in_brackets(0); }
  else if (has(u"CHAR") || has(u"CLOB") || has(u"TEXT")) { f.type = adLongVarWChar; f.defined_size = 1073741823; f.attributes |= adFldLong; }
  else return false;
  return true;
}

void FromStorage(int storage, FieldDef& f) {
  switch (storage) {
    case SQLITE_INTEGER: f.type = adBigInt; f.defined_size = 8; break;
    case SQLITE_FLOAT: f.type = adDouble; f.defined_size = 8; break;
    case SQLITE_BLOB: f.type = adLongVarBinary; f.defined_size = 2147483647; f.attributes |= adFldLong; break;
    default: f.type = adVarWChar; f.defined_size = 255; break;
  }
}

// "YYYY-MM-DD HH:MM:SS" with an optional "T" and fraction, or a date or time
// alone.
bool ParseIsoDate(const std::u16string& text, double& out) {
  // The stored form first, read by hand: this runs for every date of every
  // row.
  auto digits = [&text](std::size_t at, std::size_t n, WORD& v) {
    if (at + n > text.size()) return false;
    v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (text[i] < u'0' || text[i] > u'9') return false;
      v = static_cast<WORD>(v * 10 + (text[i] - u'0'));
    }
    return true;
  };
  SYSTEMTIME st;
  if (text.size() >= 10 && text[4] == u'-' && text[7] == u'-' && digits(0, 4, st.wYear) && digits(5, 2, st.wMonth) &&
      digits(8, 2, st.wDay)) {
    bool ok = text.size() == 10;
    if (!ok && text.size() >= 19 && (text[10] == u' ' || text[10] == u'T') && text[13] == u':' && text[16] == u':' &&
        digits(11, 2, st.wHour) && digits(14, 2, st.wMinute) && digits(17, 2, st.wSecond))
      ok = text.size() == 19 || text[19] == u'.';
    if (ok && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 && st.wDay <= 31 && st.wHour < 24 && st.wMinute < 60 &&
        st.wSecond < 60 && SystemTimeToVariantTime(&st, &out))
      return true;
  }
  std::u16string loose = text;
  for (auto& c : loose)
    if (c == u'T') c = u' ';
  const auto dot = loose.find(u'.');
  if (dot != std::u16string::npos && dot > 10) loose.resize(dot);
  COleDateTime t;
  if (!t.ParseDateTime(loose.c_str())) return false;
  out = t.m_dt;
  return true;
}

std::string IsoText(double date, DataTypeEnum type) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) return {};
  char buf[40];
  if (type == adDBDate) std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
  else if (type == adDBTime) std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
  else std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  return buf;
}

class SqliteProvider final : public Provider {
 public:
  explicit SqliteProvider(sqlite3* db) : db_(db) {}
  ~SqliteProvider() override { Close(); }

  bool IsOpen() const noexcept override { return db_ != nullptr; }
  void Close() noexcept override {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
  }

  long Execute(std::u16string_view sql, const std::vector<_variant_t>& params, const std::vector<FieldDef>* defs,
               RowSet* out) override {
    Require();
    const std::u16string text(sql);
    const void* tail = text.c_str();
    const void* end = text.c_str() + text.size();
    long affected = -1;
    bool rows_taken = false;
    std::size_t next_param = 0;
    while (tail && tail < end) {
      sqlite3_stmt* stmt = nullptr;
      const void* rest = nullptr;
      const int n_bytes = static_cast<int>((static_cast<const char16_t*>(end) - static_cast<const char16_t*>(tail)) * 2);
      if (sqlite3_prepare16_v2(db_, tail, n_bytes, &stmt, &rest) != SQLITE_OK) Fail();
      tail = rest;
      if (!stmt) continue;  // blanks or a comment
      Stmt guard{stmt};
      const int n_params = sqlite3_bind_parameter_count(stmt);
      for (int i = 1; i <= n_params; ++i, ++next_param) {
        if (next_param >= params.size()) break;
        Bind(stmt, i, params[next_param], defs && next_param < defs->size() ? &(*defs)[next_param] : nullptr);
      }
      if (sqlite3_column_count(stmt) > 0 && out && !rows_taken) {
        ReadRows(stmt, *out);
        rows_taken = true;
      } else {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) Fail();
        if (sqlite3_stmt_readonly(stmt) == 0) affected = sqlite3_changes(db_);
      }
    }
    return affected;
  }

  void Begin() override { Exec("BEGIN"); }
  void Commit() override { Exec("COMMIT"); }
  void Rollback() noexcept override {
    if (db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  std::vector<std::u16string> PrimaryKey(std::u16string_view table) override {
    Require();
    std::vector<std::pair<int, std::u16string>> keys;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT name, pk FROM pragma_table_info(?) WHERE pk > 0", -1, &stmt, nullptr) != SQLITE_OK) Fail();
    Stmt guard{stmt};
    sqlite3_bind_text16(stmt, 1, table.data(), static_cast<int>(table.size() * 2), SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const auto* name = static_cast<const char16_t*>(sqlite3_column_text16(stmt, 0));
      keys.emplace_back(sqlite3_column_int(stmt, 1), name ? name : u"");
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::u16string> out;
    for (auto& k : keys) out.push_back(std::move(k.second));
    return out;
  }

  _variant_t LastInsertId() override {
    Require();
    return _variant_t(static_cast<long long>(sqlite3_last_insert_rowid(db_)));
  }

 private:
  struct Stmt {
    sqlite3_stmt* s;
    ~Stmt() { sqlite3_finalize(s); }
  };

  void Require() const {
    if (!db_) Raise(adErrObjectClosed, "Operation is not allowed when the object is closed.");
  }
  [[noreturn]] void Fail() const {
    const auto* msg = static_cast<const char16_t*>(sqlite3_errmsg16(db_));
    Raise(E_FAIL, std::u16string(msg ? msg : u"SQLite error"));
  }
  void Exec(const char* sql) {
    Require();
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
  }

  void Bind(sqlite3_stmt* stmt, int i, const _variant_t& v, const FieldDef* def) {
    int rc = SQLITE_OK;
    const VARTYPE vt = v.vt();
    if (v.IsNullOrEmpty()) {
      rc = sqlite3_bind_null(stmt, i);
    } else if (vt == VT_BSTR) {
      const auto t = v.bstrView();
      rc = sqlite3_bind_text16(stmt, i, t.data(), static_cast<int>(t.size() * 2), SQLITE_TRANSIENT);
    } else if (vt == VT_BOOL) {
      rc = sqlite3_bind_int64(stmt, i, v.boolVal() ? 1 : 0);
    } else if (vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8 || vt == VT_INT) {
      rc = sqlite3_bind_int64(stmt, i, v.llVal());
    } else if (vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UI8 || vt == VT_UINT) {
      rc = sqlite3_bind_int64(stmt, i, static_cast<sqlite3_int64>(v.ullVal()));
    } else if (vt == VT_R8) {
      rc = sqlite3_bind_double(stmt, i, v.dblVal());
    } else if (vt == VT_R4) {
      rc = sqlite3_bind_double(stmt, i, v.fltVal());
    } else if (vt == VT_CY) {
      rc = sqlite3_bind_double(stmt, i, static_cast<double>(v.cyVal()) / 10000.0);
    } else if (vt == VT_DECIMAL) {
      const std::string t = qvp::Utf16ToUtf8(qvp::DecimalToText(v.decVal()));
      rc = sqlite3_bind_text(stmt, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
    } else if (vt == VT_DATE) {
      const std::string t = IsoText(v.date(), def ? def->type : adDBTimeStamp);
      rc = sqlite3_bind_text(stmt, i, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
    } else if (const SAFEARRAY* a = v.parray()) {
      rc = sqlite3_bind_blob(stmt, i, a->pvData, static_cast<int>(a->cElements), SQLITE_TRANSIENT);
    } else {
      Raise(adErrDataConversion, "Application uses a value of the wrong type for the current operation.");
    }
    if (rc != SQLITE_OK) Fail();
  }

  void ReadRows(sqlite3_stmt* stmt, RowSet& out) {
    const int n = sqlite3_column_count(stmt);
    out.fields.assign(static_cast<std::size_t>(n), FieldDef{});
    std::vector<bool> typed(static_cast<std::size_t>(n), false);
    std::u16string table;
    bool one_table = true;
    for (int c = 0; c < n; ++c) {
      FieldDef& f = out.fields[static_cast<std::size_t>(c)];
      const auto* name = static_cast<const char16_t*>(sqlite3_column_name16(stmt, c));
      f.name = name ? name : u"";
      f.attributes = adFldUpdatable | adFldIsNullable | adFldMayBeNull;
      typed[static_cast<std::size_t>(c)] = FromDeclared(sqlite3_column_decltype(stmt, c), f);
      const auto* tab = static_cast<const char16_t*>(sqlite3_column_table_name16(stmt, c));
      const auto* origin = static_cast<const char16_t*>(sqlite3_column_origin_name16(stmt, c));
      if (tab && origin) {
        f.base_column = origin;
        if (table.empty()) table = tab;
        else if (table != tab) one_table = false;
      }
    }
    if (one_table) out.base_table = table;
    if (!one_table)
      for (auto& f : out.fields) f.base_column.clear();
    int rc;
    bool first = true;
    BstrArena arena;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      if (first) {
        for (int c = 0; c < n; ++c)
          if (!typed[static_cast<std::size_t>(c)]) FromStorage(sqlite3_column_type(stmt, c), out.fields[static_cast<std::size_t>(c)]);
        first = false;
      }
      for (int c = 0; c < n; ++c) out.cells.push_back(ReadValue(stmt, c, out.fields[static_cast<std::size_t>(c)], arena));
      out.rows.emplace_back();
    }
    if (rc != SQLITE_DONE) Fail();
    out.cells.shrink_to_fit();
    out.rows.shrink_to_fit();
    if (first)
      for (int c = 0; c < n; ++c)
        if (!typed[static_cast<std::size_t>(c)]) FromStorage(SQLITE_TEXT, out.fields[static_cast<std::size_t>(c)]);
  }

  // Text as UTF-16, cut from the query's arena.
  static _variant_t Text(sqlite3_stmt* stmt, int c, BstrArena& arena) {
    const auto* p = sqlite3_column_text(stmt, c);
    const int n = sqlite3_column_bytes(stmt, c);
    if (!p) return _variant_t(std::u16string_view());
    BSTR b = arena.AllocUtf8(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)));
    if (!b) throw std::bad_alloc();
    return _variant_t::AttachBstr(b);
  }

  static std::u16string HeapText(sqlite3_stmt* stmt, int c) {
    const auto* p = sqlite3_column_text(stmt, c);
    const auto n = static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
    if (!p) return {};
    std::u16string out(n, u'\0');
    for (std::size_t i = 0; i < n; ++i) {
      if (p[i] >= 0x80) return qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(p), n));
      out[i] = p[i];
    }
    return out;
  }

  static _variant_t ReadValue(sqlite3_stmt* stmt, int c, const FieldDef& f, BstrArena& arena) {
    const int storage = sqlite3_column_type(stmt, c);
    if (storage == SQLITE_NULL) return _variant_t::Null();
    const VARTYPE target = VarTypeOf(f.type);
    switch (target) {
      case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
        if (storage == SQLITE_INTEGER) return _variant_t(static_cast<std::int64_t>(sqlite3_column_int64(stmt, c)), target);
        break;
      case VT_BOOL:
        if (storage == SQLITE_INTEGER) return _variant_t(sqlite3_column_int64(stmt, c) != 0);
        break;
      case VT_R8:
        if (storage != SQLITE_TEXT && storage != SQLITE_BLOB) return _variant_t(sqlite3_column_double(stmt, c));
        break;
      case VT_BSTR:
        if (storage != SQLITE_BLOB) return Text(stmt, c, arena);
        break;
      case VT_DECIMAL:
        // A number stored as an integer or a real, scaled to the column's
        // scale without going through text.
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
          double scaled = sqlite3_column_double(stmt, c);
          for (int i = 0; i < f.scale; ++i) scaled *= 10.0;
          if (std::fabs(scaled) < 9.0e15) {
            const long long m = std::llround(scaled);
            DECIMAL d;
            d.scale = f.scale;
            d.sign = m < 0 ? DECIMAL_NEG : 0;
            d.Lo64 = static_cast<std::uint64_t>(m < 0 ? -m : m);
            return _variant_t::Decimal(d);
          }
        }
        break;
      case VT_DATE: {
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return _variant_t::Date(sqlite3_column_double(stmt, c));
        // Parsed from a string of its own: text cut from the arena and
        // dropped again would stay held in its block.
        const std::u16string text = HeapText(stmt, c);
        double d = 0;
        if (ParseIsoDate(text, d)) return _variant_t::Date(d);
        return _variant_t(std::u16string_view(text));  // not a date: the text as stored
      }
      default:
        if (target == (VT_ARRAY | VT_UI1)) {
          const void* p = sqlite3_column_blob(stmt, c);
          return _variant_t::Bytes(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)));
        }
        break;
    }
    // A value stored in another class than its column's type: convert when
    // it can, else keep it as stored.
    _variant_t raw;
    switch (storage) {
      case SQLITE_INTEGER: raw = _variant_t(static_cast<long long>(sqlite3_column_int64(stmt, c))); break;
      case SQLITE_FLOAT: raw = _variant_t(sqlite3_column_double(stmt, c)); break;
      case SQLITE_BLOB: {
        const void* p = sqlite3_column_blob(stmt, c);
        return _variant_t::Bytes(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)));
      }
      default: raw = _variant_t(std::u16string_view(HeapText(stmt, c))); break;
    }
    _variant_t conv;
    if (target != VT_EMPTY && SUCCEEDED(VariantChangeType(&conv, &raw, 0, target))) return conv;
    return raw;
  }

  sqlite3* db_;
};

}  // namespace

std::shared_ptr<Provider> OpenSqlite(const std::u16string& path) {
  sqlite3* db = nullptr;
  const std::string utf8 = qvp::Utf16ToUtf8(path);
  const int rc = sqlite3_open_v2(utf8.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, SeamVfs());
  if (rc != SQLITE_OK) {
    std::u16string msg = qvp::Utf8ToUtf16(db ? sqlite3_errmsg(db) : "out of memory");
    msg += qvp::Utf8ToUtf16(": ");
    msg += path;
    sqlite3_close_v2(db);
    Raise(E_FAIL, std::move(msg));
  }
  sqlite3_busy_timeout(db, 5000);
  return std::make_shared<SqliteProvider>(db);
}

}  // namespace qvp::data
