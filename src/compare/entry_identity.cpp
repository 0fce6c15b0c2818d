#include "compare/entry_identity.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace tarvel {

namespace {

constexpr std::u16string_view LONG_PATH_PREFIX = u"\\\\?\\";

std::uint64_t mix(std::uint64_t value) {
  value ^= value >> 32;
  value *= 0xD6E8FEB86659FD93ULL;
  value ^= value >> 32;
  return value;
}

// Hashes four units at a time; only equality within one process matters, so byte order does not.
std::uint64_t hash_units(std::u16string_view text, std::uint64_t seed) {
  std::uint64_t hash = seed ^ (text.size() * 0x9E3779B97F4A7C15ULL);
  std::size_t at = 0;
  for (; at + 4 <= text.size(); at += 4) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, text.data() + at, sizeof chunk);
    hash = mix(hash ^ chunk) + 0x632BE59BD9B4E019ULL;
  }
  if (at < text.size()) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, text.data() + at, (text.size() - at) * sizeof(char16_t));
    hash = mix(hash ^ chunk) + 0x8CB92BA72F3D8DD7ULL;
  }
  return mix(hash);
}

std::uint64_t hash_key(std::u16string_view name, std::u16string_view directory) {
  return hash_units(name, hash_units(directory, 0x243F6A8885A308D3ULL));
}

// A hint to the processor; changes nothing else.
void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
  static_cast<void>(address);
#endif
}

}  // namespace

DriveMap identity_drive_map() {
  DriveMap map{};
  for (std::size_t letter = 0; letter < map.size(); ++letter) {
    map[letter] = static_cast<char16_t>(u'A' + letter);
  }
  return map;
}

void normalise_directory(std::span<char16_t> directory, const DriveMap& drive_map) {
  if (directory.empty()) {
    return;
  }
  const std::u16string_view text(directory.data(), directory.size());
  const std::size_t at = text.starts_with(LONG_PATH_PREFIX) ? LONG_PATH_PREFIX.size() : 0;
  if (at >= directory.size()) {
    return;
  }
  char16_t& unit = directory[at];
  if (unit >= u'a' && unit <= u'z') {
    unit = static_cast<char16_t>(unit - 0x20);
  }
  if (unit >= u'A' && unit <= u'Z' && at + 1 < directory.size() && directory[at + 1] == u':') {
    unit = drive_map[static_cast<std::size_t>(unit - u'A')];
  }
}

EntryIndex::EntryIndex(EntryTable& table) : table_(&table), first_(table.size(), 0) {
  // At most half full, so probe runs stay short.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, table.size() * 2));
  slots_.assign(capacity, Slot{0, 0});
  mask_ = capacity - 1;
  // Hash everything first, so the slot of a record a few places ahead can be fetched from memory
  // while the current one is inserted.
  std::vector<std::uint64_t> hashes(table.size());
  for (std::size_t index = 0; index < table.size(); ++index) {
    hashes[index] = hash_key(table[index].name, table[index].directory);
  }
  constexpr std::size_t PREFETCH_DISTANCE = 8;
  for (std::size_t index = 0; index < table.size(); ++index) {
    if (index + PREFETCH_DISTANCE < table.size()) {
      prefetch(&slots_[hashes[index + PREFETCH_DISTANCE] & mask_]);
    }
    const EntryRecord& record = table[index];
    const std::uint64_t hash = hashes[index];
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
      Slot& candidate = slots_[slot];
      if (candidate.index_plus_one == 0) {
        candidate = Slot{tag, static_cast<std::uint32_t>(index + 1)};
        first_[index] = 1;
        break;
      }
      const EntryRecord& held = table[candidate.index_plus_one - 1];
      // An equal key already indexed has the lower index; it is the one lookups must find.
      if (candidate.tag == tag && held.name == record.name && held.directory == record.directory) {
        break;
      }
    }
  }
}

EntryRecord* EntryIndex::find(std::u16string_view name, std::u16string_view directory) const {
  const std::uint64_t hash = hash_key(name, directory);
  const auto tag = static_cast<std::uint32_t>(hash >> 32);
  for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
    const Slot& candidate = slots_[slot];
    if (candidate.index_plus_one == 0) {
      return nullptr;
    }
    EntryRecord& held = (*table_)[candidate.index_plus_one - 1];
    if (candidate.tag == tag && held.name == name && held.directory == directory) {
      return &held;
    }
  }
}

EntryRecord* EntryIndex::find_near(std::u16string_view name, std::u16string_view directory,
                                   std::size_t hint) const {
  // The first record of its key is what a front-to-back scan would find.
  if (hint < first_.size() && first_[hint] != 0) {
    EntryRecord& candidate = (*table_)[hint];
    if (candidate.name == name && candidate.directory == directory) {
      return &candidate;
    }
  }
  return find(name, directory);
}

std::size_t EntryIndex::index_of(const EntryRecord& record) const {
  return static_cast<std::size_t>(&record - &(*table_)[0]);
}

void build_full_path(const EntryRecord& record, std::u16string& out) {
  out.clear();
  if (!record.directory.empty()) {
    out.append(record.directory);
    out.push_back(u'\\');
  }
  out.append(record.name);
}

}  // namespace tarvel
