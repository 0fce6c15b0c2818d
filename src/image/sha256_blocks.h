// Raw SHA-256 block compression, split out of sha256.cpp so tests can hold the
// portable and the hardware-accelerated rounds against each other directly.
// Nothing outside sha256.cpp and its tests should need this header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvel::detail {

// Runs the compression function over block_count consecutive 64-byte blocks
// starting at blocks, updating state in place. blocks needs no particular
// alignment and may be null only when block_count is 0.
void sha256_compress_portable(std::array<std::uint32_t, 8>& state, const std::uint8_t* blocks,
                              std::size_t block_count);

// Same contract and result as sha256_compress_portable, using the CPU's SHA
// instructions. When sha256_accelerated_available() is false it quietly runs the
// portable rounds, so a call is never an illegal instruction.
void sha256_compress_accelerated(std::array<std::uint32_t, 8>& state, const std::uint8_t* blocks,
                                 std::size_t block_count);

// True when this build has an accelerated path and the running CPU supports it.
// The probe runs once; later calls return the cached answer.
bool sha256_accelerated_available();

}  // namespace tarvel::detail
