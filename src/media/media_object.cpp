// The media object record, the clip records and the status texts derived
// from their codes.
#include <cstring>
#include <iterator>

#include "qv_commonclass/media.h"
#include "qv_imports/resources.h"

namespace qv_commonclass {

// ---- Records ----------------------------------------------------------------------

stu_QVObject::stu_QVObject() { Reset(); }

stu_QVObject::~stu_QVObject() { Reset(); }

LONG stu_QVObject::GetObjectKind() const { return 1; }

bool stu_QVObject::IsKindOf(LONG kind) const { return kind == 1; }

void stu_QVObject::Reset() {
  lObjectID = 0;
  guidObject = GUID_NULL;
  lObjectType = 0;
  llObjectSubType = 0;
  std::memset(byReserved1, 0, sizeof byReserved1);
  strReserved1.Empty();
  strReserved2.Empty();
  lThumbnailTag = 0;
  strThumbnailFile.Empty();
  lLength = 0;
  lInPoint = 0;
  lOutPoint = 0;
  lReserved1 = 0;
  dReserved1 = 0.0;
  lReserved2 = 0;
  dReserved2 = 0.0;
  dReserved3 = 0.0;
  lReserved3 = 0;
  lReserved4 = 0;
  dReserved4 = dReserved5 = dReserved6 = dReserved7 = 0.0;
  lReserved5 = 0;
  dReserved8 = 0.0;
  emVideoStandard = QV_VIDEOSTANDARD_DEFAULT;
  std::memset(byReserved2, 0, sizeof byReserved2);
  strReserved3.Empty();
  std::memset(byReserved3, 0, sizeof byReserved3);
  for (CString* s : {&strReserved4, &strReserved5, &strReserved6, &strReserved7, &strReserved8, &strReserved9,
                     &strReserved10, &strArchiveNote})
    s->Empty();
  llModifyFlag = -1;
  lReserved6 = 0;
  lReserved7 = 0;
  strReserved11.Empty();
  strReserved12.Empty();
  std::memset(byReserved4, 0, sizeof byReserved4);
  lThumbnailGroup = 0;
  lReserved8 = -1;
  lReserved9 = -1;
  std::memset(byReserved5, 0, sizeof byReserved5);
  strReserved13.Empty();
  strReserved14.Empty();
}

stu_QVClipFile::stu_QVClipFile() { Reset(); }

stu_QVClipFile::~stu_QVClipFile() { Reset(); }

void stu_QVClipFile::Reset() {
  lSpare2 = 0;
  dwTag = 0;
  lClipType = 0;
  lBegin = 0;
  lEnd = 0;
  lClipIn = 0;
  lClipOut = 0;
  lDuration = 0;
  lChannelType = 0;
  llSpare = 0;
  strClipFile.Empty();
  lSpare3 = 0;
  lSpare4 = 0;
  lSpare5 = -1;
  lSpare6 = 0;
  strSpare1.Empty();
  dSpare = 0.0;
  strSpare2.Empty();
  strSpare3.Empty();
  strSpare4.Empty();
}

stu_QVClipInfo::stu_QVClipInfo() : guidSource(GUID_NULL) {}

stu_QVClipInfo::~stu_QVClipInfo() {
  for (stu_QVClipFile* file : arrClipFile) delete file;
  arrClipFile.RemoveAll();
}

LONG stu_QVClipInfo::GetObjectKind() const { return 3; }

bool stu_QVClipInfo::IsKindOf(LONG kind) const { return kind == 3 || stu_QVObject::IsKindOf(kind); }

// ---- Functions on records -----------------------------------------------------------

int QVReleaseObjectData(CArray<stu_QVObject*, stu_QVObject*>& objects) {
  for (stu_QVObject* object : objects) delete object;
  objects.RemoveAll();
  return 1;
}

ULONG QVClipTypeToFileIndex(ULONG clipType) {
  for (ULONG index = 0; index <= 8; ++index)
    if (clipType & (ULONG{1} << index)) return index;
  return (clipType & 0x80000u) ? 9 : 0;
}

int QVGetMediaTypeStr(ULONG mediaType, CString& text) {
  static constexpr const char16_t* kNames[] = {u"video",  u"Audio1", u"Audio2", u"Audio3", u"Audio4",
                                               u"Audio5", u"Audio6", u"Audio7", u"Audio8"};
  for (std::size_t bit = 0; bit < std::size(kNames); ++bit) {
    if (mediaType == (ULONG{1} << bit)) {
      text = kNames[bit];
      return 1;
    }
  }
  return 0;
}

int QVGetDragHeader(CQVXmlDomDocument& doc, stu_QVDragHeaderDef& header) {
  const CQVXmlDomElement root = doc.GetDocumentElement();
  root.GetChild(u"VERSION", header.lVersion, false, 0);
  root.GetChild(u"TYPE", header.lType, false, 0);
  root.GetChild(u"SOURCE", header.lSource, false, 0);
  root.GetChild(u"USERCODE", header.strUserCode, false);
  root.GetChild(u"IPADDRESS", header.strIpAddress, false);
  root.GetChild(u"SITEID", header.lSiteId, false, 0);
  return 1;
}

int QVModifyClipInOut(stu_QVObject* object) {
  if (object == nullptr || !object->IsKindOf(3)) return 0;
  auto* clip = static_cast<stu_QVClipInfo*>(object);
  bool any = false;
  LONG lowest = 0, highest = 0;
  for (const stu_QVClipFile* file : clip->arrClipFile) {
    if (file == nullptr) continue;
    if (!any || file->lBegin < lowest) lowest = file->lBegin;
    if (!any || file->lEnd > highest) highest = file->lEnd;
    any = true;
  }
  if (!any) return 0;
  int changed = 0;
  if (clip->lInPoint != lowest) {
    clip->lInPoint = lowest;
    clip->llModifyFlag |= QV_MODIFY_INPOINT;
    changed = 1;
  }
  if (clip->lOutPoint != highest) {
    clip->lOutPoint = highest;
    clip->llModifyFlag |= QV_MODIFY_OUTPOINT;
    changed = 1;
  }
  return changed;
}

CString QVGetValidSearchCondition(CString& condition) {
  const std::u16string& in = condition.str();
  std::u16string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char16_t c = in[i];
    if (c == u' ') {
      out += u'+';
    } else if (c == u'+' || c == u'-') {
      out += u' ';
    } else if (c != u'/') {
      out += c;
    } else if (i + 1 < in.size()) {  // a '/' at the end is dropped
      const char16_t next = in[++i];
      switch (next) {
        case u' ':
        case u'&': out += u'+'; break;
        case u'+': break;
        case u'|': out += u' '; break;
        default: out += next; break;  // "/-" gives "-", "/x" gives x
      }
    }
  }
  return CString(std::move(out));
}

