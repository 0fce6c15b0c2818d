// tarvel-diff: one run, from its arguments to its exit status.
#pragma once

#include <filesystem>
#include <span>

#include "platform/platform.h"

namespace tarvel {

// One run of tarvel-diff; arguments hold the program's own name first.
int run_diff(std::span<const std::filesystem::path> arguments, Platform& platform);

}  // namespace tarvel
