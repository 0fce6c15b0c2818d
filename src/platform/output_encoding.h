// The output encoding, and which characters a terminal must never be handed.
#pragma once

#include <bitset>
#include <functional>
#include <string_view>

namespace tarvel {

// C0 controls but TAB, DEL and the C1 controls: characters a terminal may act on instead of
// showing them.
constexpr bool is_control_character(char32_t character) {
  return (character < 0x20 && character != U'\t') || (character >= 0x7F && character <= 0x9F);
}

// What a terminal must never be handed from an image: the controls above; the bidirectional
// formatting characters U+061C, U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069, which
// reorder a line as it is shown; the line and paragraph separators U+2028 and U+2029, a line
// break to some viewers.
constexpr bool is_masked_character(char32_t character) {
  return is_control_character(character) || character == 0x061C || character == 0x200E ||
         character == 0x200F || character == 0x2028 || character == 0x2029 ||
         (character >= 0x202A && character <= 0x202E) ||
         (character >= 0x2066 && character <= 0x2069);
}

// Where the C1 controls lie in 8-bit code pages: a byte here that decodes to nothing may still
// be taken for one by a terminal.
constexpr bool is_c1_byte(unsigned char byte) { return byte >= 0x80 && byte <= 0x9F; }

// What a decoder makes of a whole byte string.
struct DecodedText {
  enum class Kind { one_character, incomplete, invalid };
  Kind kind = Kind::invalid;
  char32_t character = 0;  // for one_character
};

// What the encoding of standard output makes of bytes, as far as a terminal could take them for
// control characters. The platform describes its encoding byte by byte with its own decoder;
// tests describe any encoding the same way.
class OutputEncoding {
 public:
  // UTF-8, whose rules are fixed: C1 controls are the sequences C2 80 to C2 9F.
  static OutputEncoding utf8();
  // A code page of one or two bytes a character, to be described with the set_ operations. Its
  // bytes below 0x80 are ASCII, as in every encoding the program runs under.
  static OutputEncoding code_page();
  // A code page described by the system's own decoder, which is asked about each byte from 0x80
  // up and about byte pairs.
  static OutputEncoding code_page(const std::function<DecodedText(std::string_view)>& decode);

  // The byte, standing alone, decodes to this character.
  void set_decoded(unsigned char byte, char32_t character);
  // The byte, standing alone, decodes to nothing.
  void set_undecodable(unsigned char byte);
  // The byte begins a two-byte character.
  void set_lead_byte(unsigned char byte);
  // The byte, one of 0x80 to 0x9F, can end a two-byte character after a lead byte. Every byte
  // from 0x40 up but DEL and 0x80 to 0x9F can from the start.
  void set_trail_byte(unsigned char byte);

  bool is_utf8() const { return utf8_; }
  // True when the byte, outside a two-byte character, must not reach a terminal: it decodes to a
  // masked character, or it is one of 0x80 to 0x9F and decodes to nothing.
  bool is_masked_alone(unsigned char byte) const { return masked_alone_[byte]; }
  bool is_lead_byte(unsigned char byte) const { return lead_[byte]; }
  bool is_trail_byte(unsigned char byte) const { return trail_[byte]; }

 private:
  OutputEncoding() = default;

  bool utf8_ = false;
  std::bitset<256> masked_alone_;
  std::bitset<256> lead_;
  std::bitset<256> trail_;
};

}  // namespace tarvel
