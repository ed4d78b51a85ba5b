// The criteria language of Filter and Find, and the Sort text.
#include <cmath>

#include "data/rowset.h"
#include "qv_platform/unicode.h"

namespace qvp::data {

namespace {

enum class Op { Eq, Ne, Lt, Gt, Le, Ge, Like };

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

std::u16string Utf16(const char* s) { return qvp::Utf8ToUtf16(s); }

[[noreturn]] void Bad(std::u16string_view text, std::size_t at, const char* why) {
  std::u16string msg = Utf16("Filter or Find criteria are not valid: ");
  msg += Utf16(why);
  msg += Utf16(" at position ");
  for (char c : std::to_string(at + 1)) msg += static_cast<char16_t>(c);
  msg += Utf16(" of \"");
  msg += text;
  msg += u'"';
  Raise(adErrInvalidArgument, std::move(msg));
}

struct Lexer {
  std::u16string_view s;
  std::size_t i = 0;
  void Skip() {
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\r' || s[i] == u'\n')) ++i;
  }
  bool AtEnd() {
    Skip();
    return i >= s.size();
  }
  bool Keyword(const char16_t* kw) {
    Skip();
    const std::u16string_view k(kw);
    if (s.size() - i < k.size() || !EqualsNoCase(s.substr(i, k.size()), k)) return false;
    const std::size_t end = i + k.size();
    if (end < s.size()) {
      const char16_t c = s[end];
      if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_') return false;
    }
    i = end;
    return true;
  }
  // A field name: bare (letters, digits, '_', non-ASCII) or in brackets.
  std::u16string Name() {
    Skip();
    if (i < s.size() && s[i] == u'[') {
      const std::size_t close = s.find(u']', i + 1);
      if (close == std::u16string_view::npos) Bad(s, i, "missing ']'");
      std::u16string name(s.substr(i + 1, close - i - 1));
      i = close + 1;
      return name;
    }
    const std::size_t start = i;
    while (i < s.size()) {
      const char16_t c = s[i];
      if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'.' ||
          c >= 0x80)
        ++i;
      else
        break;
    }
    if (start == i) Bad(s, start, "a field name is expected");
    return std::u16string(s.substr(start, i - start));
  }
};

}  // namespace

struct Criteria::Node {
  enum Kind { And, Or, Cmp } kind = Cmp;
  int left = -1;
  int right = -1;
  int field = -1;
  Op op = Op::Eq;
  _variant_t value;  // VT_NULL for Null
  std::u16string pattern;  // LIKE
};

Criteria::Criteria() = default;
Criteria::~Criteria() = default;
Criteria::Criteria(Criteria&&) noexcept = default;
Criteria& Criteria::operator=(Criteria&&) noexcept = default;

namespace {

struct Parser {
  Lexer lx;
  const std::vector<FieldDef>& fields;
  std::vector<Criteria::Node>& nodes;

  int Add(Criteria::Node n) {
    nodes.push_back(std::move(n));
    return static_cast<int>(nodes.size() - 1);
  }

