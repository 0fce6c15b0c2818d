// The cursor over the windows of a file, which assembles fields that straddle two.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "image/window_stream.h"
#include "support/always_inline.h"

namespace tarvel {

// A cursor over the bytes of a WindowSource. Small fields that straddle two windows are
// assembled into one piece before they are read, so the reader never sees a partial field;
// long runs are handed over window by window and never held whole.
class WindowCursor {
 public:
  // The most bytes ensure() can make readable in one piece: an entry record's fixed part with
  // its three texts at their largest fits.
  static constexpr std::size_t ASSEMBLY_CAPACITY = 8192;

  explicit WindowCursor(WindowSource& source) : source_(source) {}
  WindowCursor(const WindowCursor&) = delete;
  WindowCursor& operator=(const WindowCursor&) = delete;

  // Offset of the cursor from the first byte of the source.
  std::uint64_t position() const { return position_; }

  // Makes `count` bytes (at most ASSEMBLY_CAPACITY) readable at data(); false when the source
  // ends first.
  TARVEL_INLINE bool ensure(std::size_t count) {
    return available_ >= count || assemble(count);
  }
  const std::uint8_t* data() const { return cursor_; }
  std::size_t available() const { return available_; }
  // Moves past `count` bytes of those available.
  void advance(std::size_t count) {
    cursor_ += count;
    available_ -= count;
    position_ += count;
    if (available_ == 0 && assembled_) {
      cursor_ = window_rest_;
      available_ = window_rest_size_;
      window_rest_size_ = 0;
      assembled_ = false;
    }
  }

  // Moves past `count` bytes; false when the source ends first.
  bool skip(std::uint64_t count) {
    return consume(count, [](std::span<const std::uint8_t>) {});
  }

  // Hands the next `count` bytes to `piece` in order, as one or more spans; false when the
  // source ends first.
  template <typename Piece>
  bool consume(std::uint64_t count, Piece&& piece) {
    while (count != 0) {
      if (available_ == 0 && !next_window()) {
        return false;
      }
      const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(count, available_));
      piece(std::span<const std::uint8_t>(cursor_, take));
      advance(take);
      count -= take;
    }
    return true;
  }

 private:
  bool next_window() {
    const std::span<const std::uint8_t> window = source_.next();
    cursor_ = window.data();
    available_ = window.size();
    return !window.empty();
  }

  bool assemble(std::size_t count) {
    if (available_ == 0 && !assembled_) {
      if (!next_window()) {
        return false;
      }
      if (available_ >= count) {
        return true;
      }
    }
    // Gather what is left here and what follows into one piece.
    std::memmove(assembly_.data(), cursor_, available_);
    std::size_t have = available_;
    cursor_ = assembly_.data();
    assembled_ = true;
    while (have < count) {
      if (window_rest_size_ == 0) {
        const std::span<const std::uint8_t> window = source_.next();
        if (window.empty()) {
          available_ = have;
          return false;
        }
        window_rest_ = window.data();
        window_rest_size_ = window.size();
      }
      const std::size_t take = std::min(count - have, window_rest_size_);
      std::memcpy(assembly_.data() + have, window_rest_, take);
      have += take;
      window_rest_ += take;
      window_rest_size_ -= take;
    }
    available_ = have;
    return true;
  }

  WindowSource& source_;
  const std::uint8_t* cursor_ = nullptr;
  std::size_t available_ = 0;
  std::uint64_t position_ = 0;
  // While assembled: the part of the current window not yet copied into the assembly.
  bool assembled_ = false;
  const std::uint8_t* window_rest_ = nullptr;
  std::size_t window_rest_size_ = 0;
  std::array<std::uint8_t, ASSEMBLY_CAPACITY> assembly_;
};

}  // namespace tarvel
