#pragma once

#include <string_view>
#include <vector>

#include "compare/differences.h"
#include "image/loaded_image.h"
#include "platform/case_folding.h"

namespace tarvel {

// The significant lines of a hosts text (read up to its first NUL), in text order: leading
// spaces, tabs and line feeds skipped, cut at the first CR or LF, lines that start with '#'
// dropped.
HostsLines split_hosts_text(std::string_view hosts_text);

// Appends to target, in source order and once per occurrence, every source line that no line
// of other equals when both are folded to lower case.
void compare_hosts_lines(std::string_view source_text, const HostsLines& source,
                         std::string_view other_text, const HostsLines& other,
                         const CaseFolding& folding, const HashKey& key, HostsLines& target);

// Appends to target, in source order, the position of every application of source that no
// application of other matches by key (exactly, unit by unit). Every application is absent from
// an empty list.
void compare_applications(const AppList& source, const AppList& other, const HashKey& key,
                          std::vector<std::uint32_t>& target);

}  // namespace tarvel
