// The process-wide thumbnail cache: common bitmaps of the skin and clip
// thumbnails, and the choice of picture for each media object.
#include <sys/stat.h>

#include <atomic>
#include <exception>
#include <iterator>
#include <memory>
#include <new>
#include <shared_mutex>
#include <vector>

#include "diagnostics/library_state.h"
#include "imaging/imaging_internal.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/imaging.h"
#include "qv_platform/fileio.h"

namespace qv_commonclass {

namespace {

std::atomic<CQVBitmapCache*> g_instance{nullptr};

// The common bitmaps in the order they are loaded.
struct CommonFile {
  int value;
  const char16_t* file;
};
constexpr CommonFile kCommonFiles[] = {
    {19, u"ClipBKSmall_Normal.bmp"}, {20, u"ClipBKSmall_Selected.bmp"}, {33, u"ClipBKCaptureNormal.bmp"},
    {34, u"ClipBKCaptureSelected.bmp"}, {35, u"ClipBKNoFilesNormal.bmp"}, {36, u"ClipBKNoFilesSelected.bmp"},
    {37, u"ClipBKFrame_Select.bmp"}, {38, u"ClipBKFrame_Normal.bmp"}, {22, u"AudioClipSmall.bmp"},
    {23, u"ListIcon.bmp"},  // the strip: values 23 to 32
    {13, u"TXT.bmp"}, {14, u"PowerPoint.bmp"}, {15, u"Word.bmp"}, {16, u"Excel.bmp"}, {17, u"PDF.bmp"},
    {18, u"Project.bmp"}, {1, u"Folder_100.bmp"}, {6, u"AClip.bmp"}, {3, u"VClip.bmp"}, {2, u"Audio.bmp"},
    {7, u"Template.bmp"}, {9, u"EDL_100.bmp"}, {8, u"Program.bmp"}, {4, u"Template.bmp"}, {5, u"VClip.bmp"},
    {10, u"NoStamp_100.bmp"}, {11, u"CG_100.bmp"}, {12, u"Folder_100b.bmp"},
};
static_assert(std::size(kCommonFiles) == 28);

bool FileExists(const CString& path) {
  struct stat st {};
  return !path.IsEmpty() && qvp::Ops().stat(qvp::ToNativePath(path.GetString()).c_str(), &st) == 0;
}

// The common bitmap of an object without a picture of its own.
int CommonValueFor(LONG type, LONGLONG sub) {
  switch (type) {
    case 16:
      if (sub == 1) return 32;
      if (sub == 8 || sub == 275) return 25;
      if (sub == 512) return 29;
      return 24;
    case 32:
      switch (sub) {
        case 16: return 3;
        case 1: case 2: case 8: case 32: case 64: case 1024: case 2048: case 4096: return 5;
        case 4: return 2;
        case 8192: return 13;
        case 16384: return 15;
        case 32768: return 14;
        case 65536: return 16;
        case 131072: return 18;
        case 262144: return 17;
        default: return 10;
      }
    case 64:
      return sub == 1 ? 8 : sub == 2 ? 11 : 7;
    case 128: return 7;
    case 256: return 9;
    case 512: return 6;
    case 16384: return 9;
    case 24576: return 12;
    default: return 10;
  }
}

}  // namespace

CQVBitmapCache::CQVBitmapCache() {
  InitializeCriticalSection(&load_lock_);
  try {
    InitCommonThumbnails();
  } catch (...) {
    CleanUp();
    DeleteCriticalSection(&load_lock_);
    throw;
  }
}

CQVBitmapCache::~CQVBitmapCache() {
  CleanUp();
  DeleteCriticalSection(&load_lock_);
}

CQVBitmapCache* CQVBitmapCache::instance() {
  if (!detail::CreateUnderProcessLock(g_instance, [] { return new CQVBitmapCache; })) {
    QV_Trace0Ex2(u"ZORerer", u"CQVBitmapCache::instance", kTraceLevelSingleton, 11002004,
                 u"创建CQVBitmapCache的实例出现异常");
  }
  return g_instance.load(std::memory_order_acquire);
}

void CQVBitmapCache::DestoryInstance() {
  delete g_instance.exchange(nullptr, std::memory_order_acq_rel);
  CQVConfigureManage::DestroyInstance();
}

void CQVBitmapCache::AddRef() {
  std::unique_lock lock(maps_lock_);
  ++references_;
}

void CQVBitmapCache::Release(bool clean_up) {
  bool clear = false;
  {
    std::unique_lock lock(maps_lock_);
    clear = --references_ < 1 && clean_up;
  }
  if (clear) CleanUp();
}

void CQVBitmapCache::SetMaximumCount(int count) {
  std::unique_lock lock(maps_lock_);
  maximum_count_ = count;
}

tagQVThumbnail* CQVBitmapCache::FindCommon(int id) const {
  std::shared_lock lock(maps_lock_);
  const auto it = common_.find(id);
  return it == common_.end() ? nullptr : it->second;
}

tagQVThumbnail* CQVBitmapCache::StoreCommon(int id, tagQVThumbnail* picture) {
  std::unique_lock lock(maps_lock_);
  auto [it, added] = common_.try_emplace(id, picture);
  if (!added && it->second != picture) {
    if (it->second) {
      delete picture;  // another thread stored this value first
      return it->second;
    }
    it->second = picture;
  }
  return picture;
}

tagQVThumbnail* CQVBitmapCache::GetThumbnail(int id, LPCWSTR path) {
  if (tagQVThumbnail* found = FindCommon(id)) return found;
  if (path) {
    tagQVThumbnail* loaded = QVGetThumbnailFromBitmap(path, nullptr);
    return loaded ? StoreCommon(id, loaded) : nullptr;
  }
  bool empty;
  {
    std::shared_lock lock(maps_lock_);
    empty = common_.empty();
  }
  if (empty) InitCommonThumbnails();
  return FindCommon(id);
}

tagQVThumbnail* CQVBitmapCache::GetThumbnail(CommonBitmap id, CString path) {
  if (tagQVThumbnail* found = FindCommon(id)) return found;
  if (path.IsEmpty()) return nullptr;
  LoadThumbFromBMP(id, path);
  return FindCommon(id);
}

int CQVBitmapCache::LoadThumbFromBMP(CommonBitmap id, CString path) {
  if (id >= QVCB_LIST_ICON_FIRST && id < QVCB_CAPTURE_NORMAL) return LoadThumbnailList(QVCB_LIST_ICON_FIRST, path);
  return 0;
}

int CQVBitmapCache::LoadThumbnailList(CommonBitmap first, CString path) {
  unsigned char* raw = nullptr;
  BITMAPINFOHEADER header{};
  if (path.IsEmpty() || !QVLoadBmp(path.GetString(), raw, header)) return 1;
  const std::unique_ptr<unsigned char[]> strip(raw);
  const LONG side = header.biHeight;
  const WORD bits = header.biBitCount;
  if (bits != 24 && bits != 32) return 1;  // what the image list would draw here
  const int count = header.biWidth / side;
  qvp::MemoryCanvas canvas(side, side);
  if (!canvas.ok()) return 1;
  CDC& dc = canvas.dc;
  dc.SetStretchBltMode(COLORONCOLOR);
  BITMAPINFO info{};
  info.bmiHeader = header;
  info.bmiHeader.biCompression = BI_RGB;
  // The image list takes the strip's top-left pixel as its mask colour:
  // pixels of that colour are not drawn and stay black.
  const std::size_t row = static_cast<std::size_t>(DibRowSize(header.biWidth, bits));
  const unsigned char* top_left = strip.get() + row * static_cast<std::size_t>(side - 1);
  const COLORREF mask = RGB(top_left[2], top_left[1], top_left[0]);
  for (int i = 0; i < count; ++i) {
    dc.PatBlt(0, 0, side, side, BLACKNESS);
    StretchDIBits(dc.m_hDC, 0, 0, side, side, i * side, 0, side, side, strip.get(), &info, DIB_RGB_COLORS, SRCCOPY);
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x)
        if (dc.GetPixel(x, y) == mask) SetPixel(dc.m_hDC, x, y, 0);
    if (tagQVThumbnail* icon = NewThumbnail(dc, canvas.bitmap)) StoreCommon(first + i, icon);
  }
  return 1;
}

