#pragma once

#include <array>
#include <cstdint>

namespace tarvel {

// Result of every SHA-256 operation, and the values a context's sticky error can hold.
enum Sha256Status : int {
  SHA256_SUCCESS = 0,
  SHA256_NULL = 1,         // null context, data or digest; also a message length past 2^64 bits
  SHA256_STATE_ERROR = 3,  // input after the digest was finalised
};

inline constexpr int SHA256_BLOCK_SIZE = 64;
inline constexpr int SHA256_DIGEST_SIZE = 32;

// State of one streaming SHA-256 computation; lives in its caller, never allocates.
struct Sha256Context {
  std::array<std::uint32_t, 8> intermediate_hash;
  std::uint32_t length_low;   // low 32 bits of the message length in bits
  std::uint32_t length_high;  // high 32 bits of the message length in bits
  std::int16_t block_index;   // bytes now waiting in message_block
  std::array<std::uint8_t, SHA256_BLOCK_SIZE> message_block;
  int computed;   // 1 once the digest has been finalised
  int corrupted;  // sticky error code, 0 while the context is sound
};

int sha256_reset(Sha256Context* context);
int sha256_input(Sha256Context* context, const std::uint8_t* data, std::uint32_t count);
int sha256_result(Sha256Context* context, std::uint8_t* digest);

}  // namespace tarvel
