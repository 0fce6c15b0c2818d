// A whole run of tarvel inside the calling process, on images in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/case_folding.h"
#include "testing/fake_platform.h"

namespace tarvel::testing {

// One image file as the program would find it on disk.
struct ImageFile {
  std::string path;
  std::span<const std::uint8_t> bytes;  // empty: the file cannot be read whole
};

struct InProcessRun {
  int status = -1;
  std::string output;  // wide text as UTF-8, hosts lines as their bytes
};

// Runs `tarvel OLD NEW` in this process, through the same driver as the binary, on two
// caller-owned images. The bytes are read from the caller's buffers and never beyond them, so
// the address sanitizer sees a read past the end of either image.
InProcessRun run_in_process(const ImageFile& old_image, const ImageFile& new_image,
                            const CaseFolding& folding);

// The case mappings the binary uses when started under LC_ALL=C.UTF-8, built once: building
// them takes a locale call for each of the 65,536 units. Falls back to "C" where C.UTF-8 is
// missing. The process's own locale is left as it was.
const CaseFolding& utf8_case_folding();

}  // namespace tarvel::testing