// ---- Archive note -------------------------------------------------------------------

namespace {

CString OneElementNote(const CString& name, const CString& value) {
  CString note;
  note.Format(u"<Reserved4><%s>%s</%s></Reserved4>", name.GetString(), value.GetString(), name.GetString());
  return note;
}

}  // namespace

int QVSetElementToArchiveNote(stu_QVObject* object, CString name, CString value) {
  if (object == nullptr) return 0;
  CString& note = object->strArchiveNote;
  note.Trim();
  if (note.IsEmpty()) {
    note = OneElementNote(name, value);
  } else {
    CQVXmlDomDocument doc;
    if (!doc.LoadXml(note.GetString())) {
      note = OneElementNote(name, value);
    } else {
      CQVXmlDomElement root = doc.GetDocumentElement();
      if (!root.SetChild(name.GetString(), value.GetString())) root.AppendChild(doc, name.GetString(), value, true);
      note = doc.GetXml();
    }
  }
  return note.IsEmpty() ? 0 : 1;
}

int QVGetElementFromArchiveNote(stu_QVObject* const& object, CString name, CString& value) {
  if (object == nullptr) {
    value.Empty();
    return 0;
  }
  CString note = object->strArchiveNote;
  note.Trim();
  CQVXmlDomDocument doc;
  if (note.IsEmpty() || !doc.LoadXml(note.GetString())) {
    value.Empty();
    return 0;
  }
  return doc.GetDocumentElement().GetChild(name.GetString(), value, false);
}

// ---- Status texts -----------------------------------------------------------------------

CString QVTechTypeToString(LONG techType) {
  switch (techType) {
    case 1: return CString(u"黑场段");        // black segment
    case 2: return CString(u"彩条段");        // colour bar segment
    case 3: return CString(u"单色段");        // single-colour segment
    case 4: return CString(u"雪花场段");      // snow (noise) segment
    case 5: return CString(u"色彩丢失段");    // colour loss segment
    case 6: return CString(u"静帧段");        // frozen frame segment
    case 7: return CString(u"亮度超标段");    // luminance over limit
    case 8: return CString(u"色度超标段");    // chrominance over limit
    case 9: return CString(u"RGB值超标段");   // RGB value over limit
    case 256: return CString(u"音频静音");    // audio silence
    case 257: return CString(u"音量超标");    // volume over limit
    case 258: return CString(u"音频削波");    // audio clipping
    default: return CString(u"UnKown");
  }
}

const char16_t* QVArchiveFlagKey(LONG flag) {
  switch (flag) {
    case 0: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_ARCHIVE_NORMAL";
    case 1: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_ARCHIVE_SUBMITED";
    case 2: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_ARCHIVE_FINISHED";
    case 3: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_ARCHIVE_FAILED";
    case 4: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_ARCHIVE_SCHEDULE";
    case 0x10: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_ARCHIVE_MAM";
    case 0x11: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_RETRIEVE_SUBMITED";
    case 0x12: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_RETRIEVE_FINISHED";
    case 0x13: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_RETRIEVE_FAILED";
    default: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_ARCHIVE_UNKNOWN";
  }
}

const char16_t* QVCaptureFlagKey(LONG flag) {
  switch (flag) {
    case 0x1: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_CAPTURE";
    case 0x2: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_LOOKCAPTURE";
    case 0x10: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_CREATELOW";
    case 0x20: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_CLIPTRIM";
    case 0x40: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_RENDERING";
    case 0x80: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_TRANSCODING";
    case 0x100: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_XDCAMUPLOW";
    case 0x200: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_XDCAMUPHEIGHT";
    case 0x400: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_XDCAMCREATELOW";
    case 0x800: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_COPYING";
    case 0x1000: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_OAEMPTYMATERIAL";
    case 0x2000: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_IMPORTINGFROM3RD";
    case 0x4000: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_TRANSMITTING";
    default: return u"DODIDIDEDODERED_QVMLOBJECTLISTCTRL_NORMAL";
  }
}

CString QVGetArchiveFlagString(LONG flag) { return RMLoadString(QVArchiveFlagKey(flag)); }

CString QVGetCaptureFlagString(LONG flag) { return RMLoadString(QVCaptureFlagKey(flag)); }

}  // namespace qv_commonclass
