// A small seeded random source, so that generated images are the same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::bench {

// A small fixed generator (SplitMix64), so the images do not depend on the standard library's
// distributions, which differ between implementations: the same images on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
  bool chance(std::size_t per_thousand) { return below(1000) < per_thousand; }

 private:
  std::uint64_t state_;
};

}  // namespace tarvel::bench
