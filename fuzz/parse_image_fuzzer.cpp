// Feeds arbitrary bytes to the image loader as one whole image file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/loaded_image.h"
#include "platform/console.h"

namespace {

// What a loaded image promises its readers, whatever the file held.
void check_invariants(const tarvel::LoadedImage& image, std::size_t file_size) {
  if (image.file_size != file_size) {
    __builtin_trap();
  }
  for (const tarvel::EntryRecord& record : image.entries) {
    const bool texts_fit = record.name.size() <= tarvel::NAME_FIELD_UNITS &&
                           record.directory.size() <= tarvel::DIRECTORY_FIELD_UNITS &&
                           record.extra_text.size() <= tarvel::EXTRA_TEXT_FIELD_UNITS;
    const bool texts_end_at_nul =
        record.name.view().find(u'\0') == std::u16string_view::npos &&
        record.directory.view().find(u'\0') == std::u16string_view::npos &&
        record.extra_text.view().find(u'\0') == std::u16string_view::npos;
    if (!texts_fit || !texts_end_at_nul || record.properties_size != record.properties.size()) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarvel::DiscardingConsole console;
  tarvel::LoadedImage image;
  tarvel::parse_image(std::span<const std::uint8_t>(data, size), image, console);
  check_invariants(image, size);
  return 0;
}