int CQVBitmapCache::LoadThumbnailSingle(CommonBitmap id, CString path) {
  if (path.IsEmpty()) return 0;
  tagQVThumbnail* loaded = QVGetThumbnailFromBitmap(path.GetString(), nullptr);
  if (!loaded) return 0;
  std::unique_lock lock(maps_lock_);
  tagQVThumbnail*& slot = common_[id];
  if (slot != loaded) delete slot;
  slot = loaded;
  return 1;
}

tagQVThumbnail* CQVBitmapCache::NewThumbnail(CDC& dc, CBitmap& bitmap) {
  const int planes_bits = dc.GetDeviceCaps(BITSPIXEL) * dc.GetDeviceCaps(PLANES);
  const WORD depth = planes_bits < 2 ? 1 : planes_bits < 5 ? 4 : planes_bits > 8 ? 24 : 8;
  BITMAPINFO info{};
  if (!GetDIBits(dc.m_hDC, bitmap.m_hObject, 0, 0, nullptr, &info, DIB_RGB_COLORS)) return nullptr;
  const LONG width = info.bmiHeader.biWidth, height = info.bmiHeader.biHeight;
  info.bmiHeader = {40, width, height, 1, depth, BI_RGB, 0, 0, 0, 0, 0};
  const std::size_t row = static_cast<std::size_t>(DibRowSize(width, depth));
  auto picture = std::make_unique<tagQVThumbnail>();
  picture->nWidth = picture->nHeight = height;  // the icons of a strip are square
  picture->wBitCount = depth;
  picture->pBits = new BYTE[row * static_cast<std::size_t>(height)];
  if (GetDIBits(dc.m_hDC, bitmap.m_hObject, 0, static_cast<UINT>(height), picture->pBits, &info, DIB_RGB_COLORS) == 0)
    return nullptr;
  return picture.release();
}