  // criteria := term { OR term }; term := factor { AND factor }
  int ParseOr(int depth) { return ParseChain(depth, u"OR", Criteria::Node::Or, &Parser::ParseAnd); }
  int ParseAnd(int depth) { return ParseChain(depth, u"AND", Criteria::Node::And, &Parser::ParseFactor); }
  int ParseChain(int depth, const char16_t* keyword, Criteria::Node::Kind kind, int (Parser::*next)(int)) {
    int left = (this->*next)(depth);
    while (lx.Keyword(keyword)) {
      Criteria::Node n;
      n.kind = kind;
      n.left = left;
      n.right = (this->*next)(depth);
      left = Add(std::move(n));
    }
    return left;
  }
  int ParseFactor(int depth) {
    if (depth > 64) Bad(lx.s, lx.i, "brackets nested too deeply");
    lx.Skip();
    if (lx.i < lx.s.size() && lx.s[lx.i] == u'(') {
      ++lx.i;
      const int inner = ParseOr(depth + 1);
      lx.Skip();
      if (lx.i >= lx.s.size() || lx.s[lx.i] != u')') Bad(lx.s, lx.i, "missing ')'");
      ++lx.i;
      return inner;
    }
    const std::size_t name_at = lx.i;
    const std::u16string name = lx.Name();
    long field = -1;
    for (std::size_t f = 0; f < fields.size(); ++f)
      if (EqualsNoCase(fields[f].name, name)) {
        field = static_cast<long>(f);
        break;
      }
    if (field < 0) {
      std::u16string msg = Utf16("Item cannot be found in the collection corresponding to the requested name or ordinal: ");
      msg += name;
      (void)name_at;
      Raise(adErrItemNotFound, std::move(msg));
    }
    Criteria::Node n;
    n.field = static_cast<int>(field);
    n.op = ParseOp();
    n.value = ParseValue(fields[static_cast<std::size_t>(field)], n.op);
    if (n.op == Op::Like) {
      if (n.value.vt() != VT_BSTR) Bad(lx.s, lx.i, "LIKE needs a quoted pattern");
      n.pattern = n.value.bstrView();
    }
    return Add(std::move(n));
  }
  Op ParseOp() {
    lx.Skip();
    const std::u16string_view s = lx.s;
    std::size_t& i = lx.i;
    if (lx.Keyword(u"LIKE")) return Op::Like;
    if (i < s.size()) {
      const char16_t c = s[i];
      const char16_t d = i + 1 < s.size() ? s[i + 1] : 0;
      if (c == u'=') { ++i; return Op::Eq; }
      if (c == u'<' && d == u'>') { i += 2; return Op::Ne; }
      if (c == u'<' && d == u'=') { i += 2; return Op::Le; }
      if (c == u'>' && d == u'=') { i += 2; return Op::Ge; }
      if (c == u'<') { ++i; return Op::Lt; }
      if (c == u'>') { ++i; return Op::Gt; }
    }
    Bad(s, i, "a comparison operator is expected");
  }
  _variant_t ParseValue(const FieldDef& def, Op op) {
    lx.Skip();
    const std::u16string_view s = lx.s;
    std::size_t& i = lx.i;
    if (i >= s.size()) Bad(s, i, "a value is expected");
    const char16_t c = s[i];
    _variant_t v;
    if (c == u'\'' || c == u'"') {
      std::u16string text;
      std::size_t j = i + 1;
      for (;; ++j) {
        if (j >= s.size()) Bad(s, i, "unterminated text");
        if (s[j] == c) {
          if (j + 1 < s.size() && s[j + 1] == c) {
            text += c;
            ++j;
            continue;
          }
          break;
        }
        text += s[j];
      }
      i = j + 1;
      v = _variant_t(std::u16string_view(text));
      if (op == Op::Like) return v;
    } else if (c == u'#') {
      const std::size_t close = s.find(u'#', i + 1);
      if (close == std::u16string_view::npos) Bad(s, i, "unterminated #date#");
      const std::u16string text(s.substr(i + 1, close - i - 1));
      COleDateTime t;
      if (!t.ParseDateTime(text.c_str())) Bad(s, i, "not a date");
      i = close + 1;
      v = _variant_t::Date(t.m_dt);
    } else if (lx.Keyword(u"NULL")) {
      if (op != Op::Eq && op != Op::Ne) Bad(s, i, "Null can only be compared with = or <>");
      return _variant_t::Null();
    } else if ((c >= u'0' && c <= u'9') || c == u'-' || c == u'+' || c == u'.') {
      std::size_t j = i + 1;
      while (j < s.size() && ((s[j] >= u'0' && s[j] <= u'9') || s[j] == u'.' || s[j] == u'e' || s[j] == u'E' ||
                              ((s[j] == u'-' || s[j] == u'+') && (s[j - 1] == u'e' || s[j - 1] == u'E'))))
        ++j;
      v = _variant_t(s.substr(i, j - i));
      if (FAILED(VariantChangeType(&v, &v, 0, VT_R8))) Bad(s, i, "not a number");
      i = j;
    } else {
      Bad(s, i, "a value is expected");
    }
    if (op == Op::Like) Bad(s, i, "LIKE needs a quoted pattern");
    // Compare in the field's own terms where the value converts.
    const VARTYPE target = VarTypeOf(def.type);
    if (target != VT_EMPTY && target != VT_BSTR && !(target & VT_ARRAY)) {
      _variant_t conv;
      if (SUCCEEDED(VariantChangeType(&conv, &v, 0, target == VT_DATE ? VT_DATE : VT_R8))) v = std::move(conv);
    }
    return v;
  }
};

}  // namespace

Criteria Criteria::Parse(std::u16string_view text, const std::vector<FieldDef>& fields) {
  Criteria c;
  Parser p{Lexer{text}, fields, c.nodes_};
  if (p.lx.AtEnd()) Bad(text, 0, "the criteria are empty");
  c.root_ = p.ParseOr(0);
  if (!p.lx.AtEnd()) Bad(text, p.lx.i, "unexpected text");
  return c;
}

