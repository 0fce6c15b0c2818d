// Window sources, the reused window buffers and the file window stream.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "image/format.h"
#include "image/sha256.h"
#include "platform/input_file.h"

namespace tarvel {

// Bytes handed out in order, one window at a time. A window stays valid until the next call.
class WindowSource {
 public:
  WindowSource() = default;
  WindowSource(const WindowSource&) = delete;
  WindowSource& operator=(const WindowSource&) = delete;
  virtual ~WindowSource() = default;

  // The next window; empty at the end of the bytes (or when they cannot be read any further).
  virtual std::span<const std::uint8_t> next() = 0;
};

// The fixed memory that reading a file goes through, kept for the next file: a few windows,
// so that one thread can read and hash the next while another parses the last. A window is
// never larger than the largest file read through it.
class WindowBuffers {
 public:
  static constexpr std::size_t DEFAULT_WINDOW = std::size_t{1} << 20;
  static constexpr std::size_t DEFAULT_COUNT = 4;
  // The most a window holds where one thread reads, hashes and parses it: one that stays in
  // the core's own cache from the copy to the parser pays more than fewer, larger reads.
  static constexpr std::size_t INLINE_WINDOW = std::size_t{64} << 10;

  // Files from this size on are seen through views where the system has them, instead of
  // being copied into the windows: the copy they save grows with the file, while the pages a
  // view holds (up to 4 MiB) would count towards a small comparison's memory.
  static constexpr std::uint64_t DEFAULT_VIEWED_FROM = std::uint64_t{64} << 20;

  explicit WindowBuffers(std::size_t window = DEFAULT_WINDOW, std::size_t count = DEFAULT_COUNT,
                         std::uint64_t viewed_from = DEFAULT_VIEWED_FROM);
  // Makes the windows ready for a file of `file_size` bytes.
  void prepare(std::uint64_t file_size);
  std::size_t window_size() const { return size_; }
  std::size_t count() const { return windows_.size(); }
  std::uint8_t* window(std::size_t index) { return windows_[index].get(); }
  std::uint64_t viewed_from() const { return viewed_from_; }

 private:
  std::size_t largest_;  // the size windows grow to for large files
  std::size_t size_ = 0;
  std::uint64_t viewed_from_;
  std::vector<std::unique_ptr<std::uint8_t[]>> windows_;
};

// What reading a whole image file found besides its contents.
struct StreamEnd {
  bool read_whole = false;       // every byte of the size it had when opened arrived
  bool digest_computed = false;  // the file's version has a trailer and the file is long enough
  Sha256Digest digest{};         // SHA-256 of all bytes but the trailer
  std::array<std::uint8_t, TRAILER_SIZE> trailer{};  // the last bytes, when there are enough
};

// Reads one image file front to back through the windows of a WindowBuffers, and computes the
// SHA-256 that its trailer's digest covers, where the file's version has a trailer. With
// `threaded`, a second thread reads and hashes the next windows while the caller parses the
// last; otherwise both happen in next(), until `core_freed` is set: a stream with enough left
// to read then hands its reading and hashing to a thread of its own, or, where it sees the file
// through views of the system's cache, only its hashing. Once `abandon` is set, no further
// window is read.
class FileWindowStream final : public WindowSource {
 public:
  FileWindowStream(InputFile& file, WindowBuffers& buffers, bool threaded,
                   const std::atomic<bool>* abandon = nullptr,
                   const std::atomic<bool>* core_freed = nullptr);
  ~FileWindowStream() override;

  std::span<const std::uint8_t> next() override;
  // Reads whatever the caller did not take, and reports on the whole file.
  StreamEnd finish();

 private:
  struct Filled {
    std::size_t size = 0;
  };

  // Windows taken in turn from one view of the file.
  static constexpr std::size_t WINDOWS_A_VIEW = 64;
  std::uint64_t view_span() const { return std::uint64_t{window_} * WINDOWS_A_VIEW; }

  // One window's worth of reading and hashing, on whichever thread does it.
  std::size_t fill(std::uint8_t* window);
  void take_in(const std::uint8_t* window, std::size_t got);
  // The next window seen in the system's cache; empty where no view can be had.
  std::span<const std::uint8_t> next_viewed();
  // Where the ring's windows lie: the buffers' own windows, or slots cut from the first.
  std::uint8_t* slot_window(std::size_t slot) {
    return carved_ ? buffers_.window(0) + slot * window_ : buffers_.window(slot);
  }
  std::size_t slot_capacity() const { return carved_ ? window_ : buffers_.window_size(); }
  bool abandoned() const {
    return abandon_ != nullptr && abandon_->load(std::memory_order_relaxed);
  }
  void produce();
  // Starts the reading thread partway through the file; false where it does not pay or no
  // thread can be had, and reading goes on in next().
  bool start_producer_midway();
  // Where the file is seen through views: starts a thread that hashes the rest of it through
  // views of its own, while next() goes on parsing without waiting for it.
  void hand_hashing_over();
  void hash_rest(std::uint64_t from);
  void stop_hasher();
  std::span<const std::uint8_t> next_inline();
  std::span<const std::uint8_t> next_threaded();
  void stop_producer();

  InputFile& file_;
  WindowBuffers& buffers_;
  const std::atomic<bool>* abandon_;
  const std::atomic<bool>* core_freed_;
  std::size_t window_ = 0;  // the bytes read into a window at a time
  bool carved_ = false;     // the ring's windows are slots of the first window
  bool viewing_ = false;    // inline windows are views of the file where it has them
  std::span<const std::uint8_t> viewed_;
  std::uint64_t viewed_at_ = 0;
  bool viewed_any_ = false;  // read() no longer reads on from where the file was last read
  std::uint64_t read_so_far_ = 0;
  bool read_failed_ = false;
  bool hashing_ = false;
  // The rest of the file is hashed by hasher_; what it found is read once it has been joined.
  bool hashed_elsewhere_ = false;
  bool hashing_failed_ = false;
  std::atomic<bool> stop_hashing_ = false;
  std::thread hasher_;
  Sha256 digest_;
  StreamEnd end_;

  // Hand-off between the reading thread and the caller: windows are filled in order into the
  // ring and taken in the same order.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Filled> filled_;
  std::uint64_t produced_ = 0;  // windows filled so far
  std::uint64_t consumed_ = 0;  // windows given back by the caller
  bool holding_ = false;        // the caller holds window consumed_
  bool producer_done_ = false;
  bool cancelled_ = false;
  std::thread producer_;
};

}  // namespace tarvel
