#include "xml_select.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"

namespace qvp::xml_detail {

namespace {

bool IsNameStart(unsigned char c) {
  return c >= 0x80 || c == '_' || c == ':' || static_cast<unsigned>((c | 0x20) - 'a') < 26u;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || c == '-' || c == '.' || static_cast<unsigned>(c - '0') < 10u;
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// ---- The compiled expression ---------------------------------------------------

enum class Axis { Child, Self, Parent, Attribute };

struct Predicate {
  enum class Kind { Position, AttributeEquals, AttributeExists } kind = Kind::Position;
  std::size_t position = 0;  // 1-based
  std::string name;
  std::string value;
};

struct Step {
  Axis axis = Axis::Child;
  bool descendant = false;  // preceded by "//"
  std::string name;         // "*" for any
  std::vector<Predicate> predicates;
};

struct Expression {
  bool absolute = false;  // starts at the document node
  std::vector<Step> steps;
};

// Parser: one pass over the text; every refusal names the expression, the
// 1-based character position and what was expected there.
class Parser {
 public:
  explicit Parser(std::string_view text) : t_(text) {}

  Expression Parse() {
    Expression e;
    Blanks();
    if (AtEnd()) Fail("the expression is empty");
    bool descendant = false;
    if (Peek() == '/') {
      e.absolute = true;
      ++p_;
      if (Peek() == '/') {
        ++p_;
        descendant = true;
      } else {
        Blanks();
        if (AtEnd()) return e;  // "/" alone: the document node
      }
    }
    for (;;) {
      Blanks();
      if (AtEnd()) Fail("a step is missing after '/'");
      e.steps.push_back(ParseStep(descendant));
      descendant = false;
      Blanks();
      if (AtEnd()) break;
      if (Peek() != '/') Unexpected();
      ++p_;
      if (Peek() == '/') {
        ++p_;
        descendant = true;
      }
    }
    return e;
  }

 private:
  bool AtEnd() const { return p_ >= t_.size(); }
  char Peek(std::size_t ahead = 0) const { return p_ + ahead < t_.size() ? t_[p_ + ahead] : '\0'; }
  void Blanks() {
    while (!AtEnd() && IsBlank(t_[p_])) ++p_;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    std::string d = "The selection expression '" + std::string(t_) + "' is not supported: " + what;
    if (p_ < t_.size()) d += " (at character " + std::to_string(p_ + 1) + ")";
    d += ". Supported: names, *, '/' and '//' paths, '.', '..', @attribute, [n], [@a], [@a='v'].";
    throw ComError(E_FAIL, Utf8ToUtf16(d));
  }

  [[noreturn]] void Unexpected() const {
    const char c = Peek();
    switch (c) {
      case '(': Fail("function calls are not supported");
      case '|': Fail("unions ('|') are not supported");
      case '[': Fail("a predicate cannot follow '.' or '..'");
      case ']': Fail("']' without '['");
      case '$': Fail("variables are not supported");
      default: break;
    }
    if (c == '\0') Fail("the expression ends too early");
    Fail(std::string("unexpected character '") + c + "'");
  }

  std::string Name() {
    const std::size_t start = p_;
    if (AtEnd() || !IsNameStart(static_cast<unsigned char>(Peek()))) Fail("a name is expected");
    while (!AtEnd() && IsNameChar(static_cast<unsigned char>(Peek()))) ++p_;
    std::string name(t_.substr(start, p_ - start));
    if (const auto axis = name.find("::"); axis != std::string::npos) {
      p_ = start + axis;
      Fail("axis names ('" + name.substr(0, axis) + "::') are not supported");
    }
    return name;
  }

  Step ParseStep(bool descendant) {
    Step s;
    s.descendant = descendant;
    if (Peek() == '.' && Peek(1) == '.') {
      p_ += 2;
      s.axis = Axis::Parent;
      return s;
    }
    if (Peek() == '.' && !IsNameChar(static_cast<unsigned char>(Peek(1)))) {
      ++p_;
      s.axis = Axis::Self;
      return s;
    }
    if (Peek() == '@') {
      ++p_;
      s.axis = Axis::Attribute;
      if (Peek() == '*') {
        ++p_;
        s.name = "*";
      } else {
        s.name = Name();
      }
    } else if (Peek() == '*') {
      ++p_;
      s.name = "*";
    } else if (!AtEnd() && IsNameStart(static_cast<unsigned char>(Peek()))) {
      s.name = Name();
      Blanks();
      if (Peek() == '(') Fail("function calls such as '" + s.name + "()' are not supported");
    } else {
      Unexpected();
    }
    Blanks();
    while (Peek() == '[') {
      ++p_;
      s.predicates.push_back(ParsePredicate());
      Blanks();
    }
    return s;
  }

  Predicate ParsePredicate() {
    Predicate pr;
    Blanks();
    if (IsDigit(Peek())) {
      const std::size_t start = p_;
      while (IsDigit(Peek())) ++p_;
      const char* first = t_.data() + start;
      const char* last = t_.data() + p_;
      if (std::from_chars(first, last, pr.position).ec != std::errc())
        pr.position = std::numeric_limits<std::size_t>::max();  // matches nothing
      pr.kind = Predicate::Kind::Position;
      if (Peek() == '.') Fail("positions are whole numbers");
    } else if (Peek() == '@') {
      ++p_;
      pr.name = Name();
      Blanks();
      if (Peek() == '=') {
        ++p_;
        Blanks();
        const char quote = Peek();
        if (quote != '\'' && quote != '"') Fail("a quoted text is expected after '='");
        const std::size_t close = t_.find(quote, p_ + 1);
        if (close == std::string_view::npos) Fail("the quoted text is not closed");
        pr.value = std::string(t_.substr(p_ + 1, close - p_ - 1));
        p_ = close + 1;
        pr.kind = Predicate::Kind::AttributeEquals;
      } else {
        pr.kind = Predicate::Kind::AttributeExists;
      }
    } else {
      Fail("a predicate must be a position [n] or an attribute test [@a] or [@a='v']");
    }
    Blanks();
    if (Peek() != ']') {
      if (Peek() == '!' || Peek() == '<' || Peek() == '>') Fail("only '=' comparisons are supported");
      if (AtEnd()) Fail("the predicate is not closed with ']'");
      Fail(std::string("']' is expected instead of '") + Peek() + "'");
    }
    ++p_;
    return pr;
  }

  std::string_view t_;
  std::size_t p_ = 0;
};

// ---- Evaluation ----------------------------------------------------------------

// A selected node: an element or other node, or an attribute with its owner.
struct Item {
  pugi::xml_node_struct* node = nullptr;
  pugi::xml_attribute_struct* attribute = nullptr;
  bool operator==(const Item& o) const { return node == o.node && attribute == o.attribute; }
};

bool NameMatches(const std::string& test, const char* name) { return test == "*" || test == name; }

bool Passes(const Predicate& pr, const Item& item) {
  if (item.attribute) return false;  // attributes have no attributes
  pugi::xml_node n(item.node);
  if (n.type() != pugi::node_element) return false;
  for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
    if (pr.name != a.name()) continue;
    return pr.kind == Predicate::Kind::AttributeExists || pr.value == a.value();
  }
  return false;
}

// NextInOrder: the node after `cur` in document order within the subtree of
// `top` (null after the last), without recursion; `descend` false skips the
// children of `cur`.
pugi::xml_node NextInOrder(pugi::xml_node cur, pugi::xml_node top, bool descend = true) {
  if (descend && cur.first_child()) return cur.first_child();
  while (cur && cur != top && !cur.next_sibling()) cur = cur.parent();
  if (!cur || cur == top) return {};
  return cur.next_sibling();
}

class Evaluator {
 public:
  explicit Evaluator(pugi::xml_node holder) : holder_(holder) {}

