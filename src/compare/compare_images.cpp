#include "compare/compare_images.h"

#include "compare/entry_changes.h"
#include "compare/hosts_and_apps.h"

namespace tarvel {

void compare_images(LoadedImage& old_image, LoadedImage& new_image, const CaseFolding& folding,
                    const HashKey& key, Differences& differences) {
  detect_entry_changes(old_image.entries, new_image.entries, differences);

  const HostsLines old_lines = split_hosts_text(old_image.hosts);
  const HostsLines new_lines = split_hosts_text(new_image.hosts);
  compare_hosts_lines(old_image.hosts, old_lines, new_image.hosts, new_lines, folding, key,
                      differences.hosts_new, differences.hosts_removed);
  compare_applications(old_image.apps, new_image.apps, key, differences.apps_new,
                       differences.apps_removed);
}

}  // namespace tarvel
