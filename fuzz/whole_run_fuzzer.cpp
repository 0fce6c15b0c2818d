// Runs the whole program in-process on two images cut from one input: the first four bytes,
// little-endian, give the length of the old image; the rest is the new image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "testing/run_in_process.h"

namespace {

std::uint32_t load_u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Text from an image reaches the output with its control characters replaced, so no byte
// below 0x20 but TAB and the program's own line ends, no DEL and no C1 control (C2 80 to C2 9F
// in the UTF-8 that the captured output is in) may appear.
bool output_is_clean(const std::string& output) {
  if (output.empty() || output.back() != '\n') {
    return false;
  }
  for (std::size_t i = 0; i < output.size(); ++i) {
    const auto byte = static_cast<unsigned char>(output[i]);
    if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) {
      return false;
    }
    if (byte == 0xC2 && i + 1 < output.size() &&
        static_cast<unsigned char>(output[i + 1]) <= 0x9F &&
        static_cast<unsigned char>(output[i + 1]) >= 0x80) {
      return false;
    }
  }
  return true;
}

// Exit status 0 exactly when the report was printed; a run without one ends with its error line.
int expected_status(const std::string& output) { return output.ends_with("error!\n") ? 1 : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) {
    return 0;
  }
  const std::span<const std::uint8_t> images(data + 4, size - 4);
  const std::size_t old_size = std::min<std::size_t>(load_u32(data), images.size());
  const tarvel::testing::ImageFile old_image{"old.img", images.first(old_size)};
  const tarvel::testing::ImageFile new_image{"new.img", images.subspan(old_size)};

  const tarvel::testing::InProcessRun result =
      tarvel::testing::run_in_process(old_image, new_image, tarvel::testing::utf8_case_folding());
  if (result.status != expected_status(result.output) || !output_is_clean(result.output)) {
    __builtin_trap();
  }
  return 0;
}
