// The few standard-library types the stand-in host exchanges with the mod, written to behave as
// Microsoft's STL does in a release build: the same layouts, the same growth of strings and
// vectors, the same allocation of large blocks, the same std::function copy, move and destroy
// protocol through its implementation object's table. There are no MSVC headers on the build
// machine; these carry the names in namespace std so that the names the compiler decorates the
// host's functions with are the real host's.
//
// Only what the stand-in uses is here.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "heap.h"

inline void* operator new(size_t, void* where) noexcept {
  return where;
}

namespace std {

template <class T>
struct remove_reference {
  using type = T;
};
template <class T>
struct remove_reference<T&> {
  using type = T;
};
template <class T>
typename remove_reference<T>::type&& move(T&& value) noexcept {
  return static_cast<typename remove_reference<T>::type&&>(value);
}

template <class C>
struct char_traits {};
template <class T>
class allocator {};
template <class T>
struct default_delete {
  void operator()(T* p) const { delete p; }
};

// std::allocator's blocks: 4096 bytes or more come 32-byte aligned out of a larger block whose
// address sits in the word below the one handed out.
inline void* AllocateBytes(size_t bytes) {
  if (bytes >= 4096) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(::operator new(bytes + 47));
    void* user = reinterpret_cast<void*>((start + 47) & ~uintptr_t{31});
    static_cast<uintptr_t*>(user)[-1] = start;
    return user;
  }
  return bytes ? ::operator new(bytes) : nullptr;
}
inline void DeallocateBytes(void* block, size_t bytes) {
  if (!block) return;
  if (bytes >= 4096) block = reinterpret_cast<void*>(static_cast<uintptr_t*>(block)[-1]);
  ::operator delete(block);
}

template <class C, class Traits = char_traits<C>>
class basic_string_view {
 public:
  constexpr basic_string_view(const C* data, size_t size) : data_(data), size_(size) {}
  const C* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const C* data_;
  size_t size_;
};

template <class C, class Traits = char_traits<C>, class Alloc = allocator<C>>
class basic_string {
 public:
  static constexpr size_t kLocal = 16 / sizeof(C) - 1;  // 7 for wchar_t

  basic_string() noexcept : size_(0), capacity_(kLocal) { text_.local[0] = C(); }
  basic_string(const C* text, size_t size) : size_(size), capacity_(kLocal) {
    C* to = text_.local;
    if (size > kLocal) {
      // The first growth out of the object: the size rounded up to a multiple of 8, less one,
      // and never less than one and a half times the local capacity.
      capacity_ = size | kLocal;
      if (capacity_ < kLocal + kLocal / 2) capacity_ = kLocal + kLocal / 2;
      to = static_cast<C*>(AllocateBytes((capacity_ + 1) * sizeof(C)));
      text_.heap = to;
    }
    for (size_t i = 0; i < size; ++i) to[i] = text[i];
    to[size] = C();
  }
  basic_string(basic_string&& other) noexcept
      : text_(other.text_), size_(other.size_), capacity_(other.capacity_) {
    other.size_ = 0;
    other.capacity_ = kLocal;
    other.text_.local[0] = C();
  }
  basic_string(const basic_string&) = delete;
  basic_string& operator=(const basic_string&) = delete;
  ~basic_string() {
    if (capacity_ > kLocal) DeallocateBytes(text_.heap, (capacity_ + 1) * sizeof(C));
  }
  const C* data() const { return capacity_ > kLocal ? text_.heap : text_.local; }
  size_t size() const { return size_; }
  bool on_heap() const { return capacity_ > kLocal; }

 private:
  union {
    C local[kLocal + 1];
    C* heap;
  } text_;
  size_t size_;
  size_t capacity_;
};

using wstring = basic_string<wchar_t>;
using wstring_view = basic_string_view<wchar_t>;
static_assert(sizeof(wstring) == 32 && sizeof(wstring_view) == 16);

template <class T, class Alloc = allocator<T>>
class vector {
 public:
  constexpr vector() noexcept : first_(nullptr), last_(nullptr), end_(nullptr) {}
  vector(const vector&) = delete;
  vector& operator=(const vector&) = delete;
  ~vector() {
    for (T* it = first_; it != last_; ++it) it->~T();
    DeallocateBytes(first_, capacity() * sizeof(T));
  }
  void push_back(const T& value) {
    if (last_ == end_) Grow(size() + 1);
    new (last_) T(value);
    ++last_;
  }
  void push_back(T&& value) {
    if (last_ == end_) Grow(size() + 1);
    new (last_) T(std::move(value));
    ++last_;
  }
  // Replaces the element with the last one (the engine's "remove single swap").
  void remove_swap(size_t i) {
    if (i + 1 != size()) {
      first_[i].~T();
      new (first_ + i) T(std::move(last_[-1]));
    }
    (--last_)->~T();
  }
  size_t size() const { return static_cast<size_t>(last_ - first_); }
  size_t capacity() const { return static_cast<size_t>(end_ - first_); }
  T& operator[](size_t i) { return first_[i]; }
  T* begin() { return first_; }
  T* end() { return last_; }
  bool allocated() const { return first_ != nullptr; }

