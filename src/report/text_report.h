#pragma once

#include "compare/differences.h"
#include "image/loaded_image.h"
#include "platform/console.h"

namespace tarvel {

// Prints every non-empty section of the differences in the fixed order, each with its heading,
// its members and its total. Text that comes from an image has its control characters shown
// as '?', so a crafted image cannot forge or hide report lines.
void print_report(const Differences& differences, const LoadedImage& old_image,
                  const LoadedImage& new_image, Console& console);

}  // namespace tarvel
