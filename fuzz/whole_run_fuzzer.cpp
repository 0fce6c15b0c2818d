// Runs the whole program in-process on two images cut from one input: the first four bytes,
// little-endian, give the length of the old image; the rest is the new image.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "testing/run_in_process.h"
#include "two_images.h"

namespace {

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
  const std::optional<tarvel::fuzz::TwoImages> images = tarvel::fuzz::cut_two_images(data, size);
  if (!images) {
    return 0;
  }
  const tarvel::testing::ImageFile old_image{"old.img", images->old_image};
  const tarvel::testing::ImageFile new_image{"new.img", images->new_image};

  const tarvel::testing::InProcessRun result =
      tarvel::testing::run_in_process(old_image, new_image, tarvel::testing::utf8_case_folding());
  if (result.status != expected_status(result.output) || !output_is_clean(result.output)) {
    __builtin_trap();
  }
  return 0;
}