 private:
  // Half as much again as now, or what is needed when that is more; elements move over.
  void Grow(size_t needed) {
    const size_t old = capacity();
    size_t grown = old + old / 2;
    if (grown < needed) grown = needed;
    T* fresh = static_cast<T*>(AllocateBytes(grown * sizeof(T)));
    const size_t count = size();
    for (size_t i = 0; i < count; ++i) {
      new (fresh + i) T(std::move(first_[i]));
      first_[i].~T();
    }
    DeallocateBytes(first_, old * sizeof(T));
    first_ = fresh;
    last_ = fresh + count;
    end_ = fresh + grown;
  }

  T* first_;
  T* last_;
  T* end_;
};

template <class T, class Deleter = default_delete<T>>
class unique_ptr {
 public:
  constexpr unique_ptr() noexcept : p_(nullptr) {}
  explicit unique_ptr(T* p) noexcept : p_(p) {}
  unique_ptr(unique_ptr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  unique_ptr(const unique_ptr&) = delete;
  ~unique_ptr() {
    if (p_) Deleter()(p_);
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }

 private:
  T* p_;
};

// std::function: 56 bytes of storage for a small callable, then the implementation object's
// address (the storage itself when the callable lives there, null when empty).
template <class Signature>
class function;

template <class R, class... Args>
class function<R(Args...)> {
 public:
  // The implementation object's table, in MSVC's order.
  class Impl {
   public:
    virtual Impl* Copy(void* where) const = 0;
    virtual Impl* Move(void* where) noexcept = 0;
    virtual R DoCall(Args&&... args) = 0;
    virtual const void* TargetType() const noexcept = 0;
    virtual void DeleteThis(bool deallocate) noexcept = 0;
    virtual const void* Get() const noexcept = 0;
  };

  function() noexcept { Set(nullptr); }
  // A plain function, stored in place.
  explicit function(R (*fn)(Args...)) { Set(new (&storage_) PlainImpl(fn)); }
  function(const function& other) {
    Set(nullptr);
    if (other.Impl_()) {
      Set(other.Impl_()->Copy(&storage_));
      KvrCount(kvr_standin_counters.functionCopies, 1);
    }
  }
  function(function&& other) noexcept {
    Set(nullptr);
    if (!other.Impl_()) return;
    if (other.Local()) {
      Set(other.Impl_()->Move(&storage_));
      other.Tidy();
    } else {
      Set(other.Impl_());
      other.Set(nullptr);
    }
    KvrCount(kvr_standin_counters.functionMoves, 1);
  }
  function& operator=(const function&) = delete;
  ~function() { Tidy(); }

  R operator()(Args... args) const { return Impl_()->DoCall(static_cast<Args&&>(args)...); }
  explicit operator bool() const { return Impl_() != nullptr; }

 private:
  class PlainImpl final : public Impl {
   public:
    explicit PlainImpl(R (*fn)(Args...)) : fn_(fn) {}
    Impl* Copy(void* where) const override { return new (where) PlainImpl(fn_); }
    Impl* Move(void* where) noexcept override { return new (where) PlainImpl(fn_); }
    R DoCall(Args&&... args) override { return fn_(static_cast<Args&&>(args)...); }
    const void* TargetType() const noexcept override { return nullptr; }
    void DeleteThis(bool deallocate) noexcept override {
      if (deallocate) ::operator delete(this);
    }
    const void* Get() const noexcept override { return &fn_; }

   private:
    R (*fn_)(Args...);
  };

  static constexpr int kPointers = 6 + 16 / sizeof(void*);
  Impl* Impl_() const { return storage_.pointers[kPointers - 1]; }
  void Set(Impl* impl) { storage_.pointers[kPointers - 1] = impl; }
  bool Local() const { return static_cast<const void*>(Impl_()) == &storage_; }
  void Tidy() {
    if (!Impl_()) return;
    Impl_()->DeleteThis(!Local());
    KvrCount(kvr_standin_counters.functionDestroys, 1);
    Set(nullptr);
  }

  union Storage {
    double align;
    char bytes[(kPointers - 1) * sizeof(void*)];
    Impl* pointers[kPointers];
  } storage_;
};

}  // namespace std
