#include "qv_platform/xmldom.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>

#include "qv_platform/file_content.h"
#include "qv_platform/fileio.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"
#include "xml/xml_select.h"
#include "xml_wellformed.h"

namespace qvp {

// ---- Errors ------------------------------------------------------------------

ComError::ComError(HRESULT hr, std::u16string description)
    : hr_(hr), description_(std::move(description)) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "COM error 0x%08X", static_cast<unsigned>(hr_));
  what_ = buf;
  if (!description_.empty()) what_ += ": " + Utf16ToUtf8(description_);
}

std::u16string ComError::ErrorMessage() const { return HResultMessage(hr_); }

std::u16string HResultMessage(HRESULT hr) {
  // The texts the system gives for the codes this layer raises.
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x00000000u: return u"No error";
    case 0x80004001u: return u"Not implemented";
    case 0x80004003u: return u"Invalid pointer";
    case 0x80004005u: return u"Unspecified error";
    case 0x8007000Eu: return u"Not enough memory resources are available to complete this operation.";
    case 0x80070057u: return u"The parameter is incorrect.";
    case 0x80070005u: return u"Access is denied.";
    case 0x80070002u: return u"The system cannot find the file specified.";
    case 0x80070003u: return u"The system cannot find the path specified.";
    case 0x80070070u: return u"There is not enough space on the disk.";
    case 0x8007007Bu: return u"The filename, directory name, or volume label syntax is incorrect.";
    case 0x80070020u: return u"The process cannot access the file because it is being used by another process.";
    case 0x80020005u: return u"Type mismatch.";
    case 0x8002000Au: return u"Out of present range.";
    default: break;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "Unknown error 0x%08X", static_cast<unsigned>(hr));
  return Utf8ToUtf16(buf);
}

namespace {

[[noreturn]] void Raise(HRESULT hr, std::u16string_view what = {}) { throw ComError(hr, std::u16string(what)); }

HRESULT HResultFromErrno(int err) { return HResultFromWin32(ErrnoToWin32(err)); }

bool IsNameStart(unsigned char c) { return c >= 0x80 || c == '_' || c == ':' || static_cast<unsigned>((c | 0x20) - 'a') < 26u; }
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || c == '-' || c == '.' || static_cast<unsigned>(c - '0') < 10u;
}

void CheckName(std::string_view name) {
  bool ok = !name.empty() && IsNameStart(static_cast<unsigned char>(name[0]));
  for (std::size_t i = 1; ok && i < name.size(); ++i) ok = IsNameChar(static_cast<unsigned char>(name[i]));
  if (!ok) Raise(E_FAIL, u"This name is not a valid XML name: '" + Utf8ToUtf16(name) + u"'");
}

// NulTerminated gives a NUL-terminated copy of a short name without touching
// the heap in the common case.
class NulTerminated {
 public:
  explicit NulTerminated(std::string_view s) {
    if (s.size() < sizeof small_) {
      std::memcpy(small_, s.data(), s.size());
      small_[s.size()] = 0;
      p_ = small_;
    } else {
      big_.assign(s);
      p_ = big_.c_str();
    }
  }
  const char* c_str() const { return p_; }

 private:
  char small_[64];
  std::string big_;
  const char* p_;
};

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, std::size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// Writes through the file seam; the first error stops the writing.
struct FileWriter : pugi::xml_writer {
  int fd;
  int err = 0;
  explicit FileWriter(int file) : fd(file) {}
  void write(const void* data, std::size_t size) override {
    if (err == 0) err = WriteAll(fd, std::string_view(static_cast<const char*>(data), size));
  }
};

}  // namespace

// ---- Document state ------------------------------------------------------------

// XmlDocState owns the pugixml tree. Nodes that are not (or no longer) in the
// document live under a hidden holder element, a child of the document node,
// so that pugixml's "one tree per document" rule lets them be moved in later.
// Every walk of the top level skips the holder.
struct XmlDocState {
  pugi::xml_document doc;
  pugi::xml_node holder;
  XmlParseError error;