void CQVBitmapCache::InitCommonThumbnails() {
  // One thread loads; others asking at the same time wait and then find
  // the pictures.
  std::lock_guard<std::mutex> once(init_lock_);
  const CString folder = QVGetSkinPath(u"/MaterialManagement/");
  for (const CommonFile& f : kCommonFiles) {
    const CString path = folder + f.file;
    if (f.value == QVCB_LIST_ICON_FIRST) {
      GetThumbnail(QVCB_LIST_ICON_FIRST, path);
    } else {
      GetThumbnail(f.value, path.GetString());
    }
  }
}

void CQVBitmapCache::AddClipLocked(LONG object_id, LONG group, tagQVThumbnail* picture) {
  ClipGroup& map = clips_[group];
  tagQVThumbnail*& slot = map[object_id];
  if (slot && slot != picture) delete slot;
  slot = picture;
  if (static_cast<std::int64_t>(map.size()) > maximum_count_) {
    auto victim = map.begin();
    if (victim->first == object_id) ++victim;
    if (victim != map.end()) {
      delete victim->second;
      map.erase(victim);
    }
  }
}

void CQVBitmapCache::AddClipThumbnail(LONG object_id, LONG group, tagQVThumbnail* picture) {
  std::unique_lock lock(maps_lock_);
  AddClipLocked(object_id, group, picture);
}

void CQVBitmapCache::DeleteClipThumbnail(LONG object_id, LONG group) {
  std::unique_lock lock(maps_lock_);
  const auto g = clips_.find(group);
  if (g == clips_.end()) return;
  const auto e = g->second.find(object_id);
  if (e == g->second.end()) return;
  delete e->second;
  g->second.erase(e);
}

