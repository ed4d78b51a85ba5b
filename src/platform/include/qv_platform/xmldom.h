// XML document object: the DOM that the library's XML code is written
// against, as a small stand-in over pugixml.
//
// What callers rely on:
//   - files are UTF-8; element and attribute names match exactly (case
//     sensitive); children keep document order and attributes the order in
//     which they were added;
//   - typed attribute values are stored as decimal text: integers as their
//     digits with a leading minus when negative, doubles as the shortest text
//     that reads back to the same value ("25" for 25.0, "29.97");
//   - nodes are handles: a handle keeps its document alive, and nodes taken
//     out of the tree (removeChild, replaced text) stay valid until the
//     document goes away;
//   - failures are raised as qvp::ComError (an HRESULT and a description),
//     the way the smart-pointer layer of a COM DOM raises them: every
//     operation on a null node raises E_POINTER, a bad name raises E_FAIL,
//     a failed save raises the HRESULT of the system error;
//   - load failures are not raised: Load/LoadXml return false and
//     ParseError() tells the code, line, column and reason;
//   - only well-formed XML loads, as strictly as the clients' own parser
//     takes it: a repeated attribute on an element, '<' in an attribute
//     value, a reference to anything but amp, lt, gt, quot, apos or a
//     character, a character XML does not allow (control characters other
//     than tab, LF and CR, U+FFFE, U+FFFF, unpaired surrogates), "]]>" in
//     text, "--" in a comment, bytes that are not UTF-8, a missing white
//     space between attributes, mismatched or unclosed tags, a second
//     document element and text outside it are all parse errors.
// No document type declaration is processed and no external entity is ever
// resolved or fetched: a DOCTYPE is skipped (so an entity it declares is
// undefined, and a reference to it a parse error).
//
// Objects are not thread-safe; use one document on one thread at a time.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

namespace pugi {
struct xml_node_struct;
struct xml_attribute_struct;
}  // namespace pugi

namespace qvp {

// HRESULTs the XML layer and its users raise or return (in this namespace so
// as not to collide with other declarations of the Windows names).
inline constexpr HRESULT kHrAccessDenied = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT kHrTypeMismatch = static_cast<HRESULT>(0x80020005u);  // DISP_E_TYPEMISMATCH
inline constexpr HRESULT kHrOverflow = static_cast<HRESULT>(0x8002000Au);      // DISP_E_OVERFLOW

// HResultFromWin32 maps a Win32 error code into the Win32 facility.
constexpr HRESULT HResultFromWin32(DWORD code) {
  return static_cast<HRESULT>(code) <= 0 ? static_cast<HRESULT>(code)
                                         : static_cast<HRESULT>((code & 0x0000FFFFu) | 0x80070000u);
}

// ComError: a COM error as the smart-pointer layer raises it.
class QVP_API ComError : public std::exception {
 public:
  explicit ComError(HRESULT hr, std::u16string description = {});
  HRESULT Error() const noexcept { return hr_; }
  // Description is the text the raising component gave (may be empty).
  const std::u16string& Description() const noexcept { return description_; }
  // ErrorMessage is the system's message text for the HRESULT, e.g.
  // "Invalid pointer" for E_POINTER, "Unknown error 0x8XXXXXXX" when the
  // system has none.
  std::u16string ErrorMessage() const;
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  HRESULT hr_;
  std::u16string description_;
  std::string what_;
};

// The system message text of an HRESULT (what ComError::ErrorMessage gives).
QVP_API std::u16string HResultMessage(HRESULT hr);

enum class XmlNodeType { Null, Element, Text, CData, Comment, ProcessingInstruction, Document };

struct XmlParseError {
  HRESULT errorCode = S_OK;  // one of the kXmlError* codes below, S_OK after a good load
  long line = 0;             // 1-based line of the error (0 when it has none)
  long linepos = 0;          // 1-based character position in that line
  std::u16string reason;     // what went wrong, in words
};

// Parse error codes.
inline constexpr HRESULT kXmlErrorFileNotFound = static_cast<HRESULT>(0x800C0006u);
inline constexpr HRESULT kXmlErrorIo = static_cast<HRESULT>(0x80070570u);
inline constexpr HRESULT kXmlErrorOutOfMemory = E_OUTOFMEMORY;
inline constexpr HRESULT kXmlErrorSyntax = static_cast<HRESULT>(0xC00CE502u);     // generic syntax
inline constexpr HRESULT kXmlErrorBadTag = static_cast<HRESULT>(0xC00CE504u);     // malformed tag
inline constexpr HRESULT kXmlErrorBadAttr = static_cast<HRESULT>(0xC00CE505u);    // malformed attribute
inline constexpr HRESULT kXmlErrorEndTag = static_cast<HRESULT>(0xC00CE56Du);     // end tag mismatch
inline constexpr HRESULT kXmlErrorUnclosed = static_cast<HRESULT>(0xC00CE55Fu);   // unclosed element / truncated
inline constexpr HRESULT kXmlErrorNoRoot = static_cast<HRESULT>(0xC00CE558u);     // no document element
inline constexpr HRESULT kXmlErrorMultiRoot = static_cast<HRESULT>(0xC00CE556u);  // more than one root

class XmlDocument;
struct XmlDocState;

// XmlAttribute: one attribute of an element. Valid while its element is in
// its document and the attribute is not removed.
class QVP_API XmlAttribute {
 public:
  XmlAttribute() = default;
  explicit operator bool() const noexcept { return a_ != nullptr; }
  // UTF-8 views into the document (valid until the attribute changes).
  std::string_view NameUtf8() const noexcept;
  std::string_view ValueUtf8() const noexcept;
  // The same as NUL-terminated text (no length to compute).
  const char* NameC() const noexcept;
  const char* ValueC() const noexcept;
  std::u16string Name() const;
  std::u16string Value() const;
  XmlAttribute Next() const noexcept;  // the next attribute in order; null after the last

