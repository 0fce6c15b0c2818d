// Opening an image, and loading the two images of a comparison, at once where a core is free.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

#include "image/load_image.h"
#include "image/loaded_image.h"
#include "platform/platform.h"

namespace tarvel {

// Opens an image file as every program does, never blocking; where it is refused, `refusal`
// says why as a load result would.
struct OpenedImage {
  std::unique_ptr<InputFile> file;
  LoadResult refusal;
};
// With `streams`, as the companions open images: "-" is standard input, and a pipe or FIFO is
// read into a private temporary file.
OpenedImage open_image(Platform& platform, const std::filesystem::path& path,
                       bool streams = false);

// Loads the two images of a comparison. Where a second core is free and the old image is large
// enough to pay for a thread, the new image loads on a thread of its own while the old one
// loads, each with its own windows, reading, hashing and parsing; otherwise one after the
// other. Nothing about the new image is known to the caller until it asks: when the old image
// fails, a new image already under way is abandoned and its file closed. The load that ends
// first lends its core to the other's reading and hashing.
class ImagePairLoader {
 public:
  // An old image larger than this is worth a second thread for the new one: below it, the
  // thread and its own heap cost more memory than the time they save.
  static constexpr std::uint64_t LOAD_AHEAD_SIZE = std::uint64_t{4} << 20;

  // `new_rewrite` is applied to every directory of the new image before it is kept.
  ImagePairLoader(Platform& platform, const std::filesystem::path& old_path,
                  const std::filesystem::path& new_path, LoadedImage& old_image,
                  LoadedImage& new_image, DirectoryRewrite new_rewrite);
  ImagePairLoader(const ImagePairLoader&) = delete;
  ImagePairLoader& operator=(const ImagePairLoader&) = delete;
  // Abandons a new image still loading and waits for its thread.
  ~ImagePairLoader();

  // Takes images as the companion programs do (see open_companion_image): "-" is standard
  // input, and pipes and FIFOs are read as they stream. Before load_old.
  void take_streams() { streams_ = true; }

  // Opens and loads the old image; the new one may start loading meanwhile.
  LoadResult load_old();
  // The new image's result, once the old one has loaded: waits for it, or loads it now.
  LoadResult load_new();

 private:
  void start_ahead();

  Platform& platform_;
  const std::filesystem::path& old_path_;
  const std::filesystem::path& new_path_;
  LoadedImage& old_image_;
  LoadedImage& new_image_;
  DirectoryRewrite new_rewrite_;
  bool streams_ = false;
  WindowBuffers old_windows_;
  WindowBuffers new_windows_;

  bool new_opened_ = false;  // new_file_ holds what opening the new image gave
  OpenedImage new_file_;
  LoadResult new_result_;
  std::exception_ptr new_failure_;
  std::atomic<bool> abandon_{false};
  // Whichever load ends first frees its core for the other's reading and hashing.
  std::atomic<bool> old_core_freed_{false};
  std::atomic<bool> new_core_freed_{false};
  std::thread ahead_;
};

}  // namespace tarvel
