// Feeds arbitrary bytes to the SHA1 lookup as one entry's property block. The first byte gives
// the entry's flags_c, so the exemption bit is reached too.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "image/property_block.h"

namespace {

constexpr std::u16string_view UNTOUCHED = u"untouched";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  // The block ends where libFuzzer's own copy of the input ends, so AddressSanitizer sees any
  // read past it.
  const std::span<const std::uint8_t> block(data + 1, size - 1);
  std::u16string out(UNTOUCHED);
  if (tarvel::find_sha1_value(data[0], block, out)) {
    // A value is the text of 41 units up to their first NUL.
    if (out.size() > tarvel::SHA1_VALUE_SIZE / 2 || out.find(u'\0') != std::u16string::npos) {
      __builtin_trap();
    }
  } else if (out != UNTOUCHED) {
    __builtin_trap();
  }
  return 0;
}