  pugi::xml_node Holder() {
    if (!holder) holder = doc.append_child(pugi::node_element);
    return holder;
  }
  bool IsHolder(pugi::xml_node n) const { return holder && n == holder; }
  pugi::xml_node Root() const {
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element && !IsHolder(c)) return c;
    return {};
  }
};

namespace {

pugi::xml_node N(pugi::xml_node_struct* p) { return pugi::xml_node(p); }

// AppendText collects the text of `n` and its descendants in document order,
// without recursion (a document may nest elements very deeply).
void AppendText(pugi::xml_node n, std::string& out) {
  if (!n) return;
  if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
    out += n.value();
    return;
  }
  pugi::xml_node cur = n.first_child();
  while (cur) {
    if (cur.type() == pugi::node_pcdata || cur.type() == pugi::node_cdata) out += cur.value();
    if (cur.type() == pugi::node_element && cur.first_child()) {
      cur = cur.first_child();
      continue;
    }
    while (cur && cur != n && !cur.next_sibling()) cur = cur.parent();
    if (!cur || cur == n) break;
    cur = cur.next_sibling();
  }
}

// Selection: the path's steps are child-element names ("*" any element).
template <class Visit>
bool SelectSteps(const XmlDocState& st, pugi::xml_node from, std::string_view path, Visit&& visit) {
  if (path.substr(0, 2) == "./") path.remove_prefix(2);
  const std::size_t slash = path.find('/');
  const std::string_view step = path.substr(0, slash);
  const bool last = slash == std::string_view::npos;
  for (pugi::xml_node c = from.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || st.IsHolder(c)) continue;
    // Compared in place: no strlen of every sibling's name.
    if (step != "*" && (std::strncmp(c.name(), step.data(), step.size()) != 0 || c.name()[step.size()] != 0)) continue;
    if (last) {
      if (!visit(c)) return false;
    } else if (!SelectSteps(st, c, path.substr(slash + 1), visit)) {
      return false;
    }
  }
  return true;
}

void PrintRaw(pugi::xml_node n, StringWriter& w) {
  n.print(w, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
}

}  // namespace

// ---- XmlAttribute --------------------------------------------------------------

std::string_view XmlAttribute::NameUtf8() const noexcept { return pugi::xml_attribute(a_).name(); }
std::string_view XmlAttribute::ValueUtf8() const noexcept { return pugi::xml_attribute(a_).value(); }
const char* XmlAttribute::NameC() const noexcept { return pugi::xml_attribute(a_).name(); }
const char* XmlAttribute::ValueC() const noexcept { return pugi::xml_attribute(a_).value(); }
std::u16string XmlAttribute::Name() const { return Utf8ToUtf16(NameUtf8()); }
std::u16string XmlAttribute::Value() const { return Utf8ToUtf16(ValueUtf8()); }
XmlAttribute XmlAttribute::Next() const noexcept {
  return XmlAttribute(pugi::xml_attribute(a_).next_attribute().internal_object());
}

// ---- XmlNode -------------------------------------------------------------------

pugi::xml_node_struct* XmlNode::Checked() const {
  if (!n_) Raise(E_POINTER);
  return n_;
}

XmlNodeType XmlNode::Type() const noexcept {
  switch (N(n_).type()) {
    case pugi::node_element: return XmlNodeType::Element;
    case pugi::node_pcdata: return XmlNodeType::Text;
    case pugi::node_cdata: return XmlNodeType::CData;
    case pugi::node_comment: return XmlNodeType::Comment;
    case pugi::node_pi:
    case pugi::node_declaration: return XmlNodeType::ProcessingInstruction;
    case pugi::node_document: return XmlNodeType::Document;
    default: return XmlNodeType::Null;
  }
}

std::string_view XmlNode::NodeNameUtf8() const {
  pugi::xml_node n = N(Checked());
  switch (n.type()) {
    case pugi::node_pcdata: return "#text";
    case pugi::node_cdata: return "#cdata-section";
    case pugi::node_comment: return "#comment";
    case pugi::node_document: return "#document";
    default: return n.name();
  }
}

std::u16string XmlNode::NodeName() const { return Utf8ToUtf16(NodeNameUtf8()); }

