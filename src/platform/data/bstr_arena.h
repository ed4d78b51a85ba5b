// Text of a result set, cut from shared blocks instead of one allocation per
// value: the many short strings of a large query then cost their characters
// and a few bytes each, not an allocator chunk each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qv_platform/data/variant.h"

namespace qvp::data {

// Each BSTR it gives is an ordinary BSTR: SysStringLen, copies and
// SysFreeString work on it as on any other, from any thread, before or after
// the arena is gone. A block is freed when its last string is; the arena
// keeps one block open at a time. Not thread-safe itself: one reader fills
// one arena.
class BstrArena {
 public:
  BstrArena() = default;
  ~BstrArena();
  BstrArena(const BstrArena&) = delete;
  BstrArena& operator=(const BstrArena&) = delete;

  // A BSTR of `length` units holding `text` (zeros when null), terminated;
  // null when out of memory. Long text gets its own allocation.
  BSTR Alloc(const char16_t* text, std::uint32_t length) noexcept;
  // The same for UTF-8 text, decoded into the BSTR (ASCII without a second
  // pass; invalid sequences become U+FFFD). Null when out of memory or
  // longer than a BSTR holds.
  BSTR AllocUtf8(std::string_view text);

 private:
  void Retire() noexcept;
  char* block_ = nullptr;
  std::size_t size_ = 0;
  std::size_t used_ = 0;
  std::uint32_t cut_ = 0;  // strings cut from block_
  std::size_t next_size_ = 512;
};

}  // namespace qvp::data
