// Uses the exported interface the way a client application does.
#include <cstdio>

#include "qv_commonclass/qv_commonclass.h"

int main() {
  using namespace qv_commonclass;
  CString s;
  s.Format(u"%s %d", u"frames", 25);
  const CString tc = QV_GetStringFromTimeCode(90000, QV_VIDEOSTANDARD_PAL);
  QV_TraceEx2(u"ZORerer", u"consumer", 1, 0, u"%s", s.GetString());
  if (s != CString(u"frames 25") || tc != CString(u"01:00:00:00")) {
    std::printf("unexpected results: %s / %s\n", s.ToUtf8().c_str(), tc.ToUtf8().c_str());
    return 1;
  }
  // The control classes' copy operations come from the library.
  qv_commonctrl::CQVFileDialog dialog;
  dialog.m_strPathName = CString(u"/media/clip.mxf");
  const qv_commonctrl::CQVFileDialog copy(dialog);
  if (copy.GetPathName() != dialog.GetPathName()) {
    std::printf("unexpected dialog copy: %s\n", copy.GetPathName().ToUtf8().c_str());
    return 1;
  }
  static_assert(QV_VERSION >= 100, "the version header comes with the umbrella header");
  std::printf("consumer: library %s linked and working\n", QV_VERSION_STRING);
  return 0;
}
