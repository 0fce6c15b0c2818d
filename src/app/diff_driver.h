#pragma once

#include <filesystem>
#include <span>

#include "platform/platform.h"

namespace tarvel {

// Exit statuses of tarvel-diff and tarvel-dump, in the convention of diff and cmp.
inline constexpr int STATUS_SAME = 0;        // no differences; a sound image
inline constexpr int STATUS_DIFFERENT = 1;   // differences; a refused image
inline constexpr int STATUS_TROUBLE = 2;     // bad usage, a file that cannot be read

// One run of tarvel-diff; arguments hold the program's own name first.
int run_diff(std::span<const std::filesystem::path> arguments, Platform& platform);

}  // namespace tarvel
