// SHA-256: the streaming interface, the portable rounds and the SHA-extension rounds.
#include "image/sha256.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "image/sha256_blocks.h"

// The x86-64 SHA-extension rounds are compiled per function (GCC/Clang target
// attributes), so this file and the rest of the build need no -msha and still run
// on CPUs without the instructions; the CPU is probed before they are ever used.
// MSVC lets any function use the intrinsics, so it needs no attribute at all.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define TARVEL_SHA256_X86 1
#define TARVEL_SHA256_TARGET __attribute__((target("sha,sse4.1,ssse3")))
#include <cpuid.h>
#include <immintrin.h>
#elif defined(_MSC_VER) && defined(_M_X64) && !defined(_M_ARM64EC)
#define TARVEL_SHA256_X86 1
#define TARVEL_SHA256_TARGET
#include <immintrin.h>
#include <intrin.h>
#else
#define TARVEL_SHA256_X86 0
#endif

namespace tarvel {
namespace {

constexpr std::array<std::uint32_t, 64> ROUND_CONSTANTS = {
    0x428a2f98U, 0x71374491U, 0xb5c0fbcfU, 0xe9b5dba5U, 0x3956c25bU, 0x59f111f1U, 0x923f82a4U,
    0xab1c5ed5U, 0xd807aa98U, 0x12835b01U, 0x243185beU, 0x550c7dc3U, 0x72be5d74U, 0x80deb1feU,
    0x9bdc06a7U, 0xc19bf174U, 0xe49b69c1U, 0xefbe4786U, 0x0fc19dc6U, 0x240ca1ccU, 0x2de92c6fU,
    0x4a7484aaU, 0x5cb0a9dcU, 0x76f988daU, 0x983e5152U, 0xa831c66dU, 0xb00327c8U, 0xbf597fc7U,
    0xc6e00bf3U, 0xd5a79147U, 0x06ca6351U, 0x14292967U, 0x27b70a85U, 0x2e1b2138U, 0x4d2c6dfcU,
    0x53380d13U, 0x650a7354U, 0x766a0abbU, 0x81c2c92eU, 0x92722c85U, 0xa2bfe8a1U, 0xa81a664bU,
    0xc24b8b70U, 0xc76c51a3U, 0xd192e819U, 0xd6990624U, 0xf40e3585U, 0x106aa070U, 0x19a4c116U,
    0x1e376c08U, 0x2748774cU, 0x34b0bcb5U, 0x391c0cb3U, 0x4ed8aa4aU, 0x5b9cca4fU, 0x682e6ff3U,
    0x748f82eeU, 0x78a5636fU, 0x84c87814U, 0x8cc70208U, 0x90befffaU, 0xa4506cebU, 0xbef9a3f7U,
    0xc67178f2U,
};

constexpr std::array<std::uint32_t, 8> INITIAL_HASH = {
    0x6a09e667U, 0xbb67ae85U, 0x3c6ef372U, 0xa54ff53aU,
    0x510e527fU, 0x9b05688cU, 0x1f83d9abU, 0x5be0cd19U,
};

std::uint32_t load_be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

void store_be32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 24);
  p[1] = static_cast<std::uint8_t>(value >> 16);
  p[2] = static_cast<std::uint8_t>(value >> 8);
  p[3] = static_cast<std::uint8_t>(value);
}

#if TARVEL_SHA256_X86

bool probe_sha_extensions() {
  unsigned leaf1_ecx = 0;
  unsigned leaf7_ebx = 0;
#if defined(_MSC_VER) && !defined(__clang__)
  int regs[4] = {};
  __cpuid(regs, 0);
  if (regs[0] < 7) return false;
  __cpuidex(regs, 1, 0);
  leaf1_ecx = static_cast<unsigned>(regs[2]);
  __cpuidex(regs, 7, 0);
  leaf7_ebx = static_cast<unsigned>(regs[1]);
#else
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
  __cpuid_count(1, 0, eax, ebx, ecx, edx);
  leaf1_ecx = ecx;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  leaf7_ebx = ebx;
#endif
  const bool ssse3 = (leaf1_ecx & (1U << 9)) != 0;
  const bool sse41 = (leaf1_ecx & (1U << 19)) != 0;
  const bool sha = (leaf7_ebx & (1U << 29)) != 0;
  return ssse3 && sse41 && sha;
}

