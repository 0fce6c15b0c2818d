// A sink that keeps everything the loader hands over, for tests.
#pragma once

#include <cstdint>
#include <vector>

#include "image/load_image.h"
#include "image/record_sink.h"
#include "testing/image_writer.h"

namespace tarvel::testing {

// Everything the loader hands over, kept whole, so tests can check each field it read.
class RecordingSink final : public RecordSink {
 public:
  struct Property {
    Bytes name;
    Bytes value;
  };
  struct Entry {
    EntryFields fields;  // spans cleared; the bytes are kept below
    Bytes block_a;
    Bytes name;
    Bytes directory;
    Bytes extra_text;
    std::vector<Property> properties;
    PropertiesEnd end;
  };

  explicit RecordingSink(bool properties = true) : properties_(properties) {}

  void image_start(std::uint16_t version_word, std::uint32_t size) override {
    version = version_word;
    file_size = size;
  }
  void header(std::span<const std::uint8_t> bytes) override {
    image_header.assign(bytes.begin(), bytes.end());
  }
  void run_start(const RunStart& run) override {
    run_ = run;
    bytes_.clear();
  }
  void run_piece(std::span<const std::uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    ++pieces;
  }
  void run_end() override {
    switch (run_.kind) {
      case RunKind::hosts:
        hosts = bytes_;
        break;
      case RunKind::application_text:
        apps.back().push_back(bytes_);
        break;
      case RunKind::property_name:
        entries.back().properties.push_back({bytes_, {}});
        break;
      case RunKind::property_value:
        entries.back().properties.back().value = bytes_;
        break;
    }
  }
  void application_start(std::uint64_t) override { apps.emplace_back(); }
  void entry(const EntryFields& fields) override {
    Entry& entry = entries.emplace_back();
    entry.fields = fields;
    entry.block_a.assign(fields.block_a.begin(), fields.block_a.end());
    entry.name.assign(fields.name.begin(), fields.name.end());
    entry.directory.assign(fields.directory.begin(), fields.directory.end());
    entry.extra_text.assign(fields.extra_text.begin(), fields.extra_text.end());
    entry.fields.block_a = {};
    entry.fields.name = {};
    entry.fields.directory = {};
    entry.fields.extra_text = {};
  }
  bool wants_properties() const override { return properties_; }
  void entry_end(const PropertiesEnd& properties) override { entries.back().end = properties; }

  std::uint16_t version = 0;
  std::uint32_t file_size = 0;
  Bytes image_header;
  Bytes hosts;
  std::vector<std::vector<Bytes>> apps;  // each application's texts in file order
  std::vector<Entry> entries;
  std::size_t pieces = 0;  // how many pieces runs arrived in

 private:
  bool properties_;
  RunStart run_;
  Bytes bytes_;
};

}  // namespace tarvel::testing
