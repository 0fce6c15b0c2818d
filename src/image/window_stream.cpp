// Reading a file through reused windows, hashed on a reading thread where there is a core.
#include "image/window_stream.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#if defined(__SANITIZE_ADDRESS__)
#define TARVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVEL_ASAN 1
#endif
#endif
#if defined(TARVEL_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace tarvel {

namespace {

// Windows smaller than this would only slow reading down; tests use small ones to put field
// boundaries everywhere.
constexpr std::size_t SMALLEST_WINDOW = 16;

// The unfilled end of a window is off limits, so that the address sanitizer catches a parser
// that reads past the bytes a window really holds.
void mark_unfilled(const std::uint8_t* window, std::size_t filled, std::size_t capacity) {
#if defined(TARVEL_ASAN)
  ASAN_UNPOISON_MEMORY_REGION(window, capacity);
  ASAN_POISON_MEMORY_REGION(window + filled, capacity - filled);
#else
  static_cast<void>(window);
  static_cast<void>(filled);
  static_cast<void>(capacity);
#endif
}

}  // namespace

WindowBuffers::WindowBuffers(std::size_t window, std::size_t count, std::uint64_t viewed_from)
    : largest_(std::max(window, SMALLEST_WINDOW)),
      viewed_from_(viewed_from),
      windows_(std::max<std::size_t>(count, 2)) {}

void WindowBuffers::prepare(std::uint64_t file_size) {
  const auto wanted =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(file_size, SMALLEST_WINDOW, largest_));
  if (wanted <= size_) {
    return;
  }
  size_ = wanted;
  for (auto& buffer : windows_) {
    buffer = std::make_unique_for_overwrite<std::uint8_t[]>(size_);
  }
}

FileWindowStream::FileWindowStream(InputFile& file, WindowBuffers& buffers, bool threaded,
                                   const std::atomic<bool>* abandon,
                                   const std::atomic<bool>* core_freed)
    : file_(file),
      buffers_(buffers),
      abandon_(abandon),
      core_freed_(core_freed),
      filled_(buffers.count()) {
  buffers_.prepare(file.size());
  // A file that fits in one window gains nothing from a second thread. Windows that cross
  // between threads are used whole: larger ones mean fewer hand-overs.
  const bool threading = threaded && file.size() > buffers_.window_size();
  window_ = threading ? buffers_.window_size()
                      : std::min(buffers_.window_size(), WindowBuffers::INLINE_WINDOW);
  viewing_ = !threading && file.size() >= buffers_.viewed_from();
  if (threading) {
    try {
      producer_ = std::thread(&FileWindowStream::produce, this);
    } catch (const std::system_error&) {
      // No thread to be had: read and hash in the caller's thread instead.
    }
  }
}

FileWindowStream::~FileWindowStream() {
  stop_producer();
  stop_hasher();
}

void FileWindowStream::stop_hasher() {
  if (hasher_.joinable()) {
    stop_hashing_ = true;
    hasher_.join();
  }
}

void FileWindowStream::stop_producer() {
  if (producer_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      cancelled_ = true;
    }
    changed_.notify_all();
    producer_.join();
  }
}

std::size_t FileWindowStream::fill(std::uint8_t* window) {
  if (abandoned()) {
    // The file is left unread: it can no more be read whole.
    read_failed_ = true;
    return 0;
  }
  const std::uint64_t size = file_.size();
  const auto wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(window_, size - read_so_far_));
  mark_unfilled(window, wanted, slot_capacity());
  std::size_t got = 0;
  while (got < wanted) {
    const std::ptrdiff_t count = file_.read({window + got, wanted - got});
    if (count <= 0) {
      // An error, or a file that ends before the size it had when it was opened.
      read_failed_ = true;
      mark_unfilled(window, got, slot_capacity());
      return got;
    }
    got += static_cast<std::size_t>(count);
  }
  take_in(window, got);
  return got;
}

