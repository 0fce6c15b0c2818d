#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

namespace tarvel {

inline constexpr std::size_t IMAGE_HEADER_SIZE = 284;
// Capacities, in UTF-16 units, of the fields that entry texts land in.
inline constexpr std::size_t NAME_FIELD_UNITS = 260;
inline constexpr std::size_t DIRECTORY_FIELD_UNITS = 2048;
inline constexpr std::size_t EXTRA_TEXT_FIELD_UNITS = 1024;

// One file-system entry of an image. Texts hold exactly the text up to the first NUL of their
// field, never more than the field's capacity; fields a version lacks are 0.
struct EntryRecord {
  std::u16string name;
  std::u16string directory;
  std::u16string extra_text;
  std::vector<std::uint8_t> properties;  // the property block as stored
  std::uint64_t lead_value = 0;
  std::uint32_t flags_a = 0;
  std::uint32_t flags_b = 0;
  std::uint32_t flags_c = 0;
  std::uint32_t flags_d = 0;
  std::uint32_t dword_a = 0;
  std::uint32_t dword_b = 0;
  std::uint32_t properties_size = 0;
  std::uint16_t word_a = 0;
  std::uint8_t byte_a = 0;
  std::uint8_t byte_b = 0;
  std::uint8_t byte_c = 0;
  std::array<std::uint8_t, 64> block_a{};
};

using EntryTable = std::vector<EntryRecord>;

// One installed application. Each text holds the whole UTF-16 units of its stored bytes; its
// readers end it at its first NUL unit (see text_up_to_nul).
struct AppRecord {
  std::u16string label;
  std::u16string text_4;
  std::u16string key;
  std::u16string text_2;
  std::optional<std::u16string> text_5;  // absent in version 2 images
};

// Everything loaded from one image file. The file's own buffer is not kept: every value is
// copied out of it.
struct LoadedImage {
  std::uint32_t file_size = 0;
  std::array<std::uint8_t, IMAGE_HEADER_SIZE> header{};
  std::string hosts;  // the hosts block's bytes exactly as stored
  std::vector<AppRecord> apps;
  EntryTable entries;
};

// The text a wide field holds: everything before its first NUL unit, or all of it.
inline std::u16string_view text_up_to_nul(std::u16string_view text) {
  return text.substr(0, text.find(u'\0'));
}
inline std::string_view text_up_to_nul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

inline constexpr std::u16string_view INCORRECT_VERSION_MESSAGE =
    u"Error: Incorrect version of image file\n";

// Fills image from the bytes of one image file. On failure, what was stored before the failure
// stays in image; only a version or digest failure prints, and it prints to console.
bool parse_image(std::span<const std::uint8_t> file_data, LoadedImage& image, Console& console);

}  // namespace tarvel
