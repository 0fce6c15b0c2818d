// Hosts lines and applications compared in both directions.
#pragma once

#include <string_view>
#include <vector>

#include "compare/differences.h"
#include "support/keyed_hash.h"
#include "image/loaded_image.h"
#include "platform/case_folding.h"

namespace tarvel {

// The significant lines of a hosts text, in text order, as HostsLineSplitter cuts them.
HostsLines split_hosts_text(std::string_view hosts_text);

// Appends to `added`, in new-text order and once per occurrence, every new line that no old
// line equals when both are folded to lower case; and to `removed` likewise every old line that
// no new line equals.
void compare_hosts_lines(std::string_view old_text, const HostsLines& old_lines,
                         std::string_view new_text, const HostsLines& new_lines,
                         const CaseFolding& folding, const TableHash& hash, HostsLines& added,
                         HostsLines& removed);

// Appends to `added`, in list order, the position of every new application that no old
// application matches by key (exactly, unit by unit), and to `removed` every old application
// that no new one matches. Every application is absent from an empty list.
void compare_applications(const AppList& old_apps, const AppList& new_apps, const TableHash& hash,
                          std::vector<std::uint32_t>& added, std::vector<std::uint32_t>& removed);

}  // namespace tarvel