// Counts `got` bytes that follow what was read so far, hashing those the digest covers and
// keeping those of the trailer.
void FileWindowStream::take_in(const std::uint8_t* window, std::size_t got) {
  const std::uint64_t size = file_.size();
  const std::uint64_t start = read_so_far_;
  read_so_far_ += got;
  // The version word decides whether there is a trailer whose digest covers the rest.
  if (start == 0 && got >= VERSION_SIZE) {
    const auto version = static_cast<std::uint16_t>(window[0] | (window[1] << 8));
    hashing_ = file_has_trailer(version, size);
    if (hashing_) {
      digest_ = Sha256();
    }
  }
  if (size >= TRAILER_SIZE) {
    const std::uint64_t trailer_start = size - TRAILER_SIZE;
    if (hashing_ && !hashed_elsewhere_ && start < trailer_start) {
      const auto covered =
          static_cast<std::size_t>(std::min<std::uint64_t>(got, trailer_start - start));
      digest_.update({window, covered});
    }
    if (read_so_far_ > trailer_start) {
      const std::uint64_t from = std::max(start, trailer_start);
      std::memcpy(end_.trailer.data() + (from - trailer_start), window + (from - start),
                  static_cast<std::size_t>(read_so_far_ - from));
    }
  }
}

void FileWindowStream::produce() {
  const std::size_t count = buffers_.count();
  while (true) {
    std::uint64_t slot = 0;
    {
      std::unique_lock lock(mutex_);
      // A window is free once the caller has given it back; the one it holds is not.
      changed_.wait(lock, [&] { return cancelled_ || produced_ - consumed_ < count; });
      if (cancelled_) {
        return;
      }
      slot = produced_ % count;
    }
    if (read_failed_ || read_so_far_ == file_.size()) {
      break;
    }
    const std::size_t size = fill(slot_window(static_cast<std::size_t>(slot)));
    {
      const std::lock_guard lock(mutex_);
      filled_[static_cast<std::size_t>(slot)].size = size;
      if (size != 0) {
        ++produced_;
      }
    }
    changed_.notify_all();
    if (size == 0) {
      break;
    }
  }
  {
    const std::lock_guard lock(mutex_);
    producer_done_ = true;
  }
  changed_.notify_all();
}

std::span<const std::uint8_t> FileWindowStream::next() {
  return producer_.joinable() ? next_threaded() : next_inline();
}

bool FileWindowStream::start_producer_midway() {
  core_freed_ = nullptr;  // asked once
  // A thread is worth starting for a few windows' reading and hashing, not for the last one.
  if (file_.size() - read_so_far_ <= 2 * buffers_.window_size()) {
    return false;
  }
  // The ring is cut from the part of the first window that inline reading used: it stays in
  // the cache the two cores share (1 MiB windows left the parser reading from memory), and no
  // more memory is touched than before.
  const std::size_t inline_window = window_;
  window_ = std::max<std::size_t>(1, inline_window / buffers_.count());
  carved_ = true;
  try {
    // The caller has given back the window it held: the ring starts empty at its first slot.
    producer_ = std::thread(&FileWindowStream::produce, this);
  } catch (const std::system_error&) {
    window_ = inline_window;
    carved_ = false;
    return false;
  }
  return true;
}

std::span<const std::uint8_t> FileWindowStream::next_inline() {
  // Bytes of a view that the file lost while they were being hashed or parsed read as zeros:
  // the file cannot be read whole. Only views are ever cut short, and only inline.
  if (file_.cut_short()) {
    read_failed_ = true;
  }
  if (read_failed_ || read_so_far_ == file_.size()) {
    return {};
  }
  // A stream that left its views for read() has already moved the file's position on.
  if (core_freed_ != nullptr && core_freed_->load(std::memory_order_relaxed)) {
    if (viewing_) {
      hand_hashing_over();
    } else if (start_producer_midway()) {
      return next_threaded();
    }
  }
  if (viewing_) {
    const std::span<const std::uint8_t> window = next_viewed();
    if (!window.empty() || read_failed_) {
      return window;
    }
  }
  std::uint8_t* const window = buffers_.window(0);
  return {window, fill(window)};
}

