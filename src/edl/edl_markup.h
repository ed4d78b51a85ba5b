// The markup of the list writers (not exported): a list is written straight
// to UTF-8 text in one of the two forms the document object produces, the
// saved file (tab indentation, LF, " />") or the `xml` text (no indentation,
// "/>", CR LF after each top-level node). Writing text directly instead of
// building a document first keeps the writers near the speed of the save
// alone; the tests load what they write into the document object and check
// that it saves the same bytes.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "qv_platform/cstring.h"
#include "qv_platform/unicode.h"
#include "qv_platform/xmldom.h"

namespace qv_commonclass::edl_io {

class MarkupWriter {
 protected:
  MarkupWriter(std::string& out, bool file) : out_(out), file_(file) {}

  // ---- Markup pieces ----
  void Indent(int depth) {
    if (file_) out_.append(static_cast<std::size_t>(depth), '\t');
  }
  void LineEnd() {
    if (file_) out_ += '\n';
  }
  void TopLevelEnd() { out_ += file_ ? "\n" : "\r\n"; }
  void Open(int depth, std::string_view name) {
    Indent(depth);
    out_ += '<';
    out_ += name;
  }
  void CloseEmpty() { out_ += file_ ? " />" : "/>"; }
  void Attr(std::string_view name, std::string_view utf8) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    Escape(utf8, true);
    out_ += '"';
  }
  void Int(std::string_view name, std::int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    Attr(name, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
  }
  void Str(std::string_view name, const CString& v) { Attr(name, Utf8(v.view())); }
  // Format values: 0 is written as the empty text.
  void IntOrEmpty(std::string_view name, std::int64_t v) {
    if (v == 0) Attr(name, {});
    else Int(name, v);
  }
  void DoubleOrEmpty(std::string_view name, double v) {
    if (v == 0.0) Attr(name, {});
    else Attr(name, qvp::FormatDoubleShortest(v));
  }
  // Escape writes text as the document object does: & and < always as
  // entities, > in element text, " in attribute values, and control
  // characters as two-digit character references (line ends and tabs in
  // attribute values too).
  void Escape(std::string_view s, bool attribute) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      const char* entity = nullptr;
      char ref[6];
      if (c == '&') entity = "&amp;";
      else if (c == '<') entity = "&lt;";
      else if (c == '>' && !attribute) entity = "&gt;";
      else if (c == '"' && attribute) entity = "&quot;";
      else if (c < 32 && (attribute || (c != '\t' && c != '\n' && c != '\r'))) {
        ref[0] = '&', ref[1] = '#', ref[2] = static_cast<char>('0' + c / 10), ref[3] = static_cast<char>('0' + c % 10);
        ref[4] = ';', ref[5] = 0;
        entity = ref;
      }
      if (!entity) continue;
      out_.append(s.data() + run, i - run);
      out_ += entity;
      run = i + 1;
    }
    out_.append(s.data() + run, s.size() - run);
  }
  // Utf8 gives the UTF-8 form of a text (ASCII without a copy to the heap).
  std::string_view Utf8(std::u16string_view w) {
    scratch_.resize(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
      if (w[i] >= 0x80) {
        scratch_ = qvp::Utf16ToUtf8(w);
        return scratch_;
      }
      scratch_[i] = static_cast<char>(w[i]);
    }
    return scratch_;
  }

  std::string& out_;
  const bool file_;
  std::string scratch_;
};

// SaveListText saves a written list at `path`: creates the missing folders
// (CreateFolderForFile), writes the text and looks for the file up to three
// times, writing it again after each miss. 1 when the file is there; 0 after
// the message of the step that failed.
int SaveListText(const char16_t* path, const std::string& text);

}  // namespace qv_commonclass::edl_io
