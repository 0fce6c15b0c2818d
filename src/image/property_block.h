// Reading an entry's property block and the SHA1 value in it.
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
// `out` may hold the last block's findings: they are replaced.
bool read_property_block(WindowCursor& cursor, std::uint32_t size, RecordSink* items,
                         PropertiesEnd& out);

}  // namespace tarvel
