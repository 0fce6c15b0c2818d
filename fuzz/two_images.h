// Splits one fuzzer input into the two images of a comparison.
#pragma once

// The input of the fuzzers that run whole programs: the first four bytes, little-endian, give the
// length of the old image; the rest is the new image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tarvel::fuzz {

struct TwoImages {
  std::span<const std::uint8_t> old_image;
  std::span<const std::uint8_t> new_image;
};

// Cuts an input into its two images; nothing where it is too short to hold the length. A length
// past the end takes what there is.
inline std::optional<TwoImages> cut_two_images(const std::uint8_t* data, std::size_t size) {
  if (size < 4) {
    return std::nullopt;
  }
  const std::uint32_t length = static_cast<std::uint32_t>(data[0]) |
                               (static_cast<std::uint32_t>(data[1]) << 8) |
                               (static_cast<std::uint32_t>(data[2]) << 16) |
                               (static_cast<std::uint32_t>(data[3]) << 24);
  const std::span<const std::uint8_t> images(data + 4, size - 4);
  const std::size_t old_size = std::min<std::size_t>(length, images.size());
  return TwoImages{images.first(old_size), images.subspan(old_size)};
}

}  // namespace tarvel::fuzz
