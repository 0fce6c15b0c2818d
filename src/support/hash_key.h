// The key of the program's keyed hashes: two 64-bit words, drawn afresh on every run.
#pragma once

#include <array>
#include <cstdint>

namespace tarvel {

// A key for hashing image contents, fresh from the system's random source on every run, so
// that no file can be made to collide in the program's hash tables.
using HashKey = std::array<std::uint64_t, 2>;

}  // namespace tarvel
