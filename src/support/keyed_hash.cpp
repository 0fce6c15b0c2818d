// The multilinear table hash and its SipHash fallback for long texts.
#include "support/keyed_hash.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tarvel {

namespace {

// Words of a UTF-16 text: two units each, the last one padded with 0.
std::size_t unit_words(std::size_t units) { return (units + 1) / 2; }

std::uint32_t unit_word(std::u16string_view text, std::size_t word) {
  const std::size_t at = word * 2;
  const std::uint32_t low = text[at];
  const std::uint32_t high = at + 1 < text.size() ? text[at + 1] : 0;
  return low | (high << 16);
}

// Adds key[i] * word for the words of one text, from key `at` on; returns the next key.
std::size_t add_units(const std::uint64_t* keys, std::size_t at, std::u16string_view text,
                      std::uint64_t& sum) {
  const std::size_t whole = text.size() / 2;
  const char16_t* units = text.data();
  for (std::size_t word = 0; word < whole; ++word) {
    const std::uint32_t value = static_cast<std::uint32_t>(units[2 * word]) |
                                (static_cast<std::uint32_t>(units[2 * word + 1]) << 16);
    sum += keys[at + word] * value;
  }
  if (whole * 2 < text.size()) {
    sum += keys[at + whole] * unit_word(text, whole);
  }
  return at + unit_words(text.size());
}

// Whether every unit of a text fits a byte: such a text is hashed four units to a word, in
// either form, and any other two units to a word, as add_units does.
bool fits_bytes(const TextView& text) {
  if (!text.wide()) {
    return true;
  }
  const char16_t* units = text.wide_units();
  return std::all_of(units, units + text.size(), [](char16_t unit) { return unit <= 0xFF; });
}

// Adds key[i] * word for the words of a text of units that each fit a byte, four units a word,
// the first lowest, the last word padded with 0; from key `at` on.
template <typename Unit>
void add_byte_units(const std::uint64_t* keys, std::size_t at, const Unit* units,
                    std::size_t count, std::uint64_t& sum) {
  const auto byte = [&](std::size_t index) { return static_cast<std::uint32_t>(units[index]); };
  std::size_t word = 0;
  for (; 4 * word + 4 <= count; ++word) {
    const std::size_t first = 4 * word;
    std::uint32_t value = 0;
    if constexpr (sizeof(Unit) == 1 && std::endian::native == std::endian::little) {
      std::memcpy(&value, units + first, sizeof value);  // the four bytes as one load
    } else {
      value = byte(first) | (byte(first + 1) << 8) | (byte(first + 2) << 16) |
              (byte(first + 3) << 24);
    }
    sum += keys[at + word] * value;
  }
  if (4 * word < count) {
    std::uint32_t last = 0;
    for (std::size_t index = 4 * word; index < count; ++index) {
      last |= byte(index) << (8 * (index - 4 * word));
    }
    sum += keys[at + word] * last;
  }
}

// The length and words of a text under keys[lead] and keys from `at` on. The lead also tells
// apart the two ways of cutting a text into words.
std::uint64_t text_sum(const std::uint64_t* keys, std::size_t lead, std::size_t at,
                       const TextView& text) {
  constexpr std::uint64_t TWO_UNITS_A_WORD = std::uint64_t{1} << 32;
  if (!fits_bytes(text)) {
    std::uint64_t sum = keys[lead] * (text.size() | TWO_UNITS_A_WORD);
    add_units(keys, at, {text.wide_units(), text.size()}, sum);
    return sum;
  }
  std::uint64_t sum = keys[lead] * text.size();
  if (text.wide()) {
    add_byte_units(keys, at, text.wide_units(), text.size(), sum);
  } else {
    add_byte_units(keys, at, text.narrow_units(), text.size(), sum);
  }
  return sum;
}

}  // namespace

TableHash::TableHash(const HashKey& key) : seed_(key), keys_(KEY_WORDS) {
  // xoshiro256**, its state four words of SipHash under the run's key: cheap enough to set up
  // for every comparison, and as unknown as the key.
  std::array<std::uint64_t, 4> state{};
  for (std::size_t index = 0; index < state.size(); ++index) {
    KeyedHasher hasher(key);
    hasher.add_word(index);
    state[index] = hasher.finish();
  }
  for (std::uint64_t& word : keys_) {
    word = std::rotl(state[1] * 5, 7) * 9;
    const std::uint64_t shifted = state[1] << 17;
    state[2] ^= state[0];
    state[3] ^= state[1];
    state[1] ^= state[2];
    state[0] ^= state[3];
    state[2] ^= shifted;
    state[3] = std::rotl(state[3], 45);
  }
}

std::uint64_t TableHash::units(std::u16string_view text) const {
  if (unit_words(text.size()) + 1 > keys_.size()) {
    return keyed_hash(seed_, text.data(), text.size() * sizeof(char16_t));
  }
  std::uint64_t sum = keys_[0] * text.size();
  add_units(keys_.data(), 1, text, sum);
  return sum;
}

std::uint64_t TableHash::directory_part(const TextView& directory) const {
  if (2 + unit_words(directory.size()) > NAME_KEYS) {
    // Longer than any stored directory: only ever looked for, never found.
    return long_text(directory.size(), directory);
  }
  return text_sum(keys_.data(), 0, 2, directory);
}

std::uint64_t TableHash::name_part(const TextView& name) const {
  if (NAME_KEYS + unit_words(name.size()) > keys_.size()) {
    return long_text(~std::uint64_t{0}, name);
  }
  return text_sum(keys_.data(), 1, NAME_KEYS, name);
}

std::uint64_t TableHash::long_text(std::uint64_t lead, const TextView& text) const {
  const std::u16string units = text.str();
  KeyedHasher hasher(seed_);
  hasher.add_word(lead);
  hasher.add_bytes(units.data(), units.size() * sizeof(char16_t));
  return hasher.finish();
}

std::uint64_t TableHash::folded_bytes(std::string_view text, const unsigned char* fold) const {
  const std::size_t words = (text.size() + 3) / 4;
  const auto byte = [&](std::size_t at) -> std::uint32_t {
    return at < text.size() ? fold[static_cast<unsigned char>(text[at])] : 0;
  };
  if (words + 1 > keys_.size()) {
    KeyedHasher hasher(seed_);
    for (std::size_t at = 0; at < text.size(); ++at) {
      const auto folded = static_cast<unsigned char>(byte(at));
      hasher.add_bytes(&folded, 1);
    }
    return hasher.finish();
  }
  std::uint64_t sum = keys_[0] * text.size();
  for (std::size_t word = 0; word < words; ++word) {
    const std::size_t at = word * 4;
    const std::uint32_t value = byte(at) | (byte(at + 1) << 8) | (byte(at + 2) << 16) | (byte(at + 3) << 24);
    sum += keys_[word + 1] * value;
  }
  return sum;
}

}  // namespace tarvel
