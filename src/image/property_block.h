#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/loaded_image.h"

namespace tarvel {

// Byte length of a usable "SHA1" value: 40 UTF-16 units and their NUL.
inline constexpr std::size_t SHA1_VALUE_SIZE = 82;
// A bit of flags_c that marks an entry whose SHA-1 is not to be looked at.
inline constexpr std::uint32_t HASH_EXEMPT_C = 0x00000002;

// Looks up the first "SHA1" property with an 82-byte value in the record's property block and
// puts its text, up to its first NUL unit, into out. False, with out untouched, when the record
// is absent, exempt, or has no such property. Nothing outside the block is read: an item that
// does not lie wholly inside it ends the scan.
bool find_sha1_value(const EntryRecord* record, std::u16string& out);

}  // namespace tarvel