tagQVThumbnail* CQVBitmapCache::GetThumbnailFromeCache(LONG object_id, LONG group) {
  std::shared_lock lock(maps_lock_);
  const auto g = clips_.find(group);
  if (g == clips_.end()) return nullptr;
  const auto e = g->second.find(object_id);
  return e == g->second.end() ? nullptr : e->second;
}

int CQVBitmapCache::IsInCache(LONG object_id, LONG group) {
  std::shared_lock lock(maps_lock_);
  const auto g = clips_.find(group);
  return g != clips_.end() && g->second.count(object_id) ? 1 : 0;
}

tagQVThumbnail* CQVBitmapCache::CommonFor(const stu_QVObject& object) {
  return GetThumbnail(CommonValueFor(object.lObjectType, object.llObjectSubType), nullptr);
}

tagQVThumbnail* CQVBitmapCache::GetThumbnail(stu_QVObject* object, int no_load, int, int) {
  if (!object) return nullptr;
  const LONG type = object->lObjectType, id = object->lObjectID, group = object->lThumbnailGroup;
  if (type == 32 || type == 4096 || type == 16384) {
    bool present;
    tagQVThumbnail* found;
    {
      std::shared_lock lock(maps_lock_);
      const auto g = clips_.find(group);
      const auto e = g == clips_.end() ? ClipGroup::iterator() : g->second.find(id);
      present = g != clips_.end() && e != g->second.end();
      found = present ? e->second : nullptr;
    }
    if (found) return found;
    if (!present && !no_load) {
      CQVCriticalSectionNurse guard(&load_lock_);
      // Another thread may have loaded this object while this one waited.
      {
        std::shared_lock lock(maps_lock_);
        const auto g = clips_.find(group);
        if (g != clips_.end()) {
          const auto e = g->second.find(id);
          if (e != g->second.end()) {
            if (e->second) return e->second;
            present = true;
          }
        }
      }
      if (!present) {
        tagQVThumbnail* loaded = nullptr;
        try {
          if (FileExists(object->strThumbnailFile))
            loaded = QVGetThumbnailFromBitmap(object->strThumbnailFile.GetString(), nullptr);
        } catch (const std::exception&) {
          QV_Trace0Ex2(u"ZORerer", u"CQVBitmapCache::GetThumbnail", kTraceLevelFailure, 110020002,
                       u"CQVBitmapCache::GetThumbnail出现异常！");
        }
        if (loaded) loaded->lTag = object->lThumbnailTag;
        std::unique_lock lock(maps_lock_);
        AddClipLocked(id, group, loaded);
        if (loaded) return loaded;
      }
    }
    return CommonFor(*object);
  }
  if (type == 32768 && FileExists(object->strThumbnailFile)) {
    tagQVThumbnail* loaded = nullptr;
    {
      CQVCriticalSectionNurse guard(&load_lock_);
      try {
        loaded = QVGetThumbnailFromBitmap(object->strThumbnailFile.GetString(), nullptr);
      } catch (const std::exception&) {
        QV_Trace0Ex2(u"ZORerer", u"CQVBitmapCache::GetThumbnail", kTraceLevelFailure, 110020004,
                     u"CQVBitmapCache::GetThumbnail出现异常！");
      }
    }
    if (!loaded) return GetThumbnail(static_cast<int>(QVCB_NO_STAMP), nullptr);
    loaded->lTag = object->lThumbnailTag;
    return loaded;  // not cached: the caller owns it
  }
  return CommonFor(*object);
}

int CQVBitmapCache::ResetThumbnail(stu_QVObject*, int, int) { return 1; }

void CQVBitmapCache::ClearClipCache() {
  std::unique_lock lock(maps_lock_);
  for (auto& [group, map] : clips_)
    for (auto& [id, picture] : map) delete picture;
  clips_.clear();
}

void CQVBitmapCache::ClearCommonCache() {
  std::unique_lock lock(maps_lock_);
  for (auto& [id, picture] : common_) delete picture;
  common_.clear();
  counter_ = 0;
}

void CQVBitmapCache::CleanUp() {
  ClearClipCache();
  ClearCommonCache();
}

}  // namespace qv_commonclass
