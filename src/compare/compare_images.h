#pragma once

#include "compare/differences.h"
#include "image/loaded_image.h"
#include "platform/case_folding.h"

namespace tarvel {

// Everything comparing two loaded images finds: the entry passes, then hosts lines and
// applications in both directions. Masks the status words of matched entries in place.
void compare_images(LoadedImage& old_image, LoadedImage& new_image, const CaseFolding& folding,
                    const HashKey& key, Differences& differences);

}  // namespace tarvel
