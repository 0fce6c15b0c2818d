// Keys crafted to collide in hash tables, for the benchmarks of worst-case shapes.
#include "colliding_keys.h"

#include "bench_random.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <iostream>
#include <string_view>
#include <unordered_set>

namespace tarvel::bench {

namespace {

// The inverse of an odd number modulo 2^64, by Newton's iteration.
constexpr std::uint64_t inverse(std::uint64_t odd) {
  std::uint64_t x = odd;
  for (int i = 0; i < 6; ++i) {
    x *= 2 - odd * x;
  }
  return x;
}

// --- The former entry index: an invertible mix over 4 units at a time. ---
constexpr std::uint64_t ENTRY_MUL = 0xD6E8FEB86659FD93ULL;
constexpr std::uint64_t ENTRY_STEP = 0x632BE59BD9B4E019ULL;

std::uint64_t entry_mix(std::uint64_t value) {
  value ^= value >> 32;
  value *= ENTRY_MUL;
  value ^= value >> 32;
  return value;
}
std::uint64_t entry_unmix(std::uint64_t value) {
  value ^= value >> 32;
  value *= inverse(ENTRY_MUL);
  value ^= value >> 32;
  return value;
}
// The state after the whole 4-unit chunks of a text, before its tail and its final mix.
std::uint64_t entry_state(std::u16string_view text, std::uint64_t seed, std::size_t chunks) {
  std::uint64_t hash = seed ^ (text.size() * 0x9E3779B97F4A7C15ULL);
  for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + chunk * 4, sizeof word);
    hash = entry_mix(hash ^ word) + ENTRY_STEP;
  }
  return hash;
}
std::uint64_t entry_hash(std::u16string_view text, std::uint64_t seed) {
  const std::size_t chunks = text.size() / 4;
  std::uint64_t hash = entry_state(text, seed, chunks);
  if (chunks * 4 < text.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + chunks * 4, (text.size() - chunks * 4) * sizeof(char16_t));
    hash = entry_mix(hash ^ word) + 0x8CB92BA72F3D8DD7ULL;
  }
  return entry_mix(hash);
}

// --- std::hash of GNU libstdc++ on 64-bit systems: a multiply-and-shift hash over 8 bytes at a
// time. ---
constexpr std::uint64_t MURMUR_MUL = 0xC6A4A7935BD1E995ULL;
constexpr std::uint64_t MURMUR_SEED = 0xC70F6907ULL;

std::uint64_t shift_mix(std::uint64_t value) { return value ^ (value >> 47); }
std::uint64_t murmur_block(std::uint64_t block) { return shift_mix(block * MURMUR_MUL) * MURMUR_MUL; }
std::uint64_t murmur_unblock(std::uint64_t mixed) {
  return shift_mix(mixed * inverse(MURMUR_MUL)) * inverse(MURMUR_MUL);
}

// Two 8-byte blocks whose hash state after them is `target`, given the first block.
std::uint64_t second_block(std::uint64_t length, std::uint64_t first, std::uint64_t target) {
  std::uint64_t hash = MURMUR_SEED ^ (length * MURMUR_MUL);
  hash = (hash ^ murmur_block(first)) * MURMUR_MUL;
  return murmur_unblock(hash ^ (target * inverse(MURMUR_MUL)));
}

bool every_byte(std::uint64_t word, bool (*allowed)(unsigned char)) {
  for (int i = 0; i < 8; ++i) {
    if (!allowed(static_cast<unsigned char>(word >> (8 * i)))) {
      return false;
    }
  }
  return true;
}

// A byte a hosts line can hold anywhere and that folds to itself: no NUL, no line end, no
// upper-case ASCII letter.
bool line_byte(unsigned char byte) {
  return byte != 0 && byte != '\n' && byte != '\r' && !(byte >= 'A' && byte <= 'Z');
}
bool printable_lower(unsigned char byte) { return byte >= 'a' && byte <= 'z'; }

