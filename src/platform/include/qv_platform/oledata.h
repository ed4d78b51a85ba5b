// Data transfer: global memory blocks, registered clipboard formats, and the
// framework's data source and data object, in memory.
//
// A COleDataSource offers formats in the order they were cached; a
// COleDataObject attached to it enumerates them in that order and hands out
// copies of the data. Global memory keeps a count of live blocks and of
// blocks still locked, so that tests can see that a reader locked, copied,
// unlocked and released what it was given.
#pragma once

#include <cstddef>
#include <vector>

#include "qv_platform/export.h"
#include "qv_platform/gdi.h"
#include "qv_platform/wintypes.h"

using CLIPFORMAT = WORD;
using HGLOBAL = HANDLE;

// Predefined clipboard formats; registered ones start at 0xC000.
inline constexpr CLIPFORMAT CF_TEXT = 1;
inline constexpr CLIPFORMAT CF_BITMAP = 2;
inline constexpr CLIPFORMAT CF_DIB = 8;
inline constexpr CLIPFORMAT CF_UNICODETEXT = 13;

inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// Storage medium kinds.
inline constexpr DWORD TYMED_NULL = 0;
inline constexpr DWORD TYMED_HGLOBAL = 1;
inline constexpr DWORD TYMED_GDI = 16;

struct FORMATETC {
  CLIPFORMAT cfFormat = 0;
  void* ptd = nullptr;
  LONG lindex = -1;
  DWORD tymed = TYMED_NULL;
};

struct STGMEDIUM {
  DWORD tymed = TYMED_NULL;
  union {
    HGLOBAL hGlobal;
    HBITMAP hBitmap;
  };
  void* pUnkForRelease = nullptr;
  STGMEDIUM() : hGlobal(nullptr) {}
};

// ---- Global memory ----------------------------------------------------------

// GlobalAlloc: a block of `bytes` bytes (zeroed with GMEM_ZEROINIT); null
// when out of memory. A zero-byte block is a valid handle of size 0.
QVP_API HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// GlobalLock returns the block's memory and counts the lock; null for a
// freed or unknown handle (or a zero-byte block).
QVP_API LPVOID GlobalLock(HGLOBAL memory);
// GlobalUnlock: TRUE while the block stays locked, FALSE when the last lock
// went (or the handle is bad).
QVP_API BOOL GlobalUnlock(HGLOBAL memory);
// GlobalSize: the size in bytes, 0 for a bad handle.
QVP_API std::size_t GlobalSize(HGLOBAL memory);
// GlobalFree frees the block; null on success, the handle on failure.
QVP_API HGLOBAL GlobalFree(HGLOBAL memory);

namespace qvp {
// Blocks alive and blocks with a lock outstanding, process-wide.
QVP_API int GlobalBlocksAlive();
QVP_API int GlobalBlocksLocked();
}  // namespace qvp

// ---- Clipboard formats --------------------------------------------------------

// RegisterClipboardFormatW: the format of the name (names compare without
// regard to case; the first spelling is kept), a new one from 0xC000 up for
// a new name; 0 for a null or empty name.
QVP_API UINT RegisterClipboardFormatW(LPCWSTR name);
// GetClipboardFormatNameW copies at most max_count - 1 characters of a
// registered format's name and a NUL, and returns the number copied; 0 for
// a predefined or unknown format, a null buffer or max_count below 1.
QVP_API int GetClipboardFormatNameW(UINT format, LPWSTR buffer, int max_count);

// ReleaseStgMedium frees what the medium holds (a global block or a bitmap)
// when pUnkForRelease is null, and empties the medium.
QVP_API void ReleaseStgMedium(STGMEDIUM* medium);

// ---- Data source and data object ---------------------------------------------

// COleDataSource: the offering side of a transfer. Each cached format is
// offered in caching order; caching a format again replaces its data in
// place.
class QVP_API COleDataSource {
 public:
  COleDataSource() = default;
  ~COleDataSource();
  COleDataSource(const COleDataSource&) = delete;
  COleDataSource& operator=(const COleDataSource&) = delete;

  // CacheGlobalData takes ownership of the global block `memory`.
  void CacheGlobalData(CLIPFORMAT format, HGLOBAL memory);
  // CacheData takes ownership of what `medium` holds (any medium kind).
  void CacheData(CLIPFORMAT format, const STGMEDIUM& medium);

  // Fault knobs for tests: a format that is enumerated but reports that it
  // is not available, and one whose data cannot be got.
  void SetUnavailable(CLIPFORMAT format, bool unavailable);
  void SetGetDataFails(CLIPFORMAT format, bool fails);

 private:
  friend class COleDataObject;
  struct Entry {
    CLIPFORMAT format;
    STGMEDIUM medium;
    bool unavailable = false;
    bool get_fails = false;
  };
  Entry* Find(CLIPFORMAT format);
  std::vector<Entry> entries_;
};

// COleDataObject: the receiving side, attached to a source it does not own.
class QVP_API COleDataObject {
 public:
  COleDataObject() = default;
  void Attach(COleDataSource* source) noexcept { source_ = source, next_ = 0; }
  // BeginEnumFormats starts the enumeration at the first format.
  void BeginEnumFormats() noexcept { next_ = 0; }
  // GetNextFormat fills `format` with the next offered format; FALSE after
  // the last one, or when nothing is attached.
  BOOL GetNextFormat(FORMATETC* format);
  // IsDataAvailable: TRUE when the format is offered and available.
  BOOL IsDataAvailable(CLIPFORMAT format, FORMATETC* etc = nullptr) const;
  // GetData fills `medium` with a copy the caller owns and frees with
  // ReleaseStgMedium: a new global block, or for a bitmap a copy of it.
  // FALSE when the format is not offered, not available, its data cannot
  // be got, or memory runs out.
  BOOL GetData(CLIPFORMAT format, STGMEDIUM* medium, FORMATETC* etc = nullptr);

 private:
  COleDataSource* source_ = nullptr;
  std::size_t next_ = 0;
};