bool Criteria::Matches(const _variant_t* row) const { return root_ < 0 || Eval(root_, row); }

bool Criteria::Eval(int index, const _variant_t* row) const {
  const Node& n = nodes_[static_cast<std::size_t>(index)];
  switch (n.kind) {
    case Node::And: return Eval(n.left, row) && Eval(n.right, row);
    case Node::Or: return Eval(n.left, row) || Eval(n.right, row);
    case Node::Cmp: break;
  }
  const _variant_t& cell = row[n.field];
  const bool null_cell = cell.IsNullOrEmpty();
  if (n.value.vt() == VT_NULL) return (n.op == Op::Eq) == null_cell;
  if (null_cell) return false;
  if (n.op == Op::Like) {
    if (cell.vt() == VT_BSTR) return LikeMatch(cell.bstrView(), n.pattern);
    _variant_t text;
    if (FAILED(VariantChangeType(&text, &cell, 0, VT_BSTR))) return false;
    return LikeMatch(text.bstrView(), n.pattern);
  }
  const int c = qvp::VariantCompare(cell, n.value);
  switch (n.op) {
    case Op::Eq: return c == 0;
    case Op::Ne: return c != 0;
    case Op::Lt: return c < 0;
    case Op::Gt: return c > 0;
    case Op::Le: return c <= 0;
    case Op::Ge: return c >= 0;
    case Op::Like: break;
  }
  return false;
}

bool LikeMatch(std::u16string_view text, std::u16string_view pattern) noexcept {
  // Iterative wildcard match with one back-tracking point.
  std::size_t t = 0;
  std::size_t p = 0;
  std::size_t star = std::u16string_view::npos;
  std::size_t mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && Upper(pattern[p]) == Upper(text[t])) {
      ++p;
      ++t;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) ++p;
  return p == pattern.size();
}

std::vector<SortKey> ParseSort(std::u16string_view text, const std::vector<FieldDef>& fields) {
  std::vector<SortKey> keys;
  Lexer lx{text};
  while (!lx.AtEnd()) {
    const std::u16string name = lx.Name();
    SortKey key;
    key.field = -1;
    for (std::size_t f = 0; f < fields.size(); ++f)
      if (EqualsNoCase(fields[f].name, name)) {
        key.field = static_cast<int>(f);
        break;
      }
    if (key.field < 0) {
      std::u16string msg = Utf16("Item cannot be found in the collection corresponding to the requested name or ordinal: ");
      msg += name;
      Raise(adErrItemNotFound, std::move(msg));
    }
    if (lx.Keyword(u"DESC")) key.descending = true;
    else lx.Keyword(u"ASC");
    keys.push_back(key);
    if (lx.AtEnd()) break;
    if (lx.s[lx.i] != u',') Bad(text, lx.i, "',' is expected between sort keys");
    ++lx.i;
  }
  return keys;
}

std::u16string SingleTableOf(std::u16string_view sql) {
  // "SELECT ... FROM name [alias] [WHERE|ORDER|GROUP|;|end]" with no join,
  // no second table and no sub-query.
  std::u16string up;
  up.reserve(sql.size());
  for (char16_t c : sql) up += Upper(c);
  if (up.find(u"SELECT") == std::u16string::npos) return {};
  const std::size_t from = up.find(u" FROM ");
  if (from == std::u16string::npos || up.find(u" FROM ", from + 1) != std::u16string::npos) return {};
  if (up.find(u" JOIN ") != std::u16string::npos || up.find(u"(SELECT") != std::u16string::npos) return {};
  std::size_t i = from + 6;
  while (i < sql.size() && sql[i] == u' ') ++i;
  std::size_t j = i;
  if (j < sql.size() && sql[j] == u'"') {
    const std::size_t close = sql.find(u'"', j + 1);
    if (close == std::u16string_view::npos) return {};
    const std::u16string name(sql.substr(j + 1, close - j - 1));
    j = close + 1;
    if (j < sql.size() && sql[j] == u',') return {};
    return name;
  }
  while (j < sql.size() && sql[j] != u' ' && sql[j] != u',' && sql[j] != u';' && sql[j] != u'\n' && sql[j] != u'\t' &&
         sql[j] != u')')
    ++j;
  std::size_t k = j;
  while (k < sql.size() && sql[k] == u' ') ++k;
  if (k < sql.size() && sql[k] == u',') return {};
  return std::u16string(sql.substr(i, j - i));
}

}  // namespace qvp::data
