// What each byte of the output encoding decodes to.
#include "platform/output_encoding.h"

#include <algorithm>
#include <vector>

namespace tarvel {

OutputEncoding OutputEncoding::utf8() {
  OutputEncoding encoding;
  encoding.utf8_ = true;
  return encoding;
}

OutputEncoding OutputEncoding::code_page() {
  OutputEncoding encoding;
  for (std::size_t index = 0; index < 0x100; ++index) {
    const auto byte = static_cast<unsigned char>(index);
    encoding.masked_alone_[index] = byte < 0x80 && is_control_character(byte);
    encoding.trail_[index] = byte >= 0x40 && byte != 0x7F && !is_c1_byte(byte);
  }
  return encoding;
}

OutputEncoding OutputEncoding::code_page(
    const std::function<DecodedText(std::string_view)>& decode) {
  OutputEncoding encoding = code_page();
  std::vector<char> leads;
  for (unsigned value = 0x80; value < 0x100; ++value) {
    const auto byte = static_cast<unsigned char>(value);
    const char alone = static_cast<char>(byte);
    const DecodedText decoded = decode(std::string_view(&alone, 1));
    switch (decoded.kind) {
      case DecodedText::Kind::one_character:
        encoding.set_decoded(byte, decoded.character);
        break;
      case DecodedText::Kind::incomplete:
        encoding.set_lead_byte(byte);
        leads.push_back(alone);
        break;
      case DecodedText::Kind::invalid:
        encoding.set_undecodable(byte);
        break;
    }
  }
  // A byte that some lead byte takes as its second half is decoded with it, not alone.
  for (unsigned value = 0x80; value <= 0x9F; ++value) {
    const auto trail = static_cast<char>(value);
    const bool ends_a_pair = std::any_of(leads.begin(), leads.end(), [&](char lead) {
      const char pair[] = {lead, trail};
      return decode(std::string_view(pair, 2)).kind == DecodedText::Kind::one_character;
    });
    if (ends_a_pair) {
      encoding.set_trail_byte(static_cast<unsigned char>(value));
    }
  }
  return encoding;
}

void OutputEncoding::set_decoded(unsigned char byte, char32_t character) {
  masked_alone_[byte] = is_masked_character(character);
}

void OutputEncoding::set_undecodable(unsigned char byte) { masked_alone_[byte] = is_c1_byte(byte); }

void OutputEncoding::set_lead_byte(unsigned char byte) {
  lead_[byte] = true;
  // A lead byte without its second half decodes to nothing.
  set_undecodable(byte);
}

void OutputEncoding::set_trail_byte(unsigned char byte) {
  // Below 0x40 a byte would be a C0 control or ASCII, never the second half of a character.
  if (is_c1_byte(byte)) {
    trail_[byte] = true;
  }
}

}  // namespace tarvel