std::u16string XmlNode::NodeValue() const {
  pugi::xml_node n = N(Checked());
  if (n.type() == pugi::node_declaration) {
    std::string v;
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
      if (!v.empty()) v += ' ';
      v += a.name();
      v += "=\"";
      v += a.value();
      v += '"';
    }
    return Utf8ToUtf16(v);
  }
  if (n.type() == pugi::node_element || n.type() == pugi::node_document) return {};
  return Utf8ToUtf16(n.value());
}

std::u16string XmlNode::Text() const {
  pugi::xml_node n = N(Checked());
  std::string out;
  if (n.type() == pugi::node_document)
    AppendText(d_->Root(), out);
  else if (n.type() == pugi::node_element)
    AppendText(n, out);
  else
    out = n.value();
  return Utf8ToUtf16(out);
}

void XmlNode::SetText(std::u16string_view text) {
  pugi::xml_node n = N(Checked());
  const std::string utf8 = Utf16ToUtf8(text);
  if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata || n.type() == pugi::node_comment ||
      n.type() == pugi::node_pi) {
    if (!n.set_value(utf8.c_str(), utf8.size())) Raise(E_OUTOFMEMORY);
    return;
  }
  if (n.type() == pugi::node_document) n = d_->Root();
  if (!n) Raise(E_FAIL, u"The document has no document element");
  // Old children are parked, not destroyed, so handles to them stay valid.
  pugi::xml_node holder = d_->Holder();
  while (pugi::xml_node c = n.first_child()) holder.append_move(c);
  if (!utf8.empty()) {
    pugi::xml_node t = n.append_child(pugi::node_pcdata);
    if (!t || !t.set_value(utf8.c_str(), utf8.size())) Raise(E_OUTOFMEMORY);
  }
}

std::u16string XmlNode::Xml() const {
  pugi::xml_node n = N(Checked());
  StringWriter w;
  if (n.type() == pugi::node_document) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (d_->IsHolder(c)) continue;
      PrintRaw(c, w);
      w.out += "\r\n";
    }
  } else {
    PrintRaw(n, w);
  }
  return Utf8ToUtf16(w.out);
}

XmlNode XmlNode::SelectSingleNode(std::string_view path) const {
  pugi::xml_node from = N(Checked());
  if (!xml_detail::IsPlainChildPath(path)) {
    std::vector<pugi::xml_node_struct*> found;
    xml_detail::SelectPath(from, d_->holder, path, found);
    return found.empty() || !found.front() ? XmlNode() : XmlNode(d_, found.front());
  }
  pugi::xml_node found;
  SelectSteps(*d_, from, path, [&](pugi::xml_node c) {
    found = c;
    return false;
  });
  return found ? XmlNode(d_, found.internal_object()) : XmlNode();
}

XmlNodeList XmlNode::SelectNodes(std::string_view path) const {
  pugi::xml_node from = N(Checked());
  XmlNodeList list;
  list.d_ = d_;
  if (!xml_detail::IsPlainChildPath(path)) {
    xml_detail::SelectPath(from, d_->holder, path, list.nodes_);
    return list;
  }
  SelectSteps(*d_, from, path, [&](pugi::xml_node c) {
    list.nodes_.push_back(c.internal_object());
    return true;
  });
  return list;
}

XmlNode XmlNode::FirstChild() const {
  pugi::xml_node c = N(Checked()).first_child();
  while (c && d_->IsHolder(c)) c = c.next_sibling();
  return c ? XmlNode(d_, c.internal_object()) : XmlNode();
}

XmlNode XmlNode::NextSibling() const {
  pugi::xml_node c = N(Checked()).next_sibling();
  while (c && d_->IsHolder(c)) c = c.next_sibling();
  return c ? XmlNode(d_, c.internal_object()) : XmlNode();
}

XmlNode XmlNode::ParentNode() const {
  pugi::xml_node p = N(Checked()).parent();
  if (!p || d_->IsHolder(p)) return {};
  return XmlNode(d_, p.internal_object());
}

XmlNodeList XmlNode::ChildNodes() const {
  XmlNodeList list;
  list.d_ = d_;
  for (XmlNode c = FirstChild(); c; c = c.NextSibling()) list.nodes_.push_back(c.n_);
  return list;
}

