// The in-memory data-access stream (stream.h).
#include "qv_platform/data/stream.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "qv_platform/file_content.h"
#include "qv_platform/fileio.h"
#include "qv_platform/unicode.h"
#include "rowset.h"

namespace AdoNS {

using qvp::data::Raise;

namespace {
const char* const kClosedText = "Operation is not allowed when the object is closed.";
const char* const kOpenText = "Operation is not allowed when the object is open.";
const char* const kTypeText = "Operation is not allowed in this context: the stream is not a text stream.";

std::u16string Lower(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return out;
}

[[noreturn]] void RaiseFile(const char* what, const std::u16string& path, int err) {
  std::u16string msg = qvp::Utf8ToUtf16(what);
  msg += path;
  msg += qvp::Utf8ToUtf16(std::string(": ") + std::strerror(err));
  Raise(E_FAIL, std::move(msg));
}
}  // namespace

_Stream* _Stream::Create() { return new _Stream; }

void _Stream::RequireOpen() const {
  if (!open_) Raise(adErrObjectClosed, kClosedText);
}

void _Stream::Open(const _variant_t& source, ConnectModeEnum, long, const _bstr_t&, const _bstr_t&) {
  if (open_) Raise(adErrObjectOpen, kOpenText);
  if (!source.IsNullOrEmpty() && !(source.vt() == VT_BSTR && source.bstrView().empty()))
    Raise(adErrFeatureNotAvailable, "A stream opens here only empty, in memory: a source is not supported.");
  open_ = true;
  bytes_.clear();
  pos_ = 0;
}

void _Stream::Close() {
  RequireOpen();
  open_ = false;
  bytes_.clear();
  bytes_.shrink_to_fit();
  pos_ = 0;
}

void _Stream::PutType(StreamTypeEnum type) {
  if (type != adTypeBinary && type != adTypeText) Raise(adErrInvalidArgument, "Unknown stream type.");
  if (open_ && pos_ != 0) Raise(adErrIllegalOperation, "The stream type can change only at position 0.");
  type_ = type;
}

_bstr_t _Stream::GetCharset() const { return wide() ? _bstr_t(u"Unicode") : _bstr_t(u"utf-8"); }

void _Stream::PutCharset(const _bstr_t& charset) {
  std::u16string c = Lower(charset.view());
  if (c != u"unicode" && c != u"utf-8") Raise(adErrInvalidArgument, "Character sets supported: Unicode and utf-8.");
  if (open_ && pos_ != 0) Raise(adErrIllegalOperation, "The character set can change only at position 0.");
  charset_ = std::move(c);
}

long long _Stream::GetSize() const {
  RequireOpen();
  return static_cast<long long>(bytes_.size());
}

long long _Stream::GetPosition() const {
  RequireOpen();
  return static_cast<long long>(pos_);
}

void _Stream::PutPosition(long long position) {
  RequireOpen();
  if (position < 0 || static_cast<unsigned long long>(position) > bytes_.size())
    Raise(adErrInvalidArgument, "The stream position is outside the stream.");
  pos_ = static_cast<std::size_t>(position);
}

void _Stream::SetEOS() {
  RequireOpen();
  bytes_.resize(pos_);
}

void _Stream::WriteBytes(std::string_view bytes) {
  RequireOpen();
  if (pos_ + bytes.size() > bytes_.size()) bytes_.resize(pos_ + bytes.size());
  std::memcpy(bytes_.data() + pos_, bytes.data(), bytes.size());
  pos_ += bytes.size();
}

std::string_view _Stream::Remaining() const {
  RequireOpen();
  return std::string_view(bytes_).substr(pos_);
}

void _Stream::WriteText(const _bstr_t& text, StreamWriteEnum option) {
  RequireOpen();
  if (type_ != adTypeText) Raise(adErrIllegalOperation, kTypeText);
  std::u16string_view t = text.view();
  std::u16string line;
  if (option == adWriteLine) {
    line.assign(t);
    line += u"\r\n";
    t = line;
  }
  if (!wide()) {
    WriteBytes(qvp::Utf16ToUtf8(t));
    return;
  }
  std::string out;
  if (bytes_.empty()) out = "\xFF\xFE";
  out.reserve(out.size() + t.size() * 2);
  for (char16_t c : t) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  WriteBytes(out);
}

_bstr_t _Stream::ReadText(long chars) {
  RequireOpen();
  if (type_ != adTypeText) Raise(adErrIllegalOperation, kTypeText);
  if (wide() && pos_ == 0 && bytes_.starts_with("\xFF\xFE")) pos_ = 2;
  std::string_view rest = std::string_view(bytes_).substr(pos_);
  std::u16string out;
  if (wide()) {
    std::size_t n = rest.size() / 2;
    if (chars >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(chars));
    out.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      out[i] = static_cast<char16_t>(static_cast<unsigned char>(rest[2 * i]) |
                                     static_cast<unsigned char>(rest[2 * i + 1]) << 8);
    pos_ += n * 2;
  } else {
    out = qvp::Utf8ToUtf16(rest);
    if (chars >= 0 && out.size() > static_cast<std::size_t>(chars)) {
      out.resize(static_cast<std::size_t>(chars));
      pos_ += qvp::Utf16ToUtf8(out).size();
    } else {
      pos_ = bytes_.size();
    }
  }
  return _bstr_t(std::move(out));
}

void _Stream::LoadFromFile(const _bstr_t& path) {
  RequireOpen();
  std::string content;
  const int err = qvp::ReadWholeFile(qvp::ToNativePath(path), content);
  if (err) RaiseFile("The file cannot be read: ", path.str(), err);
  bytes_ = std::move(content);
  pos_ = 0;
}

void _Stream::SaveToFile(const _bstr_t& path, SaveOptionsEnum options) {
  RequireOpen();
  const std::string native = qvp::ToNativePath(path);
  struct stat st {};
  if (options == adSaveCreateNotExist && qvp::Ops().stat(native.c_str(), &st) == 0)
    RaiseFile("The file already exists: ", path.str(), EEXIST);
  const int err = qvp::WriteWholeFile(native, bytes_);
  if (err) RaiseFile("The file cannot be written: ", path.str(), err);
}

}  // namespace AdoNS
