// SHA-256 against known digests, in pieces of every size.
#include "image/sha256.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/sha256_blocks.h"

namespace tarvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using State = std::array<std::uint32_t, 8>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Filler the hard-coded boundary digests were generated from (with sha256sum):
// byte i is (7 * i + 3) mod 256, so no two neighbouring bytes are equal.
Bytes pattern(std::size_t length, std::size_t start = 0) {
  Bytes out(length);
  for (std::size_t i = 0; i < length; ++i) {
    out[i] = static_cast<std::uint8_t>(((start + i) * 7 + 3) & 0xFFU);
  }
  return out;
}

std::string to_hex(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

std::string hex_of(const Sha256Digest& digest) { return to_hex(digest.data(), digest.size()); }

std::string one_shot_hex(const Bytes& message) {
  Sha256 sha;
  sha.update(message);
  return hex_of(sha.finish());
}

constexpr std::string_view kAbcDigest =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

struct KnownDigest {
  const char* name;
  Bytes message;
  std::string_view hex;
};

TEST(Sha256, KnownDigests) {
  const std::vector<KnownDigest> cases = {
      {"empty", {}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", bytes_of("abc"), kAbcDigest},
      {"448 bits", bytes_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"896 bits",
       bytes_of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopq"
                "klmnopqrlmnopqrsmnopqrstnopqrstu"),
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {"million a", Bytes(1'000'000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // Lengths around where the padding and length field stop fitting in one block.
      {"55 bytes", pattern(55), "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
      {"56 bytes", pattern(56), "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
      {"63 bytes", pattern(63), "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055"},
      {"64 bytes", pattern(64), "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
      {"65 bytes", pattern(65), "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
      {"119 bytes", pattern(119),
       "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
      {"120 bytes", pattern(120),
       "7836b787757e95e58b3ca5aec90b1b004e8deba1e50e9675af9cabf1a13a04b5"},
      {"128 bytes", pattern(128),
       "d2742f1f4ac6bb7ca2b239ee18402ba8b3f9f8e652d2a72973c2b9ba11c08cf6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(one_shot_hex(c.message), c.hex);
  }
}

TEST(Sha256, PiecewiseInputMatchesKnownDigest) {
  const Bytes message = pattern(3001);
  const std::string expected = "4e932ab4fafe0fbf74c578d5e100fc2c8533a737493141e6d3ea30ea6e417b45";

  struct Split {
    const char* name;
    std::vector<std::size_t> piece_sizes;  // cycled until the message runs out
  };
  std::vector<Split> splits = {
      {"one piece", {3001}},
      {"bytes", {1}},
      {"threes", {3}},
      {"55s", {55}},
      {"56s", {56}},
      {"63s", {63}},
      {"64s", {64}},
      {"65s", {65}},
      {"127s", {127}},
      {"129s", {129}},
      {"1000s", {1000}},
      {"mixed, with empty pieces", {1, 63, 0, 64, 65, 2, 128, 0, 7, 200}},
      {"block then odd", {64, 1, 191, 9}},
  };
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<std::size_t> size_dist(1, 300);
  Split random_split{"random", {}};
  for (int i = 0; i < 40; ++i) random_split.piece_sizes.push_back(size_dist(rng));
  splits.push_back(random_split);

  for (const auto& split : splits) {
    SCOPED_TRACE(split.name);
    Sha256 sha;
    std::size_t fed = 0;
    for (std::size_t piece = 0; fed < message.size(); ++piece) {
      std::size_t size = split.piece_sizes[piece % split.piece_sizes.size()];
      if (size > message.size() - fed) size = message.size() - fed;
      sha.update(std::span(message).subspan(fed, size));
      fed += size;
    }
    EXPECT_EQ(hex_of(sha.finish()), expected);
  }
}

// finish() leaves nothing of one message in the next: a second message, or none, hashes as it
// would on a fresh object.
TEST(Sha256, FinishStartsAfresh) {
  Sha256 sha;
  sha.update(pattern(70));
  static_cast<void>(sha.finish());
  sha.update(bytes_of("abc"));
  EXPECT_EQ(hex_of(sha.finish()), kAbcDigest);
  EXPECT_EQ(hex_of(sha.finish()), one_shot_hex({}));
}

// Single-call known answers for each compression path, so the portable rounds
// are checked even on a CPU where the public functions never use them.
using CompressFn = void (*)(State&, const std::uint8_t*, std::size_t);

struct CompressPath {
  const char* name;
  CompressFn compress;
  bool needs_acceleration;
};

const std::array<CompressPath, 2> kPaths = {{
    {"portable", detail::sha256_compress_portable, false},
    {"accelerated", detail::sha256_compress_accelerated, true},
}};

constexpr State kInitialState = {0x6a09e667U, 0xbb67ae85U, 0x3c6ef372U, 0xa54ff53aU,
                                 0x510e527fU, 0x9b05688cU, 0x1f83d9abU, 0x5be0cd19U};

Bytes padded(std::string_view message) {
  Bytes out = bytes_of(message);
  out.push_back(0x80);
  while (out.size() % SHA256_BLOCK_SIZE != 56) out.push_back(0);
  const std::uint64_t bits = std::uint64_t{message.size()} * 8;
  for (int shift = 56; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return out;
}

TEST(Sha256Compress, EachPathGivesKnownDigests) {
  struct Vector {
    std::string_view message;
    State digest;
  };
  const std::array<Vector, 2> vectors = {{
      {"abc",
       {0xba7816bfU, 0x8f01cfeaU, 0x414140deU, 0x5dae2223U, 0xb00361a3U, 0x96177a9cU, 0xb410ff61U,
        0xf20015adU}},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       {0x248d6a61U, 0xd20638b8U, 0xe5c02693U, 0x0c3e6039U, 0xa33ce459U, 0x64ff2167U, 0xf6ecedd4U,
        0x19db06c1U}},
  }};
  for (const auto& path : kPaths) {
    SCOPED_TRACE(path.name);
    if (path.needs_acceleration && !detail::sha256_accelerated_available()) continue;
    for (const auto& v : vectors) {
      SCOPED_TRACE(std::string(v.message));
      const Bytes blocks = padded(v.message);
      State state = kInitialState;
      path.compress(state, blocks.data(), blocks.size() / SHA256_BLOCK_SIZE);
      EXPECT_EQ(state, v.digest);
    }
  }
}

TEST(Sha256Compress, AcceleratedMatchesPortableOnRandomInput) {
  if (!detail::sha256_accelerated_available()) {
    GTEST_SKIP() << "this CPU has no SHA instructions";
  }
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::uint32_t> word;
  std::uniform_int_distribution<std::size_t> count_dist(0, 40);
  std::uniform_int_distribution<std::size_t> offset_dist(0, 15);

  constexpr std::size_t kMaxBlocks = 40;
  Bytes buffer(kMaxBlocks * SHA256_BLOCK_SIZE + 16);
  for (auto& b : buffer) b = static_cast<std::uint8_t>(word(rng));

  for (int trial = 0; trial < 300; ++trial) {
    // Random chaining values and misaligned starts exercise more than a fresh hash would.
    State portable{};
    for (auto& w : portable) w = word(rng);
    State accelerated = portable;
    const std::size_t blocks = count_dist(rng);
    const std::uint8_t* start = buffer.data() + offset_dist(rng);
    detail::sha256_compress_portable(portable, start, blocks);
    detail::sha256_compress_accelerated(accelerated, start, blocks);
    ASSERT_EQ(portable, accelerated) << "trial " << trial << ", " << blocks << " blocks";
  }
}

}  // namespace
}  // namespace tarvel
