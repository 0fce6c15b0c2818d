// Loading the two images of a comparison, at the same time where a core is free.
#include "app/image_pair.h"

#include "app/companion_input.h"

#include <system_error>
#include <utility>

#include "image/table_sink.h"
#include "platform/cores.h"

namespace tarvel {

namespace {

// With both images loading, each already keeps a core busy; a reading thread of its own only
// pays where there are cores beyond those two.
bool reading_threads_beside_both_loads() { return std::thread::hardware_concurrency() >= 4; }

}  // namespace

OpenedImage open_image(Platform& platform, const std::filesystem::path& path, bool streams) {
  OpenedFile opened = streams ? open_companion_image(platform, path) : platform.open_file(path);
  OpenedImage image{std::move(opened.file), {}};
  if (!image.file) {
    image.refusal.read_failure = read_failure_of(opened.failure);
    image.refusal.reason = opened.reason;
  }
  return image;
}

ImagePairLoader::ImagePairLoader(Platform& platform, const std::filesystem::path& old_path,
                                 const std::filesystem::path& new_path, LoadedImage& old_image,
                                 LoadedImage& new_image, DirectoryRewrite new_rewrite)
    : platform_(platform),
      old_path_(old_path),
      new_path_(new_path),
      old_image_(old_image),
      new_image_(new_image),
      new_rewrite_(std::move(new_rewrite)) {}

ImagePairLoader::~ImagePairLoader() {
  if (ahead_.joinable()) {
    abandon_.store(true);
    ahead_.join();
  }
}

LoadResult ImagePairLoader::load_old() {
  const OpenedImage opened = open_image(platform_, old_path_, streams_);
  if (!opened.file) {
    return opened.refusal;
  }
  if (opened.file->size() > LOAD_AHEAD_SIZE && second_core_available()) {
    start_ahead();
  }
  TableSink sink(old_image_);
  const bool threaded = !ahead_.joinable() || reading_threads_beside_both_loads();
  const LoadOptions options{.threaded = threaded, .core_freed = &new_core_freed_};
  return ImageLoader(old_windows_, options).load(*opened.file, sink);
}

void ImagePairLoader::start_ahead() {
  // Opening never blocks; a new image that cannot be opened is reported when asked for.
  new_file_ = open_image(platform_, new_path_, streams_);
  new_opened_ = true;
  if (!new_file_.file) {
    return;
  }
  try {
    ahead_ = std::thread([this] {
      try {
        TableSink sink(new_image_, new_rewrite_);
        const LoadOptions options{.threaded = reading_threads_beside_both_loads(),
                                  .abandon = &abandon_,
                                  .core_freed = &old_core_freed_};
        new_result_ = ImageLoader(new_windows_, options).load(*new_file_.file, sink);
      } catch (...) {
        new_failure_ = std::current_exception();
      }
      new_core_freed_.store(true);
      new_file_.file.reset();
    });
  } catch (const std::system_error&) {
    // No thread to be had: the new image loads after the old one, from the file opened here.
  }
}

LoadResult ImagePairLoader::load_new() {
  if (ahead_.joinable()) {
    // This thread only waits from here on.
    old_core_freed_.store(true);
    ahead_.join();
    if (new_failure_) {
      std::rethrow_exception(new_failure_);
    }
    return new_result_;
  }
  if (!new_opened_) {
    new_file_ = open_image(platform_, new_path_, streams_);
    new_opened_ = true;
  }
  if (!new_file_.file) {
    return new_file_.refusal;
  }
  TableSink sink(new_image_, new_rewrite_);
  LoadResult result = ImageLoader(old_windows_).load(*new_file_.file, sink);
  new_file_.file.reset();
  return result;
}

}  // namespace tarvel
