// Comparing two loaded images into their differences.
#pragma once

#include "compare/differences.h"
#include "support/keyed_hash.h"
#include "image/loaded_image.h"
#include "platform/case_folding.h"

namespace tarvel {

// Everything comparing two loaded images finds: the entry passes, hosts lines and applications
// in both directions. Uses a second thread where there is a core for it.
void compare_images(const LoadedImage& old_image, const LoadedImage& new_image,
                    const CaseFolding& folding, const TableHash& hash, Differences& differences);

}  // namespace tarvel
