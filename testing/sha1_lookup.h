// The SHA1 value the loader finds in a property block held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/property_block.h"
#include "testing/span_source.h"

namespace tarvel::testing {

// Reads `block` as an entry's whole property block, through windows of at most `window` bytes,
// the way the loader does; none when it holds no usable "SHA1" item or is larger than a block
// can be.
inline std::optional<std::u16string> sha1_value_in(std::span<const std::uint8_t> block,
                                                   std::size_t window = SIZE_MAX) {
  if (block.size() > UINT32_MAX) {
    return std::nullopt;
  }
  SpanSource source(block, window);
  WindowCursor cursor(source);
  PropertiesEnd end;
  if (!read_property_block(cursor, static_cast<std::uint32_t>(block.size()), nullptr, end) ||
      !end.sha1.found) {
    return std::nullopt;
  }
  return end.sha1.text();
}

}  // namespace tarvel::testing
