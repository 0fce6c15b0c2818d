// What comparing two images finds, section by section.
#pragma once

#include <cstdint>
#include <vector>

#include "compare/name_set.h"
#include "platform/case_folding.h"

namespace tarvel {

// One significant hosts line: where it lies in its image's hosts text.
struct HostsLine {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};
using HostsLines = std::vector<HostsLine>;

// The results of comparing two images, in print order. Entry sets hold paths; the application
// lists hold positions in the application list of the image named, the hosts lists lines of
// that image's hosts text.
struct Differences {
  explicit Differences(const CaseFolding& folding)
      : autorun_new(folding),
        autorun_removed(folding),
        modified(folding),
        no_sha1(folding),
        changed_status(folding) {}

  NameSet autorun_new;                  // paths of new-image entries
  std::vector<std::uint32_t> apps_new;  // new image
  HostsLines hosts_new;                 // new image
  NameSet autorun_removed;              // paths of old-image entries
  std::vector<std::uint32_t> apps_removed;  // old image
  HostsLines hosts_removed;                 // old image
  NameSet modified;        // paths of old-image entries, with their new-image match
  NameSet no_sha1;         // likewise
  NameSet changed_status;  // likewise

  bool empty() const {
    return autorun_new.empty() && apps_new.empty() && hosts_new.empty() &&
           autorun_removed.empty() && apps_removed.empty() && hosts_removed.empty() &&
           modified.empty() && no_sha1.empty() && changed_status.empty();
  }
};

}  // namespace tarvel
