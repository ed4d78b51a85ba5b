// Node selection by path expressions: the part of XPath 1.0 that the
// library's callers use, evaluated over the pugixml tree of a document.
//
// Supported (white space between tokens is allowed):
//   name, *              child elements of that name / any child element
//   a/b                  steps; "./" and "." mean the node itself, ".." its parent
//   //x, a//x            x at any depth below (descendant-or-self, then x)
//   /a                   a path from the document node; "/" alone is the document
//   @name, @*            attributes (only as a last step makes sense)
//   [n]                  the n-th (1-based) of a step's matches per context node
//   [@a='v'], [@a="v"]   elements whose attribute a has exactly the value v
//   [@a]                 elements that have the attribute a
// Predicates can follow one another ("x[@t='a'][2]"). Results come in
// document order without duplicates.
//
// Anything else (functions such as text() or last(), axis names, unions,
// operators other than '=', numbers other than plain digits) is refused with
// a ComError E_FAIL whose description names the expression, the position and
// what is wrong, as the platform's DOM refuses an expression it cannot compile.
//
// Internal to the platform library.
#pragma once

#include <pugixml.hpp>
#include <string_view>
#include <vector>

namespace qvp::xml_detail {

// IsPlainChildPath: `path` is only child-name steps ("a", "a/b", "*", with an
// optional leading "./"), which the DOM walks directly without compiling.
bool IsPlainChildPath(std::string_view path) noexcept;

// SelectPath evaluates `path` relative to `from` and appends the matches to
// `out` in document order. An attribute match is appended as null (this DOM
// has no handle for attribute nodes). Nodes under `holder` (the document's
// store of detached nodes) are never reached through the document node.
// Throws qvp::ComError(E_FAIL) for an expression outside the subset above.
void SelectPath(pugi::xml_node from, pugi::xml_node holder, std::string_view path,
                std::vector<pugi::xml_node_struct*>& out);

}  // namespace qvp::xml_detail
