// Entry changes between two images: masked status words, match guesses and the passes.
#pragma once

#include <vector>

#include "compare/differences.h"
#include "compare/entry_identity.h"
#include "support/keyed_hash.h"
#include "image/loaded_image.h"

namespace tarvel {

// The status words that are compared: flags_b dropped, flags_a and flags_c masked, flags_d
// whole.
struct MaskedStatus {
  std::uint32_t flags_a = 0;
  std::uint32_t flags_b = 0;
  std::uint32_t flags_c = 0;
  std::uint32_t flags_d = 0;

  friend bool operator==(const MaskedStatus&, const MaskedStatus&) = default;
};
MaskedStatus mask_status(const EntryRow& row);

// For each old entry, a new entry with the same key where one stands where it most likely
// does: just after the last one found, or one or two further on. IdTable::NONE where none
// does. Needs no index, so it can run while the index is built.
std::vector<std::uint32_t> guess_matches(const EntryTable& old_table, const EntryTable& new_table);

// Fills the five entry sets from the two tables (the new one's directories already
// normalised), given an index of the new table and, where they were made already, the guesses.
// On two cores the work is shared between two threads; the sets come out as one thread would
// fill them.
void detect_entry_changes(const EntryTable& old_table, const EntryTable& new_table,
                          const EntryIndex& new_index, Differences& differences,
                          std::vector<std::uint32_t> guesses = {});

}  // namespace tarvel
