// The image writer shared by tests, samples, benchmarks and fuzz targets.
#include "testing/image_writer.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "image/format.h"
#include "image/sha256.h"

namespace tarvel::testing {

namespace {

void append_u16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append_u32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

void append(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void append_prefixed(Bytes& out, const Bytes& bytes, std::optional<std::uint32_t> length = {}) {
  append_u32(out, length.value_or(static_cast<std::uint32_t>(bytes.size())));
  append(out, bytes);
}

}  // namespace

Bytes utf16le(std::u16string_view text, bool terminated) {
  Bytes out;
  for (char16_t unit : text) {
    append_u16(out, unit);
  }
  if (terminated) {
    append_u16(out, 0);
  }
  return out;
}

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes property_item(const Bytes& name, const Bytes& value) {
  Bytes out;
  append_prefixed(out, name);
  append_prefixed(out, value);
  return out;
}

Bytes sha1_property(std::u16string_view value) {
  return property_item(utf16le(u"SHA1"), utf16le(value));
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    append(out, part);
  }
  return out;
}

EntrySpec entry(std::u16string_view directory, std::u16string_view name, std::uint32_t flags_a,
                std::uint32_t flags_c) {
  EntrySpec spec;
  spec.directory = utf16le(directory, false);
  spec.name = utf16le(name, false);
  spec.flags_a = flags_a;
  spec.flags_c = flags_c;
  return spec;
}

AppSpec app(std::u16string_view key, std::u16string_view label) {
  return AppSpec{
      {utf16le(key), utf16le(u"text 2"), utf16le(label), utf16le(u"text 4"), utf16le(u"text 5")}};
}

Bytes write_entry(const EntrySpec& entry, std::uint16_t version) {
  const RecordLayout& layout = record_layout(version);
  Bytes out(layout.fixed_size, 0);
  const auto put = [&](std::size_t offset, std::uint64_t value, std::size_t size) {
    if (offset == ABSENT_FIELD) {
      return;
    }
    for (std::size_t i = 0; i < size; ++i) {
      out.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
    }
  };
  put(0, entry.lead_value, layout.lead_size);
  put(layout.byte_a, entry.byte_a, 1);
  put(layout.dword_a, entry.dword_a, 4);
  put(layout.dword_b, entry.dword_b, 4);
  std::copy(entry.block_a.begin(), entry.block_a.end(),
            out.begin() + static_cast<std::ptrdiff_t>(layout.block_a));
  put(layout.flags_a, entry.flags_a, 4);
  put(layout.flags_b, entry.flags_b, 4);
  put(layout.flags_c, entry.flags_c, 4);
  put(layout.flags_d, entry.flags_d, 4);
  put(layout.byte_b, entry.byte_b, 1);
  put(layout.word_a, entry.word_a, 2);
  put(layout.byte_c, entry.byte_c, 1);
  append_prefixed(out, entry.name, entry.name_length);
  append_prefixed(out, entry.directory);
  append_prefixed(out, entry.extra_text);
  append_prefixed(out, entry.properties, entry.properties_length);
  return out;
}

Bytes write_image(const ImageSpec& spec) {
  Bytes out;
  out.reserve(1024 + spec.hosts.size() + spec.entry_tail.size());
  append_u16(out, spec.version);
  out.insert(out.end(), spec.header.begin(), spec.header.end());
  for (const Bytes& block : spec.skipped) {
    append_prefixed(out, block);
  }
  append_prefixed(out, spec.hosts);
  if (spec.version >= FIRST_VERSION_WITH_APPLICATIONS) {
    append_u32(out, spec.app_count.value_or(static_cast<std::uint32_t>(spec.apps.size())));
    const std::size_t texts = application_text_count(spec.version);
    for (const AppSpec& application : spec.apps) {
      for (std::size_t i = 0; i < std::min(texts, application.texts.size()); ++i) {
        append_prefixed(out, application.texts[i]);
      }
    }
  }
  Bytes section;
  for (const EntrySpec& record : spec.entries) {
    append(section, write_entry(record, spec.version));
  }
  append(section, spec.entry_tail);
  if (spec.version >= FIRST_VERSION_WITH_TRAILER) {
    append_prefixed(out, section, spec.section_length);
    append(out, spec.after_section);
    Sha256 sha;
    sha.update(out);
    Sha256Digest digest = sha.finish();
    if (spec.corrupt_digest) {
      digest[0] ^= 0x01;
    }
    append_u32(out, spec.trailer_length);
    out.insert(out.end(), digest.begin(), digest.end());
  } else {
    append(out, section);
  }
  return out;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

void put_u32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace tarvel::testing
