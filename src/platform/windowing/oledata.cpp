// Global memory, registered clipboard formats and the in-memory data
// source and data object.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "qv_platform/cstring.h"
#include "qv_platform/oledata.h"
#include "handle_table.h"
#include "name_copy.h"

namespace {

struct Block {
  std::unique_ptr<unsigned char[]> bytes;
  std::size_t size = 0;
  int locks = 0;
};

using GlobalHeap = qvp::windowing::HandleTable<HGLOBAL, Block, 0x30000>;

GlobalHeap& G() { return GlobalHeap::Instance(); }

struct FormatTable {
  std::mutex lock;
  std::vector<CString> names;  // format 0xC000 + index
};

FormatTable& F() {
  static FormatTable* table = new FormatTable;
  return *table;
}

constexpr UINT kFirstRegistered = 0xC000;

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
  Block block;
  block.size = bytes;
  if (bytes) {
    block.bytes.reset(new (std::nothrow) unsigned char[bytes]);
    if (!block.bytes) return nullptr;
    if (flags & GMEM_ZEROINIT) std::memset(block.bytes.get(), 0, bytes);
  }
  GlobalHeap& g = G();
  std::lock_guard guard(g.lock);
  return g.Add(std::move(block));
}

LPVOID GlobalLock(HGLOBAL memory) {
  GlobalHeap& g = G();
  std::lock_guard guard(g.lock);
  Block* b = g.Find(memory);
  if (!b || !b->size) return nullptr;
  ++b->locks;
  return b->bytes.get();
}

BOOL GlobalUnlock(HGLOBAL memory) {
  GlobalHeap& g = G();
  std::lock_guard guard(g.lock);
  Block* b = g.Find(memory);
  if (!b || b->locks == 0) return FALSE;
  return --b->locks > 0 ? TRUE : FALSE;
}

std::size_t GlobalSize(HGLOBAL memory) {
  GlobalHeap& g = G();
  std::lock_guard guard(g.lock);
  const Block* b = g.Find(memory);
  return b ? b->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  GlobalHeap& g = G();
  std::lock_guard guard(g.lock);
  return g.entries.erase(memory) ? nullptr : memory;
}

namespace qvp {

int GlobalBlocksAlive() {
  GlobalHeap& g = G();
  std::lock_guard guard(g.lock);
  return static_cast<int>(g.entries.size());
}

int GlobalBlocksLocked() {
  GlobalHeap& g = G();
  std::lock_guard guard(g.lock);
  return static_cast<int>(std::count_if(g.entries.begin(), g.entries.end(), [](const auto& b) { return b.second.locks > 0; }));
}

}  // namespace qvp

UINT RegisterClipboardFormatW(LPCWSTR name) {
  if (!name || !*name) return 0;
  FormatTable& f = F();
  std::lock_guard guard(f.lock);
  for (std::size_t i = 0; i < f.names.size(); ++i)
    if (f.names[i].CompareNoCase(name) == 0) return kFirstRegistered + static_cast<UINT>(i);
  if (f.names.size() >= 0x3FFF) return 0;
  f.names.emplace_back(name);
  return kFirstRegistered + static_cast<UINT>(f.names.size() - 1);
}

int GetClipboardFormatNameW(UINT format, LPWSTR buffer, int max_count) {
  if (!buffer || max_count < 1 || format < kFirstRegistered) return 0;
  FormatTable& f = F();
  std::lock_guard guard(f.lock);
  const std::size_t i = format - kFirstRegistered;
  return i < f.names.size() ? qvp::windowing::CopyName(f.names[i], buffer, max_count) : 0;
}

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (!medium) return;
  if (!medium->pUnkForRelease) {
    if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal) GlobalFree(medium->hGlobal);
    if (medium->tymed == TYMED_GDI && medium->hBitmap) DeleteObject(medium->hBitmap);
  }
  *medium = STGMEDIUM();
}

// ---- Data source and data object -------------------------------------------------

COleDataSource::~COleDataSource() {
  for (Entry& e : entries_) ReleaseStgMedium(&e.medium);
}

COleDataSource::Entry* COleDataSource::Find(CLIPFORMAT format) {
  for (Entry& e : entries_)
    if (e.format == format) return &e;
  return nullptr;
}

void COleDataSource::CacheGlobalData(CLIPFORMAT format, HGLOBAL memory) {
  STGMEDIUM medium;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = memory;
  CacheData(format, medium);
}

void COleDataSource::CacheData(CLIPFORMAT format, const STGMEDIUM& medium) {
  if (Entry* e = Find(format)) {
    ReleaseStgMedium(&e->medium);
    e->medium = medium;
    return;
  }
  entries_.push_back(Entry{format, medium});
}

void COleDataSource::SetUnavailable(CLIPFORMAT format, bool unavailable) {
  if (Entry* e = Find(format)) e->unavailable = unavailable;
}

void COleDataSource::SetGetDataFails(CLIPFORMAT format, bool fails) {
  if (Entry* e = Find(format)) e->get_fails = fails;
}

BOOL COleDataObject::GetNextFormat(FORMATETC* format) {
  if (!source_ || !format || next_ >= source_->entries_.size()) return FALSE;
  const auto& e = source_->entries_[next_++];
  *format = FORMATETC{};
  format->cfFormat = e.format;
  format->tymed = e.medium.tymed;
  return TRUE;
}

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT format, FORMATETC*) const {
  if (!source_) return FALSE;
  const COleDataSource::Entry* e = source_->Find(format);
  return e && !e->unavailable;
}

BOOL COleDataObject::GetData(CLIPFORMAT format, STGMEDIUM* medium, FORMATETC*) {
  if (!source_ || !medium) return FALSE;
  const COleDataSource::Entry* e = source_->Find(format);
  if (!e || e->unavailable || e->get_fails) return FALSE;
  STGMEDIUM out;
  out.tymed = e->medium.tymed;
  if (e->medium.tymed == TYMED_HGLOBAL && e->medium.hGlobal) {
    const std::size_t size = GlobalSize(e->medium.hGlobal);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return FALSE;
    if (size) {
      const void* from = GlobalLock(e->medium.hGlobal);
      void* to = GlobalLock(copy);
      std::memcpy(to, from, size);
      GlobalUnlock(copy);
      GlobalUnlock(e->medium.hGlobal);
    }
    out.hGlobal = copy;
  } else {
    // Other media stay the source's: the receiver's release leaves them.
    out.hGlobal = e->medium.hGlobal;
    out.pUnkForRelease = source_;
  }
  *medium = out;
  return TRUE;
}