XmlNode XmlNode::AppendChild(const XmlNode& child) {
  pugi::xml_node parent = N(Checked());
  pugi::xml_node c = N(child.Checked());
  if (child.d_ != d_) Raise(E_FAIL, u"The node belongs to another document");
  if (parent.type() == pugi::node_document && c.type() == pugi::node_element && d_->Root() &&
      d_->Root() != c)
    Raise(E_FAIL, u"Only one top level element is allowed in an XML document.");
  if (!parent.append_move(c)) Raise(E_FAIL, u"This operation is not allowed on this node");
  return child;
}

XmlNode XmlNode::RemoveChild(const XmlNode& child) {
  pugi::xml_node parent = N(Checked());
  pugi::xml_node c = N(child.Checked());
  if (c.parent() != parent || d_->IsHolder(c)) Raise(E_INVALIDARG, u"The node is not a child of this node");
  d_->Holder().append_move(c);
  return child;
}

void XmlNode::DestroyChild(const XmlNode& child) {
  pugi::xml_node parent = N(Checked());
  pugi::xml_node c = N(child.Checked());
  if (c.parent() != parent || d_->IsHolder(c)) Raise(E_INVALIDARG, u"The node is not a child of this node");
  parent.remove_child(c);
}

XmlAttribute XmlNode::FirstAttribute() const {
  return XmlAttribute(N(Checked()).first_attribute().internal_object());
}

XmlAttribute XmlNode::GetAttributeNode(std::string_view name) const {
  for (pugi::xml_attribute a = N(Checked()).first_attribute(); a; a = a.next_attribute())
    if (name == a.name()) return XmlAttribute(a.internal_object());
  return {};
}

long XmlNode::AttributeCount() const {
  long count = 0;
  for (pugi::xml_attribute a = N(Checked()).first_attribute(); a; a = a.next_attribute()) ++count;
  return count;
}

HRESULT XmlNode::GetAttribute(std::string_view name, std::u16string& value) const {
  XmlAttribute a = GetAttributeNode(name);
  if (!a) {
    value.clear();
    return S_FALSE;
  }
  value = a.Value();
  return S_OK;
}

void XmlNode::SetAttributeUtf8(std::string_view name, std::string_view value) {
  pugi::xml_node n = N(Checked());
  if (n.type() != pugi::node_element) Raise(E_FAIL, u"Attributes belong to elements only");
  XmlAttribute existing = GetAttributeNode(name);
  if (!existing) {
    AddAttributeUtf8(name, value);
    return;
  }
  if (!pugi::xml_attribute(existing.a_).set_value(value.data(), value.size())) Raise(E_OUTOFMEMORY);
}

void XmlNode::AddAttributeUtf8(std::string_view name, std::string_view value) {
  pugi::xml_node n = N(Checked());
  if (n.type() != pugi::node_element) Raise(E_FAIL, u"Attributes belong to elements only");
  CheckName(name);
  pugi::xml_attribute a = n.append_attribute(NulTerminated(name).c_str());
  if (!a || !a.set_value(value.data(), value.size())) Raise(E_OUTOFMEMORY);
}

void XmlNode::SetAttribute(std::string_view name, std::u16string_view value) {
  SetAttributeUtf8(name, Utf16ToUtf8(value));
}

