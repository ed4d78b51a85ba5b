// Reading second-generation list files into _VEDL_INFO_2.
//
// A file in the writer's form is read straight from its bytes (the direct
// route); anything else, and all text handed over as a string, goes through
// the document object (the document route).
#include <memory>
#include <new>
#include <string>

#include "edl/edl_debug.h"
#include "edl/edl_paths.h"
#include "edl/edl_readers.h"
#include "qv_commonclass/edl.h"
#include "qv_commonclass/xml.h"
#include "qv_platform/unicode.h"

namespace qv_commonclass {

using edl_io::Debug;

namespace {

// ReadThroughDocument creates a document, loads it with `load` (false: the
// load wrote its own message) and reads it into `info`; both entry points
// share the creation and every failure message.
template <class Load>
int ReadThroughDocument(_VEDL_INFO_2& info, Load load) {
  try {
    std::unique_ptr<qvp::XmlDocument> doc = QVXmlCreateDocument();
    if (!doc) {
      Debug(edl_io::kMsgCreateReaderObjectFailed);
      return 0;
    }
    if (!load(*doc)) return 0;
    return edl_io::ReadVEDL2Document(*doc, info);
  } catch (const qvp::ComError& e) {
    Debug(edl_io::kMsgCreateReaderFailed, QVXmlErrorMessage(e));
  } catch (const std::bad_alloc&) {
    Debug(edl_io::kMsgCreateReaderFailed, QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
  }
  return 0;
}

}  // namespace

int QVReadVEDLFromFile2(const char16_t* path, _VEDL_INFO_2* info) {
  if (!info || !edl_io::PathExists(path)) return 0;
  info->arrVideo.RemoveAll();
  for (auto& track : info->arrAudio) track.RemoveAll();
  std::string resolved;
  try {
    resolved = edl_io::ResolvePath(qvp::Utf16ToUtf8(path));
    if (edl_io::ReadDirect(resolved, *info)) return 1;
  } catch (const std::bad_alloc&) {
    Debug(edl_io::kMsgCreateReaderFailed, QVXmlErrorMessage(qvp::ComError(E_OUTOFMEMORY)));
    return 0;
  }
  return ReadThroughDocument(*info, [&resolved](qvp::XmlDocument& doc) {
    if (doc.LoadFile(qvp::Utf8ToUtf16(resolved))) return true;
    const qvp::XmlParseError& e = doc.ParseError();
    Debug(u"Error:\nCode = 0x%x\nSource = Line : %ld; Char : %ld\nError Description = %s\n",
          static_cast<unsigned>(e.errorCode), e.line, e.linepos, e.reason);
    return false;
  });
}

int QVReadVEDL2(const _bstr_t& xml, _VEDL_INFO_2* info) {
  if (!info) return 0;  // the caller's duty; refused rather than crashed on
  return ReadThroughDocument(*info, [&xml](qvp::XmlDocument& doc) {
    if (doc.LoadXml(xml.view())) return true;
    Debug(u"加载XML串失败");
    return false;
  });
}

}  // namespace qv_commonclass
