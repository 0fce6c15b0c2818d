// Chunks of memory for the program's tables: owning pointers and typed allocation.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

namespace tarvel {

// Memory for the chunks of the program's tables, which are filled as soon as they are had.
// Where the system allows, a large chunk gets all its pages in one call instead of one page
// fault at a time. Returns null when the memory cannot be had. The platform layer supplies both
// (platform/chunk_memory.cpp), since how pages are had is the system's business.
void* allocate_chunk(std::size_t bytes) noexcept;
void free_chunk(void* address, std::size_t bytes) noexcept;

struct ChunkDeleter {
  std::size_t bytes = 0;
  void operator()(void* address) const noexcept { free_chunk(address, bytes); }
};

template <typename T>
using Chunk = std::unique_ptr<T[], ChunkDeleter>;

// An uninitialised array of `count` elements; throws std::bad_alloc when memory runs out.
template <typename T>
Chunk<T> make_chunk(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  if (count > SIZE_MAX / sizeof(T)) {
    throw std::bad_alloc();
  }
  void* address = allocate_chunk(count * sizeof(T));
  if (address == nullptr) {
    throw std::bad_alloc();
  }
  return Chunk<T>(static_cast<T*>(address), ChunkDeleter{count * sizeof(T)});
}

}  // namespace tarvel
