// Loading one image: the version check, the record parser, the digest and one outcome.
#include "image/load_image.h"

#include <algorithm>
#include <new>

#include "image/byte_reader.h"
#include "image/record_parser.h"
#include "image/window_cursor.h"
#include "platform/cores.h"

namespace tarvel {

namespace {

constexpr std::size_t LENGTH_FIELD = 4;

DigestState digest_state(const StreamEnd& end) {
  if (!end.digest_computed || load_u32(end.trailer.data()) != DIGEST_LENGTH) {
    return DigestState::absent;
  }
  return std::equal(end.digest.begin(), end.digest.end(), end.trailer.begin() + LENGTH_FIELD)
             ? DigestState::checked
             : DigestState::mismatch;
}

}  // namespace

ReadFailure read_failure_of(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::none:
      return ReadFailure::none;
    case OpenFailure::cannot_open:
      return ReadFailure::cannot_open;
    case OpenFailure::not_regular:
      return ReadFailure::not_regular;
    case OpenFailure::too_large:
      return ReadFailure::too_large;
    case OpenFailure::empty:
      return ReadFailure::empty;
  }
  return ReadFailure::cannot_open;
}

LoadResult ImageLoader::load(InputFile& file, RecordSink& sink) {
  LoadResult result;
  result.file_size = file.size();
  try {
    FileWindowStream stream(file, buffers_, options_.threaded && second_core_available(),
                            options_.abandon, options_.core_freed);
    WindowCursor cursor(stream);
    Parser parser(cursor, file.size(), sink);

    bool parsed = false;
    bool version_refused = false;
    ByteReader reader(cursor, file.size());
    const bool version_read = reader.read_u16(result.version);
    if (version_read) {
      reader.take();
      version_refused = result.version < OLDEST_VERSION || result.version > NEWEST_VERSION ||
                        (version_has_trailer(result.version) &&
                         !file_has_trailer(result.version, file.size()));
      if (!version_refused) {
        sink.image_start(result.version, file.size());
        parsed = parser.parse_contents(result.version);
      }
    }

    const StreamEnd end = stream.finish();
    result.digest = digest_state(end);
    if (version_read && version_has_trailer(result.version) &&
        !file_has_trailer(result.version, file.size())) {
      result.digest = DigestState::missing;
    }
    if (options_.abandon != nullptr && options_.abandon->load()) {
      result.outcome = LoadOutcome::abandoned;
    } else if (!end.read_whole) {
      result.outcome = LoadOutcome::unreadable;
      result.read_failure = ReadFailure::read_error;
    } else if (version_refused) {
      result.outcome = LoadOutcome::version_refused;
    } else if (result.digest == DigestState::mismatch) {
      result.outcome = LoadOutcome::digest_refused;
    } else if (!version_read) {
      result.outcome = LoadOutcome::malformed;
      result.expected = "a version word";
    } else if (!parsed) {
      result.outcome = LoadOutcome::malformed;
      result.offset = parser.failed_at();
      result.expected = parser.ran_dry() ? "bytes the file did not deliver" : parser.expected();
    } else {
      result.outcome = LoadOutcome::loaded;
    }
  } catch (const std::bad_alloc&) {
    result.outcome = LoadOutcome::out_of_memory;
  }
  return result;
}

}  // namespace tarvel
