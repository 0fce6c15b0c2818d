// The keyed hashes: fallbacks at their thresholds, and case folding.
#include "support/keyed_hash.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace tarvel {
namespace {

// Around the lengths where a text stops fitting the table hash's keys and goes through SipHash,
// equal texts hash equal and a change in the last unit or byte changes the hash, in every form.
// The sanitize build also catches a key read past the end at the boundary.
TEST(TableHash, TextsAroundTheLongestKeyHashWhole) {
  const TableHash hash({0x1234, 0x5678});
  unsigned char fold[256];
  for (unsigned index = 0; index < 256; ++index) {
    fold[index] = static_cast<unsigned char>(index >= 'A' && index <= 'Z' ? index + 32 : index);
  }
  const std::size_t units = 2 * TableHash::KEY_WORDS;
  for (std::size_t length = units - 6; length <= units + 2; ++length) {
    const std::u16string text(length, u'a');
    std::u16string other = text;
    other.back() = u'b';
    EXPECT_EQ(hash.units(text), hash.units(std::u16string(text)));
    EXPECT_NE(hash.units(text), hash.units(other)) << length;
  }
  // An entry key's two parts, around the longest directory and name that have keys of their own.
  const std::size_t name_units = 2 * (TableHash::KEY_WORDS - TableHash::NAME_KEYS);
  for (const auto& [longest, part] : {std::pair{std::size_t{2048}, &TableHash::directory_part},
                                      std::pair{name_units, &TableHash::name_part}}) {
    for (std::size_t length = longest - 6; length <= longest + 4; ++length) {
      const std::u16string text(length, u'a');
      std::u16string other = text;
      other.back() = u'b';
      EXPECT_EQ((hash.*part)(TextView(text)), (hash.*part)(TextView(std::u16string(text)))) << length;
      EXPECT_NE((hash.*part)(TextView(text)), (hash.*part)(TextView(other))) << length;
    }
  }
  for (std::size_t length = 4 * TableHash::KEY_WORDS - 8; length <= 4 * TableHash::KEY_WORDS + 4;
       ++length) {
    const std::string text(length, 'a');
    std::string shouted = text;
    shouted.back() = 'A';
    std::string other = text;
    other.back() = 'b';
    EXPECT_EQ(hash.folded_bytes(text, fold), hash.folded_bytes(shouted, fold)) << length;
    EXPECT_NE(hash.folded_bytes(text, fold), hash.folded_bytes(other, fold)) << length;
  }
}

// Each hash gives its keys to texts up to a longest length and sends longer ones through SipHash
// (with a lead word for an entry key's parts): the longest with keys is not hashed by SipHash,
// one unit or byte more is. A threshold one off either way reads a key past the end or gives
// keys to a text that has none.
TEST(TableHash, FallsBackToSipHashJustPastTheLongestTextWithKeys) {
  const HashKey key{0x1234, 0x5678};
  const TableHash hash(key);
  unsigned char fold[256];
  for (unsigned index = 0; index < 256; ++index) {
    fold[index] = static_cast<unsigned char>(index >= 'A' && index <= 'Z' ? index + 32 : index);
  }
  const auto sip = [&](std::uint64_t lead, const std::u16string& text) {
    KeyedHasher hasher(key);
    hasher.add_word(lead);
    hasher.add_bytes(text.data(), text.size() * sizeof(char16_t));
    return hasher.finish();
  };
  struct Case {
    const char* what;
    std::size_t longest_with_keys;
    std::function<bool(std::size_t)> by_siphash;
  };
  const Case cases[] = {
      {"units", 2 * (TableHash::KEY_WORDS - 1),
       [&](std::size_t length) {
         const std::u16string text(length, u'a');
         return hash.units(text) == keyed_hash(key, text.data(), length * sizeof(char16_t));
       }},
      {"directory", 2 * (TableHash::NAME_KEYS - 2),
       [&](std::size_t length) {
         const std::u16string text(length, u'a');
         return hash.directory_part(TextView(text)) == sip(length, text);
       }},
      {"name", 2 * (TableHash::KEY_WORDS - TableHash::NAME_KEYS),
       [&](std::size_t length) {
         const std::u16string text(length, u'a');
         return hash.name_part(TextView(text)) == sip(~std::uint64_t{0}, text);
       }},
      {"folded bytes", 4 * (TableHash::KEY_WORDS - 1),
       [&](std::size_t length) {
         // Shouted, so that a fallback that stops folding case is caught as well.
         const std::string folded(length, 'a');
         return hash.folded_bytes(std::string(length, 'A'), fold) ==
                keyed_hash(key, folded.data(), length);
       }},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.by_siphash(c.longest_with_keys)) << c.what;
    EXPECT_TRUE(c.by_siphash(c.longest_with_keys + 1)) << c.what;
  }
}

}  // namespace
}  // namespace tarvel
