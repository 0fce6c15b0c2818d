#include "compare/hosts_and_apps.h"

#include <cstring>

#include "image/id_table.h"

namespace tarvel {

namespace {

std::string_view line_text(std::string_view text, const HostsLine& line) {
  return text.substr(line.offset, line.length);
}

// Folds eight bytes at a time into the hash, so lines that differ only in letter case hash
// alike.
std::uint64_t folded_hash(std::string_view line, const CaseFolding& folding, const HashKey& key) {
  KeyedHasher hasher(key);
  std::size_t at = 0;
  for (; at + 8 <= line.size(); at += 8) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      word |= std::uint64_t{folding.fold_byte(static_cast<unsigned char>(line[at + i]))} << (8 * i);
    }
    hasher.add_word(word);
  }
  for (; at < line.size(); ++at) {
    const unsigned char folded = folding.fold_byte(static_cast<unsigned char>(line[at]));
    hasher.add_bytes(&folded, 1);
  }
  return hasher.finish();
}

bool same_folded(std::string_view left, std::string_view right, const CaseFolding& folding) {
  if (left.size() != right.size()) {
    return false;
  }
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (folding.fold_byte(static_cast<unsigned char>(left[i])) !=
        folding.fold_byte(static_cast<unsigned char>(right[i]))) {
      return false;
    }
  }
  return true;
}

std::uint64_t key_hash(std::u16string_view key_text, const HashKey& key) {
  return keyed_hash(key, key_text.data(), key_text.size() * sizeof(char16_t));
}

}  // namespace

HostsLines split_hosts_text(std::string_view hosts_text) {
  HostsLines lines;
  const std::string_view text = hosts_text.substr(0, hosts_text.find('\0'));
  std::size_t at = 0;
  while (true) {
    // A CR is not skipped: a line of a lone CR is empty once cut.
    at = text.find_first_not_of(" \t\n", at);
    if (at == std::string_view::npos) {
      return lines;
    }
    const std::size_t end = text.find_first_of("\r\n", at);
    const std::size_t length = (end == std::string_view::npos ? text.size() : end) - at;
    if (length != 0 && text[at] != '#') {
      lines.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(length)});
    }
    if (end == std::string_view::npos) {
      return lines;
    }
    at = end + 1;
  }
}

void compare_hosts_lines(std::string_view source_text, const HostsLines& source,
                         std::string_view other_text, const HostsLines& other,
                         const CaseFolding& folding, const HashKey& key, HostsLines& target) {
  IdTable others(other.size());
  for (std::size_t index = 0; index < other.size(); ++index) {
    const std::string_view line = line_text(other_text, other[index]);
    others.find_or_insert(folded_hash(line, folding, key), static_cast<std::uint32_t>(index),
                          [&](std::uint32_t held) {
                            return same_folded(line_text(other_text, other[held]), line, folding);
                          });
  }
  for (const HostsLine& source_line : source) {
    const std::string_view line = line_text(source_text, source_line);
    const std::uint32_t match =
        others.find(folded_hash(line, folding, key), [&](std::uint32_t held) {
          return same_folded(line_text(other_text, other[held]), line, folding);
        });
    if (match == IdTable::NONE) {
      target.push_back(source_line);
    }
  }
}

void compare_applications(const AppList& source, const AppList& other, const HashKey& key,
                          std::vector<std::uint32_t>& target) {
  IdTable keys(other.size());
  for (std::size_t index = 0; index < other.size(); ++index) {
    const std::u16string_view other_key = other.key(other[index]);
    keys.find_or_insert(key_hash(other_key, key), static_cast<std::uint32_t>(index),
                        [&](std::uint32_t held) { return other.key(other[held]) == other_key; });
  }
  for (std::size_t index = 0; index < source.size(); ++index) {
    const std::u16string_view source_key = source.key(source[index]);
    const bool absent =
        other.empty() ||
        keys.find(key_hash(source_key, key), [&](std::uint32_t held) {
          return other.key(other[held]) == source_key;
        }) == IdTable::NONE;
    if (absent) {
      target.push_back(static_cast<std::uint32_t>(index));
    }
  }
}

}  // namespace tarvel
