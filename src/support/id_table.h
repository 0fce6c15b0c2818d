// An open-addressing hash set of 32-bit ids whose keys live elsewhere.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvel {

// An open-addressing hash set of 32-bit ids whose keys live elsewhere: the caller gives each
// id's hash and says whether a stored id has the key looked for. Hashes come from a keyed hash,
// so probe runs stay short whatever the keys are.
class IdTable {
 public:
  static constexpr std::uint32_t NONE = UINT32_MAX;

  explicit IdTable(std::size_t expected = 0) { rebuild(capacity_for(expected)); }

  // The part of a hash the table uses: a caller may keep only this, and give it back as a
  // hash with with_tag().
  static std::uint32_t tag_of(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); }
  static std::uint64_t with_tag(std::uint32_t tag) { return std::uint64_t{tag} << 32; }

  std::size_t size() const { return count_; }

  // The stored id for which equal(id) holds, or NONE.
  template <typename Equal>
  std::uint32_t find(std::uint64_t hash, Equal&& equal) const {
    const std::uint32_t tag = tag_of(hash);
    for (std::size_t slot = home(tag);; slot = (slot + 1) & mask_) {
      const Slot& candidate = slots_[slot];
      if (candidate.id == NONE) {
        return NONE;
      }
      if (candidate.tag == tag && equal(candidate.id)) {
        return candidate.id;
      }
    }
  }

  // The stored id equal to the new one, or the new id after storing it.
  template <typename Equal>
  std::uint32_t find_or_insert(std::uint64_t hash, std::uint32_t id, Equal&& equal) {
    if ((count_ + 1) * 2 > slots_.size()) {
      rebuild(slots_.size() * 2);
    }
    const std::uint32_t tag = tag_of(hash);
    for (std::size_t slot = home(tag);; slot = (slot + 1) & mask_) {
      Slot& candidate = slots_[slot];
      if (candidate.id == NONE) {
        candidate = Slot{id, tag};
        ++count_;
        return id;
      }
      if (candidate.tag == tag && equal(candidate.id)) {
        return candidate.id;
      }
    }
  }

  // Calls visit(index, hash) for every index below count, in order, with hash_of(index): each
  // hash is worked out a few indexes ahead and its slot fetched from memory meanwhile, so that
  // a large table costs little more to fill or search than a small one.
  template <typename HashOf, typename Visit>
  void for_each_hashed(std::size_t count, HashOf&& hash_of, Visit&& visit) {
    constexpr std::size_t AHEAD = 8;
    std::uint64_t hashes[AHEAD] = {};
    for (std::size_t index = 0; index < std::min(AHEAD, count); ++index) {
      hashes[index] = hash_of(index);
      prefetch(hashes[index]);
    }
    for (std::size_t index = 0; index < count; ++index) {
      const std::uint64_t hash = hashes[index % AHEAD];
      if (index + AHEAD < count) {
        hashes[index % AHEAD] = hash_of(index + AHEAD);
        prefetch(hashes[index % AHEAD]);
      }
      visit(index, hash);
    }
  }

  // A hint to the processor that the slot for `hash` is wanted soon.
  void prefetch(std::uint64_t hash) const {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(&slots_[home(tag_of(hash))]);
#else
    static_cast<void>(hash);
#endif
  }

 private:
  struct Slot {
    std::uint32_t id;
    std::uint32_t tag;  // the high half of the id's hash; its top bits pick the home slot
  };

  static std::size_t capacity_for(std::size_t count) {
    return std::bit_ceil(std::max<std::size_t>(16, count * 2));
  }
  std::size_t home(std::uint32_t tag) const {
    return static_cast<std::size_t>((std::uint64_t{tag} << 32) >> shift_);
  }

  void rebuild(std::size_t capacity) {
    std::vector<Slot> old(capacity, Slot{NONE, 0});
    old.swap(slots_);
    mask_ = capacity - 1;
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(capacity));
    for (const Slot& slot : old) {
      if (slot.id != NONE) {
        std::size_t at = home(slot.tag);
        while (slots_[at].id != NONE) {
          at = (at + 1) & mask_;
        }
        slots_[at] = slot;
      }
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
  std::size_t count_ = 0;
};

}  // namespace tarvel
