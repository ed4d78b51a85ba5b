// The framework's containers as thin classes over the standard library,
// keeping the framework's member names so client code ports unchanged.
// Index access out of range throws std::out_of_range (the framework asserts).
#pragma once

#include <cstddef>
#include <iterator>
#include <list>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "qv_platform/cstring.h"

// CArray: a growable array. ARG_TYPE is accepted for source compatibility.
template <class T, class ARG_TYPE = const T&>
class CArray {
 public:
  using value_type = T;

  int GetSize() const noexcept { return static_cast<int>(v_.size()); }
  int GetCount() const noexcept { return GetSize(); }
  bool IsEmpty() const noexcept { return v_.empty(); }
  int GetUpperBound() const noexcept { return GetSize() - 1; }
  // SetSize grows with value-initialised elements or shrinks.
  void SetSize(int size, int /*grow_by*/ = -1) { v_.resize(size < 0 ? 0 : static_cast<std::size_t>(size)); }
  int Add(ARG_TYPE e) { v_.push_back(e); return GetSize() - 1; }
  int Append(const CArray& other) {
    int first = GetSize();
    v_.insert(v_.end(), other.v_.begin(), other.v_.end());
    return first;
  }
  void Copy(const CArray& other) { v_ = other.v_; }
  const T& GetAt(int i) const { return v_.at(Index(i)); }
  T& GetAt(int i) { return v_.at(Index(i)); }
  T& ElementAt(int i) { return v_.at(Index(i)); }
  void SetAt(int i, ARG_TYPE e) { v_.at(Index(i)) = e; }
  // SetAtGrow grows the array when i is past its end.
  void SetAtGrow(int i, ARG_TYPE e) {
    if (i < 0) throw std::out_of_range("CArray::SetAtGrow");
    if (static_cast<std::size_t>(i) >= v_.size()) v_.resize(static_cast<std::size_t>(i) + 1);
    v_[static_cast<std::size_t>(i)] = e;
  }
  const T& operator[](int i) const { return GetAt(i); }
  T& operator[](int i) { return GetAt(i); }
  void InsertAt(int i, ARG_TYPE e, int count = 1) {
    if (i < 0) throw std::out_of_range("CArray::InsertAt");
    if (static_cast<std::size_t>(i) > v_.size()) v_.resize(static_cast<std::size_t>(i));
    v_.insert(v_.begin() + i, static_cast<std::size_t>(count < 0 ? 0 : count), e);
  }
  void RemoveAt(int i, int count = 1) {
    if (i < 0 || count < 0 || static_cast<std::size_t>(i) + static_cast<std::size_t>(count) > v_.size())
      throw std::out_of_range("CArray::RemoveAt");
    v_.erase(v_.begin() + i, v_.begin() + i + count);
  }
  void RemoveAll() noexcept { v_.clear(); }
  void FreeExtra() { v_.shrink_to_fit(); }
  T* GetData() noexcept { return v_.data(); }
  const T* GetData() const noexcept { return v_.data(); }

  auto begin() noexcept { return v_.begin(); }
  auto end() noexcept { return v_.end(); }
  auto begin() const noexcept { return v_.begin(); }
  auto end() const noexcept { return v_.end(); }
  std::vector<T>& std_vector() noexcept { return v_; }
  const std::vector<T>& std_vector() const noexcept { return v_; }

 private:
  std::size_t Index(int i) const {
    if (i < 0) throw std::out_of_range("CArray index");
    return static_cast<std::size_t>(i);
  }
  std::vector<T> v_;
};

class CStringArray : public CArray<CString, const CString&> {};

// POSITION: an opaque iteration cursor for the list and map classes; null
// ends an iteration.
struct QvPositionTag;
using POSITION = QvPositionTag*;

// CList: a doubly linked list with POSITION cursors. A POSITION is the
// address of its node and stays valid until that element is removed.
template <class T, class ARG_TYPE = const T&>
class CList {
  struct Node {
    T value;
    Node* prev = nullptr;
    Node* next = nullptr;
  };

 public:
  CList() = default;
  CList(const CList& o) { for (Node* n = o.head_; n; n = n->next) AddTail(n->value); }
  CList& operator=(const CList& o) {
    if (this != &o) {
      RemoveAll();
      for (Node* n = o.head_; n; n = n->next) AddTail(n->value);
    }
    return *this;
  }
  ~CList() { RemoveAll(); }