 private:
  friend class XmlNode;
  explicit XmlAttribute(pugi::xml_attribute_struct* a) : a_(a) {}
  pugi::xml_attribute_struct* a_ = nullptr;
};

class XmlNodeList;

// XmlNode: a handle to a node of a document (element, text, CDATA, comment,
// processing instruction or the document node itself).
class QVP_API XmlNode {
 public:
  XmlNode() = default;
  bool IsNull() const noexcept { return n_ == nullptr; }
  explicit operator bool() const noexcept { return n_ != nullptr; }
  bool operator==(const XmlNode& o) const noexcept { return n_ == o.n_; }

  XmlNodeType Type() const noexcept;
  // NodeName: the element name, the target of a processing instruction,
  // "#text", "#cdata-section", "#comment" or "#document". Raises E_POINTER on
  // a null node.
  std::u16string NodeName() const;
  std::string_view NodeNameUtf8() const;  // same, as a view (element names only stay stable)
  // NodeValue: the text of a text, CDATA, comment or processing instruction
  // node; empty for elements and the document.
  std::u16string NodeValue() const;
  // Text: the concatenated text of the node and all its descendants.
  std::u16string Text() const;
  // SetText replaces every child by one text node (none when text is empty);
  // on a text-like node it replaces the node's own value.
  void SetText(std::u16string_view text);
  // Xml: the node serialised without indentation.
  std::u16string Xml() const;

  // Selection with path expressions relative to this node: "name" finds
  // child elements of that name, "a/b" grandchildren b under children a,
  // "*" any element; a leading "./" is allowed. Beyond these plain paths a
  // subset of XPath is understood: "//" (any depth), a leading "/" (from
  // the document), ".", "..", "@name" and "@*", and the predicates "[n]"
  // (1-based), "[@a]" and "[@a='v']". Matches come in document order without
  // repeats; an attribute match is listed as a null node (attributes have no
  // node handle here), so iterate such lists by Length/Item. Any other
  // expression raises E_FAIL with a description of what is not supported.
  // SelectSingleNode gives the first match (a null node when none).
  XmlNode SelectSingleNode(std::string_view path) const;
  XmlNodeList SelectNodes(std::string_view path) const;

  // Tree walking. Children include text and other non-element nodes.
  XmlNode FirstChild() const;
  XmlNode NextSibling() const;
  XmlNode ParentNode() const;
  XmlNodeList ChildNodes() const;

  // AppendChild moves `child` (created by this node's document) to the end of
  // this node's children and returns it. Raises E_POINTER for null nodes and
  // E_FAIL when the move is not allowed (another document, an ancestor, a
  // second document element).
  XmlNode AppendChild(const XmlNode& child);
  // RemoveChild detaches `child` (which stays valid) and returns it; raises
  // E_INVALIDARG when it is not a child of this node.
  XmlNode RemoveChild(const XmlNode& child);

  // DestroyChild removes `child` and frees it with all its descendants at
  // once. Unlike RemoveChild this invalidates every other handle to the
  // child or its descendants (they must not be used afterwards); it lets a
  // reader consume a large document node by node and give the memory back
  // as it goes. Freeing walks the child's subtree recursively, so it is
  // meant for nodes without deep nesting. Raises E_INVALIDARG when `child`
  // is not a child of this node.
  void DestroyChild(const XmlNode& child);

