// Shared helpers of the list file reader and writer (not exported).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/cstring.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/format.h"
#include "qv_platform/wintypes.h"

namespace qv_commonclass::edl_io {

// Debug writes one formatted line to the debugger output.
template <class... Args>
void Debug(const char16_t* fmt, const Args&... args) {
  const std::u16string line = qvp::Format(fmt, args...);
  OutputDebugStringW(line.c_str());
}

// C run-time number conversions of the leading number of a text: white
// space, an optional sign, digits (and for Wtof a fraction, an exponent,
// "inf", "nan" or a hexadecimal float); anything else gives 0. Wtol
// saturates at the limits of a 32-bit LONG on overflow.
LONG Wtol(std::string_view text) noexcept;
double Wtof(std::string_view text) noexcept;

// IdIndex maps 32-bit ids to the position of their first entry (open
// addressing, 8 bytes a slot): the reader's and writer's replacement for
// scanning a table for every item.
class IdIndex {
 public:
  // Insert records `pos` for `id` unless the id is already there (the first
  // entry wins); true when it was new.
  bool Insert(std::int32_t id, std::uint32_t pos) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    Slot* s = &slots_[Home(id)];
    while (s->pos1) {
      if (s->id == id) return false;
      s = Next(s);
    }
    *s = Slot{id, pos + 1};
    ++count_;
    return true;
  }
  // Find gives the position recorded for `id`, or -1.
  std::int64_t Find(std::int32_t id) const {
    if (slots_.empty()) return -1;
    const Slot* s = &slots_[Home(id)];
    while (s->pos1) {
      if (s->id == id) return static_cast<std::int64_t>(s->pos1) - 1;
      s = s + 1 == slots_.data() + slots_.size() ? slots_.data() : s + 1;
    }
    return -1;
  }
  bool Contains(std::int32_t id) const { return Find(id) >= 0; }
  void Reserve(std::size_t n) {
    while (slots_.size() < 2 * n) Grow();
  }

 private:
  struct Slot {
    std::int32_t id = 0;
    std::uint32_t pos1 = 0;  // position + 1; 0 marks an empty slot
  };
  std::size_t Home(std::int32_t id) const {
    return (static_cast<std::uint32_t>(id) * 0x9E3779B1u) & (slots_.size() - 1);
  }
  Slot* Next(Slot* s) { return s + 1 == slots_.data() + slots_.size() ? slots_.data() : s + 1; }
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    for (const Slot& o : old) {
      if (!o.pos1) continue;
      Slot* s = &slots_[Home(o.id)];
      while (s->pos1) s = Next(s);
      *s = o;
    }
  }
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

// ---- Paths -------------------------------------------------------------------
// Existing files and folders are found without regard to letter case, as
// the original platform finds them; an exact match always comes first.

// ResolvePath returns the path (UTF-8) with every existing leading component
// replaced by its name on disk; components from the first missing one on are
// kept as given.
std::string ResolvePath(std::string_view utf8_path);
// PathExists: the path names an existing file or folder (found as above).
bool PathExists(const char16_t* path);

}  // namespace qv_commonclass::edl_io
