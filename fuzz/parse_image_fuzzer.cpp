// Feeds arbitrary bytes to the image loader as one whole image file, read once through large
// windows on two threads and once through tiny windows with short reads on one: both must
// agree, and what the tables keep must be what their readers may rely on.
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/load_image.h"
#include "image/loaded_image.h"
#include "image/table_sink.h"
#include "testing/fake_platform.h"

namespace {

tarvel::LoadResult load(std::span<const std::uint8_t> bytes, tarvel::LoadedImage& image,
                        std::size_t window, std::size_t largest_read, bool threaded) {
  tarvel::testing::FakeFile file;
  file.bytes = bytes;
  file.largest_read = largest_read;
  const tarvel::OpenedFile opened = tarvel::testing::open_fake_file(file);
  if (!opened.file) {
    return {};
  }
  tarvel::WindowBuffers windows(window);
  tarvel::TableSink sink(image);
  return tarvel::ImageLoader(windows, {threaded}).load(*opened.file, sink);
}

void check_invariants(const tarvel::LoadedImage& image) {
  const tarvel::EntryTable& table = image.entries;
  for (std::size_t index = 0; index < table.size(); ++index) {
    const std::u16string name = table.name(table[index]).str();
    const std::u16string directory = table.directory(table[index]).str();
    const bool texts_fit = name.size() <= tarvel::NAME_FIELD_UNITS &&
                           directory.size() <= tarvel::DIRECTORY_FIELD_UNITS;
    const bool texts_end_at_nul = name.find(u'\0') == std::u16string::npos &&
                                  directory.find(u'\0') == std::u16string::npos;
    const std::u16string sha1 = table.sha1_text(table[index]);
    if (!texts_fit || !texts_end_at_nul || sha1.size() > tarvel::SHA1_VALUE_UNITS ||
        sha1.find(u'\0') != std::u16string::npos) {
      __builtin_trap();
    }
  }
  if (image.hosts.find('\0') != std::string::npos) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  tarvel::LoadedImage large;
  tarvel::LoadedImage tiny;
  const tarvel::LoadResult first = load(bytes, large, 1 << 20, SIZE_MAX, true);
  const tarvel::LoadResult second = load(bytes, tiny, 16, 5, false);
  if (first.outcome != second.outcome || first.offset != second.offset ||
      large.entries.size() != tiny.entries.size() || large.apps.size() != tiny.apps.size() ||
      large.hosts != tiny.hosts) {
    __builtin_trap();
  }
  check_invariants(large);
  return 0;
}
