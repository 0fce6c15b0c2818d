// Text for other programs: UTF-8, JSON strings, hexadecimal forms and CSV records.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/utf16.h"

namespace tarvel {

// Text for other programs to read: UTF-8 always, nothing masked, nothing silently lost.

inline constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// The length of the well-formed UTF-8 sequence at the start of bytes (no overlong form, no
// surrogate, nothing past U+10FFFF) and its character; 0 when none starts them.
std::size_t decode_utf8(std::string_view bytes, char32_t& character);
// Whether UTF-16 text holds no lone surrogate.
bool is_whole_utf16(std::u16string_view text);

// Appends one character (a scalar value) as UTF-8.
void append_utf8(std::string& out, char32_t character);

// Calls put(character) for each character of UTF-16 text, or of bytes that should be UTF-8;
// a lone surrogate, or a byte that starts no well-formed sequence, comes as U+FFFD, and false
// comes back.
template <typename Put>
bool for_each_character_of(std::u16string_view text, Put put) {
  return for_each_character(text, [&](char32_t character, bool whole) {
    put(whole ? character : REPLACEMENT_CHARACTER);
  });
}
template <typename Put>
bool for_each_character_of(std::string_view bytes, Put put) {
  bool whole = true;
  while (!bytes.empty()) {
    char32_t character = 0;
    const std::size_t length = decode_utf8(bytes, character);
    put(length == 0 ? REPLACEMENT_CHARACTER : character);
    whole = whole && length != 0;
    bytes.remove_prefix(length == 0 ? 1 : length);
  }
  return whole;
}

// Appends UTF-16 text as UTF-8. A lone surrogate, which no UTF-8 can hold, becomes U+FFFD;
// returns false when that happened, so the caller can add the exact units.
bool append_utf8(std::string& out, std::u16string_view text);
// Appends bytes that should be UTF-8: a sequence that is not becomes U+FFFD; false then.
bool append_utf8(std::string& out, std::string_view bytes);

// The same as a JSON string with its quotes: '"', '\' and every control character (C0, DEL,
// C1) escaped, and U+2028 and U+2029 too, which some JSON readers take for line ends.
bool append_json_string(std::string& out, std::u16string_view text);
bool append_json_string(std::string& out, std::string_view bytes);

// The exact units, four hexadecimal digits each, or the exact bytes, two each.
void append_hex(std::string& out, std::u16string_view units);
void append_hex(std::string& out, std::string_view bytes);

// One CSV field, quoted and guarded as append_csv_record does it.
void append_csv_field(std::string& out, std::string_view field);

// One CSV record (RFC 4180) ended by CR LF. A field is quoted when it holds a comma, a quote, CR
// or LF; a field that starts with '=', '+', '-', '@', TAB, CR or an apostrophe gets a leading
// apostrophe first, so a spreadsheet never takes it for a formula, and a reader that strips one
// leading apostrophe from every field that has one gets the text back.
void append_csv_record(std::string& out, std::span<const std::string> fields);

}  // namespace tarvel
