// The one way from two image paths to their differences, shared by tarvel and tarvel-diff.
#pragma once

#include <filesystem>
#include <functional>

#include "compare/differences.h"
#include "image/load_image.h"
#include "image/loaded_image.h"
#include "platform/platform.h"

namespace tarvel {

// Which image of a pair.
enum class ImageRole { old_image, new_image };

// How far a comparison got.
enum class PairOutcome {
  compared,       // both images loaded and compared
  old_refused,    // old_result says why; nothing about the new image is known
  new_refused,    // new_result says why
  out_of_memory,  // both loaded, but comparing them needed more memory than there is
};

// What the caller prints while the files are worked on. Nothing else is printed.
struct PairHooks {
  // Before an image's outcome is awaited: the old image's first, the new one's only after the
  // old one has loaded.
  std::function<void(ImageRole, const std::filesystem::path&)> loading;
  // Whether "-" names standard input, and a pipe or FIFO may be an image (the companions).
  bool streams = false;
};

// Two images, loaded and compared: what a program needs to write its output.
struct ComparedPair {
  explicit ComparedPair(const CaseFolding& folding) : differences(folding) {}

  PairOutcome outcome = PairOutcome::compared;
  LoadResult old_result;
  LoadResult new_result;
  LoadedImage old_image;
  LoadedImage new_image;
  Differences differences;
};

// Opens, reads, checks and loads both images (at the same time where a second core is free),
// normalises the new image's directories and compares the two. `pair` must be made with the
// platform's case folding.
void compare_image_files(Platform& platform, const std::filesystem::path& old_path,
                         const std::filesystem::path& new_path, const PairHooks& hooks,
                         ComparedPair& pair);

}  // namespace tarvel
