// The image file format in one place: sizes, record layouts and the bits of the status words.
// The loader, the test image writer and the tests all read these, so a layout is written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvel {

// The u16 version word at offset 0; versions 1 to 5 exist.
inline constexpr std::size_t VERSION_SIZE = 2;
inline constexpr std::uint16_t OLDEST_VERSION = 1;
inline constexpr std::uint16_t NEWEST_VERSION = 5;
// An opaque block after the version word; carried, never interpreted.
inline constexpr std::size_t IMAGE_HEADER_SIZE = 284;
inline constexpr std::size_t IMAGE_HEADER_END = VERSION_SIZE + IMAGE_HEADER_SIZE;
// Length-prefixed blocks between the header and the hosts block that nothing reads.
inline constexpr int SKIPPED_BLOCKS = 4;

// Versions 4 and 5 end with a trailer: a u32 digest length, then the SHA-256 digest of every
// byte before the trailer. Only a length of exactly 32 asks for a check.
inline constexpr std::uint16_t FIRST_VERSION_WITH_TRAILER = 4;
inline constexpr std::size_t TRAILER_SIZE = 36;
inline constexpr std::uint32_t DIGEST_LENGTH = 32;
// A file of a version with a trailer must be longer than the version word and the trailer.
inline constexpr std::size_t SHORTEST_TRAILED_FILE = VERSION_SIZE + TRAILER_SIZE + 1;

// Whether images of this version end with a trailer.
constexpr bool version_has_trailer(std::uint16_t version) {
  return version >= FIRST_VERSION_WITH_TRAILER && version <= NEWEST_VERSION;
}
// Whether a file of this version and size has a trailer whose digest covers the rest; a file of
// such a version that is too short for one is refused.
constexpr bool file_has_trailer(std::uint16_t version, std::uint64_t size) {
  return version_has_trailer(version) && size >= SHORTEST_TRAILED_FILE;
}

// Version 1 has no application section; version 2 writes four texts per application, later
// versions five. Texts in file order: key, text 2, label, text 4, text 5.
inline constexpr std::uint16_t FIRST_VERSION_WITH_APPLICATIONS = 2;
inline constexpr std::size_t APPLICATION_TEXTS_V2 = 4;
inline constexpr std::size_t APPLICATION_TEXTS = 5;
inline constexpr std::size_t APPLICATION_KEY_TEXT = 0;    // compared between images
inline constexpr std::size_t APPLICATION_LABEL_TEXT = 2;  // printed in the report

inline constexpr std::size_t application_text_count(std::uint16_t version) {
  return version == FIRST_VERSION_WITH_APPLICATIONS ? APPLICATION_TEXTS_V2 : APPLICATION_TEXTS;
}

// Room that must be left in the entry section before any entry record, whatever the version's
// smallest record: with less, the file is broken.
inline constexpr std::size_t MIN_RECORD_ROOM = 106;

// Byte capacities of the fields entry texts land in; a longer stored text is refused.
inline constexpr std::size_t NAME_FIELD_BYTES = 520;
inline constexpr std::size_t DIRECTORY_FIELD_BYTES = 4096;
inline constexpr std::size_t EXTRA_TEXT_FIELD_BYTES = 2048;
inline constexpr std::size_t NAME_FIELD_UNITS = NAME_FIELD_BYTES / 2;
inline constexpr std::size_t DIRECTORY_FIELD_UNITS = DIRECTORY_FIELD_BYTES / 2;
inline constexpr std::size_t EXTRA_TEXT_FIELD_UNITS = EXTRA_TEXT_FIELD_BYTES / 2;

inline constexpr std::size_t ABSENT_FIELD = SIZE_MAX;

// Where each fixed field of an entry record lies, from the record's first byte. After the fixed
// part come four length-prefixed runs: name, directory, extra text and property block.
struct RecordLayout {
  std::size_t fixed_size;
  std::size_t lead_size;  // lead_value: carried; 4 bytes, or 8 in version 5
  std::size_t byte_a;     // carried
  std::size_t dword_a;    // carried
  std::size_t dword_b;    // carried
  std::size_t block_a;    // 64 carried bytes
  std::size_t flags_a;    // status word a: autorun bits, hash exemption, compared when masked
  std::size_t flags_b;    // status word b: only tells whether an entry has any status
  std::size_t flags_c;    // status word c: hash exemption, compared when masked
  std::size_t flags_d;    // status word d: compared whole
  std::size_t byte_b;     // carried
  std::size_t word_a;     // carried
  std::size_t byte_c;     // carried
};