  // Attributes (elements only; other nodes have none).
  XmlAttribute FirstAttribute() const;
  XmlAttribute GetAttributeNode(std::string_view name) const;
  long AttributeCount() const;
  // GetAttribute: S_OK and the value when present, S_FALSE (value emptied)
  // when absent.
  HRESULT GetAttribute(std::string_view name, std::u16string& value) const;
  // SetAttribute sets or adds an attribute (a new one goes last). Typed
  // values are stored as their decimal text.
  void SetAttribute(std::string_view name, std::u16string_view value);
  void SetAttributeUtf8(std::string_view name, std::string_view value);
  void SetAttribute(std::string_view name, std::int32_t value);
  void SetAttribute(std::string_view name, std::int64_t value);
  void SetAttribute(std::string_view name, double value);
  // AddAttributeUtf8 appends without looking for an existing attribute of the
  // same name (the caller knows there is none); for bulk writers.
  void AddAttributeUtf8(std::string_view name, std::string_view value);

 private:
  friend class XmlDocument;
  friend class XmlNodeList;
  XmlNode(std::shared_ptr<XmlDocState> d, pugi::xml_node_struct* n) : d_(std::move(d)), n_(n) {}
  pugi::xml_node_struct* Checked() const;
  std::shared_ptr<XmlDocState> d_;
  pugi::xml_node_struct* n_ = nullptr;
};

// XmlNodeList: a snapshot of the nodes a selection found, in document order.
class QVP_API XmlNodeList {
 public:
  XmlNodeList() = default;
  long Length() const noexcept { return static_cast<long>(nodes_.size()); }
  // Item: the node at `index`, a null node when out of range.
  XmlNode Item(long index) const;
  // NextNode: iteration from the start; a null node after the last.
  XmlNode NextNode();
  void Reset() noexcept { next_ = 0; }

 private:
  friend class XmlNode;
  std::shared_ptr<XmlDocState> d_;
  std::vector<pugi::xml_node_struct*> nodes_;
  std::size_t next_ = 0;
};

// XmlDocument: one document. Not copyable; nodes taken from it keep its
// content alive on their own.
class QVP_API XmlDocument {
 public:
  XmlDocument();  // a new, empty document
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  XmlDocument(XmlDocument&&) noexcept = default;
  XmlDocument& operator=(XmlDocument&&) noexcept = default;

  // LoadFile reads a UTF-8 (or BOM-marked UTF-16/32) file, replacing the
  // content. Returns false, with ParseError() filled, when the file cannot be
  // read or is not well-formed; the document is then empty.
  bool LoadFile(std::u16string_view path);
  // LoadXml parses text (its encoding declaration is ignored: the text is
  // already decoded).
  bool LoadXml(std::u16string_view xml);
  bool LoadXmlUtf8(std::string_view xml);
  const XmlParseError& ParseError() const noexcept;

  // Save writes the document as UTF-8 with tab indentation, each top-level
  // node in order (a processing instruction placed first comes out first).
  // Raises ComError with the system error's HRESULT when the file cannot be
  // written.
  void Save(std::u16string_view path) const;
  // Xml: the whole document as text, without indentation, top-level nodes
  // separated by CR LF.
  std::u16string Xml() const;
  std::string XmlUtf8() const;
  std::u16string Text() const;

  XmlNode DocumentElement() const;  // null when there is none
  // SetDocumentElement makes `root` the document element, replacing the old
  // one (which is detached).
  void SetDocumentElement(const XmlNode& root);
  XmlNode AsNode() const;  // the document node (for selection from the top)

  // Node factories: the new node is not attached anywhere yet. Raise E_FAIL
  // for a name that is not a valid XML name.
  XmlNode CreateElement(std::string_view name) const;
  XmlNode CreateElement(std::u16string_view name) const;
  XmlNode CreateTextNode(std::u16string_view text) const;
  XmlNode CreateCDATASection(std::u16string_view data) const;
  XmlNode CreateProcessingInstruction(std::u16string_view target, std::u16string_view data) const;

 private:
  std::shared_ptr<XmlDocState> d_;
};

// FormatDoubleShortest writes the shortest decimal text that reads back to
// the same double ("25", "29.97", "-0.5", "1e+300"); "inf", "-inf", "nan"
// for the non-finite values.
QVP_API std::string FormatDoubleShortest(double value);

}  // namespace qvp
