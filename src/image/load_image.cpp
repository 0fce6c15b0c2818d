#include "image/load_image.h"

#include <algorithm>
#include <array>
#include <new>

#include "image/byte_reader.h"
#include "image/property_block.h"
#include "image/window_cursor.h"
#include "platform/cores.h"

namespace tarvel {

namespace {

constexpr std::size_t LENGTH_FIELD = 4;

// The largest part of an entry record read in one piece: fixed fields, the three texts with
// their lengths, and the property length.
static_assert(LAYOUT_V5.fixed_size + RECORD_LENGTH_FIELDS + NAME_FIELD_BYTES +
                  DIRECTORY_FIELD_BYTES + EXTRA_TEXT_FIELD_BYTES <=
              WindowCursor::ASSEMBLY_CAPACITY);

// A message with a number of the format in it, made at compile time from the number itself, so
// the text can never say another size than the reader checks.
template <std::size_t PREFIX, std::size_t SUFFIX>
constexpr std::array<char, PREFIX + SUFFIX + 20> numbered(const char (&prefix)[PREFIX],
                                                           std::size_t number,
                                                           const char (&suffix)[SUFFIX]) {
  std::array<char, PREFIX + SUFFIX + 20> text{};
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < PREFIX; ++i) {
    text[at++] = prefix[i];
  }
  char digits[20]{};
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count != 0) {
    text[at++] = digits[--count];
  }
  for (std::size_t i = 0; i + 1 < SUFFIX; ++i) {
    text[at++] = suffix[i];
  }
  return text;
}

constexpr auto NAME_TOO_LONG = numbered("an entry name of at most ", NAME_FIELD_BYTES, " bytes");
constexpr auto DIRECTORY_TOO_LONG =
    numbered("an entry directory of at most ", DIRECTORY_FIELD_BYTES, " bytes");
constexpr auto EXTRA_TEXT_TOO_LONG =
    numbered("an entry extra text of at most ", EXTRA_TEXT_FIELD_BYTES, " bytes");
constexpr auto HEADER_WHOLE = numbered("a header of ", IMAGE_HEADER_SIZE, " bytes");
constexpr auto RECORD_ROOM = numbered("an entry record of at least ", MIN_RECORD_ROOM,
                                      " bytes before the end of the section");

struct TextField {
  std::size_t capacity;
  const char* within_limit;
  const char* within_capacity;
};

constexpr TextField NAME_TEXT{NAME_FIELD_BYTES, "an entry name that ends within the entry section",
                              NAME_TOO_LONG.data()};
constexpr TextField DIRECTORY_TEXT{DIRECTORY_FIELD_BYTES,
                                   "an entry directory that ends within the entry section",
                                   DIRECTORY_TOO_LONG.data()};
constexpr TextField EXTRA_TEXT{EXTRA_TEXT_FIELD_BYTES,
                               "an entry extra text that ends within the entry section",
                               EXTRA_TEXT_TOO_LONG.data()};

std::uint32_t u32_at(const std::uint8_t* record, std::size_t offset) {
  return ByteReader::load_u32(record + offset);
}

// Reads one image's contents from the cursor into the sink, checking every length against
// what is left of the file or, inside the entry section, of the section. Every check that
// fails funnels into fail(), which notes where the file broke and what belonged there.
class Parser {
 public:
  Parser(WindowCursor& cursor, std::uint32_t file_size, RecordSink& sink)
      : cursor_(cursor), file_size_(file_size), sink_(sink) {}

