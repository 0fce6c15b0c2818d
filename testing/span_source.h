// Bytes in memory handed to the window cursor in windows of a chosen size, as a file would be.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/window_stream.h"

namespace tarvel::testing {

// Bytes already in memory, handed out in windows of at most `window` bytes.
class SpanSource final : public WindowSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes, std::size_t window = SIZE_MAX)
      : rest_(bytes), window_(window == 0 ? 1 : window) {}
  std::span<const std::uint8_t> next() override {
    const std::span<const std::uint8_t> piece = rest_.first(std::min(window_, rest_.size()));
    rest_ = rest_.subspan(piece.size());
    return piece;
  }

 private:
  std::span<const std::uint8_t> rest_;
  std::size_t window_;
};

}  // namespace tarvel::testing