bool nonzero_units(std::uint64_t word) {
  for (int i = 0; i < 4; ++i) {
    if (static_cast<std::uint16_t>(word >> (16 * i)) == 0) {
      return false;
    }
  }
  return true;
}

std::u16string units_of(std::uint64_t first, std::uint64_t second) {
  std::u16string text(8, u'\0');
  std::memcpy(text.data(), &first, sizeof first);
  std::memcpy(text.data() + 4, &second, sizeof second);
  return text;
}

std::string bytes_of(std::uint64_t first, std::uint64_t second) {
  std::string text(16, '\0');
  std::memcpy(text.data(), &first, sizeof first);
  std::memcpy(text.data() + 8, &second, sizeof second);
  return text;
}

// Random letters 'a' to 'z' in each byte.
std::uint64_t letters(Random& random) {
  std::uint64_t word = 0;
  for (int i = 0; i < 8; ++i) {
    word |= static_cast<std::uint64_t>('a' + random.next() % 26) << (8 * i);
  }
  return word;
}

template <typename Key, typename Hash>
void check_collide(const std::vector<Key>& keys, Hash hash, const char* what) {
  if (keys.empty()) {
    return;
  }
  const auto first = hash(keys.front());
  for (const Key& key : keys) {
    if (hash(key) != first) {
      std::cerr << "note: these " << what << " keys do not collide on this platform\n";
      return;
    }
  }
}

}  // namespace

std::vector<std::u16string> entry_names(std::size_t count, std::u16string_view directory,
                                        bool colliding) {
  Random random(11);
  const std::uint64_t seed = entry_hash(directory, 0x243F6A8885A308D3ULL);
  const std::uint64_t target = 0x0123456789ABCDEFULL;
  std::vector<std::u16string> names;
  std::unordered_set<std::u16string> seen;
  while (names.size() < count) {
    const std::uint64_t first = letters(random);
    std::uint64_t second = letters(random);
    if (colliding) {
      const std::u16string probe = units_of(first, 0);
      const std::uint64_t state = entry_state(probe, seed, 1);
      second = state ^ entry_unmix(target - ENTRY_STEP);
      if (!nonzero_units(second)) {
        continue;
      }
    }
    std::u16string name = units_of(first, second);
    if (seen.insert(name).second) {
      names.push_back(std::move(name));
    }
  }
  if (colliding) {
    check_collide(names, [&](const std::u16string& name) { return entry_hash(name, seed); },
                  "entry");
  }
  return names;
}

std::vector<std::string> hosts_lines(std::size_t count, bool colliding) {
  Random random(12);
  const std::uint64_t target = 0xFEDCBA9876543210ULL;
  std::vector<std::string> lines;
  std::unordered_set<std::string> seen;
  while (lines.size() < count) {
    const std::uint64_t first = letters(random);
    std::uint64_t second = letters(random);
    if (colliding) {
      second = second_block(16, first, target);
      if (!every_byte(second, line_byte)) {
        continue;
      }
    } else if (!every_byte(second, printable_lower)) {
      continue;
    }
    std::string line = bytes_of(first, second);
    if (seen.insert(line).second) {
      lines.push_back(std::move(line));
    }
  }
  if (colliding) {
    check_collide(lines, std::hash<std::string>{}, "hosts");
  }
  return lines;
}

std::vector<std::u16string> application_keys(std::size_t count, bool colliding) {
  Random random(13);
  const std::uint64_t target = 0x1122334455667788ULL;
  std::vector<std::u16string> keys;
  std::unordered_set<std::u16string> seen;
  while (keys.size() < count) {
    const std::uint64_t first = letters(random);
    std::uint64_t second = letters(random);
    if (colliding) {
      second = second_block(16, first, target);
      if (!nonzero_units(second)) {
        continue;
      }
    }
    std::u16string key = units_of(first, second);
    if (seen.insert(key).second) {
      keys.push_back(std::move(key));
    }
  }
  if (colliding) {
    check_collide(keys, std::hash<std::u16string_view>{}, "application");
  }
  return keys;
}

}  // namespace tarvel::bench
