// Keyed hashing: SipHash, and the multilinear hash of the program's tables.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "support/text_view.h"
#include "support/hash_key.h"

namespace tarvel {

// SipHash, a keyed hash function: without the key, nobody can tell which inputs collide, so a
// file cannot be built to make the program's hash tables slow. The key is drawn afresh on every
// run; nothing the program prints depends on it. Rounds are parameters so that the reference
// test vectors (2 and 4 rounds) check the same code the tables use (1 and 3 rounds).
template <int COMPRESS_ROUNDS, int FINAL_ROUNDS>
class SipHasher {
 public:
  explicit SipHasher(const HashKey& key)
      : v0_(key[0] ^ 0x736F6D6570736575ULL),
        v1_(key[1] ^ 0x646F72616E646F6DULL),
        v2_(key[0] ^ 0x6C7967656E657261ULL),
        v3_(key[1] ^ 0x7465646279746573ULL) {}

  // Takes 8 bytes of input, as a little-endian word.
  void add_word(std::uint64_t word) {
    v3_ ^= word;
    for (int i = 0; i < COMPRESS_ROUNDS; ++i) {
      round();
    }
    v0_ ^= word;
    length_ += 8;
  }

  // Takes any bytes; a part word is kept until more arrive or finish() is called.
  void add_bytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (pending_count_ != 0 && size != 0) {
      pending_ |= std::uint64_t{*bytes++} << (8 * pending_count_);
      --size;
      if (++pending_count_ == 8) {
        const std::uint64_t word = pending_;
        pending_ = 0;
        pending_count_ = 0;
        add_word(word);
      }
    }
    for (; size >= 8; size -= 8, bytes += 8) {
      add_word(load_le64(bytes));
    }
    for (; size != 0; --size) {
      pending_ |= std::uint64_t{*bytes++} << (8 * pending_count_++);
    }
  }

  std::uint64_t finish() {
    const std::uint64_t total = length_ + pending_count_;
    const std::uint64_t last = pending_ | (total << 56);
    v3_ ^= last;
    for (int i = 0; i < COMPRESS_ROUNDS; ++i) {
      round();
    }
    v0_ ^= last;
    v2_ ^= 0xFF;
    for (int i = 0; i < FINAL_ROUNDS; ++i) {
      round();
    }
    return v0_ ^ v1_ ^ v2_ ^ v3_;
  }

  static std::uint64_t load_le64(const std::uint8_t* p) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&word, p, sizeof word);
    } else {
      for (int i = 7; i >= 0; --i) {
        word = (word << 8) | p[i];
      }
    }
    return word;
  }

 private:
  void round() {
    v0_ += v1_;
    v1_ = std::rotl(v1_, 13);
    v1_ ^= v0_;
    v0_ = std::rotl(v0_, 32);
    v2_ += v3_;
    v3_ = std::rotl(v3_, 16);
    v3_ ^= v2_;
    v0_ += v3_;
    v3_ = std::rotl(v3_, 21);
    v3_ ^= v0_;
    v2_ += v1_;
    v1_ = std::rotl(v1_, 17);
    v1_ ^= v2_;
    v2_ = std::rotl(v2_, 32);
  }

  std::uint64_t v0_;
  std::uint64_t v1_;
  std::uint64_t v2_;
  std::uint64_t v3_;
  std::uint64_t length_ = 0;
  std::uint64_t pending_ = 0;
  unsigned pending_count_ = 0;
};

// SipHash with one round per word and three to finish: a pseudo-random function of its key,
// used to make the tables' keys and for texts too long for them.
using KeyedHasher = SipHasher<1, 3>;

inline std::uint64_t keyed_hash(const HashKey& key, const void* data, std::size_t size) {
  KeyedHasher hasher(key);
  hasher.add_bytes(data, size);
  return hasher.finish();
}

// The hash of the program's tables: the sum of the text's 32-bit words, each times its own
// random 64-bit key, the length first (multilinear hashing). For any two different texts, the
// chance that the top 32 bits of their hashes agree is about 2^-32 over the choice of keys,
// whatever the texts are, so no file can be made to slow a table down; it costs one
// multiplication per four bytes. Texts longer than the keys go through SipHash instead.
class TableHash {
 public:
  // Enough for an entry's key: its two lengths, a directory of 2,048 units and a name of 260.
  static constexpr std::size_t KEY_WORDS = 1280;
  // Where an entry name's words take their keys: after every word a directory can have, so
  // that a directory's part of the hash is the same whatever name follows it.
  static constexpr std::size_t NAME_KEYS = 2 + 1024;

  // Draws the keys from a generator seeded with a SipHash of the run's random key.
  explicit TableHash(const HashKey& key);

  // A UTF-16 text.
  std::uint64_t units(std::u16string_view text) const;
  // An entry's key is the sum of its directory's part and its name's part (each with its
  // length, under keys of their own), so a directory is hashed once for all its entries.
  // A text whose units all fit a byte makes a word of four units, any other of two; a text
  // hashes alike in either of its forms.
  std::uint64_t directory_part(const TextView& directory) const;
  std::uint64_t name_part(const TextView& name) const;
  // Bytes, each first replaced by fold[byte].
  std::uint64_t folded_bytes(std::string_view text, const unsigned char* fold) const;

 private:
  // SipHash of a text too long for the keys, after a word that tells its place.
  std::uint64_t long_text(std::uint64_t lead, const TextView& text) const;

  HashKey seed_;
  std::vector<std::uint64_t> keys_;
};

}  // namespace tarvel
