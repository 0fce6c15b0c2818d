#include "report/terminal_text.h"

#include <algorithm>

namespace tarvel {

namespace {

bool is_masked_unit(char16_t unit) {
  switch (unit) {
    case 0x061C:  // Arabic letter mark
    case 0x200E:  // left-to-right and right-to-left marks
    case 0x200F:
    case 0x2028:  // line and paragraph separators: a line break to some viewers
    case 0x2029:
      return true;
    default:
      break;
  }
  // Embeddings, overrides and their end; isolates and their end.
  return is_control_character(unit) || (unit >= 0x202A && unit <= 0x202E) ||
         (unit >= 0x2066 && unit <= 0x2069);
}

// The bytes at the front of a text that decode to one character, or that decode to nothing and
// stand alone; masked when a terminal could act on them.
struct Piece {
  std::size_t length;
  bool masked;
};

unsigned char byte_at(std::string_view bytes, std::size_t index) {
  return static_cast<unsigned char>(bytes[index]);
}

// The length of the well-formed UTF-8 sequence that starts the text: no overlong form, no
// surrogate, nothing above U+10FFFF. 0 when none starts it.
std::size_t utf8_sequence_length(std::string_view bytes) {
  const unsigned char lead = byte_at(bytes, 0);
  if (lead < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    second_low = lead == 0xE0 ? 0xA0 : 0x80;
    second_high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    second_low = lead == 0xF0 ? 0x90 : 0x80;
    second_high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (bytes.size() < length || byte_at(bytes, 1) < second_low || byte_at(bytes, 1) > second_high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (byte_at(bytes, i) < 0x80 || byte_at(bytes, i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

// A C1 control is one character, so it becomes one '?', as it does on the wide channel. A byte
// of a broken sequence is looked at on its own: one that could end a control sequence in a
// lenient decoder (0x80 to 0x9F, the last byte of every overlong C0 or C1 control) is masked.
Piece utf8_piece(std::string_view bytes) {
  const unsigned char first = byte_at(bytes, 0);
  const std::size_t length = utf8_sequence_length(bytes);
  if (length == 0) {
    return {1, is_c1_byte(first)};
  }
  if (length == 1) {
    return {1, is_control_character(first)};
  }
  return {length, length == 2 && first == 0xC2 && is_c1_byte(byte_at(bytes, 1))};
}

// In a double-byte code page a lead byte and its trail byte are one character, never a control,
// whatever each would be alone.
Piece code_page_piece(std::string_view bytes, const OutputEncoding& encoding) {
  const unsigned char first = byte_at(bytes, 0);
  if (encoding.is_lead_byte(first) && bytes.size() >= 2 &&
      encoding.is_trail_byte(byte_at(bytes, 1))) {
    return {2, false};
  }
  return {1, encoding.is_masked_alone(first)};
}

}  // namespace

std::u16string_view terminal_safe(std::u16string_view text, std::u16string& scratch) {
  if (std::none_of(text.begin(), text.end(), is_masked_unit)) {
    return text;
  }
  scratch.assign(text);
  std::replace_if(scratch.begin(), scratch.end(), is_masked_unit, u'?');
  return scratch;
}

std::string_view terminal_safe(std::string_view bytes, const OutputEncoding& encoding,
                               std::string& scratch) {
  scratch.clear();
  bool masked = false;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::string_view rest = bytes.substr(at);
    const Piece piece = encoding.is_utf8() ? utf8_piece(rest) : code_page_piece(rest, encoding);
    if (piece.masked) {
      scratch.push_back('?');
      masked = true;
    } else {
      scratch.append(rest.substr(0, piece.length));
    }
    at += piece.length;
  }
  return masked ? std::string_view(scratch) : bytes;
}

}  // namespace tarvel
