// Entry changes: matching old and new entries, then SHA-1, status and autorun differences.
#include "compare/entry_changes.h"

#include <algorithm>
#include <string>

#include "compare/entry_identity.h"
#include "compare/parallel.h"
#include "image/format.h"

namespace tarvel {

namespace {

bool is_autorun(const EntryRow& row) { return (row.flags_a & AUTORUN_BITS) != 0; }

bool has_status(const EntryRow& row) {
  return (row.flags_a | row.flags_b | row.flags_c | row.flags_d) != 0;
}

bool is_hash_exempt(const EntryRow& row) {
  return (row.flags_a & HASH_EXEMPT_A) != 0 || (row.flags_c & HASH_EXEMPT_C) != 0;
}

// Lists, for the old entries in [begin, end), the matched entries whose SHA-1 values differ
// or are missing, and those whose masked status words differ.
void compare_status(const EntryTable& old_table, const EntryTable& new_table,
                    const std::vector<std::uint32_t>& new_match, std::size_t begin,
                    std::size_t end, NameSet& no_sha1, NameSet& modified,
                    NameSet& changed_status) {
  std::u16string path;
  for (std::size_t index = begin; index < end; ++index) {
    const EntryRow& old_row = old_table[index];
    const std::uint32_t match = new_match[index];
    if (!has_status(old_row) || match == IdTable::NONE) {
      continue;
    }
    const EntryRow& new_row = new_table[match];
    // The path is built only for an entry that is listed.
    auto list = [&, built = false](NameSet& set) mutable {
      if (!built) {
        build_full_path(old_table, old_row, path);
        built = true;
      }
      set.insert(path, static_cast<std::uint32_t>(index), match);
    };
    if (!is_hash_exempt(old_row) && !is_hash_exempt(new_row)) {
      if (old_row.sha1_form == Sha1Form::none || new_row.sha1_form == Sha1Form::none) {
        list(no_sha1);
      } else if (!old_table.same_sha1(old_row, new_table, new_row)) {
        list(modified);
      }
    }
    if (mask_status(old_row) != mask_status(new_row)) {
      list(changed_status);
    }
  }
}

}  // namespace

MaskedStatus mask_status(const EntryRow& row) {
  return {row.flags_a & STATUS_KEEP_A, 0, row.flags_c & STATUS_KEEP_C, row.flags_d};
}

std::vector<std::uint32_t> guess_matches(const EntryTable& old_table,
                                         const EntryTable& new_table) {
  constexpr std::size_t LOOK_AHEAD = 3;
  std::vector<std::uint32_t> guesses(old_table.size(), IdTable::NONE);
  std::size_t hint = 0;  // where the next match most likely stands in the new table
  for (std::size_t index = 0; index < old_table.size(); ++index) {
    const EntryRow& row = old_table[index];
    for (std::size_t at = hint; at < std::min(hint + LOOK_AHEAD, new_table.size()); ++at) {
      if (same_key(old_table, row, new_table, new_table[at])) {
        guesses[index] = static_cast<std::uint32_t>(at);
        hint = at + 1;
        break;
      }
    }
  }
  return guesses;
}

namespace {

// For each old entry, the first new entry with its key (what a front-to-back scan of the new
// table finds). Where a guess found the key, the first entry with it is known without hashing.
std::vector<std::uint32_t> match_old_entries(const EntryTable& old_table,
                                             const EntryIndex& new_index,
                                             const std::vector<std::uint32_t>& guesses) {
  const std::size_t old_count = old_table.size();
  std::vector<std::uint32_t> new_match(old_count, IdTable::NONE);
  const auto match_range = [&](std::size_t begin, std::size_t end) {
    for (std::size_t index = begin; index < end; ++index) {
      const std::uint32_t guess = guesses[index];
      new_match[index] = guess != IdTable::NONE
                             ? new_index.first_of_key(guess)
                             : new_index.find(key_of(old_table, old_table[index]));
    }
  };
  const std::size_t half = old_count / 2;
  in_parallel(old_count, [&] { match_range(0, half); }, [&] { match_range(half, old_count); });
  return new_match;
}

// For each new entry that is the first with its key, the first old entry with that key.
std::vector<std::uint32_t> match_new_keys(const std::vector<std::uint32_t>& new_match,
                                          std::size_t new_count) {
  std::vector<std::uint32_t> old_match(new_count, IdTable::NONE);
  for (std::size_t index = 0; index < new_match.size(); ++index) {
    const std::uint32_t match = new_match[index];
    if (match != IdTable::NONE && old_match[match] == IdTable::NONE) {
      old_match[match] = static_cast<std::uint32_t>(index);
    }
  }
  return old_match;
}

// Autorun entries new in the new image: absent from the old one, or not autorun there.
void list_new_autoruns(const EntryTable& old_table, const EntryTable& new_table,
                       const EntryIndex& new_index, const std::vector<std::uint32_t>& old_match,
                       NameSet& autorun_new) {
  std::u16string path;
  for (std::size_t index = 0; index < new_table.size(); ++index) {
    const EntryRow& row = new_table[index];
    if (!is_autorun(row)) {
      continue;
    }
    const std::uint32_t match = old_match[new_index.first_of_key(index)];
    if (match == IdTable::NONE || !is_autorun(old_table[match])) {
      build_full_path(new_table, row, path);
      autorun_new.insert(path, NameSet::NO_ENTRY, static_cast<std::uint32_t>(index));
    }
  }
}

// Autorun entries removed from the new image, or not autorun there.
void list_removed_autoruns(const EntryTable& old_table, const EntryTable& new_table,
                           const std::vector<std::uint32_t>& new_match,
                           NameSet& autorun_removed) {
  std::u16string path;
  for (std::size_t index = 0; index < old_table.size(); ++index) {
    const EntryRow& row = old_table[index];
    const std::uint32_t match = new_match[index];
    if (is_autorun(row) && (match == IdTable::NONE || !is_autorun(new_table[match]))) {
      build_full_path(old_table, row, path);
      autorun_removed.insert(path, static_cast<std::uint32_t>(index));
    }
  }
}

}  // namespace

void detect_entry_changes(const EntryTable& old_table, const EntryTable& new_table,
                          const EntryIndex& new_index, Differences& differences,
                          std::vector<std::uint32_t> guesses) {
  // One look-up per old entry answers every question the passes ask.
  const std::size_t old_count = old_table.size();
  if (guesses.size() != old_count) {
    guesses = guess_matches(old_table, new_table);
  }
  const std::vector<std::uint32_t> new_match = match_old_entries(old_table, new_index, guesses);

  // The second half's status results go into sets of their own, added after the first half's:
  // the sets then hold what one pass from front to back would have put in them.
  const std::size_t half = old_count / 2;
  const CaseFolding& folding = differences.no_sha1.folding();
  NameSet later_no_sha1(folding);
  NameSet later_modified(folding);
  NameSet later_changed(folding);
  in_parallel(
      old_count,
      [&] {
        compare_status(old_table, new_table, new_match, 0, half, differences.no_sha1,
                       differences.modified, differences.changed_status);
        list_removed_autoruns(old_table, new_table, new_match, differences.autorun_removed);
      },
      [&] {
        compare_status(old_table, new_table, new_match, half, old_count, later_no_sha1,
                       later_modified, later_changed);
        const std::vector<std::uint32_t> old_match = match_new_keys(new_match, new_table.size());
        list_new_autoruns(old_table, new_table, new_index, old_match, differences.autorun_new);
      });
  differences.no_sha1.append(std::move(later_no_sha1));
  differences.modified.append(std::move(later_modified));
  differences.changed_status.append(std::move(later_changed));
}

}  // namespace tarvel
