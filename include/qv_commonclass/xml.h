// XML documents: the parser services that the library's XML readers and
// writers share (document creation, typed attribute values, error texts).
//
// The document object itself is the platform's (qv_platform/xmldom.h):
// files are UTF-8, names are case-sensitive, children keep document order,
// attributes keep the order in which they were added, and every DOM call may
// raise qvp::ComError. Each exported operation that uses the DOM catches that
// error and turns it into its own failure result and message.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "qv_commonclass/export.h"
#include "qv_platform/collections.h"
#include "qv_platform/cstring.h"
#include "qv_platform/datetime.h"
#include "qv_platform/guid.h"
#include "qv_platform/wintypes.h"
#include "qv_platform/xmldom.h"

namespace qv_commonclass {

// QVXmlCreateDocument creates a new, empty document for one call of a reader
// or writer. Returns null when the document cannot be created (the caller
// reports its "cannot create the component" message); the caller owns it.
QV_API std::unique_ptr<qvp::XmlDocument> QVXmlCreateDocument() noexcept;

// QVXmlErrorMessage is the system message text of a raised DOM error (the
// text that goes after the colon of the callers' "...: %s" messages).
QV_API CString QVXmlErrorMessage(const qvp::ComError& error);

// ---- Typed attribute values -------------------------------------------------
//
// The conversions below read an attribute's text the way the platform's
// variant conversion does (no locale: "." is the decimal separator):
//   - white space (space, tab, CR, LF) around the number is allowed;
//   - an optional sign, digits, an optional fraction and an optional
//     exponent ("12", "+7", "-3", "25.5", "1e3"); at least one digit;
//   - integer targets round a fraction to the nearest integer, halves to
//     even ("2.5" -> 2, "3.5" -> 4); leading zeros of any number are fine;
//   - anything else (empty text, letters, "0x10", "1,000", "inf", "nan")
//     gives kHrTypeMismatch and leaves `value` unchanged;
//   - a number outside the target's range gives kHrOverflow and leaves
//     `value` unchanged (an unsigned target refuses negative numbers except
//     a negative zero).
// Result S_OK when `value` was set. The writer's texts (decimal integers and
// the shortest text of a double, "25", "29.97", "1e+300") all read back
// exactly.

QV_API HRESULT QVXmlTextToInt32(std::string_view text, std::int32_t& value) noexcept;
QV_API HRESULT QVXmlTextToUInt32(std::string_view text, std::uint32_t& value) noexcept;
QV_API HRESULT QVXmlTextToInt64(std::string_view text, std::int64_t& value) noexcept;
QV_API HRESULT QVXmlTextToDouble(std::string_view text, double& value) noexcept;
// The same for UTF-16 text (any character outside ASCII is a mismatch).
QV_API HRESULT QVXmlTextToInt32(std::u16string_view text, std::int32_t& value) noexcept;
QV_API HRESULT QVXmlTextToUInt32(std::u16string_view text, std::uint32_t& value) noexcept;
QV_API HRESULT QVXmlTextToInt64(std::u16string_view text, std::int64_t& value) noexcept;
QV_API HRESULT QVXmlTextToDouble(std::u16string_view text, double& value) noexcept;

// QVXmlDoubleToText is the text a double-typed attribute value gets: the
// shortest decimal text that reads back to the same value ("25" for 25.0).
QV_API CString QVXmlDoubleToText(double value);

// ---- Typed DOM wrapper ----------------------------------------------------------
//
// CQVXmlDomDocument and CQVXmlDomElement: small value classes for building
// and reading XML with typed child and attribute accessors, without
// exceptions. They hold a handle into a platform document; nothing is
// cached, every getter asks the document again.
//
// The invalid element is a null handle: every operation on it does nothing
// and gives the empty or failure result stated below, so calls chain safely
// (root.GetChild(u"a").GetChild(u"b").GetText() is "" when a is missing).
// Copies share the node (no deep copy). An element keeps its document's
// content alive and stays usable after the element or document it came from
// is gone. No operation throws or logs; the only message is the debugger
// output line of the date reader.
//
// Names given to GetChild, SetChild and GetChilds are selection expressions
// relative to the element: a tag name finds direct children, "a/b"
// grandchildren, and the XPath subset of qv_platform/xmldom.h works too
// ("//x", "x[2]", "x[@id='7']", "@a", ...). A match that is not an element
// (an attribute, the document) counts as not found. An expression outside
// the subset finds nothing.
//
// Text forms of the typed children (wide text):
//   int / LONG   written "%d", read with swscanf "%d"
//   ULONG        written "%lu", read with swscanf "%u"
//   ULONGLONG    written "%I64d" (values from 2^63 up as negative numbers,
//                read back to the same bits), read with swscanf "%I64d"
//   double       written "%f" ("25.000000"), read with _wtof
//   COleDateTime written "%Y-%m-%d %H:%M:%S" (rounded to the nearest
//                second; a null date writes "", an invalid one
//                "Invalid DateTime"); read as described at GetChild below
//   GUID         the compact text of QV_FromGUIDToString, read with
//                QV_FromStringToGUID
//   CString      unchanged
// LONG and int are the same 32-bit type here (Windows long is 32 bits), so
// one overload serves both.

class CQVXmlDomDocument;

class QV_API CQVXmlDomElement {
 public:
  // An invalid element.
  CQVXmlDomElement() noexcept = default;
  // Holds `node` when it is an element; any other node (or a null one) gives
  // an invalid element.
  explicit CQVXmlDomElement(const qvp::XmlNode& node) noexcept;
  explicit CQVXmlDomElement(qvp::XmlNode&& node) noexcept;
  // The same from a pointer; null gives an invalid element.
  explicit CQVXmlDomElement(const qvp::XmlNode* node) noexcept;
  CQVXmlDomElement(const CQVXmlDomElement&) noexcept = default;
  CQVXmlDomElement& operator=(const CQVXmlDomElement&) noexcept = default;
  ~CQVXmlDomElement() = default;

