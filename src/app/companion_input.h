// How the companion programs open an image: "-" is standard input, and pipes and FIFOs are read
// as they stream.
#pragma once

#include <filesystem>

#include "platform/platform.h"

namespace tarvel {

// "-" as an image names standard input, as for other filters; "./-" names a file called "-".
inline bool names_standard_input(const std::filesystem::path& path) { return path == "-"; }

inline OpenedFile open_companion_image(Platform& platform, const std::filesystem::path& path) {
  return platform.open_stream(names_standard_input(path) ? nullptr : &path);
}

}  // namespace tarvel
