// The id index of the list file reader and writer (not exported).
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace qv_commonclass::edl_io {

// IdIndex maps 32-bit ids to the position of their first entry (open
// addressing, 8 bytes a slot): the reader's and writer's replacement for
// scanning a table for every item.
//
// Ids are usually handed out in increasing order, so the index starts by
// placing an id at its own low bits: neighbouring ids land in neighbouring
// slots and a run of lookups walks memory in order. Ids chosen to collide
// under that rule would make lookups slow, so as soon as one lookup has to
// probe too far the index is rebuilt with a randomly seeded multiplicative
// hash, which no file can aim at.
class IdIndex {
 public:
  // Insert records `pos` for `id` unless the id is already there (the first
  // entry wins); true when it was new.
  bool Insert(std::int32_t id, std::uint32_t pos) {
    if ((count_ + 1) * 2 > slots_.size()) Rebuild(slots_.empty() ? 16 : slots_.size() * 2);
    for (;;) {
      Slot* s = &slots_[Home(id)];
      std::size_t probes = 0;
      while (s->pos1 && s->id != id && ++probes < kMaxProbes) s = Next(s);
      if (probes >= kMaxProbes && !seeded_) {
        Seed();
        continue;
      }
      while (s->pos1 && s->id != id) s = Next(s);  // a seeded index probes to the end
      if (s->pos1) return false;
      *s = Slot{id, pos + 1};
      ++count_;
      return true;
    }
  }
  // Find gives the position recorded for `id`, or -1.
  std::int64_t Find(std::int32_t id) {
    if (slots_.empty()) return -1;
    for (;;) {
      const Slot* s = &slots_[Home(id)];
      std::size_t probes = 0;
      while (s->pos1 && s->id != id && ++probes < kMaxProbes) s = Next(s);
      if (probes >= kMaxProbes && !seeded_) {
        Seed();
        continue;
      }
      while (s->pos1 && s->id != id) s = Next(s);
      return s->pos1 ? static_cast<std::int64_t>(s->pos1) - 1 : -1;
    }
  }
  void Reserve(std::size_t n) {
    std::size_t size = slots_.empty() ? 16 : slots_.size();
    while (size < 2 * n) size *= 2;
    if (size != slots_.size()) Rebuild(size);
  }

 private:
  static constexpr std::size_t kMaxProbes = 64;
  struct Slot {
    std::int32_t id = 0;
    std::uint32_t pos1 = 0;  // position + 1; 0 marks an empty slot
  };
  std::size_t Home(std::int32_t id) const {
    const std::uint32_t u = static_cast<std::uint32_t>(id);
    if (!seeded_) return u & (slots_.size() - 1);
    return static_cast<std::size_t>((u * multiplier_) >> shift_);
  }
  template <class S>
  S* Next(S* s) const {
    return s + 1 == slots_.data() + slots_.size() ? const_cast<S*>(slots_.data()) : s + 1;
  }
  // Seed switches to the seeded hash and rebuilds.
  void Seed() {
    std::uint64_t seed = reinterpret_cast<std::uintptr_t>(this) * 0x9E3779B97F4A7C15ull;
    try {
      std::random_device rd;
      seed ^= (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
    } catch (...) {
      // No entropy source: the address-based seed still differs per run.
    }
    multiplier_ = seed | 1;
    seeded_ = true;
    Rebuild(slots_.size());
  }
  void Rebuild(std::size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{});
    shift_ = 64;
    for (std::size_t s = size; s > 1; s >>= 1) --shift_;
    for (const Slot& o : old) {
      if (!o.pos1) continue;
      Slot* s = &slots_[Home(o.id)];
      while (s->pos1) s = Next(s);
      *s = o;
    }
  }
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
  bool seeded_ = false;
  std::uint64_t multiplier_ = 0;
  unsigned shift_ = 64;
};

}  // namespace qv_commonclass::edl_io
