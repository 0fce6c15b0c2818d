// Masking image text for a terminal.
#include "report/terminal_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "report/machine_text.h"

namespace tarvel {

namespace {

// Printable ASCII is told apart first: paths with other letters are mostly ASCII too.
bool is_masked_unit(char16_t unit) {
  return (unit < 0x20 || unit >= 0x7F) && is_masked_character(unit);
}

// How many units at the front of a text are printable ASCII (0x20 to 0x7E), as most paths are
// whole; four units at a time in the 16-bit lanes of a 64-bit word.
std::size_t printable_ascii_prefix(std::u16string_view text) {
  constexpr std::uint64_t LANES = 0x0001000100010001;
  constexpr std::uint64_t BIT_7 = LANES * 0x80;
  std::size_t at = 0;
  for (; at + 4 <= text.size(); at += 4) {
    std::uint64_t units = 0;
    std::memcpy(&units, text.data() + at, sizeof units);
    // Below 0x80 in every lane, no lane carries into the next: 0x7F alone reaches bit 7 plus
    // one, and all from 0x20 up reach it plus 0x60.
    if ((units & ~(BIT_7 - LANES)) != 0 || ((units + LANES) & BIT_7) != 0 ||
        ((units + LANES * 0x60) & BIT_7) != BIT_7) {
      return at;
    }
  }
  while (at < text.size() && text[at] >= 0x20 && text[at] < 0x7F) {
    ++at;
  }
  return at;
}

// The bytes at the front of a text that decode to one character, or that decode to nothing and
// stand alone; masked when a terminal could act on them.
struct Piece {
  std::size_t length;
  bool masked;
};

// A C1 control is one character, so it becomes one '?', as it does on the wide channel. A byte
// of a broken sequence is looked at on its own: one that could end a control sequence in a
// lenient decoder (0x80 to 0x9F, the last byte of every overlong C0 or C1 control) is masked.
Piece utf8_piece(std::string_view bytes) {
  char32_t character = 0;
  const std::size_t length = decode_utf8(bytes, character);
  if (length == 0) {
    return {1, is_c1_byte(static_cast<unsigned char>(bytes.front()))};
  }
  return {length, is_masked_character(character)};
}

// In a double-byte code page a lead byte and its trail byte are one character, never a control,
// whatever each would be alone.
Piece code_page_piece(std::string_view bytes, const OutputEncoding& encoding) {
  const auto first = static_cast<unsigned char>(bytes[0]);
  if (encoding.is_lead_byte(first) && bytes.size() >= 2 &&
      encoding.is_trail_byte(static_cast<unsigned char>(bytes[1]))) {
    return {2, false};
  }
  return {1, encoding.is_masked_alone(first)};
}

}  // namespace

std::u16string_view terminal_safe(std::u16string_view text, std::u16string& scratch) {
  // Only the units after the printable front need the full test.
  const std::u16string_view rest = text.substr(printable_ascii_prefix(text));
  if (std::none_of(rest.begin(), rest.end(), is_masked_unit)) {
    return text;
  }
  scratch.assign(text);
  std::replace_if(scratch.begin(), scratch.end(), is_masked_unit, u'?');
  return scratch;
}

std::string_view terminal_safe(std::string_view bytes, const OutputEncoding& encoding,
                               std::string& scratch) {
  // Most lines need nothing masked: the copy starts at the first piece that does.
  bool masked = false;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::string_view rest = bytes.substr(at);
    const Piece piece = encoding.is_utf8() ? utf8_piece(rest) : code_page_piece(rest, encoding);
    if (piece.masked && !masked) {
      scratch.assign(bytes.substr(0, at));
      masked = true;
    }
    if (masked) {
      if (piece.masked) {
        scratch.push_back('?');
      } else {
        scratch.append(rest.substr(0, piece.length));
      }
    }
    at += piece.length;
  }
  return masked ? std::string_view(scratch) : bytes;
}

void write_terminal_safe(Console& console, const std::filesystem::path& path) {
  const std::filesystem::path::string_type& native = path.native();
#ifdef _WIN32
  // UTF-16 units, whatever they hold.
  const std::u16string units(native.begin(), native.end());
  std::u16string scratch;
  console.write_wide(terminal_safe(units, scratch));
#else
  // The bytes the file system holds, shown in the output encoding.
  std::string scratch;
  console.write_bytes(terminal_safe(native, console.output_encoding(), scratch));
#endif
}

}  // namespace tarvel