  // Apply appends the matches of one step (without its "//") from `item`.
  void Apply(const Step& s, const Item& item, std::vector<Item>& out) {
    std::vector<Item>& cand = s.predicates.empty() ? out : scratch_;
    if (!s.predicates.empty()) scratch_.clear();
    pugi::xml_node n(item.node);
    switch (s.axis) {
      case Axis::Child:
        if (item.attribute) break;
        for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
          if (c.type() == pugi::node_element && c != holder_ && NameMatches(s.name, c.name()))
            cand.push_back({c.internal_object(), nullptr});
        break;
      case Axis::Self: cand.push_back(item); break;
      case Axis::Parent:
        if (item.attribute) {
          cand.push_back({item.node, nullptr});
        } else if (pugi::xml_node p = n.parent(); p && p != holder_) {
          cand.push_back({p.internal_object(), nullptr});
        }
        break;
      case Axis::Attribute:
        if (item.attribute || n.type() != pugi::node_element) break;
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
          if (NameMatches(s.name, a.name())) cand.push_back({item.node, a.internal_object()});
        break;
    }
    if (s.predicates.empty()) return;
    for (const Predicate& pr : s.predicates) {
      if (pr.kind == Predicate::Kind::Position) {
        if (pr.position >= 1 && pr.position <= cand.size()) {
          const Item keep = cand[pr.position - 1];
          cand.assign(1, keep);
        } else {
          cand.clear();
        }
      } else {
        cand.erase(std::remove_if(cand.begin(), cand.end(), [&](const Item& i) { return !Passes(pr, i); }),
                   cand.end());
      }
    }
    out.insert(out.end(), cand.begin(), cand.end());
  }

