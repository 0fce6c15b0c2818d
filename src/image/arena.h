#pragma once

#include <algorithm>
#include <cstddef>
#include <new>
#include <span>
#include <vector>

#include "platform/large_memory.h"

namespace tarvel {

// Hands out spans from large blocks that live as long as the arena, so that a million small texts
// cost a few allocations instead of a million, and spans handed out never move.
template <typename T>
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  Arena(Arena&&) noexcept = default;
  Arena& operator=(Arena&&) noexcept = default;

  // Makes sure the next `count` elements come from one block.
  void reserve(std::size_t count) {
    if (count > left_) {
      const std::size_t size = std::max(count, MIN_BLOCK);
      LargeArray<T> block = make_large_array<T>(size);
      if (!block) {
        throw std::bad_alloc();
      }
      next_ = block.get();
      blocks_.push_back(std::move(block));
      left_ = size;
    }
  }

  std::span<T> allocate(std::size_t count) {
    reserve(count);
    const std::span<T> out(next_, count);
    next_ += count;
    left_ -= count;
    return out;
  }

  // Gives back the unused end of the span allocated last.
  void shrink_last(std::span<T> last, std::size_t keep) {
    const std::size_t unused = last.size() - keep;
    next_ -= unused;
    left_ += unused;
  }

 private:
  static constexpr std::size_t MIN_BLOCK = 4096;
  std::vector<LargeArray<T>> blocks_;
  T* next_ = nullptr;
  std::size_t left_ = 0;
};

}  // namespace tarvel