  // GetElementPtr: the held node handle (owned by this object), null when
  // invalid.
  qvp::XmlNode* GetElementPtr() noexcept { return IsValid() ? &node_ : nullptr; }
  const qvp::XmlNode* GetElementPtr() const noexcept { return IsValid() ? &node_ : nullptr; }
  bool IsValid() const noexcept { return !node_.IsNull(); }

  // GetText: the text of the element and all its descendants; "" when
  // invalid. SetText replaces every child by one text node.
  CString GetText() const;
  void SetText(LPCWSTR text);
  // GetXml: the element serialised without indentation; "" when invalid.
  CString GetXml() const;
  // GetName: the tag name; "" when invalid.
  CString GetName() const;

  // AppendChild moves `child` (an element of the same document) to the end
  // of this element's children; RemoveChild detaches it (it stays usable).
  // Failures (invalid elements, another document, not a child) are ignored.
  void AppendChild(const CQVXmlDomElement& child);
  void RemoveChild(const CQVXmlDomElement& child);

  // Typed child writers: create an element `name` with the value's text
  // form through doc.CreateElement and append it here. Written when `force`
  // is true or the value differs from `def` (exactly, for doubles); a
  // string when it is not empty or `force` (an empty forced string gives
  // an element without text); a date always; a GUID when `force` or it is
  // not all zero. When this element is invalid the new element is created
  // but not attached. A name that is not an XML name writes nothing.
  void AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, const CString& value, bool force);
  void AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, int value, bool force, int def = 0);
  void AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, ULONG value, bool force, ULONG def = 0);
  void AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, ULONGLONG value, bool force, ULONGLONG def = 0);
  void AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, double value, bool force, double def = 0.0);
  void AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, const COleDateTime& value, bool force);
  void AppendChild(CQVXmlDomDocument& doc, LPCWSTR name, const GUID& value, bool force);

  // GetChild: the first element the expression `name` selects; invalid when
  // none (or when this element is invalid).
  CQVXmlDomElement GetChild(LPCWSTR name) const;
  // The same into `child`: 1 when `child` is then valid, else 0.
  int GetChild(LPCWSTR name, CQVXmlDomElement& child) const;

  // Typed child readers. Child not found: `value = def` (the empty string
  // for CString), result 0 when `required`, else 1. Child found: its text is
  // converted by the text form above, result 1; except that an empty text
  // stores `def` with result 0 for int, ULONG and double, keeps `value`
  // unchanged with result 1 for ULONGLONG, and gives "" with result 1 for
  // CString. Text that does not start with a number leaves `value`
  // unchanged for the swscanf forms (int, ULONG, ULONGLONG) and gives 0.0
  // for double, result 1 (the runtime's conversions report nothing).
  int GetChild(LPCWSTR name, int& value, bool required, int def = 0) const;
  int GetChild(LPCWSTR name, ULONG& value, bool required, ULONG def = 0) const;
  int GetChild(LPCWSTR name, ULONGLONG& value, bool required, ULONGLONG def = 0) const;
  int GetChild(LPCWSTR name, double& value, bool required, double def = 0.0) const;
  int GetChild(LPCWSTR name, CString& value, bool required) const;
  // GUID: reads the text as the CString reader does; when that gives 0 the
  // GUID is zeroed and the result is 0, else the result is that of
  // QV_FromStringToGUID (always 1; malformed or empty text gives GUID_NULL).
  int GetChild(LPCWSTR name, GUID& value, bool required) const;
  // COleDateTime: child not found: `value = def`, result 0 when `required`
  // else 1. Otherwise 'T'/'t' in the text become spaces and a 'Z'/'z' ends
  // it; "YYYY-MM-DD HH:MM:SS" (six fields, anything after the seconds
  // such as a fraction ignored, so seconds are cut, never rounded) sets the
  // date with result 1 (an out-of-range field leaves `value` invalid, still
  // 1). Other text goes to COleDateTime::ParseDateTime: 1 on success; on
  // failure `value` is 0.0 with status invalid, the line
  // "XML解析中出现日期解析失败-> Name: <name>    Value: <text>" goes to the
  // debugger output, and the result is 0 when `required`, else 1.
  int GetChild(LPCWSTR name, COleDateTime& value, bool required, COleDateTime def = COleDateTime()) const;

  // SetChild sets the text of the first element `name` selects: 1 when
  // found, 0 when not (nothing is created).
  int SetChild(LPCWSTR name, LPCWSTR text);

  // GetChilds: every node `name` selects, in document order; a match that
  // is not an element is listed as an invalid element. Empty when this
  // element is invalid or the expression is not supported.
  std::vector<CQVXmlDomElement> GetChilds(LPCWSTR name) const;
  // GetChilds(map): for every child node (text nodes included, under the
  // node names "#text", "#cdata-section", "#comment" or the tag name) sets
  // map[name] = text; a later child of the same name overwrites an earlier
  // one; the map is not cleared first. 0 when this element is invalid, else 1.
  int GetChilds(CMapStringToString& map) const;

  // Attributes. GetAttributeString: the value, "" when absent.
  // GetAttributeInt32: the value converted to a 32-bit integer as the
  // platform's variant conversion does (QVXmlTextToInt32: blanks around,
  // fractions rounded half to even); 0 when absent or not a number in range.
  // GetAttributeDouble: the same for a double; `def` when absent or not a
  // number. All give their empty result on an invalid element.
  CString GetAttributeString(LPCWSTR name) const;
  LONG GetAttributeInt32(LPCWSTR name) const;
  double GetAttributeDouble(LPCWSTR name, double def) const;
  // GetAttributeDateTime: `def` when invalid, absent or empty; else
  // COleDateTime::ParseDateTime of the text; when that fails, again after
  // replacing every 'T' by a space and cutting the text before a '.' at a
  // position above 0 (fractional seconds are cut); when that fails too, 0.0
  // with status invalid.
  COleDateTime GetAttributeDateTime(LPCWSTR name, COleDateTime def) const;
  // Setters: set or add the attribute (a new one goes last); an integer is
  // stored as its decimal text. Ignored on an invalid element or a bad name.
  void SetAttributeString(LPCWSTR name, LPCWSTR value);
  void SetAttributeInt32(LPCWSTR name, LONG value);

 private:
  qvp::XmlNode node_;
};

