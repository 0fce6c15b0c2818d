// Loading one image: options, the loader and the outcome it reports.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "image/record_sink.h"
#include "image/window_stream.h"
#include "platform/input_file.h"

namespace tarvel {

// What loading one image came to. The loader prints nothing; each program turns this into its
// own messages.
enum class LoadOutcome {
  loaded,
  unreadable,       // cannot be opened, or not read whole
  version_refused,  // version word not 1 to 5, or too short for its version's trailer
  digest_refused,   // the trailer's digest does not match the file
  malformed,        // a length, field or limit of the format is broken
  out_of_memory,    // what the image holds does not fit in this machine's memory
  abandoned,        // the caller gave up on it before it was read whole
};

// Why a file was unreadable.
enum class ReadFailure {
  none,
  cannot_open,
  not_regular,
  too_large,
  empty,
  read_error,  // fewer bytes arrived than the size the file had when opened
};

// Whether the image's trailer asked for a digest check.
enum class DigestState {
  absent,   // no trailer in this version, or its length field is not 32
  checked,  // checked, and it matched
  mismatch,
  missing,  // a version that carries a digest, in a file too short to hold it
};

struct LoadResult {
  LoadOutcome outcome = LoadOutcome::unreadable;
  ReadFailure read_failure = ReadFailure::none;
  std::uint16_t version = 0;       // when the file had a version word
  std::uint32_t file_size = 0;     // when the file could be opened
  DigestState digest = DigestState::absent;
  std::uint64_t offset = 0;        // malformed: where in the file the broken part starts
  const char* expected = "";       // malformed: what the format wants there
  std::string reason;              // unreadable: the system's words for why, where it said

  bool ok() const { return outcome == LoadOutcome::loaded; }
};

struct LoadOptions {
  // Read and hash on a second thread while parsing; on one core everything runs inline.
  bool threaded = true;
  // When set, from another thread, reading stops at the next window and the file is left.
  const std::atomic<bool>* abandon = nullptr;
  // Set by another thread once its own work is done and its core is free: a load that runs
  // inline then reads and hashes on a thread of its own for the rest of the file.
  const std::atomic<bool>* core_freed = nullptr;
};

// Loads images one after another through the same fixed windows.
class ImageLoader {
 public:
  explicit ImageLoader(WindowBuffers& buffers, LoadOptions options = {})
      : buffers_(buffers), options_(options) {}

  // Reads the whole file once, front to back, handing what it holds to the sink. Reading goes
  // on to the end of the file even after the contents turn out broken, so that a file that
  // cannot be read whole, or whose digest does not match, is always reported as such.
  LoadResult load(InputFile& file, RecordSink& sink);

 private:
  WindowBuffers& buffers_;
  LoadOptions options_;
};

ReadFailure read_failure_of(OpenFailure failure);

}  // namespace tarvel