void FileWindowStream::hand_hashing_over() {
  if (read_so_far_ == 0) {
    return;  // whether there is a digest to compute is known from the first window on
  }
  core_freed_ = nullptr;  // asked once
  // A thread is worth starting for a few windows' hashing, not for the last one.
  if (!hashing_ || file_.size() - read_so_far_ <= 2 * buffers_.window_size()) {
    return;
  }
  try {
    hasher_ = std::thread(&FileWindowStream::hash_rest, this, read_so_far_);
    hashed_elsewhere_ = true;
  } catch (const std::system_error&) {
    // No thread to be had: hashing goes on here.
  }
}

// On the hashing thread: everything the digest covers from `from` on, through views of the
// hashing slot. The parser's thread touches the digest only once this has been joined.
void FileWindowStream::hash_rest(std::uint64_t from) {
  const std::uint64_t covered_end = file_.size() - TRAILER_SIZE;
  const std::uint64_t span = view_span();
  for (std::uint64_t at = from; at < covered_end;) {
    if (abandoned() || stop_hashing_.load(std::memory_order_relaxed)) {
      hashing_failed_ = true;
      break;
    }
    const auto length = static_cast<std::size_t>(std::min(span, covered_end - at));
    const std::span<const std::uint8_t> view = file_.view(ViewSlot::hashing, at, length);
    if (view.empty()) {
      // The system gave a view of this file before but none now: the file cannot be read whole.
      hashing_failed_ = true;
      break;
    }
    digest_.update(view);
    at += length;
  }
  file_.view(ViewSlot::hashing, 0, 0);
}

std::span<const std::uint8_t> FileWindowStream::next_viewed() {
  if (abandoned()) {
    read_failed_ = true;
    return {};
  }
  const std::uint64_t size = file_.size();
  if (read_so_far_ >= viewed_at_ + viewed_.size()) {
    // A view spans many windows: fewer calls to the system, and the view's pages stay few.
    viewed_ = file_.view(ViewSlot::parsing, read_so_far_,
                         static_cast<std::size_t>(std::min(view_span(), size - read_so_far_)));
    viewed_at_ = read_so_far_;
    if (viewed_.empty()) {
      // No view to be had: reading goes on from here, where the views left off.
      viewing_ = false;
      read_failed_ = viewed_any_ && !file_.seek(read_so_far_);
      return {};
    }
    viewed_any_ = true;
  }
  const std::uint8_t* window = viewed_.data() + (read_so_far_ - viewed_at_);
  const auto got = static_cast<std::size_t>(
      std::min<std::uint64_t>(window_, viewed_at_ + viewed_.size() - read_so_far_));
  take_in(window, got);
  return {window, got};
}

std::span<const std::uint8_t> FileWindowStream::next_threaded() {
  std::unique_lock lock(mutex_);
  if (holding_) {
    ++consumed_;
    holding_ = false;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] { return produced_ > consumed_ || producer_done_; });
  if (produced_ == consumed_) {
    return {};
  }
  holding_ = true;
  const auto slot = static_cast<std::size_t>(consumed_ % buffers_.count());
  return {slot_window(slot), filled_[slot].size};
}

StreamEnd FileWindowStream::finish() {
  while (!next().empty()) {
  }
  stop_producer();
  if (hasher_.joinable()) {
    hasher_.join();
    // Bytes the file lost after the parser had seen them may have been hashed as zeros.
    read_failed_ = read_failed_ || hashing_failed_ || file_.cut_short();
  }
  if (viewed_any_) {
    // The last view's pages are let go of now rather than when the file is closed: they would
    // count towards the memory the comparison uses.
    viewed_ = file_.view(ViewSlot::parsing, 0, 0);
  }
  end_.read_whole = !read_failed_ && read_so_far_ == file_.size();
  if (hashing_ && end_.read_whole) {
    end_.digest = digest_.finish();
    end_.digest_computed = true;
  }
  return end_;
}

}  // namespace tarvel
