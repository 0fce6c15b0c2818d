#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/record_sink.h"
#include "image/window_cursor.h"

namespace tarvel {

// Reads a property block of `size` bytes at the cursor, to its end, and looks up the first
// "SHA1" item whose value is 82 bytes. An item that does not lie wholly inside the block ends
// the scan (the rest of the block is passed over). With `items`, every item read is handed to
// it as a name run and a value run. False only when the cursor's bytes end before the block.
bool read_property_block(WindowCursor& cursor, std::uint32_t size, RecordSink* items,
                         PropertiesEnd& out);

// The SHA1 value of a property block in memory, for an entry whose flags_c is given: false,
// with out untouched, when the entry is exempt or the block has no usable "SHA1" item.
bool find_sha1_value(std::uint32_t flags_c, std::span<const std::uint8_t> block,
                     std::u16string& out);

}  // namespace tarvel
