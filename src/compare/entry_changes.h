#pragma once

#include "compare/differences.h"
#include "image/loaded_image.h"

namespace tarvel {

// Keeps only the status bits that are compared; flags_b is dropped and flags_d kept whole.
void mask_status(EntryRow& row);

// Fills the five entry sets from the two tables (the new one's directories already
// normalised), and masks the status words of every matched pair in place.
void detect_entry_changes(EntryTable& old_table, EntryTable& new_table,
                          Differences& differences);

}  // namespace tarvel