  // DescendantOrSelf calls `visit` for `item` and every node below it in
  // document order, without recursion.
  template <class Visit>
  void DescendantOrSelf(const Item& item, Visit&& visit) {
    visit(item);
    if (item.attribute) return;
    const pugi::xml_node top(item.node);
    for (pugi::xml_node cur = NextInOrder(top, top); cur;) {
      if (cur == holder_) {  // detached nodes are not part of the tree
        cur = NextInOrder(cur, top, false);
        continue;
      }
      visit(Item{cur.internal_object(), nullptr});
      cur = NextInOrder(cur, top);
    }
  }

  // SortUnique puts `items` in document order and drops repeats.
  static void SortUnique(std::vector<Item>& items) {
    if (items.size() < 2) return;
    std::unordered_map<pugi::xml_node_struct*, std::size_t> order;
    std::size_t next = 0;
    const pugi::xml_node root = pugi::xml_node(items.front().node).root();
    for (pugi::xml_node cur = root; cur; cur = NextInOrder(cur, root)) order.emplace(cur.internal_object(), next++);
    struct Keyed {
      std::size_t node, attribute;
      Item item;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(items.size());
    for (const Item& i : items) {
      std::size_t attribute = 0;
      if (i.attribute) {
        std::size_t k = 1;
        for (pugi::xml_attribute a = pugi::xml_node(i.node).first_attribute(); a; a = a.next_attribute(), ++k)
          if (a.internal_object() == i.attribute) attribute = k;
      }
      const auto it = order.find(i.node);
      keyed.push_back({it == order.end() ? next : it->second, attribute, i});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
      return a.node != b.node ? a.node < b.node : a.attribute < b.attribute;
    });
    items.clear();
    for (const Keyed& k : keyed)
      if (items.empty() || !(items.back() == k.item)) items.push_back(k.item);
  }

 private:
  pugi::xml_node holder_;
  std::vector<Item> scratch_;
};

}  // namespace

bool IsPlainChildPath(std::string_view path) noexcept {
  if (path.substr(0, 2) == "./") path.remove_prefix(2);
  if (path.empty()) return false;
  std::size_t step_start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string_view step = path.substr(step_start, i - step_start);
    if (step.empty()) return false;
    if (step != "*") {
      if (!IsNameStart(static_cast<unsigned char>(step[0]))) return false;
      for (char c : step)
        if (!IsNameChar(static_cast<unsigned char>(c)) || c == ':') return false;
    }
    step_start = i + 1;
  }
  return true;
}

void SelectPath(pugi::xml_node from, pugi::xml_node holder, std::string_view path,
                std::vector<pugi::xml_node_struct*>& out) {
  const Expression e = Parser(path).Parse();
  Evaluator ev(holder);
  std::vector<Item> context{{e.absolute ? from.root().internal_object() : from.internal_object(), nullptr}};
  std::vector<Item> next;
  bool ordered = true;  // the context is in document order, all at one depth
  for (const Step& s : e.steps) {
    next.clear();
    for (const Item& item : context) {
      if (s.descendant)
        ev.DescendantOrSelf(item, [&](const Item& d) { ev.Apply(s, d, next); });
      else
        ev.Apply(s, item, next);
    }
    if (s.descendant || s.axis == Axis::Parent) ordered = false;
    if (!ordered) Evaluator::SortUnique(next);
    context.swap(next);
    if (context.empty()) break;
  }
  out.reserve(out.size() + context.size());
  for (const Item& i : context) out.push_back(i.attribute ? nullptr : i.node);
}

}  // namespace qvp::xml_detail
