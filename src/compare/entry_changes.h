#pragma once

#include <cstdint>

#include "compare/difference_report.h"
#include "compare/entry_identity.h"
#include "image/loaded_image.h"

namespace tarvel {

// Bits of flags_a that make an entry an autorun entry.
inline constexpr std::uint32_t AUTORUN_BITS = 0x0002231C;
// A bit of flags_a that exempts an entry from the SHA-1 comparison.
inline constexpr std::uint32_t HASH_EXEMPT_A = 0x00000400;
// The bits of flags_a and flags_c that a status comparison looks at.
inline constexpr std::uint32_t STATUS_KEEP_A = 0x7FBAE77C;
inline constexpr std::uint32_t STATUS_KEEP_C = 0xFDFF6592;

// Keeps only the status bits that are compared; flags_b is dropped and flags_d kept whole.
void mask_status(EntryRecord& record);

// Fills the five entry sets of the report from the two tables. Normalises every new-image
// directory and masks the status words of every matched pair, in place.
void detect_entry_changes(EntryTable& old_table, EntryTable& new_table, const DriveMap& drive_map,
                          DifferenceReport& report);

}  // namespace tarvel
