// The sink that fills a loaded image's compact tables as the loader reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "image/loaded_image.h"
#include "image/record_sink.h"

namespace tarvel {

// Fills a LoadedImage from the loader, keeping only what comparing and reporting use.
class TableSink final : public RecordSink {
 public:
  // `rewrite`, when given, is applied to every directory before it is kept.
  explicit TableSink(LoadedImage& image, DirectoryRewrite rewrite = {})
      : image_(image), rewrite_(std::move(rewrite)) {}

  void image_start(std::uint16_t version, std::uint32_t file_size) override;
  void run_start(const RunStart& run) override;
  void run_piece(std::span<const std::uint8_t> bytes) override;
  void run_end() override;
  void application_start(std::uint64_t offset) override;
  void application_end() override;
  void entry(const EntryFields& fields) override;
  void entry_end(const PropertiesEnd& properties) override;

 private:
  enum class Capture { nothing, hosts, app_key, app_label };

  LoadedImage& image_;
  DirectoryRewrite rewrite_;
  Capture capture_ = Capture::nothing;
  bool text_ended_ = false;  // a NUL was seen: the rest of the run is not part of the text
  bool odd_byte_pending_ = false;
  std::uint8_t odd_byte_ = 0;
  std::size_t text_start_ = 0;
  AppRow app_;
  // Where a stored text is decoded before it is kept in its one form.
  std::array<char16_t, DIRECTORY_FIELD_UNITS> decoded_;
};

}  // namespace tarvel
