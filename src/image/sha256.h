// SHA-256 of a stream of bytes fed in pieces, with the CPU's SHA instructions where it has them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvel {

inline constexpr std::size_t SHA256_BLOCK_SIZE = 64;
inline constexpr std::size_t SHA256_DIGEST_SIZE = 32;

using Sha256Digest = std::array<std::uint8_t, SHA256_DIGEST_SIZE>;

// One streaming SHA-256 computation; lives in its caller and never allocates. Images are
// below 4 GiB, so the message length never comes near the 2^64 bits the padding can count.
class Sha256 {
 public:
  Sha256() { start(); }

  void update(std::span<const std::uint8_t> bytes);
  // The digest of every byte given since the last finish(); the computation then starts afresh,
  // with nothing of the message left behind.
  Sha256Digest finish();

 private:
  void start();

  std::array<std::uint32_t, 8> state_;
  std::uint64_t length_ = 0;  // bytes given
  std::array<std::uint8_t, SHA256_BLOCK_SIZE> block_{};
  std::size_t pending_ = 0;  // bytes waiting in block_
};

}  // namespace tarvel
