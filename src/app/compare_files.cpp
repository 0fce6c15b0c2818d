// The one way from two image paths to their differences, shared by tarvel and tarvel-diff.
#include "app/compare_files.h"

#include <new>
#include <optional>

#include "app/image_pair.h"
#include "compare/compare_images.h"
#include "compare/entry_identity.h"

namespace tarvel {

namespace {

// The rewrite that new-image directories get before they are matched and printed.
DirectoryRewrite normalise_with(const DriveMap& drive_map) {
  return {[&drive_map](std::span<char16_t> directory) {
            normalise_directory(directory, drive_map);
          },
          [&drive_map](std::span<unsigned char> directory) {
            return normalise_directory(directory, drive_map);
          }};
}

// Keeps a table's key tags for as long as this call holds their hash, whichever way it ends.
class KeyTagsDuringCall {
 public:
  KeyTagsDuringCall(EntryTable& table, const TableHash& hash) : table_(table) {
    table_.keep_key_tags(hash);
  }
  KeyTagsDuringCall(const KeyTagsDuringCall&) = delete;
  KeyTagsDuringCall& operator=(const KeyTagsDuringCall&) = delete;
  ~KeyTagsDuringCall() { table_.drop_key_tags(); }

 private:
  EntryTable& table_;
};

}  // namespace

void compare_image_files(Platform& platform, const std::filesystem::path& old_path,
                         const std::filesystem::path& new_path, const PairHooks& hooks,
                         ComparedPair& pair) {
  const auto loading = [&](ImageRole role, const std::filesystem::path& path) {
    if (hooks.loading) {
      hooks.loading(role, path);
    }
  };
  const DriveMap drive_map = identity_drive_map();
  // The new table is indexed by entry key once loaded; each key is hashed as it is kept. The
  // loader below, which may still be filling the table, goes first when this call ends. Memory
  // that runs out for the hash is said where comparing starts, after both images have loaded.
  std::optional<TableHash> hash;
  std::optional<KeyTagsDuringCall> tags;
  try {
    hash.emplace(platform.hash_key());
    tags.emplace(pair.new_image.entries, *hash);
  } catch (const std::bad_alloc&) {
    hash.reset();
  }
  // New-image directories are matched and printed in their normalised form. The new image may
  // load while the old one does; what the caller hears about it waits until the old one has
  // loaded.
  ImagePairLoader images(platform, old_path, new_path, pair.old_image, pair.new_image,
                         normalise_with(drive_map));
  if (hooks.streams) {
    images.take_streams();
  }
  loading(ImageRole::old_image, old_path);
  pair.old_result = images.load_old();
  if (!pair.old_result.ok()) {
    pair.outcome = PairOutcome::old_refused;
    return;
  }
  loading(ImageRole::new_image, new_path);
  pair.new_result = images.load_new();
  if (!pair.new_result.ok()) {
    pair.outcome = PairOutcome::new_refused;
    return;
  }
  if (!hash) {
    pair.outcome = PairOutcome::out_of_memory;
    return;
  }
  try {
    compare_images(pair.old_image, pair.new_image, platform.case_folding(), *hash,
                   pair.differences);
  } catch (const std::bad_alloc&) {
    // Sets too large for this machine's memory: no output rather than a wrong one.
    pair.outcome = PairOutcome::out_of_memory;
    return;
  }
  pair.outcome = PairOutcome::compared;
}

}  // namespace tarvel
