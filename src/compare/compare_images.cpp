// Comparing two loaded images: the entry passes, hosts lines and applications.
#include "compare/compare_images.h"

#include <memory>

#include "compare/entry_changes.h"
#include "compare/entry_identity.h"
#include "compare/hosts_and_apps.h"
#include "compare/parallel.h"

namespace tarvel {

void compare_images(const LoadedImage& old_image, LoadedImage& new_image,
                    const CaseFolding& folding, const TableHash& hash, Differences& differences) {
  // Guessing where old entries stand in the new table, indexing the new table, and comparing
  // hosts lines and applications need nothing from each other.
  std::unique_ptr<EntryIndex> new_index;
  std::vector<std::uint32_t> guesses;
  in_parallel(
      old_image.entries.size() + new_image.entries.size(),
      [&] { guesses = guess_matches(old_image.entries, new_image.entries); },
      [&] {
        new_index = std::make_unique<EntryIndex>(new_image.entries, hash);
        new_image.entries.drop_key_tags();
        const HostsLines old_lines = split_hosts_text(old_image.hosts);
        const HostsLines new_lines = split_hosts_text(new_image.hosts);
        compare_hosts_lines(old_image.hosts, old_lines, new_image.hosts, new_lines, folding, hash,
                            differences.hosts_new, differences.hosts_removed);
        compare_applications(old_image.apps, new_image.apps, hash, differences.apps_new,
                             differences.apps_removed);
      });
  detect_entry_changes(old_image.entries, new_image.entries, *new_index, differences,
                       std::move(guesses));
  // Sets put themselves in order when first read, a large one on both threads.
  differences.autorun_new.sort();
  differences.autorun_removed.sort();
  differences.modified.sort();
  differences.no_sha1.sort();
  differences.changed_status.sort();
}

}  // namespace tarvel