void XmlNode::SetAttribute(std::string_view name, std::int32_t value) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  SetAttributeUtf8(name, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

void XmlNode::SetAttribute(std::string_view name, std::int64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  SetAttributeUtf8(name, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

void XmlNode::SetAttribute(std::string_view name, double value) { SetAttributeUtf8(name, FormatDoubleShortest(value)); }

std::string FormatDoubleShortest(double value) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

// ---- XmlNodeList ---------------------------------------------------------------

XmlNode XmlNodeList::Item(long index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= nodes_.size()) return {};
  return XmlNode(d_, nodes_[static_cast<std::size_t>(index)]);
}

XmlNode XmlNodeList::NextNode() {
  if (next_ >= nodes_.size()) return {};
  return XmlNode(d_, nodes_[next_++]);
}

// ---- XmlDocument ---------------------------------------------------------------

namespace {

constexpr unsigned kParseFlags =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_pi | pugi::parse_comments;  // never parse_doctype

HRESULT ParseStatusCode(const pugi::xml_parse_result& r, std::size_t size) {
  switch (r.status) {
    case pugi::status_ok: return S_OK;
    case pugi::status_file_not_found: return kXmlErrorFileNotFound;
    case pugi::status_io_error: return kXmlErrorIo;
    case pugi::status_out_of_memory: return kXmlErrorOutOfMemory;
    case pugi::status_bad_attribute: return kXmlErrorBadAttr;
    case pugi::status_bad_start_element:
    case pugi::status_bad_end_element: return kXmlErrorBadTag;
    case pugi::status_end_element_mismatch:
      return static_cast<std::size_t>(r.offset) >= size ? kXmlErrorUnclosed : kXmlErrorEndTag;
    case pugi::status_no_document_element: return kXmlErrorNoRoot;
    default: return kXmlErrorSyntax;
  }
}

// LineAndColumn counts lines and characters (UTF-8 lead bytes) before
// `offset` in text fed to it in pieces.
struct LineCounter {
  long line = 1;
  long column = 1;
  void Feed(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = static_cast<unsigned char>(p[i]);
      if (c == '\n') {
        ++line;
        column = 1;
      } else if ((c & 0xC0) != 0x80 && c != '\r') {
        ++column;
      }
    }
  }
};

// A well-formed document has exactly one element at the top; pugixml is
// more lenient. The check before the parse refuses such text already; this
// is the parser's own view of it, kept as a second line.
bool CheckTopLevel(XmlDocState& st, std::ptrdiff_t& offset, HRESULT& code, std::u16string& reason) {
  int elements = 0;
  for (pugi::xml_node c = st.doc.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && ++elements > 1) {
      offset = c.offset_debug() > 0 ? c.offset_debug() - 1 : c.offset_debug();  // at its '<'
      code = kXmlErrorMultiRoot;
      reason = u"Only one top level element is allowed in an XML document.";
      return false;
    }
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
      offset = c.offset_debug();
      code = kXmlErrorSyntax;
      reason = u"Invalid at the top level of the document.";
      return false;
    }
  }
  if (elements == 0) {
    offset = -1;
    code = kXmlErrorNoRoot;
    reason = u"XML document must have a top level element.";
    return false;
  }
  return true;
}

// CheckBeforeParse runs the well-formedness check on UTF-8 text (a leading
// byte order mark is skipped, as the parser skips it) and, on a fault,
// fills `err` with its code, reason, line and column.
bool CheckBeforeParse(std::string_view text, XmlParseError& err) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  xml_detail::WellFormedFault fault;
  if (xml_detail::CheckWellFormed(text, fault)) return true;
  LineCounter lc;
  lc.Feed(text.data(), fault.offset);
  err.errorCode = fault.code;
  err.reason = std::move(fault.reason);
  err.line = lc.line;
  err.linepos = lc.column;
  return false;
}

}  // namespace

XmlDocument::XmlDocument() : d_(std::make_shared<XmlDocState>()) {}

const XmlParseError& XmlDocument::ParseError() const noexcept { return d_->error; }

