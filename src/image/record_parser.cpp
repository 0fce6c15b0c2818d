// The record parser: the header, skipped blocks, hosts, applications and entry records.
#include "image/record_parser.h"

#include <array>
#include <cstddef>
#include <span>

#include "image/little_endian.h"
#include "image/property_block.h"

namespace tarvel {

namespace {

// The largest part of an entry record read in one piece: fixed fields, the three texts with
// their lengths, and the property length.
static_assert(LAYOUT_V5.fixed_size + RECORD_LENGTH_FIELDS + NAME_FIELD_BYTES +
                  DIRECTORY_FIELD_BYTES + EXTRA_TEXT_FIELD_BYTES <=
              WindowCursor::ASSEMBLY_CAPACITY);
// The room checked before a record is read covers its fixed part in every version.
static_assert(MIN_RECORD_ROOM >= LAYOUT_V1_V2.fixed_size &&
              MIN_RECORD_ROOM >= LAYOUT_V3_V4.fixed_size && MIN_RECORD_ROOM >= LAYOUT_V5.fixed_size);
static_assert(IMAGE_HEADER_SIZE <= WindowCursor::ASSEMBLY_CAPACITY);

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
constexpr const char* PROPERTIES_WITHIN = "a property block that ends within the entry section";

}  // namespace

struct TextField {
  std::size_t capacity;
  const char* within_limit;
  const char* within_capacity;
};

namespace {

constexpr TextField NAME_TEXT{NAME_FIELD_BYTES, "an entry name that ends within the entry section",
                              NAME_TOO_LONG.data()};
constexpr TextField DIRECTORY_TEXT{DIRECTORY_FIELD_BYTES,
                                   "an entry directory that ends within the entry section",
                                   DIRECTORY_TOO_LONG.data()};
constexpr TextField EXTRA_TEXT{EXTRA_TEXT_FIELD_BYTES,
                               "an entry extra text that ends within the entry section",
                               EXTRA_TEXT_TOO_LONG.data()};

// The fixed fields of a record whose fixed part, of layout.fixed_size bytes, starts at `record`.
void read_fixed_fields(const RecordLayout& layout, const std::uint8_t* record, EntryFields& fields) {
  fields.lead_value = layout.lead_size == 8 ? load_u64(record) : load_u32(record);
  fields.byte_a = record[layout.byte_a];
  fields.dword_a = load_u32(record + layout.dword_a);
  fields.dword_b = load_u32(record + layout.dword_b);
  fields.block_a = {record + layout.block_a, BLOCK_A_SIZE};
  fields.flags_a = load_u32(record + layout.flags_a);
  fields.flags_b = layout.flags_b == ABSENT_FIELD ? 0 : load_u32(record + layout.flags_b);
  fields.flags_c = load_u32(record + layout.flags_c);
  fields.flags_d = layout.flags_d == ABSENT_FIELD ? 0 : load_u32(record + layout.flags_d);
  fields.byte_b = record[layout.byte_b];
  fields.word_a = load_u16(record + layout.word_a);
  fields.byte_c = record[layout.byte_c];
}

}  // namespace

bool Parser::parse_contents(std::uint16_t version) {
  const RecordLayout& layout = record_layout(version);
  if (!read_header()) {
    return false;
  }
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

bool Parser::read_header() {
  ByteReader reader(cursor_, file_size_);
  ByteReader::Field header;
  if (!reader.read_bytes(IMAGE_HEADER_SIZE, header)) {
    return failed(reader, HEADER_WHOLE.data());
  }
  sink_.header(reader.bytes(header));
  reader.take();
  return true;
}

// A u32 length and a check that the run it measures ends before `limit`; the cursor is left at
// the run.
bool Parser::read_length(std::uint64_t limit, std::uint32_t& length, const char* what) {
  ByteReader reader(cursor_, limit);
  const std::uint64_t at = reader.offset();
  if (!reader.read_u32(length)) {
    return failed(reader, what);
  }
  if (length > reader.left()) {
    return fail(at, what);
  }
  reader.take();
  return true;
}

// A length-prefixed run handed to the sink in pieces.
bool Parser::read_run(std::uint64_t limit, RunStart run, const char* what) {
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

bool Parser::read_applications(std::uint16_t version) {
  std::uint32_t count = 0;
  {
    ByteReader reader(cursor_, file_size_);
    if (!reader.read_u32(count)) {
      return failed(reader, "an application count");
    }
    reader.take();
  }
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

// One text of the record being read: its length, checked against the section and the field's
// capacity, and its bytes.
TARVEL_INLINE bool Parser::read_text(ByteReader& record, const TextField& text,
                                    ByteReader::Field& where) {
  const std::uint64_t at = record.offset();
  std::uint32_t length = 0;
  if (!record.read_u32(length)) {
    return failed(record, text.within_limit);
  }
  if (length > record.left()) {
    return fail(at, text.within_limit);
  }
  if (length > text.capacity) {
    return fail(at, text.within_capacity);
  }
  return record.read_bytes(length, where) || failed(record, text.within_limit);
}

bool Parser::read_entry(const RecordLayout& layout, std::uint64_t limit) {
  ByteReader record(cursor_, limit);
  const std::uint64_t start = record.offset();
  if (record.left() < MIN_RECORD_ROOM) {
    return fail(start, RECORD_ROOM.data());
  }
  ByteReader::Field fixed;
  ByteReader::Field name;
  ByteReader::Field directory;
  ByteReader::Field extra_text;
  if (!record.read_bytes(layout.fixed_size, fixed)) {
    return failed(record, RECORD_ROOM.data());
  }
  if (!read_text(record, NAME_TEXT, name) || !read_text(record, DIRECTORY_TEXT, directory) ||
      !read_text(record, EXTRA_TEXT, extra_text)) {
    return false;
  }
  const std::uint64_t properties_at = record.offset();
  std::uint32_t properties = 0;
  if (!record.read_u32(properties)) {
    return failed(record, PROPERTIES_WITHIN);
  }
  if (properties > record.left()) {
    return fail(properties_at, PROPERTIES_WITHIN);
  }

  // The whole record is in one piece now: its spans stay valid until it is taken.
  fields_.offset = start;
  read_fixed_fields(layout, record.record(), fields_);
  fields_.name = record.bytes(name);
  fields_.directory = record.bytes(directory);
  fields_.extra_text = record.bytes(extra_text);
  fields_.properties_size = properties;
  sink_.entry(fields_);
  record.take();

  if (!dry_unless(read_property_block(cursor_, properties,
                                      sink_.wants_properties() ? &sink_ : nullptr, end_))) {
    return false;
  }
  sink_.entry_end(end_);
  return true;
}

}  // namespace tarvel
