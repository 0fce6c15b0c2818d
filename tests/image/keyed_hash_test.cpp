#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "image/keyed_hash.h"

namespace tarvel {
namespace {

// The key 00 01 .. 0F of the reference vectors, as two little-endian words.
constexpr HashKey REFERENCE_KEY = {0x0706050403020100ULL, 0x0F0E0D0C0B0A0908ULL};

std::vector<std::uint8_t> counting(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  return bytes;
}

TEST(SipHash, MatchesTheReferenceVectors) {
  const std::pair<std::size_t, std::uint64_t> vectors[] = {
      {0, 0x726FDB47DD0E0E31ULL},
      {15, 0xA129CA6149BE45E5ULL},
  };
  for (const auto& [size, expected] : vectors) {
    const std::vector<std::uint8_t> message = counting(size);
    SipHasher<2, 4> hasher(REFERENCE_KEY);
    hasher.add_bytes(message.data(), message.size());
    EXPECT_EQ(hasher.finish(), expected) << size;
  }
}

TEST(SipHash, GivesTheSameHashHoweverTheBytesArrive) {
  const std::vector<std::uint8_t> message = counting(77);
  const std::uint64_t whole = keyed_hash(REFERENCE_KEY, message.data(), message.size());
  for (std::size_t piece = 1; piece <= 9; ++piece) {
    KeyedHasher hasher(REFERENCE_KEY);
    for (std::size_t at = 0; at < message.size(); at += piece) {
      hasher.add_bytes(message.data() + at, std::min(piece, message.size() - at));
    }
    EXPECT_EQ(hasher.finish(), whole) << piece;
  }
  KeyedHasher words(REFERENCE_KEY);
  words.add_word(KeyedHasher::load_le64(message.data()));
  words.add_bytes(message.data() + 8, message.size() - 8);
  EXPECT_EQ(words.finish(), whole);
  // Another key gives another hash.
  EXPECT_NE(keyed_hash({1, 2}, message.data(), message.size()), whole);
}

}  // namespace
}  // namespace tarvel