  // False when the contents are broken or the bytes ran out; result() tells which.
  bool parse_contents(std::uint16_t version) {
    const RecordLayout& layout = record_layout(version);
    if (!need(file_size_, IMAGE_HEADER_SIZE, HEADER_WHOLE.data())) {
      return false;
    }
    sink_.header({cursor_.data(), IMAGE_HEADER_SIZE});
    cursor_.advance(IMAGE_HEADER_SIZE);

    for (int block = 0; block < SKIPPED_BLOCKS; ++block) {
      std::uint32_t length = 0;
      if (!read_length(file_size_, length, "a skipped block that ends within the file") ||
          !dry_unless(cursor_.skip(length))) {
        return false;
      }
    }
    if (!read_run(file_size_, {RunKind::hosts, 0, 0, 0}, "a hosts block that ends within the file")) {
      return false;
    }
    if (version >= FIRST_VERSION_WITH_APPLICATIONS && !read_applications(version)) {
      return false;
    }

    // Versions with a trailer give the entry section's length; whatever follows the section,
    // the trailer among it, is not entry data. Older versions keep entries to the end.
    std::uint64_t limit = file_size_;
    if (version_has_trailer(version)) {
      std::uint32_t length = 0;
      if (!read_length(file_size_, length, "an entry section that ends within the file")) {
        return false;
      }
      limit = cursor_.position() + length;
    }
    while (cursor_.position() < limit) {
      if (!read_entry(layout, limit)) {
        return false;
      }
    }
    return true;
  }

  bool ran_dry() const { return ran_dry_; }
  std::uint64_t failed_at() const { return failed_at_; }
  const char* expected() const { return expected_; }

 private:
  bool fail(std::uint64_t offset, const char* expected) {
    failed_at_ = offset;
    expected_ = expected;
    return false;
  }
  // The checks above compare every length with what the file holds, so bytes can only run out
  // when the file delivers fewer than its size.
  bool dry_unless(bool got) {
    if (!got) {
      ran_dry_ = true;
    }
    return got;
  }
  std::uint64_t left_before(std::uint64_t limit) const { return limit - cursor_.position(); }

  // `count` bytes before `limit`, readable in one piece.
  bool need(std::uint64_t limit, std::size_t count, const char* what) {
    if (left_before(limit) < count) {
      return fail(cursor_.position(), what);
    }
    return dry_unless(cursor_.ensure(count));
  }

  // A u32 length and a check that the run it measures ends before `limit`; the cursor is left
  // at the run.
  bool read_length(std::uint64_t limit, std::uint32_t& length, const char* what) {
    const std::uint64_t at = cursor_.position();
    if (!need(limit, LENGTH_FIELD, what)) {
      return false;
    }
    length = ByteReader::load_u32(cursor_.data());
    if (length > left_before(limit) - LENGTH_FIELD) {
      return fail(at, what);
    }
    cursor_.advance(LENGTH_FIELD);
    return true;
  }

  // A length-prefixed run handed to the sink in pieces.
  bool read_run(std::uint64_t limit, RunStart run, const char* what) {
    std::uint32_t length = 0;
    if (!read_length(limit, length, what)) {
      return false;
    }
    run.size = length;
    run.offset = cursor_.position();
    sink_.run_start(run);
    const bool whole = cursor_.consume(
        length, [this](std::span<const std::uint8_t> piece) { sink_.run_piece(piece); });
    sink_.run_end();
    return dry_unless(whole);
  }

  bool read_applications(std::uint16_t version) {
    std::uint32_t count = 0;
    if (!need(file_size_, LENGTH_FIELD, "an application count")) {
      return false;
    }
    count = ByteReader::load_u32(cursor_.data());
    cursor_.advance(LENGTH_FIELD);
    // The count is not trusted for anything: each application is read only as its bytes turn
    // out to be there, and each costs at least its length fields.
    const std::size_t texts = application_text_count(version);
    for (std::uint32_t index = 0; index < count; ++index) {
      sink_.application_start(cursor_.position());
      for (std::size_t text = 0; text < texts; ++text) {
        if (!read_run(file_size_, {RunKind::application_text, text, 0, 0},
                      "an application text that ends within the file")) {
          return false;
        }
      }
      sink_.application_end();
    }
    return true;
  }