TARVEL_SHA256_TARGET inline __m128i load128(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

TARVEL_SHA256_TARGET inline void store128(void* p, __m128i value) {
  _mm_storeu_si128(static_cast<__m128i*>(p), value);
}

// The SHA instructions keep the eight working variables in two registers laid
// out as {A,B,E,F} and {C,D,G,H} (A and C in the top lane), and each
// SHA256RNDS2 runs two rounds from the low two lanes of a W+K vector.
TARVEL_SHA256_TARGET inline void sha_ni_rounds4(__m128i& abef, __m128i& cdgh, __m128i w,
                                                std::size_t first_round) {
  const __m128i wk = _mm_add_epi32(w, load128(&ROUND_CONSTANTS[first_round]));
  // After two rounds the old {A,B,E,F} is the new {C,D,G,H}, so the two
  // registers simply trade roles between the instruction pairs.
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
}

// Next four schedule words from the previous sixteen (oldest group first).
TARVEL_SHA256_TARGET inline __m128i sha_ni_schedule(__m128i w16, __m128i w12, __m128i w8,
                                                    __m128i w4) {
  const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), _mm_alignr_epi8(w4, w8, 4));
  return _mm_sha256msg2_epu32(partial, w4);
}

TARVEL_SHA256_TARGET void compress_sha_ni(std::array<std::uint32_t, 8>& state,
                                          const std::uint8_t* blocks, std::size_t block_count) {
  // pshufb mask turning each big-endian message word into a native lane.
  const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);

  const __m128i dcba = _mm_shuffle_epi32(load128(state.data()), 0xB1);
  const __m128i hgfe = _mm_shuffle_epi32(load128(state.data() + 4), 0x1B);
  __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);
  __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);

  for (; block_count != 0; --block_count, blocks += SHA256_BLOCK_SIZE) {
    const __m128i abef_in = abef;
    const __m128i cdgh_in = cdgh;
    __m128i m0 = _mm_shuffle_epi8(load128(blocks), byte_swap);
    __m128i m1 = _mm_shuffle_epi8(load128(blocks + 16), byte_swap);
    __m128i m2 = _mm_shuffle_epi8(load128(blocks + 32), byte_swap);
    __m128i m3 = _mm_shuffle_epi8(load128(blocks + 48), byte_swap);
    sha_ni_rounds4(abef, cdgh, m0, 0);
    sha_ni_rounds4(abef, cdgh, m1, 4);
    sha_ni_rounds4(abef, cdgh, m2, 8);
    sha_ni_rounds4(abef, cdgh, m3, 12);
    for (std::size_t round = 16; round < 64; round += 16) {
      m0 = sha_ni_schedule(m0, m1, m2, m3);
      sha_ni_rounds4(abef, cdgh, m0, round);
      m1 = sha_ni_schedule(m1, m2, m3, m0);
      sha_ni_rounds4(abef, cdgh, m1, round + 4);
      m2 = sha_ni_schedule(m2, m3, m0, m1);
      sha_ni_rounds4(abef, cdgh, m2, round + 8);
      m3 = sha_ni_schedule(m3, m0, m1, m2);
      sha_ni_rounds4(abef, cdgh, m3, round + 12);
    }
    abef = _mm_add_epi32(abef, abef_in);
    cdgh = _mm_add_epi32(cdgh, cdgh_in);
  }

  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  store128(state.data(), _mm_blend_epi16(feba, dchg, 0xF0));
  store128(state.data() + 4, _mm_alignr_epi8(dchg, feba, 8));
}

#endif  // TARVEL_SHA256_X86

void compress_best(std::array<std::uint32_t, 8>& state, const std::uint8_t* blocks,
                   std::size_t block_count) {
  static const bool accelerated = detail::sha256_accelerated_available();
  if (accelerated) {
    detail::sha256_compress_accelerated(state, blocks, block_count);
  } else {
    detail::sha256_compress_portable(state, blocks, block_count);
  }
}

}  // namespace

namespace detail {

namespace {

// One round: the new h lands in h's place and d takes e's new value; the caller rotates names.
inline void portable_round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d,
                           std::uint32_t e, std::uint32_t f, std::uint32_t g, std::uint32_t& h,
                           std::uint32_t constant_plus_word) {
  const std::uint32_t t1 = h + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) +
                           (g ^ (e & (f ^ g))) + constant_plus_word;
  const std::uint32_t t2 =
      (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + ((a & b) | (c & (a | b)));
  d += t1;
  h = t1 + t2;
}

}  // namespace

