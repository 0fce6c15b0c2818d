#pragma once

#include <cstdint>
#include <utility>

#include "testing/image_writer.h"

namespace tarvel::bench {

struct BenchImageOptions {
  std::size_t entries = 100000;
  std::size_t hosts_lines = 1000;
  std::size_t applications = 1000;
  std::uint64_t seed = 1;
};

// A pair of realistic version 5 images of one machine, the second a little later than the first:
// about 1% of entries added, removed, re-hashed or re-flagged. The same options give the same
// bytes on every platform.
std::pair<testing::Bytes, testing::Bytes> make_bench_images(const BenchImageOptions& options);

}  // namespace tarvel::bench
