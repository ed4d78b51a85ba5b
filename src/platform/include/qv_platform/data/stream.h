// _Stream: the data-access stream object, a growable buffer of bytes in
// memory that recordsets are saved to and opened from, and that text can be
// written to and read from.
//
// A text stream (the default type) keeps its text in its character set:
// "Unicode" (the default: UTF-16 little-endian, with a byte-order mark
// written before the first text of an empty stream) or "utf-8" (no mark).
// Position and Size count bytes. A recordset saved to a stream writes the
// persistence document's UTF-8 bytes at the position; a recordset opened on
// a stream reads from the position to the end (either character set: the
// reader tells them apart by the mark).
//
// Errors are raised as _com_error with the platform's HRESULT and a
// description (adErrObjectClosed on a closed stream, adErrObjectOpen when
// opening an open one, adErrInvalidArgument for a bad position, option or
// character set, E_FAIL with the system's reason for a file).
#pragma once

#include <string>
#include <string_view>

#include "qv_platform/data/ado.h"

namespace AdoNS {

enum StreamTypeEnum { adTypeBinary = 1, adTypeText = 2 };
enum ConnectModeEnum { adModeUnknown = 0, adModeRead = 1, adModeWrite = 2, adModeReadWrite = 3 };
enum StreamOpenOptionsEnum { adOpenStreamUnspecified = -1, adOpenStreamAsync = 1, adOpenStreamFromRecord = 4 };
enum StreamWriteEnum { adWriteChar = 0, adWriteLine = 1 };
enum StreamReadEnum { adReadAll = -1, adReadLine = -2 };
enum SaveOptionsEnum { adSaveCreateNotExist = 1, adSaveCreateOverWrite = 2 };

class QVP_API _Stream : public ComObject {
 public:
  // Create a stream object (one reference), closed.
  static _Stream* Create();

  // Open an empty stream. Only an empty source (EMPTY, or a missing
  // argument) is taken: opening on a URL or a record raises
  // adErrFeatureNotAvailable. Mode, options, user and password are accepted
  // and ignored (the stream lives in memory).
  void Open(const _variant_t& source = _variant_t(), ConnectModeEnum mode = adModeUnknown,
            long options = adOpenStreamUnspecified, const _bstr_t& user = _bstr_t(), const _bstr_t& password = _bstr_t());
  void Close();
  long GetState() const noexcept { return open_ ? adStateOpen : adStateClosed; }

  // Type and Charset may change only at position 0.
  StreamTypeEnum GetType() const noexcept { return type_; }
  void PutType(StreamTypeEnum type);
  _bstr_t GetCharset() const;
  void PutCharset(const _bstr_t& charset);

  long long GetSize() const;
  long long GetPosition() const;
  // PutPosition: 0..Size; adErrInvalidArgument beyond.
  void PutPosition(long long position);
  // SetEOS cuts the stream at the position.
  void SetEOS();

  // WriteText writes `text` at the position in the character set, over what
  // is there (adWriteLine adds CR LF); ReadText reads `chars` characters
  // (adReadAll: to the end). Both need a text stream.
  void WriteText(const _bstr_t& text, StreamWriteEnum option = adWriteChar);
  _bstr_t ReadText(long chars = adReadAll);

  // LoadFromFile replaces the content with the file's bytes (position 0);
  // SaveToFile writes the whole content (adSaveCreateNotExist refuses an
  // existing file). Through the file seam.
  void LoadFromFile(const _bstr_t& path);
  void SaveToFile(const _bstr_t& path, SaveOptionsEnum options = adSaveCreateNotExist);

  // Bytes from the position to the end, and a write of raw bytes at the
  // position (what recordsets use to open from and save to a stream).
  std::string_view Remaining() const;
  void WriteBytes(std::string_view bytes);

 private:
  void RequireOpen() const;
  bool wide() const noexcept { return charset_ == u"unicode"; }
  bool open_ = false;
  StreamTypeEnum type_ = adTypeText;
  std::u16string charset_ = u"unicode";  // lower case
  std::string bytes_;
  std::size_t pos_ = 0;
};

using _StreamPtr = ComPtr<_Stream>;

}  // namespace AdoNS
