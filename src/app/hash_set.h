// A set of SHA-1 values, packed for tens of millions of them, and the files it is loaded from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tarvel {

inline constexpr std::size_t SHA1_SIZE = 20;
using Sha1 = std::array<std::uint8_t, SHA1_SIZE>;

// SHA-1 values, 20 bytes each in one sorted array, with an index of where the values of each
// first two bytes start: a lookup reads the index once and searches, in a set of ten million,
// about 150 values. The index takes 256 KiB whatever the set's size.
class HashSet {
 public:
  // Adds a value; lookups see it once the set is sealed.
  void add(std::span<const std::uint8_t, SHA1_SIZE> hash);
  // Sorts what was added, drops duplicates and rebuilds the index.
  void seal();
  // Forgets the values added since the last seal.
  void discard_unsealed() { hashes_.resize(sealed_); }
  // Makes room for `count` more values at once, so that adding them moves nothing.
  void reserve_more(std::size_t count) { hashes_.reserve(hashes_.size() + count); }

  bool contains(std::span<const std::uint8_t, SHA1_SIZE> hash) const;
  // A SHA1 value as an image holds it: exactly 40 hexadecimal digits, in either case. Any other
  // text is in no set.
  bool contains_hex(std::u16string_view text) const;

  // The distinct values that lookups see.
  std::size_t size() const { return sealed_; }

 private:
  std::vector<Sha1> hashes_;  // sorted and unique up to sealed_; then added since
  std::size_t sealed_ = 0;
  std::vector<std::uint32_t> starts_;  // 65,537 once sealed: where each first two bytes start
};

// Why a hash set file could not be taken: the 1-based line where a line is at fault.
struct HashSetError {
  std::uint64_t line = 0;  // 0: the trouble is the file's, not one line's
  std::string message;

  // "line 7: not a SHA-1 value (40 hexadecimal digits)", or the message alone.
  std::string text() const;
};

// Adds the SHA-1 values of one file to `set` and seals it. A file is either one SHA-1 value a
// line (40 hexadecimal digits in either case, optionally followed by blanks and a '#'
// comment; blank lines and lines starting with '#' are ignored), or CSV (RFC 4180) whose header
// row has a column named SHA-1 or sha1, in any case, whose every record then holds a SHA-1
// value there (quoted or not). Comments and blank lines may come before the header; blank lines
// anywhere. CR LF line ends and a UTF-8 byte order mark are taken. False with the trouble, and
// the set as it was, when the file cannot be read or a line is malformed.
bool load_hash_set(InputFile& file, HashSet& set, HashSetError& error);
// The same for a file by name; it may also be a pipe or FIFO. An empty file holds no values.
bool load_hash_set(Platform& platform, const std::filesystem::path& path, HashSet& set,
                   HashSetError& error);

}  // namespace tarvel
