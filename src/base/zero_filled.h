// An allocator for large arrays that start as all zero bytes.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace sb {

// calloc gets a large block from the system already zeroed, so a vector
// made with a size needs no clearing pass: elements made without a value
// are left as that zero (all-zero bytes must be a valid T). Meant for
// arrays made whole at their final size, never grown.
template <typename T>
struct ZeroFilledAllocator {
  using value_type = T;
  ZeroFilledAllocator() = default;
  template <typename U>
  ZeroFilledAllocator(const ZeroFilledAllocator<U>&) {}
  T* allocate(std::size_t n) {
    void* p = std::calloc(n, sizeof(T));
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) { std::free(p); }
  template <typename U>
  void construct(U*) {}
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const ZeroFilledAllocator&, const ZeroFilledAllocator&) { return true; }
};

}  // namespace sb