void sha256_compress_portable(std::array<std::uint32_t, 8>& state, const std::uint8_t* blocks,
                              std::size_t block_count) {
  for (; block_count != 0; --block_count, blocks += SHA256_BLOCK_SIZE) {
    std::array<std::uint32_t, 64> w;
    for (std::size_t t = 0; t < 16; ++t) w[t] = load_be32(blocks + 4 * t);
    for (std::size_t t = 16; t < 64; ++t) {
      const std::uint32_t w15 = w[t - 15];
      const std::uint32_t w2 = w[t - 2];
      const std::uint32_t s0 = std::rotr(w15, 7) ^ std::rotr(w15, 18) ^ (w15 >> 3);
      const std::uint32_t s1 = std::rotr(w2, 17) ^ std::rotr(w2, 19) ^ (w2 >> 10);
      w[t] = s1 + w[t - 7] + s0 + w[t - 16];
    }

    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    std::uint32_t e = state[4];
    std::uint32_t f = state[5];
    std::uint32_t g = state[6];
    std::uint32_t h = state[7];
    // Eight rounds per pass with the roles of the working words rotated in the arguments, so the
    // compiler keeps them in registers instead of shuffling them every round.
    for (std::size_t t = 0; t < 64; t += 8) {
      portable_round(a, b, c, d, e, f, g, h, ROUND_CONSTANTS[t] + w[t]);
      portable_round(h, a, b, c, d, e, f, g, ROUND_CONSTANTS[t + 1] + w[t + 1]);
      portable_round(g, h, a, b, c, d, e, f, ROUND_CONSTANTS[t + 2] + w[t + 2]);
      portable_round(f, g, h, a, b, c, d, e, ROUND_CONSTANTS[t + 3] + w[t + 3]);
      portable_round(e, f, g, h, a, b, c, d, ROUND_CONSTANTS[t + 4] + w[t + 4]);
      portable_round(d, e, f, g, h, a, b, c, ROUND_CONSTANTS[t + 5] + w[t + 5]);
      portable_round(c, d, e, f, g, h, a, b, ROUND_CONSTANTS[t + 6] + w[t + 6]);
      portable_round(b, c, d, e, f, g, h, a, ROUND_CONSTANTS[t + 7] + w[t + 7]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

void sha256_compress_accelerated(std::array<std::uint32_t, 8>& state, const std::uint8_t* blocks,
                                 std::size_t block_count) {
#if TARVEL_SHA256_X86
  if (sha256_accelerated_available()) {
    compress_sha_ni(state, blocks, block_count);
    return;
  }
#endif
  sha256_compress_portable(state, blocks, block_count);
}

bool sha256_accelerated_available() {
#if TARVEL_SHA256_X86
  static const bool available = probe_sha_extensions();
  return available;
#else
  return false;
#endif
}

}  // namespace detail

void Sha256::start() {
  state_ = INITIAL_HASH;
  length_ = 0;
  pending_ = 0;
}

// Whole blocks are compressed straight from the bytes given; only a block's start or end waits
// in block_.
void Sha256::update(std::span<const std::uint8_t> bytes) {
  length_ += bytes.size();
  if (pending_ != 0) {
    const std::size_t take = std::min(bytes.size(), SHA256_BLOCK_SIZE - pending_);
    std::memcpy(block_.data() + pending_, bytes.data(), take);
    pending_ += take;
    bytes = bytes.subspan(take);
    if (pending_ < SHA256_BLOCK_SIZE) {
      return;
    }
    compress_best(state_, block_.data(), 1);
    pending_ = 0;
  }
  const std::size_t whole_blocks = bytes.size() / SHA256_BLOCK_SIZE;
  if (whole_blocks != 0) {
    compress_best(state_, bytes.data(), whole_blocks);
    bytes = bytes.subspan(whole_blocks * SHA256_BLOCK_SIZE);
  }
  if (!bytes.empty()) {
    std::memcpy(block_.data(), bytes.data(), bytes.size());
    pending_ = bytes.size();
  }
}

Sha256Digest Sha256::finish() {
  std::size_t at = pending_;
  block_[at++] = 0x80;
  if (at > SHA256_BLOCK_SIZE - 8) {
    // No room left for the length: pad this block out and start another.
    std::memset(block_.data() + at, 0, SHA256_BLOCK_SIZE - at);
    compress_best(state_, block_.data(), 1);
    at = 0;
  }
  std::memset(block_.data() + at, 0, SHA256_BLOCK_SIZE - 8 - at);
  const std::uint64_t bits = length_ * 8;
  store_be32(block_.data() + 56, static_cast<std::uint32_t>(bits >> 32));
  store_be32(block_.data() + 60, static_cast<std::uint32_t>(bits));
  compress_best(state_, block_.data(), 1);

  Sha256Digest digest;
  for (std::size_t i = 0; i < state_.size(); ++i) {
    store_be32(digest.data() + 4 * i, state_[i]);
  }
  // Leave nothing of the message behind once it is done with.
  block_.fill(0);
  start();
  return digest;
}

}  // namespace tarvel
