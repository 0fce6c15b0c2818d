// Feeds arbitrary bytes to the SHA1 lookup as one entry's property block. The first byte gives
// the window size the block is read through (0: one window), so that items straddling two
// windows are reached too.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "testing/sha1_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  // The block ends where libFuzzer's own copy of the input ends, so AddressSanitizer sees any
  // read past it.
  const std::span<const std::uint8_t> block(data + 1, size - 1);
  const std::size_t window = data[0] == 0 ? SIZE_MAX : data[0];
  const std::optional<std::u16string> value = tarvel::testing::sha1_value_in(block, window);
  // A value is the text of 41 units up to their first NUL, whatever the windows.
  if (value && (value->size() > tarvel::SHA1_VALUE_SIZE / 2 ||
                value->find(u'\0') != std::u16string::npos ||
                value != tarvel::testing::sha1_value_in(block))) {
    __builtin_trap();
  }
  return 0;
}