class QV_API CQVXmlDomDocument {
 public:
  // A new, empty document. When it cannot be created every operation does
  // nothing and gives its empty or failure result.
  CQVXmlDomDocument() noexcept;
  ~CQVXmlDomDocument();
  CQVXmlDomDocument(const CQVXmlDomDocument&) = delete;
  CQVXmlDomDocument& operator=(const CQVXmlDomDocument&) = delete;

  // GetDocumentPtr: the platform document (owned by this object), null when
  // it could not be created.
  qvp::XmlDocument* GetDocumentPtr() noexcept { return doc_.get(); }

  // Load: false at once when `path` does not exist (nothing is parsed);
  // else true when the file loaded as a well-formed document. A failed
  // load leaves the document empty; its reason is in the platform
  // document's ParseError().
  bool Load(LPCWSTR path);
  // LoadXml: true when `xml` is a well-formed document.
  bool LoadXml(LPCWSTR xml);
  // Save writes the document as UTF-8; failures are not reported.
  void Save(LPCWSTR path);

  // GetDocumentElement: the root element, invalid when there is none.
  CQVXmlDomElement GetDocumentElement() const;
  // SetDocumentElement makes `root` (an element of this document) the root,
  // replacing the old one; ignored on failure.
  void SetDocumentElement(CQVXmlDomElement& root);
  // AppendProcessingInstruction adds a processing instruction at the top
  // level (after what is there: call it before SetDocumentElement to have it
  // first). 1 when added, 0 when the target or data are not allowed.
  int AppendProcessingInstruction(LPCWSTR target = u"xml",
                                  LPCWSTR data = u"version=\"1.0\" encoding=\"UTF-8\"");

  // GetText and GetXml: the whole document serialised (top-level nodes
  // separated by CR LF); "" for an empty document. SetText sets the text of
  // the root element (ignored when there is none).
  CString GetText() const;
  void SetText(LPCWSTR text);
  CString GetXml() const;

  // CreateElement: a new element `name`, not attached anywhere, with `text`
  // when not null; invalid when `name` is not an XML name.
  CQVXmlDomElement CreateElement(LPCWSTR name, LPCWSTR text);
  // CreateCDATASection: a new element `name` holding one CDATA section whose
  // data is `cdata`, or `name` itself when `cdata` is null; the element's
  // text is set to `text` first when not null. Invalid when the element
  // cannot be created. Data containing "]]>" is not allowed: the element
  // then has no CDATA section.
  CQVXmlDomElement CreateCDATASection(LPCWSTR name, LPCWSTR text, LPCWSTR cdata);

 private:
  std::unique_ptr<qvp::XmlDocument> doc_;
};

}  // namespace qv_commonclass
