// Keys crafted to collide in hash tables, for the benchmarks of worst-case shapes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarvel::bench {

// Keys crafted to collide in the unkeyed hashes that Tarvel's tables once used, to show that
// they no longer slow it down, and ordinary keys of the same lengths to compare them with.
// Every key is distinct; `colliding` false gives random keys instead.

// Entry names of 8 units that, in the given directory, shared one hash in the former entry
// index.
std::vector<std::u16string> entry_names(std::size_t count, std::u16string_view directory,
                                        bool colliding);
// Hosts lines of 16 bytes, already in lower case, that shared one std::hash value (GNU
// libstdc++) in the former hosts comparison.
std::vector<std::string> hosts_lines(std::size_t count, bool colliding);
// Application keys of 8 units that shared one std::hash value (GNU libstdc++).
std::vector<std::u16string> application_keys(std::size_t count, bool colliding);

}  // namespace tarvel::bench
