// tarvel: one run, from its arguments to its exit status.
#pragma once

#include <filesystem>
#include <span>

#include "platform/platform.h"

namespace tarvel {

// One whole run: start-up, banner, argument check, loading both images, comparing and printing
// the report. arguments holds the program's own name first. Returns the exit status.
int run(std::span<const std::filesystem::path> arguments, Platform& platform);

}  // namespace tarvel
