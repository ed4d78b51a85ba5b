#include "conditions/condition_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

namespace qvtool {

namespace {

using namespace qv_commonclass;
using nlohmann::json;

constexpr NamedValue kKinds[] = {
    {"plain", QV_COND_PLAIN},       {"text", QV_COND_TEXT},         {"datetime", QV_COND_DATETIME},
    {"contains", QV_COND_CONTAINS}, {"fragment", QV_COND_FRAGMENT}, {"text-nocase", QV_COND_TEXT_NOCASE},
    {"folder", QV_COND_FOLDER},
};

template <std::size_t N>
std::optional<int> Lookup(const NamedValue (&table)[N], const std::string& text) {
  const std::string key = Lower(text);
  for (const auto& e : table)
    if (key == e.name) return e.value;
  if (text.size() == 1 && text[0] >= '1' && text[0] <= static_cast<char>('0' + N)) return text[0] - '0';
  return std::nullopt;
}

template <std::size_t N>
std::string Names(const NamedValue (&table)[N]) {
  std::string s;
  for (const auto& e : table) s += (s.empty() ? "" : ", ") + std::string(e.name);
  return s + " (or 1-" + std::to_string(N) + ")";
}

// A condition file error: where in the document, and what is wrong.
struct SchemaError {
  std::string where, what;
};

stu_QVDBQueryCondition ReadCondition(const json& j, const std::string& where) {
  if (!j.is_object()) throw SchemaError{where, "a condition must be an object"};
  static const char* const kKeys[] = {"kind", "field", "operator", "value", "prefix", "suffix", "allSubTypes"};
  for (const auto& [key, _] : j.items()) {
    bool known = false;
    for (const char* k : kKeys) known = known || key == k;
    if (!known)
      throw SchemaError{where + "." + key,
                        "unknown key (allowed: kind, field, operator, value, prefix, suffix, allSubTypes)"};
  }
  auto text = [&](const char* key, bool required) -> std::optional<std::string> {
    const auto it = j.find(key);
    if (it == j.end()) {
      if (required) throw SchemaError{where, std::string("missing \"") + key + "\""};
      return std::nullopt;
    }
    if (!it->is_string()) throw SchemaError{where + "." + key, "must be a string"};
    return it->get<std::string>();
  };

  stu_QVDBQueryCondition c;
  const auto kind_it = j.find("kind");
  if (kind_it == j.end()) throw SchemaError{where, "missing \"kind\" (" + Names(kKinds) + ")"};
  std::optional<int> kind;
  if (kind_it->is_number_integer()) {
    const auto n = kind_it->get<long long>();
    if (n >= 1 && n <= 7) kind = static_cast<int>(n);
  } else if (kind_it->is_string()) {
    kind = Lookup(kKinds, kind_it->get<std::string>());
  }
  if (!kind) throw SchemaError{where + ".kind", "must be one of " + Names(kKinds)};
  c.nType = *kind;

  c.strField = CString::FromUtf8(*text("field", true));
  const bool needs_operator = c.nType != QV_COND_CONTAINS && c.nType != QV_COND_FRAGMENT;
  if (auto op = text("operator", needs_operator)) c.strOperator = CString::FromUtf8(*op);
  if (auto prefix = text("prefix", false)) c.strPrefix = CString::FromUtf8(*prefix);
  if (auto suffix = text("suffix", false)) c.strSuffix = CString::FromUtf8(*suffix);

  const auto value_it = j.find("value");
  if (value_it == j.end()) {
    if (c.nType != QV_COND_FRAGMENT) throw SchemaError{where, "missing \"value\""};
  } else if (value_it->is_number()) {
    c.strValue = CString::FromUtf8(value_it->dump());  // shortest text that reads back the same
  } else if (value_it->is_string()) {
    c.strValue = CString::FromUtf8(value_it->get<std::string>());
    if (c.nType == QV_COND_DATETIME) {
      const auto date = ReadDate(value_it->get<std::string>());
      if (!date)
        throw SchemaError{where + ".value",
                          "not a date: give an OLE date number or text such as \"2024-03-01 08:30:00\""};
      c.strValue = CString::FromUtf8(Number(*date));
    }
  } else {
    throw SchemaError{where + ".value", "must be a string or a number"};
  }

  const auto all_it = j.find("allSubTypes");
  if (all_it != j.end()) {
    if (!all_it->is_boolean()) throw SchemaError{where + ".allSubTypes", "must be true or false"};
    c.bAllSubTypes = all_it->get<bool>() ? TRUE : FALSE;
  }
  return c;
}


ConditionFile ReadConditions(const json& doc) {
  ConditionFile file;
  const json* list = &doc;
  if (doc.is_object()) {
    for (const auto& [key, _] : doc.items())
      if (key != "dialect" && key != "conditions") throw SchemaError{key, "unknown key (allowed: dialect, conditions)"};
    if (const auto it = doc.find("dialect"); it != doc.end()) {
      std::optional<int> d;
      if (it->is_string()) d = Lookup(kDialects, it->get<std::string>());
      if (it->is_number_integer() && it->get<long long>() >= 1 && it->get<long long>() <= 5)
        d = static_cast<int>(it->get<long long>());
      if (!d) throw SchemaError{"dialect", "must be one of " + Names(kDialects)};
      file.dialect = d;
    }
    const auto it = doc.find("conditions");
    if (it == doc.end()) throw SchemaError{"(top level)", "missing \"conditions\""};
    list = &*it;
  }
  if (!list->is_array()) throw SchemaError{"conditions", "must be an array of condition objects"};
  for (std::size_t i = 0; i < list->size(); ++i)
    file.conditions.push_back(ReadCondition((*list)[i], "conditions[" + std::to_string(i) + "]"));
  return file;
}

}  // namespace

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::optional<double> ReadDate(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != nullptr && *end == '\0' && std::isfinite(v)) return v;
  COleDateTime parsed;
  if (parsed.ParseDateTime(CString::FromUtf8(text))) return parsed.m_dt;
  return std::nullopt;
}

std::optional<int> LookupDialect(const std::string& text) { return Lookup(kDialects, text); }

std::string DialectNames() { return Names(kDialects); }

std::optional<ConditionFile> ParseConditionFile(std::string_view text, std::string& error) {
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::parse_error& e) {
    error = "not valid JSON at byte " + std::to_string(e.byte) + ": " + e.what();
    return std::nullopt;
  } catch (const json::exception& e) {  // a number beyond the range of a double
    error = std::string("not valid JSON: ") + e.what();
    return std::nullopt;
  }
  try {
    return ReadConditions(doc);
  } catch (const SchemaError& e) {
    error = e.where + ": " + e.what;
  } catch (const json::exception& e) {  // e.g. text that is not UTF-8
    error = e.what();
  }
  return std::nullopt;
}

}  // namespace qvtool
