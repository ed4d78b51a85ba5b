// The server provider: any database through the ODBC driver manager
// (unixODBC) and the database's own ODBC driver. Text crosses as UTF-16
// (the W entry points), values as bound parameters.
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include <algorithm>
#include <cstring>

#include "data/rowset.h"
#include "qv_platform/unicode.h"

// The driver manager's headers declare their own Windows-style type names
// (BOOL, WCHAR, DWORD...), which clash with the platform layer's; they are
// kept in a namespace of their own. The functions keep their C linkage.
namespace odbc {
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
}  // namespace odbc
#undef BOOL


namespace qvp::data {

using namespace odbc;

namespace {

SQLWCHAR* W(const char16_t* s) { return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(s)); }

std::u16string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::u16string out;
  for (SQLSMALLINT i = 1; i <= 5; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR msg[1024] = {};
    SQLSMALLINT len = 0;
    const SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, msg, 1024, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    if (!out.empty()) out += u"; ";
    out += std::u16string(reinterpret_cast<const char16_t*>(msg));
    out += u" (SQLSTATE ";
    out += std::u16string(reinterpret_cast<const char16_t*>(state));
    out += u")";
  }
  if (out.empty()) out = u"ODBC error";
  return out;
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct StmtHandle {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~StmtHandle() {
    if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
};

void FieldFromSqlType(SQLSMALLINT sql_type, SQLULEN size, SQLSMALLINT digits, FieldDef& f) {
  switch (sql_type) {
    case SQL_BIT: f.type = adBoolean; f.defined_size = 2; break;
    case SQL_TINYINT: f.type = adTinyInt; f.defined_size = 1; break;
    case SQL_SMALLINT: f.type = adSmallInt; f.defined_size = 2; break;
    case SQL_INTEGER: f.type = adInteger; f.defined_size = 4; break;
    case SQL_BIGINT: f.type = adBigInt; f.defined_size = 8; break;
    case SQL_REAL: f.type = adSingle; f.defined_size = 4; break;
    case SQL_FLOAT: case SQL_DOUBLE: f.type = adDouble; f.defined_size = 8; break;
    case SQL_DECIMAL: case SQL_NUMERIC:
      f.type = adNumeric;
      f.defined_size = 19;
      f.precision = static_cast<unsigned char>(size > 0 && size <= 38 ? size : 38);
      f.scale = static_cast<unsigned char>(digits > 0 && digits <= 28 ? digits : 0);
      break;
    case SQL_CHAR: case SQL_VARCHAR: case SQL_WCHAR: case SQL_WVARCHAR:
      f.type = adVarWChar;
      f.defined_size = static_cast<long>(size > 0 && size < 1073741823 ? size : 255);
      break;
    case SQL_LONGVARCHAR: case SQL_WLONGVARCHAR:
      f.type = adLongVarWChar; f.defined_size = 1073741823; f.attributes |= adFldLong; break;
    case SQL_BINARY: case SQL_VARBINARY:
      f.type = adVarBinary; f.defined_size = static_cast<long>(size > 0 && size < 2147483647 ? size : 255); break;
    case SQL_LONGVARBINARY:
      f.type = adLongVarBinary; f.defined_size = 2147483647; f.attributes |= adFldLong; break;
    case SQL_TYPE_DATE: case SQL_DATE: f.type = adDBDate; f.defined_size = 6; break;
    case SQL_TYPE_TIME: case SQL_TIME: f.type = adDBTime; f.defined_size = 6; break;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: f.type = adDBTimeStamp; f.defined_size = 16; break;
    case SQL_GUID: f.type = adGUID; f.defined_size = 16; break;
    default: f.type = adLongVarWChar; f.defined_size = 1073741823; f.attributes |= adFldLong; break;
  }
}

// Storage for one bound parameter, alive until the statement has run.
struct ParamBuffer {
  std::u16string text;
  std::string ascii;
  std::vector<unsigned char> bytes;
  SQLBIGINT i64 = 0;
  double r8 = 0;
  unsigned char bit = 0;
  SQL_TIMESTAMP_STRUCT ts{};
  SQLLEN ind = 0;
};

class OdbcProvider final : public Provider {
 public:
  ~OdbcProvider() override { Close(); }

  void Connect(const std::u16string& cs) {
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) Raise(E_FAIL, "The ODBC driver manager cannot be used.");
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) Raise(E_FAIL, Diagnostics(SQL_HANDLE_ENV, env_));
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    SQLWCHAR out[1024];
    SQLSMALLINT out_len = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, W(cs.c_str()), static_cast<SQLSMALLINT>(cs.size()), out, 1024,
                                           &out_len, SQL_DRIVER_NOPROMPT);
    if (!Ok(rc)) Raise(E_FAIL, Diagnostics(SQL_HANDLE_DBC, dbc_));
    connected_ = true;
    SQLWCHAR quote[8] = {};
    SQLSMALLINT qlen = 0;
    if (Ok(SQLGetInfoW(dbc_, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &qlen)) && quote[0] && quote[0] != u' ')
      quote_ = static_cast<char16_t>(quote[0]);
    SQLWCHAR dbms[128] = {};
    SQLSMALLINT dlen = 0;
    if (Ok(SQLGetInfoW(dbc_, SQL_DBMS_NAME, dbms, sizeof dbms, &dlen))) {
      std::u16string name(reinterpret_cast<const char16_t*>(dbms));
      for (auto& ch : name) ch = ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch;
      auto has = [&name](const char16_t* w) { return name.find(w) != std::u16string::npos; };
      if (has(u"POSTGRES")) key_style_ = KeyStyle::kReturning;
      else if (has(u"SQL SERVER")) key_style_ = KeyStyle::kOutputInserted;
      else if (has(u"DB2")) key_style_ = KeyStyle::kFinalTable;
      else if (has(u"ACCESS")) key_style_ = KeyStyle::kIdentityAfter;
      else if (has(u"MYSQL") || has(u"MARIADB")) key_style_ = KeyStyle::kLastInsertIdAfter;
      else if (has(u"SQLITE")) key_style_ = KeyStyle::kRowIdAfter;
    }
  }

  bool IsOpen() const noexcept override { return connected_; }
  void Close() noexcept override {
    if (dbc_) {
      if (connected_) SQLDisconnect(dbc_);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    dbc_ = SQL_NULL_HDBC;
    env_ = SQL_NULL_HENV;
    connected_ = false;
  }

  long Execute(std::u16string_view sql, const std::vector<_variant_t>& params, const std::vector<FieldDef>* defs,
               RowSet* out) override {
    Require();
    StmtHandle st;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st.h))) Raise(E_FAIL, Diagnostics(SQL_HANDLE_DBC, dbc_));
    const std::u16string text(sql);
    std::vector<ParamBuffer> buffers(params.size());
    SQLRETURN rc;
    if (params.empty()) {
      rc = SQLExecDirectW(st.h, W(text.c_str()), static_cast<SQLINTEGER>(text.size()));
    } else {
      if (!Ok(SQLPrepareW(st.h, W(text.c_str()), static_cast<SQLINTEGER>(text.size())))) Fail(st.h);
      for (std::size_t i = 0; i < params.size(); ++i)
        Bind(st.h, static_cast<SQLUSMALLINT>(i + 1), params[i], defs && i < defs->size() ? &(*defs)[i] : nullptr,
             buffers[i]);
      rc = SQLExecute(st.h);
    }
    if (rc == SQL_NO_DATA) return 0;
    if (!Ok(rc)) Fail(st.h);
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st.h, &cols);
    if (cols > 0) {
      if (out) ReadRows(st.h, cols, *out);
      return -1;
    }
    SQLLEN count = -1;
    SQLRowCount(st.h, &count);
    return static_cast<long>(count);
  }

  void Begin() override {
    Require();
    if (!Ok(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
      Raise(E_FAIL, Diagnostics(SQL_HANDLE_DBC, dbc_));
  }
  void Commit() override {
    Require();
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
    const std::u16string why = Ok(rc) ? std::u16string() : Diagnostics(SQL_HANDLE_DBC, dbc_);
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    if (!Ok(rc)) Raise(E_FAIL, why);
  }
  void Rollback() noexcept override {
    if (!connected_) return;
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  }

  std::vector<std::u16string> PrimaryKey(std::u16string_view table) override {
    Require();
    StmtHandle st;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st.h))) return {};
    std::u16string name(table);
    if (!Ok(SQLPrimaryKeysW(st.h, nullptr, 0, nullptr, 0, W(name.c_str()), static_cast<SQLSMALLINT>(name.size()))))
      return {};
    std::vector<std::pair<int, std::u16string>> keys;
    while (Ok(SQLFetch(st.h))) {
      SQLWCHAR col[256] = {};
      SQLLEN ind = 0;
      SQLSMALLINT seq = 0;
      SQLLEN ind2 = 0;
      SQLGetData(st.h, 4, SQL_C_WCHAR, col, sizeof col, &ind);
      SQLGetData(st.h, 5, SQL_C_SSHORT, &seq, 0, &ind2);
      keys.emplace_back(seq, std::u16string(reinterpret_cast<const char16_t*>(col)));
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::u16string> out;
    for (auto& k : keys) out.push_back(std::move(k.second));
    return out;
  }

  _variant_t LastInsertId() override {
    switch (key_style_) {
      case KeyStyle::kIdentityAfter: return Scalar(u"SELECT @@IDENTITY");
      case KeyStyle::kLastInsertIdAfter: return Scalar(u"SELECT LAST_INSERT_ID()");
      case KeyStyle::kRowIdAfter: return Scalar(u"SELECT last_insert_rowid()");
      default: return _variant_t();
    }
  }

  // The key comes back in the INSERT's own result where the server can
  // give it there (PostgreSQL's RETURNING, SQL Server's OUTPUT INSERTED,
  // DB2's SELECT FROM FINAL TABLE), so no later statement can see another
  // session's row; Access, MySQL and SQLite name the session's last key in a
  // query of its own. Oracle returns it only into an output parameter, which
  // these statements do not bind: the key stays EMPTY there, as it does on
  // servers not recognised.
  _variant_t InsertRow(const std::u16string& table, const std::u16string& columns, const std::vector<_variant_t>& params,
                       const std::vector<FieldDef>& defs, const std::u16string* key_column) override {
    if (!key_column) return Provider::InsertRow(table, columns, params, defs, nullptr);
    std::u16string sql;
    switch (key_style_) {
      case KeyStyle::kReturning:
        sql = InsertText(table, columns, params.size()) + u" RETURNING " + *key_column;
        break;
      case KeyStyle::kOutputInserted: {
        const std::u16string output = u" OUTPUT INSERTED." + *key_column;
        const std::u16string plain = InsertText(table, columns, params.size());
        const std::size_t at = columns.empty() ? plain.find(u" DEFAULT VALUES") : plain.find(u" VALUES (");
        sql = plain.substr(0, at) + output + plain.substr(at);
        break;
      }
      case KeyStyle::kFinalTable:
        sql = u"SELECT " + *key_column + u" FROM FINAL TABLE (" + InsertText(table, columns, params.size()) + u")";
        break;
      default: return Provider::InsertRow(table, columns, params, defs, key_column);
    }
    RowSet inserted;
    Execute(sql, params, &defs, &inserted);
    return inserted.cells.empty() ? _variant_t() : inserted.cells.front();
  }

  std::u16string QuoteIdentifier(std::u16string_view name) const override {
    std::u16string out(1, quote_);
    for (char16_t c : name) {
      if (c == quote_) out += c;
      out += c;
    }
    out += quote_;
    return out;
  }

 private:
  void Require() const {
    if (!connected_) Raise(adErrObjectClosed, "Operation is not allowed when the object is closed.");
  }
  [[noreturn]] void Fail(SQLHSTMT st) const { Raise(E_FAIL, Diagnostics(SQL_HANDLE_STMT, st)); }

  // The first value of a one-row query, EMPTY when it gives none.
  _variant_t Scalar(const char16_t* sql) {
    RowSet rows;
    Execute(sql, {}, nullptr, &rows);
    return rows.cells.empty() ? _variant_t() : rows.cells.front();
  }

  void Bind(SQLHSTMT st, SQLUSMALLINT i, const _variant_t& v, const FieldDef* def, ParamBuffer& b) {
    const VARTYPE vt = v.vt();
    SQLSMALLINT ctype = SQL_C_WCHAR;
    SQLSMALLINT stype = SQL_WVARCHAR;
    SQLULEN size = 1;
    SQLSMALLINT digits = 0;
    SQLPOINTER ptr = nullptr;
    SQLLEN buflen = 0;
    if (v.IsNullOrEmpty()) {
      b.ind = SQL_NULL_DATA;
      ctype = SQL_C_CHAR;
      stype = SQL_VARCHAR;
      if (def) {
        switch (VarTypeOf(def->type)) {
          case VT_I1: case VT_I2: case VT_I4: case VT_I8: stype = SQL_BIGINT; ctype = SQL_C_SBIGINT; break;
          case VT_R4: case VT_R8: stype = SQL_DOUBLE; ctype = SQL_C_DOUBLE; break;
          case VT_BOOL: stype = SQL_BIT; ctype = SQL_C_BIT; break;
          case VT_DATE: stype = SQL_TYPE_TIMESTAMP; ctype = SQL_C_TYPE_TIMESTAMP; break;
          default: if (def->type == adLongVarBinary || def->type == adVarBinary) { stype = SQL_LONGVARBINARY; ctype = SQL_C_BINARY; } break;
        }
      }
      ptr = &b.i64;
    } else if (vt == VT_BSTR) {
      b.text = v.bstrView();
      b.ind = static_cast<SQLLEN>(b.text.size() * 2);
      size = b.text.empty() ? 1 : b.text.size();
      ptr = b.text.data();
      buflen = b.ind;
    } else if (vt == VT_BOOL) {
      b.bit = v.boolVal() ? 1 : 0;
      ctype = SQL_C_BIT;
      stype = SQL_BIT;
      ptr = &b.bit;
    } else if (vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8 || vt == VT_INT || vt == VT_UI1 ||
               vt == VT_UI2 || vt == VT_UI4 || vt == VT_UI8 || vt == VT_UINT) {
      b.i64 = (vt == VT_UI8 || vt == VT_UI4 || vt == VT_UI2 || vt == VT_UI1 || vt == VT_UINT)
                  ? static_cast<SQLBIGINT>(v.ullVal())
                  : v.llVal();
      ctype = SQL_C_SBIGINT;
      stype = def && def->type == adInteger ? SQL_INTEGER : def && def->type == adSmallInt ? SQL_SMALLINT : SQL_BIGINT;
      ptr = &b.i64;
    } else if (vt == VT_R8 || vt == VT_R4) {
      b.r8 = vt == VT_R8 ? v.dblVal() : v.fltVal();
      ctype = SQL_C_DOUBLE;
      stype = vt == VT_R4 || (def && def->type == adSingle) ? SQL_REAL : SQL_DOUBLE;
      if (stype == SQL_REAL) {
        static_assert(sizeof(float) == 4);
        ctype = SQL_C_FLOAT;
        const float f = static_cast<float>(b.r8);
        std::memcpy(&b.i64, &f, sizeof f);
        ptr = &b.i64;
      } else {
        ptr = &b.r8;
      }
    } else if (vt == VT_DECIMAL || vt == VT_CY) {
      _variant_t t;
      VariantChangeType(&t, &v, 0, VT_BSTR);
      b.ascii = qvp::Utf16ToUtf8(t.bstrView());
      b.ind = static_cast<SQLLEN>(b.ascii.size());
      ctype = SQL_C_CHAR;
      stype = SQL_NUMERIC;
      size = 38;
      digits = static_cast<SQLSMALLINT>(vt == VT_CY ? 4 : v.decVal().scale);
      ptr = b.ascii.data();
      buflen = b.ind;
    } else if (vt == VT_DATE) {
      SYSTEMTIME s;
      if (!VariantTimeToSystemTime(v.date(), &s)) Raise(adErrDataConversion, "The date cannot be written to the database.");
      b.ts.year = static_cast<SQLSMALLINT>(s.wYear);
      b.ts.month = s.wMonth;
      b.ts.day = s.wDay;
      b.ts.hour = s.wHour;
      b.ts.minute = s.wMinute;
      b.ts.second = s.wSecond;
      ctype = SQL_C_TYPE_TIMESTAMP;
      stype = def && def->type == adDBDate ? SQL_TYPE_DATE : SQL_TYPE_TIMESTAMP;
      size = stype == SQL_TYPE_DATE ? 10 : 19;
      ptr = &b.ts;
    } else if (const SAFEARRAY* a = v.parray()) {
      const auto* p = static_cast<const unsigned char*>(a->pvData);
      b.bytes.assign(p, p + a->cElements);
      b.ind = static_cast<SQLLEN>(b.bytes.size());
      ctype = SQL_C_BINARY;
      stype = SQL_LONGVARBINARY;
      size = b.bytes.empty() ? 1 : b.bytes.size();
      ptr = b.bytes.data();
      buflen = b.ind;
    } else {
      Raise(adErrDataConversion, "Application uses a value of the wrong type for the current operation.");
    }
    if (!Ok(SQLBindParameter(st, i, SQL_PARAM_INPUT, ctype, stype, size, digits, ptr, buflen, &b.ind))) Fail(st);
  }

  void ReadRows(SQLHSTMT st, SQLSMALLINT cols, RowSet& out) {
    out.fields.assign(static_cast<std::size_t>(cols), FieldDef{});
    std::u16string table;
    bool one_table = true;
    for (SQLSMALLINT c = 1; c <= cols; ++c) {
      FieldDef& f = out.fields[static_cast<std::size_t>(c - 1)];
      SQLWCHAR name[512] = {};
      SQLSMALLINT name_len = 0;
      SQLSMALLINT type = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      if (!Ok(SQLDescribeColW(st, c, name, 512, &name_len, &type, &size, &digits, &nullable))) Fail(st);
      f.name = reinterpret_cast<const char16_t*>(name);
      FieldFromSqlType(type, size, digits, f);
      f.attributes |= adFldUpdatable;
      if (nullable != SQL_NO_NULLS) f.attributes |= adFldIsNullable | adFldMayBeNull;
      SQLWCHAR buf[512] = {};
      SQLSMALLINT len = 0;
      if (Ok(SQLColAttributeW(st, c, SQL_DESC_BASE_COLUMN_NAME, buf, sizeof buf, &len, nullptr)))
        f.base_column = reinterpret_cast<const char16_t*>(buf);
      SQLWCHAR tab[512] = {};
      if (Ok(SQLColAttributeW(st, c, SQL_DESC_BASE_TABLE_NAME, tab, sizeof tab, &len, nullptr)) && tab[0]) {
        const std::u16string t(reinterpret_cast<const char16_t*>(tab));
        if (table.empty()) table = t;
        else if (table != t) one_table = false;
      }
    }
    if (one_table) out.base_table = table;
    else
      for (auto& f : out.fields) f.base_column.clear();
    for (;;) {
      const SQLRETURN rc = SQLFetch(st);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) Fail(st);
      const std::size_t r = out.AppendRow();
      _variant_t* cells = out.row_cells(r);
      for (SQLSMALLINT c = 1; c <= cols; ++c) cells[c - 1] = ReadValue(st, c, out.fields[static_cast<std::size_t>(c - 1)]);
    }
  }

  _variant_t ReadText(SQLHSTMT st, SQLUSMALLINT c) {
    std::u16string text;
    char16_t buf[2048];
    for (;;) {
      SQLLEN ind = 0;
      const SQLRETURN rc = SQLGetData(st, c, SQL_C_WCHAR, buf, sizeof buf, &ind);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) Fail(st);
      if (ind == SQL_NULL_DATA) return _variant_t::Null();
      const std::size_t room = sizeof buf / 2 - 1;
      const std::size_t got = (ind == SQL_NO_TOTAL || static_cast<std::size_t>(ind) / 2 > room) ? room : static_cast<std::size_t>(ind) / 2;
      text.append(buf, got);
      if (rc == SQL_SUCCESS) break;
    }
    return _variant_t(std::u16string_view(text));
  }

  _variant_t ReadValue(SQLHSTMT st, SQLUSMALLINT c, const FieldDef& f) {
    SQLLEN ind = 0;
    const VARTYPE target = VarTypeOf(f.type);
    switch (target) {
      case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: {
        SQLBIGINT v = 0;
        if (!Ok(SQLGetData(st, c, SQL_C_SBIGINT, &v, 0, &ind))) Fail(st);
        if (ind == SQL_NULL_DATA) return _variant_t::Null();
        return _variant_t(static_cast<std::int64_t>(v), target);
      }
      case VT_BOOL: {
        unsigned char v = 0;
        if (!Ok(SQLGetData(st, c, SQL_C_BIT, &v, 0, &ind))) Fail(st);
        if (ind == SQL_NULL_DATA) return _variant_t::Null();
        return _variant_t(v != 0);
      }
      case VT_R4: case VT_R8: {
        double v = 0;
        if (!Ok(SQLGetData(st, c, SQL_C_DOUBLE, &v, 0, &ind))) Fail(st);
        if (ind == SQL_NULL_DATA) return _variant_t::Null();
        return target == VT_R4 ? _variant_t(static_cast<float>(v)) : _variant_t(v);
      }
      case VT_DATE: {
        SQL_TIMESTAMP_STRUCT ts{};
        if (f.type == adDBTime) {
          SQL_TIME_STRUCT t{};
          if (!Ok(SQLGetData(st, c, SQL_C_TYPE_TIME, &t, sizeof t, &ind))) Fail(st);
          ts.year = 1899;
          ts.month = 12;
          ts.day = 30;
          ts.hour = t.hour;
          ts.minute = t.minute;
          ts.second = t.second;
        } else if (!Ok(SQLGetData(st, c, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind))) {
          Fail(st);
        }
        if (ind == SQL_NULL_DATA) return _variant_t::Null();
        SYSTEMTIME s;
        s.wYear = static_cast<WORD>(ts.year);
        s.wMonth = ts.month;
        s.wDay = ts.day;
        s.wHour = ts.hour;
        s.wMinute = ts.minute;
        s.wSecond = ts.second;
        double d = 0;
        if (!SystemTimeToVariantTime(&s, &d)) return _variant_t::Null();
        return _variant_t::Date(d);
      }
      case VT_BSTR: {
        _variant_t t = ReadText(st, c);
        if (f.type == adGUID && t.vt() == VT_BSTR && !t.bstrView().empty() && t.bstrView()[0] != u'{') {
          std::u16string g = u"{";
          for (char16_t ch : t.bstrView()) g += ch >= u'a' && ch <= u'f' ? static_cast<char16_t>(ch - 32) : ch;
          g += u"}";
          return _variant_t(std::u16string_view(g));
        }
        return t;
      }
      case VT_DECIMAL: case VT_CY: {
        _variant_t t = ReadText(st, c);
        if (t.vt() != VT_BSTR) return t;
        _variant_t v;
        if (SUCCEEDED(VariantChangeType(&v, &t, 0, target))) return v;
        return t;
      }
      default: break;
    }
    if (target == (VT_ARRAY | VT_UI1)) {
      std::vector<unsigned char> bytes;
      unsigned char buf[8192];
      for (;;) {
        const SQLRETURN rc = SQLGetData(st, c, SQL_C_BINARY, buf, sizeof buf, &ind);
        if (rc == SQL_NO_DATA) break;
        if (!Ok(rc)) Fail(st);
        if (ind == SQL_NULL_DATA) return _variant_t::Null();
        const std::size_t got = (ind == SQL_NO_TOTAL || static_cast<std::size_t>(ind) > sizeof buf) ? sizeof buf : static_cast<std::size_t>(ind);
        bytes.insert(bytes.end(), buf, buf + got);
        if (rc == SQL_SUCCESS) break;
      }
      return _variant_t::Bytes(bytes.data(), bytes.size());
    }
    return ReadText(st, c);
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  char16_t quote_ = u'"';
  // How the server tells the key it gave an inserted row.
  enum class KeyStyle { kUnknown, kReturning, kOutputInserted, kFinalTable, kIdentityAfter, kLastInsertIdAfter, kRowIdAfter };
  KeyStyle key_style_ = KeyStyle::kUnknown;
};

}  // namespace

std::shared_ptr<Provider> OpenOdbc(const std::u16string& connection_string) {
  auto p = std::make_shared<OdbcProvider>();
  p->Connect(connection_string);
  return p;
}

}  // namespace qvp::data