bool XmlDocument::LoadFile(std::u16string_view path) {
  // A fresh state: handles into the old content keep the old tree alive.
  d_ = std::make_shared<XmlDocState>();
  XmlParseError& err = d_->error;
  const std::string upath = Utf16ToUtf8(path);
  FileBytes file;
  if (const int e = ReadWholeFile(upath, file); e != 0) {
    err.errorCode = e == ENOENT || e == EISDIR ? kXmlErrorFileNotFound
                    : e == ENOMEM              ? kXmlErrorOutOfMemory
                    : e == EIO                 ? kXmlErrorIo
                                               : HResultFromErrno(e);
    err.reason = e == EISDIR ? u"The path names a folder, not a file." : HResultMessage(HResultFromErrno(e));
    if (e == ENOENT) err.reason = HResultMessage(err.errorCode);
    return false;
  }
  const std::string_view content(file.data.get(), file.size);
  const std::size_t size = content.size();
  void* buf = pugi::get_memory_allocation_function()(size ? size : 1);
  if (!buf) {
    err.errorCode = kXmlErrorOutOfMemory;
    err.reason = HResultMessage(E_OUTOFMEMORY);
    return false;
  }
  if (size) std::memcpy(buf, content.data(), size);
  // Text in another encoding is turned into UTF-8 first, so that the check
  // and the parser see the same text.
  std::size_t length = static_cast<std::size_t>(size);
  std::string decoded;
  const bool converted = xml_detail::DecodeToUtf8(std::string_view(static_cast<const char*>(buf), length), decoded);
  if (converted) {
    pugi::get_memory_deallocation_function()(buf);
    length = decoded.size();
    buf = pugi::get_memory_allocation_function()(length ? length : 1);
    if (!buf) {
      err.errorCode = kXmlErrorOutOfMemory;
      err.reason = HResultMessage(E_OUTOFMEMORY);
      return false;
    }
    if (length) std::memcpy(buf, decoded.data(), length);
    std::string().swap(decoded);
  }
  if (!CheckBeforeParse(std::string_view(static_cast<const char*>(buf), length), err)) {
    pugi::get_memory_deallocation_function()(buf);
    return false;
  }
  pugi::xml_parse_result r = d_->doc.load_buffer_inplace_own(buf, length, kParseFlags, pugi::encoding_utf8);
  std::ptrdiff_t offset = r.offset;
  HRESULT code = ParseStatusCode(r, length);
  std::u16string reason = Utf8ToUtf16(r.description());
  if (r && !CheckTopLevel(*d_, offset, code, reason)) r.status = pugi::status_internal_error;
  if (r) return true;
  // The parsed buffer was changed in place; count from the file's text
  // (whose offsets are the parser's only when nothing was converted).
  LineCounter lc;
  if (converted) offset = -1;
  if (offset > 0) lc.Feed(content.data(), std::min(static_cast<std::size_t>(offset), content.size()));
  d_->doc.reset();
  d_->holder = pugi::xml_node();
  err.errorCode = code;
  err.reason = reason;
  err.line = offset >= 0 ? lc.line : 0;
  err.linepos = offset >= 0 ? lc.column : 0;
  return false;
}

bool XmlDocument::LoadXmlUtf8(std::string_view xml) {
  d_ = std::make_shared<XmlDocState>();
  if (!CheckBeforeParse(xml, d_->error)) return false;
  void* buf = pugi::get_memory_allocation_function()(xml.size() ? xml.size() : 1);
  if (!buf) {
    d_->error.errorCode = kXmlErrorOutOfMemory;
    d_->error.reason = HResultMessage(E_OUTOFMEMORY);
    return false;
  }
  if (!xml.empty()) std::memcpy(buf, xml.data(), xml.size());
  pugi::xml_parse_result r = d_->doc.load_buffer_inplace_own(buf, xml.size(), kParseFlags, pugi::encoding_utf8);
  std::ptrdiff_t offset = r.offset;
  HRESULT code = ParseStatusCode(r, xml.size());
  std::u16string reason = Utf8ToUtf16(r.description());
  if (r && !CheckTopLevel(*d_, offset, code, reason)) r.status = pugi::status_internal_error;
  if (r) return true;
  LineCounter lc;
  if (offset > 0) lc.Feed(xml.data(), std::min(static_cast<std::size_t>(offset), xml.size()));
  d_->doc.reset();
  d_->holder = pugi::xml_node();
  d_->error.errorCode = code;
  d_->error.reason = reason;
  d_->error.line = offset >= 0 ? lc.line : 0;
  d_->error.linepos = offset >= 0 ? lc.column : 0;
  return false;
}

// Unpaired surrogates are kept in the UTF-8 form so that the check refuses
// them instead of loading a replacement character.
bool XmlDocument::LoadXml(std::u16string_view xml) { return LoadXmlUtf8(xml_detail::ToUtf8KeepingSurrogates(xml)); }