  int GetCount() const noexcept { return count_; }
  int GetSize() const noexcept { return count_; }
  bool IsEmpty() const noexcept { return count_ == 0; }
  POSITION AddTail(ARG_TYPE e) { return Link(new Node{e, tail_, nullptr}); }
  POSITION AddHead(ARG_TYPE e) { return Link(new Node{e, nullptr, head_}); }
  T& GetHead() { return Check(head_)->value; }
  const T& GetHead() const { return Check(head_)->value; }
  T& GetTail() { return Check(tail_)->value; }
  const T& GetTail() const { return Check(tail_)->value; }
  T RemoveHead() { T v = Check(head_)->value; Unlink(head_); return v; }
  T RemoveTail() { T v = Check(tail_)->value; Unlink(tail_); return v; }
  void RemoveAll() noexcept {
    while (head_) {
      Node* n = head_->next;
      delete head_;
      head_ = n;
    }
    tail_ = nullptr;
    count_ = 0;
  }
  POSITION GetHeadPosition() const noexcept { return Pos(head_); }
  POSITION GetTailPosition() const noexcept { return Pos(tail_); }
  // GetNext returns the element at pos and advances pos (null after the last).
  T& GetNext(POSITION& pos) const {
    Node* n = Check(At(pos));
    pos = Pos(n->next);
    return n->value;
  }
  T& GetPrev(POSITION& pos) const {
    Node* n = Check(At(pos));
    pos = Pos(n->prev);
    return n->value;
  }
  T& GetAt(POSITION pos) const { return Check(At(pos))->value; }
  void SetAt(POSITION pos, ARG_TYPE e) { Check(At(pos))->value = e; }
  void RemoveAt(POSITION pos) { Unlink(Check(At(pos))); }
  POSITION InsertBefore(POSITION pos, ARG_TYPE e) {
    Node* at = At(pos);
    if (!at) return AddHead(e);
    return Link(new Node{e, at->prev, at});
  }
  POSITION InsertAfter(POSITION pos, ARG_TYPE e) {
    Node* at = At(pos);
    if (!at) return AddTail(e);
    return Link(new Node{e, at, at->next});
  }
  POSITION Find(ARG_TYPE e, POSITION start_after = nullptr) const {
    for (Node* n = start_after ? At(start_after)->next : head_; n; n = n->next)
      if (n->value == e) return Pos(n);
    return nullptr;
  }
  POSITION FindIndex(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    Node* n = head_;
    while (index-- > 0) n = n->next;
    return Pos(n);
  }

 private:
  static POSITION Pos(Node* n) noexcept { return reinterpret_cast<POSITION>(n); }
  static Node* At(POSITION p) noexcept { return reinterpret_cast<Node*>(p); }
  static Node* Check(Node* n) {
    if (!n) throw std::out_of_range("CList: no element at this position");
    return n;
  }
  // Link inserts a node whose prev/next are already set to its neighbours.
  POSITION Link(Node* n) {
    (n->prev ? n->prev->next : head_) = n;
    (n->next ? n->next->prev : tail_) = n;
    ++count_;
    return Pos(n);
  }
  void Unlink(Node* n) noexcept {
    (n->prev ? n->prev->next : head_) = n->next;
    (n->next ? n->next->prev : tail_) = n->prev;
    delete n;
    --count_;
  }
  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  int count_ = 0;
};

class CStringList : public CList<CString, const CString&> {};

// CMap: a hash map. Iteration with GetStartPosition/GetNextAssoc visits
// every pair once in an unspecified order, as the framework's does.
template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class CMap {
 public:
  int GetCount() const noexcept { return static_cast<int>(m_.size()); }
  int GetSize() const noexcept { return GetCount(); }
  bool IsEmpty() const noexcept { return m_.empty(); }
  BOOL Lookup(ARG_KEY key, VALUE& value) const {
    auto it = m_.find(key);
    if (it == m_.end()) return FALSE;
    value = it->second;
    return TRUE;
  }
  void SetAt(ARG_KEY key, ARG_VALUE value) { m_[key] = value; }
  VALUE& operator[](ARG_KEY key) { return m_[key]; }
  BOOL RemoveKey(ARG_KEY key) { return m_.erase(key) ? TRUE : FALSE; }
  void RemoveAll() noexcept { m_.clear(); order_.clear(); }
  POSITION GetStartPosition() const {
    Snapshot();
    return order_.empty() ? nullptr : reinterpret_cast<POSITION>(std::uintptr_t{1});
  }
  // GetNextAssoc yields one pair and advances pos (null after the last). The
  // map must not be changed during an iteration.
  void GetNextAssoc(POSITION& pos, KEY& key, VALUE& value) const {
    auto i = reinterpret_cast<std::uintptr_t>(pos) - 1;
    if (!pos || i >= order_.size()) throw std::out_of_range("CMap POSITION");
    auto it = m_.find(order_[i]);
    key = it->first;
    value = it->second;
    pos = i + 1 < order_.size() ? reinterpret_cast<POSITION>(i + 2) : nullptr;
  }
  auto begin() noexcept { return m_.begin(); }
  auto end() noexcept { return m_.end(); }
  auto begin() const noexcept { return m_.begin(); }
  auto end() const noexcept { return m_.end(); }

 private:
  void Snapshot() const {
    order_.clear();
    order_.reserve(m_.size());
    for (const auto& kv : m_) order_.push_back(kv.first);
  }
  std::unordered_map<KEY, VALUE> m_;
  mutable std::vector<KEY> order_;
};

class CMapStringToString : public CMap<CString, const CString&, CString, const CString&> {};
