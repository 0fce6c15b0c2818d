#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace tarvel {

// Memory for the few big buffers of a run (entry tables and their texts), each filled as soon as
// it is had. Where the system allows, big requests get all their pages in one call: hundreds of
// megabytes then cost one system call instead of hundreds of thousands of page faults. Returns
// null when the memory cannot be had.
void* allocate_large(std::size_t bytes) noexcept;
void free_large(void* address, std::size_t bytes) noexcept;

// Owns one block from allocate_large.
struct LargeBlockDeleter {
  std::size_t bytes = 0;
  void operator()(void* address) const noexcept { free_large(address, bytes); }
};

template <typename T>
using LargeArray = std::unique_ptr<T[], LargeBlockDeleter>;

// An array of `count` elements left uninitialised (T must be trivially constructible), or null.
template <typename T>
LargeArray<T> make_large_array(std::size_t count) noexcept {
  static_assert(std::is_trivially_default_constructible_v<T> &&
                std::is_trivially_destructible_v<T>);
  if (count > SIZE_MAX / sizeof(T)) {
    return LargeArray<T>(nullptr, LargeBlockDeleter{0});
  }
  const std::size_t bytes = count * sizeof(T);
  return LargeArray<T>(static_cast<T*>(allocate_large(bytes)), LargeBlockDeleter{bytes});
}

// A standard allocator over allocate_large, for containers that can grow big.
template <typename T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  explicit LargeAllocator(const LargeAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) {
      throw std::bad_array_new_length();
    }
    void* address = allocate_large(count * sizeof(T));
    if (address == nullptr) {
      throw std::bad_alloc();
    }
    return static_cast<T*>(address);
  }
  void deallocate(T* address, std::size_t count) noexcept {
    free_large(address, count * sizeof(T));
  }

  template <typename U>
  bool operator==(const LargeAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace tarvel
