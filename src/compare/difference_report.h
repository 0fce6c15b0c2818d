#pragma once

#include <string_view>
#include <vector>

#include "compare/name_set.h"
#include "image/loaded_image.h"
#include "platform/case_folding.h"
#include "platform/console.h"

namespace tarvel {

// The significant lines of one hosts text, in text order; each views the image's hosts text.
using HostsLines = std::vector<std::string_view>;
using AppList = std::vector<const AppRecord*>;

// The results of one run, in print order. The application and hosts lists refer into the loaded
// images, which must outlive the report's printing.
struct DifferenceReport {
  explicit DifferenceReport(const CaseFolding& folding)
      : autorun_new(folding),
        autorun_removed(folding),
        modified(folding),
        no_sha1(folding),
        changed_status(folding) {}

  NameSet autorun_new;
  AppList apps_new;
  HostsLines hosts_new;
  NameSet autorun_removed;
  AppList apps_removed;
  HostsLines hosts_removed;
  NameSet modified;
  NameSet no_sha1;
  NameSet changed_status;

  HostsLines old_hosts_lines;
  HostsLines new_hosts_lines;
};

// Prints every non-empty section in the fixed order. Text that comes from an image has its
// control characters shown as '?', so a crafted image cannot forge or hide report lines.
void print_report(const DifferenceReport& report, Console& console);

}  // namespace tarvel