void XmlDocument::Save(std::u16string_view path) const {
  const std::string upath = Utf16ToUtf8(path);
  const int fd = Ops().open(upath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) Raise(HResultFromErrno(errno), u"Cannot open the file for writing: " + std::u16string(path));
  FileWriter w(fd);
  for (pugi::xml_node c = d_->doc.first_child(); c; c = c.next_sibling()) {
    if (d_->IsHolder(c)) continue;
    c.print(w, "\t", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
  }
  int err = w.err;
  if (Ops().close(fd) != 0 && !err) err = errno ? errno : EIO;
  if (err) Raise(HResultFromErrno(err), u"Cannot write the file: " + std::u16string(path));
}

std::string XmlDocument::XmlUtf8() const {
  StringWriter w;
  for (pugi::xml_node c = d_->doc.first_child(); c; c = c.next_sibling()) {
    if (d_->IsHolder(c)) continue;
    PrintRaw(c, w);
    w.out += "\r\n";
  }
  return std::move(w.out);
}

std::u16string XmlDocument::Xml() const { return Utf8ToUtf16(XmlUtf8()); }

std::u16string XmlDocument::Text() const { return AsNode().Text(); }

XmlNode XmlDocument::DocumentElement() const {
  pugi::xml_node r = d_->Root();
  return r ? XmlNode(d_, r.internal_object()) : XmlNode();
}

void XmlDocument::SetDocumentElement(const XmlNode& root) {
  pugi::xml_node n = N(root.Checked());
  if (root.d_ != d_) Raise(E_FAIL, u"The node belongs to another document");
  if (n.type() != pugi::node_element) Raise(E_INVALIDARG, u"The document element must be an element");
  pugi::xml_node old = d_->Root();
  if (old == n) return;
  if (old) {
    if (!d_->doc.insert_move_before(n, old)) Raise(E_FAIL, u"This operation is not allowed on this node");
    d_->Holder().append_move(old);
  } else if (!d_->doc.append_move(n)) {
    Raise(E_FAIL, u"This operation is not allowed on this node");
  }
}

XmlNode XmlDocument::AsNode() const { return XmlNode(d_, d_->doc.internal_object()); }

XmlNode XmlDocument::CreateElement(std::string_view name) const {
  CheckName(name);
  pugi::xml_node e = d_->Holder().append_child(NulTerminated(name).c_str());
  if (!e) Raise(E_OUTOFMEMORY);
  return XmlNode(d_, e.internal_object());
}

XmlNode XmlDocument::CreateElement(std::u16string_view name) const { return CreateElement(Utf16ToUtf8(name)); }

XmlNode XmlDocument::CreateTextNode(std::u16string_view text) const {
  pugi::xml_node n = d_->Holder().append_child(pugi::node_pcdata);
  const std::string utf8 = Utf16ToUtf8(text);
  if (!n || !n.set_value(utf8.c_str(), utf8.size())) Raise(E_OUTOFMEMORY);
  return XmlNode(d_, n.internal_object());
}

XmlNode XmlDocument::CreateCDATASection(std::u16string_view data) const {
  if (data.find(u"]]>") != std::u16string_view::npos)
    Raise(E_INVALIDARG, u"A CDATA section cannot contain the text ']]>'");
  pugi::xml_node n = d_->Holder().append_child(pugi::node_cdata);
  const std::string utf8 = Utf16ToUtf8(data);
  if (!n || !n.set_value(utf8.c_str(), utf8.size())) Raise(E_OUTOFMEMORY);
  return XmlNode(d_, n.internal_object());
}

XmlNode XmlDocument::CreateProcessingInstruction(std::u16string_view target, std::u16string_view data) const {
  const std::string t = Utf16ToUtf8(target);
  CheckName(t);
  if (data.find(u"?>") != std::u16string_view::npos)
    Raise(E_INVALIDARG, u"A processing instruction cannot contain the text '?>'");
  pugi::xml_node n = d_->Holder().append_child(pugi::node_pi);
  const std::string v = Utf16ToUtf8(data);
  if (!n || !n.set_name(t.c_str()) || !n.set_value(v.c_str(), v.size())) Raise(E_OUTOFMEMORY);
  return XmlNode(d_, n.internal_object());
}

}  // namespace qvp
