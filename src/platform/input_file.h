// Input files: opening for reading, file identity, the system's error texts and the random key.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "support/hash_key.h"

namespace tarvel {

// Why a file could not be opened as an image.
enum class OpenFailure {
  none,
  cannot_open,  // missing, no permission, or any other refusal of the system
  not_regular,  // a directory, FIFO, socket or device: never waited on
  too_large,    // 4 GiB or more, refused before anything is read
  empty,        // 0 bytes
};

// Only files below 4 GiB fit the format's 32-bit sizes.
inline constexpr std::uint64_t LARGEST_IMAGE_FILE = 0xFFFFFFFFu;

// Where a file may be seen at once: one view for the thread that parses it, one for a thread
// that hashes ahead of it.
enum class ViewSlot : std::uint8_t { parsing, hashing };
inline constexpr std::size_t VIEW_SLOTS = 2;

// A regular file open for reading from front to back. Its size is the one it had when opened;
// a file that then delivers fewer bytes is one that cannot be read whole.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  virtual ~InputFile() = default;

  virtual std::uint32_t size() const = 0;
  // Back to the first byte, for a second reading of the same file; false when the system
  // refuses.
  virtual bool rewind() = 0;
  // Reads up to into.size() bytes at the current position: the count read, 0 at the end of
  // the file, or -1 when the system reports an error. May read fewer bytes than asked.
  virtual std::ptrdiff_t read(std::span<std::uint8_t> into) = 0;
  // Moves the position read() reads from; false when the system refuses.
  virtual bool seek(std::uint64_t /*offset*/) { return false; }
  // Where the system can: `length` bytes from `offset` seen straight in its cache, without
  // being copied out; valid until the next view in the same slot, or until the file is closed.
  // The two slots are independent: one thread may view through each. The position read()
  // reads from stays where it was. Empty where no view can be had: read() serves then. A view
  // of no bytes lets go of the slot's last one.
  // Bytes the file no longer holds when they are looked at (it was cut short meanwhile) read
  // as zeros, and cut_short() says so from then on.
  virtual std::span<const std::uint8_t> view(ViewSlot /*slot*/, std::uint64_t /*offset*/,
                                             std::size_t /*length*/) {
    return {};
  }
  virtual bool cut_short() const { return false; }
};

struct OpenedFile {
  std::unique_ptr<InputFile> file;  // null when the file was refused
  OpenFailure failure = OpenFailure::none;
  std::string reason;  // cannot_open: the system's own words for why
};

// Opens a regular file for reading without ever blocking on it.
OpenedFile open_input_file(const std::filesystem::path& path);

// How long a FIFO that no program holds open for writing is waited on before it is refused.
inline constexpr std::chrono::milliseconds FIFO_WRITER_WAIT{10'000};

// What reading a stream may take; tests make both small.
struct StreamLimits {
  std::uint64_t largest = LARGEST_IMAGE_FILE;  // more bytes than this: too_large, at once
  std::chrono::milliseconds writer_wait = FIFO_WRITER_WAIT;
};

// Opens an image that may come from a stream: standard input where `path` is null. A regular
// file is opened as open_input_file opens it. A pipe, FIFO or socket is read to its end into a
// private temporary file (in $TMPDIR or /tmp; on Windows the temporary folder) that the system
// removes however the program ends, and served from there: its size is then known, and it can
// be read twice. A stream that passes `largest` is refused as too large as soon as it does, one
// that ends at once as empty. A FIFO that nothing writes to is waited on for `writer_wait`,
// then refused; directories, terminals and other devices are refused as not regular.
OpenedFile open_input_stream(const std::filesystem::path* path, const StreamLimits& limits = {});

// Which file a path names, links followed: the device and inode on POSIX, the volume serial
// number and file index on Windows. Two paths name the same file when these are equal.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// None when nothing can be found at the path.
std::optional<FileIdentity> identify_file(const std::filesystem::path& path);
// Which file standard input reads; none when it is closed or the system cannot tell.
std::optional<FileIdentity> identify_standard_input();

// The system's words for the last error of the calling thread ("No such file or directory").
std::string last_system_error();

// A key drawn from the system's random source (getrandom, BCryptGenRandom).
HashKey random_hash_key();

}  // namespace tarvel
