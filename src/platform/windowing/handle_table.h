// The user-interface services' one shape for objects a caller knows only by
// handle: a process-wide table behind one lock that hands out handles 0x10
// apart from a base of its own, so handles of different kinds never meet.
// The table is never destroyed: callers may still release handles from
// static destructors.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace qvp::windowing {

template <class Handle, class Entry, std::uintptr_t kFirst>
struct HandleTable {
  static HandleTable& Instance() {
    static HandleTable* table = new HandleTable;
    return *table;
  }

  // Find and Add expect the caller to hold `lock`.
  Entry* Find(Handle h) {
    auto it = entries.find(h);
    return it == entries.end() ? nullptr : &it->second;
  }
  Handle Add(Entry entry) {
    const Handle h = reinterpret_cast<Handle>(next);
    next += 0x10;
    entries.emplace(h, std::move(entry));
    return h;
  }

  std::mutex lock;
  std::map<Handle, Entry> entries;
  std::uintptr_t next = kFirst;
};

}  // namespace qvp::windowing
