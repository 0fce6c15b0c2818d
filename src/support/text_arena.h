// Chunked storage: the text arena and the chunked array.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "support/always_inline.h"
#include "support/chunk_memory.h"

namespace tarvel {

// Storage for many short UTF-16 texts: chunks that never move, each text addressed by a 32-bit
// handle (chunk and position). No allocation per text.
class TextArena {
 public:
  static constexpr unsigned CHUNK_BITS = 18;
  static constexpr std::size_t CHUNK_UNITS = std::size_t{1} << CHUNK_BITS;
  // 14 bits of chunk number: room for 2^32 units, more than any file of under 4 GiB holds.
  static constexpr std::size_t MAX_CHUNKS = std::size_t{1} << (32 - CHUNK_BITS);
  static constexpr unsigned FIRST_CHUNK_BITS = 10;

  // Room at the end of the arena for a text of at most `count` units (at most CHUNK_UNITS);
  // keep() then keeps its first units. Throws std::bad_alloc when memory or handles run out.
  TARVEL_INLINE std::span<char16_t> room(std::size_t count) {
    if (count > room_ || chunks_.empty()) {
      add_chunk(count);
    }
    return {chunks_.back().get() + used_, count};
  }
  std::uint32_t keep(std::size_t length) {
    if (length == 0) {
      // Any handle views an empty text; a full chunk's end would name the chunk after it.
      return 0;
    }
    const auto handle = static_cast<std::uint32_t>(((chunks_.size() - 1) << CHUNK_BITS) | used_);
    used_ += length;
    room_ -= length;
    return handle;
  }
  std::uint32_t store(std::u16string_view text) {
    text.copy(room(text.size()).data(), text.size());
    return keep(text.size());
  }

  std::u16string_view view(std::uint32_t handle, std::size_t length) const {
    return {locate(handle), length};
  }

 private:
  // A chunk with room for `count` units; kept out of room(), which runs for every text.
  void add_chunk(std::size_t count) {
    if (chunks_.size() == MAX_CHUNKS || count > CHUNK_UNITS) {
      throw std::bad_alloc();
    }
    // Chunks start small and double up to full size, so a small image costs little; the few
    // small chunks leave room for far more handles than a file can use.
    const std::size_t doublings =
        std::min<std::size_t>(chunks_.size(), CHUNK_BITS - FIRST_CHUNK_BITS);
    const std::size_t size = std::max(count, std::size_t{1} << (FIRST_CHUNK_BITS + doublings));
    chunks_.push_back(make_chunk<char16_t>(size));
    used_ = 0;
    room_ = size;
  }

  char16_t* locate(std::uint32_t handle) const {
    return chunks_[handle >> CHUNK_BITS].get() + (handle & (CHUNK_UNITS - 1));
  }

  std::vector<Chunk<char16_t>> chunks_;
  std::size_t used_ = 0;
  std::size_t room_ = 0;
};

// An append-only array in chunks. Full chunks never move; the first grows by copying until it is
// full size, so a reference into the array lasts only until the next push_back.
template <typename T, unsigned BITS = 14>
class ChunkedArray {
 public:
  static constexpr unsigned CHUNK_BITS = BITS;
  static constexpr std::size_t CHUNK_SIZE = std::size_t{1} << CHUNK_BITS;
  static constexpr std::size_t FIRST_CHUNK_SIZE = 64;
  // The first chunk doubles until it is exactly full size.
  static_assert(FIRST_CHUNK_SIZE <= CHUNK_SIZE);

  ChunkedArray() = default;
  // A moved-from array is empty.
  ChunkedArray(ChunkedArray&& other) noexcept
      : chunks_(std::move(other.chunks_)),
        size_(std::exchange(other.size_, 0)),
        next_(std::exchange(other.next_, nullptr)),
        end_(std::exchange(other.end_, nullptr)) {
    other.chunks_.clear();
  }
  ChunkedArray& operator=(ChunkedArray&& other) noexcept {
    if (this != &other) {
      chunks_ = std::move(other.chunks_);
      other.chunks_.clear();
      size_ = std::exchange(other.size_, 0);
      next_ = std::exchange(other.next_, nullptr);
      end_ = std::exchange(other.end_, nullptr);
    }
    return *this;
  }
  ~ChunkedArray() = default;
  ChunkedArray(const ChunkedArray&) = delete;
  ChunkedArray& operator=(const ChunkedArray&) = delete;

  T& push_back(const T& value) {
    if (next_ == end_) {
      make_room();
    }
    T& slot = *next_++;
    slot = value;
    ++size_;
    return slot;
  }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t index) {
    return chunks_[index >> CHUNK_BITS][index & (CHUNK_SIZE - 1)];
  }
  const T& operator[](std::size_t index) const {
    return chunks_[index >> CHUNK_BITS][index & (CHUNK_SIZE - 1)];
  }

 private:
  // Room for the next element, in a chunk of its own or in the first chunk grown. Kept out of
  // push_back, so that what runs for nearly every element is a store and two increments.
  void make_room() {
    if (size_ != 0 && size_ < CHUNK_SIZE) {
      // The first chunk starts small and doubles until it is full size.
      const std::size_t capacity = size_ * 2;
      Chunk<T> grown = make_chunk<T>(capacity);
      std::copy(chunks_[0].get(), chunks_[0].get() + size_, grown.get());
      chunks_[0] = std::move(grown);
      next_ = chunks_[0].get() + size_;
      end_ = chunks_[0].get() + capacity;
      return;
    }
    const std::size_t capacity = chunks_.empty() ? FIRST_CHUNK_SIZE : CHUNK_SIZE;
    chunks_.push_back(make_chunk<T>(capacity));
    next_ = chunks_.back().get();
    end_ = next_ + capacity;
  }

  std::vector<Chunk<T>> chunks_;
  std::size_t size_ = 0;
  T* next_ = nullptr;  // where the next element goes
  T* end_ = nullptr;   // the end of the room in the last chunk
};

}  // namespace tarvel
