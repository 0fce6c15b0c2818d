// Image text made safe to show on a terminal.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "platform/output_encoding.h"

namespace tarvel {

// Text from an image, made safe to show on a terminal: what a terminal would act on rather than
// show, or what would reorder a line as it is shown, prints as '?'. So a crafted image cannot
// forge, hide or disguise report lines. Each returns the text itself when nothing needs masking,
// else the masked copy it leaves in scratch.

// Wide text: C0 controls but TAB, DEL and C1 controls; the bidirectional formatting characters
// U+061C, U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069; the line and paragraph
// separators U+2028 and U+2029. Each masked unit becomes one '?'.
std::u16string_view terminal_safe(std::u16string_view text, std::u16string& scratch);

// Bytes shown in the output encoding: each byte or byte sequence that the encoding decodes to one
// of the characters masked above becomes one '?', and so does each byte 0x80 to 0x9F that it
// cannot decode. Every other byte passes as it is.
std::string_view terminal_safe(std::string_view bytes, const OutputEncoding& encoding,
                               std::string& scratch);

// A path as the user gave it, on the console: a file name can hold what a terminal acts on as
// well as an image can.
void write_terminal_safe(Console& console, const std::filesystem::path& path);

}  // namespace tarvel
