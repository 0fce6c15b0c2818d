// Writes the seed corpora of the fuzz targets into the directory named on the command line:
// one folder per target, with the sample pair and small images of every version.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "testing/image_writer.h"
#include "testing/sample_images.h"

namespace {

using tarvel::testing::app;
using tarvel::testing::Bytes;
using tarvel::testing::bytes_of;
using tarvel::testing::concat;
using tarvel::testing::entry;
using tarvel::testing::EntrySpec;
using tarvel::testing::ImageSpec;
using tarvel::testing::property_item;
using tarvel::testing::sha1_property;
using tarvel::testing::utf16le;
using tarvel::testing::write_image;

constexpr std::u16string_view SHA1_A = u"0123456789abcdef0123456789abcdef01234567";
constexpr std::u16string_view SHA1_B = u"76543210fedcba9876543210fedcba9876543210";

class SeedFolder {
 public:
  SeedFolder(const std::filesystem::path& root, const std::string& name) : path_(root / name) {
    std::filesystem::create_directories(path_);
  }

  void write(const std::string& name, const Bytes& bytes) {
    ok_ = tarvel::testing::write_file((path_ / name).string(), bytes) && ok_;
  }
  bool ok() const { return ok_; }

 private:
  std::filesystem::path path_;
  bool ok_ = true;
};

EntrySpec hashed(EntrySpec spec, std::u16string_view sha1) {
  spec.properties =
      concat({property_item(utf16le(u"Company"), utf16le(u"Lindell")), sha1_property(sha1)});
  return spec;
}

// A small image that reaches every section of its version.
ImageSpec small_image(std::uint16_t version, std::u16string_view sha1) {
  ImageSpec spec;
  spec.version = version;
  spec.skipped = {Bytes{1}, Bytes{}, Bytes{2, 3}, Bytes(8, 4)};
  spec.hosts = bytes_of(std::string("127.0.0.1 localhost\r\n# note\n10.0.0.1 Printer\n\0", 46));
  spec.apps = {app(u"{key-1}", u"First App"), app(u"{key-2}", u"Second App")};
  spec.entries = {hashed(entry(u"c:\\Windows", u"explorer.exe", 0x0000001C, 0), sha1),
                  hashed(entry(u"C:\\Tools", u"tool.exe", 0x00000020, 0x10), SHA1_A),
                  entry(u"", u"bare", 0x00000400, 0x2)};
  return spec;
}

std::string version_name(const std::string& stem, std::uint16_t version,
                         const std::string& extension = ".img") {
  return stem + "-v" + std::to_string(version) + extension;
}

Bytes u32_le(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

// A whole-run input: the old image's length, the old image, the new image.
Bytes image_pair(const Bytes& old_image, const Bytes& new_image) {
  return concat({u32_le(static_cast<std::uint32_t>(old_image.size())), old_image, new_image});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_fuzz_seeds DIRECTORY\n";
    return 2;
  }
  const std::filesystem::path root = argv[1];
  SeedFolder images(root, "parse_image");
  SeedFolder runs(root, "whole_run");
  SeedFolder blocks(root, "property_block");

  const ImageSpec sample_old = tarvel::testing::sample_old_image();
  const ImageSpec sample_new = tarvel::testing::sample_new_image();
  images.write("sample-old.img", write_image(sample_old));
  images.write("sample-new.img", write_image(sample_new));
  runs.write("sample.pair", image_pair(write_image(sample_old), write_image(sample_new)));

  for (std::uint16_t version = 1; version <= 5; ++version) {
    // The samples are version 5 images; the same content in the older layouts.
    if (version < 5) {
      ImageSpec old_spec = sample_old;
      ImageSpec new_spec = sample_new;
      old_spec.version = version;
      new_spec.version = version;
      images.write(version_name("sample-old", version), write_image(old_spec));
      runs.write(version_name("sample", version, ".pair"),
                 image_pair(write_image(old_spec), write_image(new_spec)));
    }

    const Bytes small_old = write_image(small_image(version, SHA1_A));
    const Bytes small_new = write_image(small_image(version, SHA1_B));
    images.write(version_name("small", version), small_old);
    runs.write(version_name("small", version, ".pair"), image_pair(small_old, small_new));
    runs.write(version_name("same", version, ".pair"), image_pair(small_old, small_old));
  }

  // Versions 4 and 5 without a digest to check, so changed bytes are read further.
  for (std::uint16_t version = 4; version <= 5; ++version) {
    ImageSpec spec = small_image(version, SHA1_A);
    spec.trailer_length = 0;
    spec.after_section = Bytes{0xEE, 0xEE};
    images.write(version_name("no-digest", version), write_image(spec));
  }

  // Texts that fill their fields, and an empty entry section.
  ImageSpec full_fields;
  full_fields.version = 3;
  full_fields.entries = {entry(std::u16string(2048, u'd'), std::u16string(260, u'n'), 0x4)};
  full_fields.entries[0].extra_text = Bytes(2048, 'x');
  images.write("full-fields-v3.img", write_image(full_fields));
  ImageSpec no_entries;
  no_entries.apps = {app(u"{k}", u"Only App")};
  images.write("no-entries-v5.img", write_image(no_entries));

  // The first byte is the window size; 0 reads the block in one window.
  const Bytes two_byte_windows{0x02};
  const Bytes one_window{0x00};
  blocks.write("sha1-only", concat({one_window, sha1_property(SHA1_A)}));
  blocks.write("sha1-in-two-byte-windows", concat({two_byte_windows, sha1_property(SHA1_A)}));
  blocks.write("short-then-full",
               concat({one_window, property_item(utf16le(u"SHA1"), Bytes(80, 'a')),
                       sha1_property(SHA1_B)}));
  blocks.write("other-names",
               concat({one_window, property_item(utf16le(u"Company"), Bytes{}),
                       property_item(utf16le(u"sha1"), utf16le(SHA1_A)), sha1_property(SHA1_B)}));
  blocks.write("name-past-nul",
               concat({one_window, property_item(utf16le(std::u16string_view(u"SHA1\0X", 6)),
                                                  utf16le(SHA1_A))}));
  blocks.write("sample-entry", concat({one_window, sample_old.entries[0].properties}));

  if (!images.ok() || !runs.ok() || !blocks.ok()) {
    std::cerr << "make_fuzz_seeds: cannot write into " << root << "\n";
    return 1;
  }
  return 0;
}