  // One text length inside the record being read, at `at` bytes from its start.
  bool text_length(std::uint64_t start, std::uint64_t limit, std::size_t& at,
                   const TextField& text) {
    if (limit - (start + at) < LENGTH_FIELD) {
      return fail(start + at, text.within_limit);
    }
    if (!dry_unless(cursor_.ensure(at + LENGTH_FIELD))) {
      return false;
    }
    const std::uint32_t length = u32_at(cursor_.data(), at);
    if (length > limit - (start + at + LENGTH_FIELD)) {
      return fail(start + at, text.within_limit);
    }
    if (length > text.capacity) {
      return fail(start + at, text.within_capacity);
    }
    at += LENGTH_FIELD;
    // Spans are taken once the whole record is in one piece; until then, where the text lies.
    text_at_[text_count_++] = {at, length};
    at += length;
    return true;
  }

  bool read_entry(const RecordLayout& layout, std::uint64_t limit) {
    const std::uint64_t start = cursor_.position();
    if (left_before(limit) < MIN_RECORD_ROOM) {
      return fail(start, RECORD_ROOM.data());
    }
    EntryFields fields;
    fields.offset = start;
    text_count_ = 0;
    std::size_t at = layout.fixed_size;
    if (!text_length(start, limit, at, NAME_TEXT) ||
        !text_length(start, limit, at, DIRECTORY_TEXT) ||
        !text_length(start, limit, at, EXTRA_TEXT)) {
      return false;
    }
    if (limit - (start + at) < LENGTH_FIELD) {
      return fail(start + at, "a property block that ends within the entry section");
    }
    if (!dry_unless(cursor_.ensure(at + LENGTH_FIELD))) {
      return false;
    }
    const std::uint32_t properties = u32_at(cursor_.data(), at);
    if (properties > limit - (start + at + LENGTH_FIELD)) {
      return fail(start + at, "a property block that ends within the entry section");
    }
    at += LENGTH_FIELD;

    const std::uint8_t* record = cursor_.data();
    fields.lead_value = layout.lead_size == 8 ? ByteReader::load_u64(record) : u32_at(record, 0);
    fields.byte_a = record[layout.byte_a];
    fields.dword_a = u32_at(record, layout.dword_a);
    fields.dword_b = u32_at(record, layout.dword_b);
    fields.block_a = {record + layout.block_a, BLOCK_A_SIZE};
    fields.flags_a = u32_at(record, layout.flags_a);
    fields.flags_b = layout.flags_b == ABSENT_FIELD ? 0 : u32_at(record, layout.flags_b);
    fields.flags_c = u32_at(record, layout.flags_c);
    fields.flags_d = layout.flags_d == ABSENT_FIELD ? 0 : u32_at(record, layout.flags_d);
    fields.byte_b = record[layout.byte_b];
    fields.word_a = ByteReader::load_u16(record + layout.word_a);
    fields.byte_c = record[layout.byte_c];
    fields.name = {record + text_at_[0].at, text_at_[0].size};
    fields.directory = {record + text_at_[1].at, text_at_[1].size};
    fields.extra_text = {record + text_at_[2].at, text_at_[2].size};
    fields.properties_size = properties;
    sink_.entry(fields);
    cursor_.advance(at);

    PropertiesEnd end;
    if (!dry_unless(read_property_block(cursor_, properties,
                                        sink_.wants_properties() ? &sink_ : nullptr, end))) {
      return false;
    }
    sink_.entry_end(end);
    return true;
  }

  struct TextAt {
    std::size_t at = 0;
    std::size_t size = 0;
  };

  WindowCursor& cursor_;
  std::uint32_t file_size_;
  RecordSink& sink_;
  bool ran_dry_ = false;
  std::uint64_t failed_at_ = 0;
  const char* expected_ = "";
  std::array<TextAt, 3> text_at_{};
  std::size_t text_count_ = 0;
};

DigestState digest_state(const StreamEnd& end) {
  if (!end.digest_computed || ByteReader::load_u32(end.trailer.data()) != DIGEST_LENGTH) {
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
                            options_.abandon);
    WindowCursor cursor(stream);
    Parser parser(cursor, file.size(), sink);

    bool parsed = false;
    bool version_refused = false;
    bool version_read = false;
    if (file.size() >= VERSION_SIZE) {
      version_read = cursor.ensure(VERSION_SIZE);
    }
    if (version_read) {
      result.version = ByteReader::load_u16(cursor.data());
      cursor.advance(VERSION_SIZE);
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