inline constexpr std::size_t BLOCK_A_SIZE = 64;
// Name, directory, extra text and property block each have a u32 length.
inline constexpr std::size_t RECORD_LENGTH_FIELDS = 16;

inline constexpr RecordLayout LAYOUT_V1_V2{
    .fixed_size = 89, .lead_size = 4, .byte_a = 4, .dword_a = 5, .dword_b = 9, .block_a = 13,
    .flags_a = 77, .flags_b = ABSENT_FIELD, .flags_c = 81, .flags_d = ABSENT_FIELD,
    .byte_b = 85, .word_a = 86, .byte_c = 88};
inline constexpr RecordLayout LAYOUT_V3_V4{
    .fixed_size = 97, .lead_size = 4, .byte_a = 4, .dword_a = 5, .dword_b = 9, .block_a = 13,
    .flags_a = 77, .flags_b = 81, .flags_c = 85, .flags_d = 89,
    .byte_b = 93, .word_a = 94, .byte_c = 96};
inline constexpr RecordLayout LAYOUT_V5{
    .fixed_size = 101, .lead_size = 8, .byte_a = 8, .dword_a = 9, .dword_b = 13, .block_a = 17,
    .flags_a = 81, .flags_b = 85, .flags_c = 89, .flags_d = 93,
    .byte_b = 97, .word_a = 98, .byte_c = 100};

// Each layout's fields follow one another without gaps, and its smallest record is what the
// room rule is measured against.
constexpr bool fields_are_packed(const RecordLayout& l) {
  return l.byte_a == l.lead_size && l.dword_a == l.byte_a + 1 && l.dword_b == l.dword_a + 4 &&
         l.block_a == l.dword_b + 4 && l.flags_a == l.block_a + BLOCK_A_SIZE &&
         (l.flags_b == ABSENT_FIELD ? l.flags_c == l.flags_a + 4
                                    : l.flags_b == l.flags_a + 4 && l.flags_c == l.flags_b + 4) &&
         (l.flags_d == ABSENT_FIELD ? l.byte_b == l.flags_c + 4
                                    : l.flags_d == l.flags_c + 4 && l.byte_b == l.flags_d + 4) &&
         l.word_a == l.byte_b + 1 && l.byte_c == l.word_a + 2 && l.fixed_size == l.byte_c + 1;
}
static_assert(fields_are_packed(LAYOUT_V1_V2) && fields_are_packed(LAYOUT_V3_V4) &&
              fields_are_packed(LAYOUT_V5));
static_assert(LAYOUT_V1_V2.fixed_size + RECORD_LENGTH_FIELDS == 105);
static_assert(LAYOUT_V3_V4.fixed_size + RECORD_LENGTH_FIELDS == 113);
static_assert(LAYOUT_V5.fixed_size + RECORD_LENGTH_FIELDS == 117);
static_assert(MIN_RECORD_ROOM > LAYOUT_V1_V2.fixed_size + RECORD_LENGTH_FIELDS);

constexpr const RecordLayout& record_layout(std::uint16_t version) {
  if (version <= 2) {
    return LAYOUT_V1_V2;
  }
  return version == 5 ? LAYOUT_V5 : LAYOUT_V3_V4;
}

// Property blocks: items of u32 name size, name (UTF-16LE with its NUL), u32 value size, value.
// Only the first "SHA1" item whose value is exactly 82 bytes (40 units and a NUL) is read.
inline constexpr std::u16string_view SHA1_PROPERTY_NAME = u"SHA1";
inline constexpr std::size_t SHA1_VALUE_SIZE = 82;
inline constexpr std::size_t SHA1_VALUE_UNITS = SHA1_VALUE_SIZE / 2;

// Bits of the status words.
// flags_a: any of these makes an entry an autorun entry.
inline constexpr std::uint32_t AUTORUN_BITS = 0x0002231C;
// flags_a, flags_c: an entry whose SHA-1 is not to be looked at.
inline constexpr std::uint32_t HASH_EXEMPT_A = 0x00000400;
inline constexpr std::uint32_t HASH_EXEMPT_C = 0x00000002;
// flags_a, flags_c: the bits a status comparison looks at; flags_b is dropped, flags_d kept.
inline constexpr std::uint32_t STATUS_KEEP_A = 0x7FBAE77C;
inline constexpr std::uint32_t STATUS_KEEP_C = 0xFDFF6592;

}  // namespace tarvel
