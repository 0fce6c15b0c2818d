// The sample pair shipped in samples/.
#pragma once

#include "testing/image_writer.h"

namespace tarvel::testing {

// The before/after pair shipped in samples/: small version 5 images whose comparison fills
// every section of the report.
ImageSpec sample_old_image();
ImageSpec sample_new_image();

}  // namespace tarvel::testing
