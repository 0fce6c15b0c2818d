// tarvel-dump: one run, from its arguments to its exit status.
#pragma once

#include <filesystem>
#include <span>

#include "platform/platform.h"

namespace tarvel {

// One run of tarvel-dump; arguments hold the program's own name first.
int run_dump(std::span<const std::filesystem::path> arguments, Platform& platform);

}  // namespace tarvel
