// Comparing two loaded images into their differences.
#pragma once

#include "compare/differences.h"
#include "image/loaded_image.h"
#include "platform/case_folding.h"
#include "support/keyed_hash.h"

namespace tarvel {

// Everything comparing two loaded images finds: the entry passes, hosts lines and applications
// in both directions. Uses a second thread where there is a core for it. Key tags the new table
// kept under `hash` fill its index, and are let go once it is filled.
void compare_images(const LoadedImage& old_image, LoadedImage& new_image,
                    const CaseFolding& folding, const TableHash& hash, Differences& differences);

}  // namespace tarvel
