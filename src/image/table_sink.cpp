// The table sink: hosts text, application texts and entries kept as the loader hands them over.
#include "image/table_sink.h"

#include <cstring>
#include <vector>

#include "image/little_endian.h"
#include "image/stored_text.h"

namespace tarvel {

void TableSink::image_start(std::uint16_t version, std::uint32_t file_size) {
  image_.version = version;
  image_.file_size = file_size;
}

void TableSink::run_start(const RunStart& run) {
  capture_ = Capture::nothing;
  text_ended_ = false;
  odd_byte_pending_ = false;
  if (run.kind == RunKind::hosts) {
    capture_ = Capture::hosts;
    image_.hosts.clear();
  } else if (run.kind == RunKind::application_text) {
    if (run.index == APPLICATION_KEY_TEXT) {
      capture_ = Capture::app_key;
    } else if (run.index == APPLICATION_LABEL_TEXT) {
      capture_ = Capture::app_label;
    }
    text_start_ = image_.apps.texts().size();
  }
}

void TableSink::run_piece(std::span<const std::uint8_t> bytes) {
  if (capture_ == Capture::nothing || text_ended_) {
    return;
  }
  if (capture_ == Capture::hosts) {
    // Readers stop at the first NUL; nothing after it is kept.
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(bytes.data(), 0, bytes.size()));
    const std::size_t length = end == nullptr ? bytes.size() : static_cast<std::size_t>(end - bytes.data());
    image_.hosts.append(reinterpret_cast<const char*>(bytes.data()), length);
    text_ended_ = end != nullptr;
    return;
  }
  // Application texts: whole UTF-16LE units, which may straddle two pieces, up to the first
  // NUL unit; an odd last byte belongs to no unit.
  std::vector<char16_t>& texts = image_.apps.texts();
  std::size_t at = 0;
  if (odd_byte_pending_ && !bytes.empty()) {
    const auto unit = static_cast<char16_t>(odd_byte_ | (bytes[0] << 8));
    odd_byte_pending_ = false;
    at = 1;
    if (unit == 0) {
      text_ended_ = true;
      return;
    }
    texts.push_back(unit);
  }
  for (; at + 1 < bytes.size(); at += 2) {
    const char16_t unit = load_u16(bytes.data() + at);
    if (unit == 0) {
      text_ended_ = true;
      return;
    }
    texts.push_back(unit);
  }
  if (at < bytes.size()) {
    odd_byte_ = bytes[at];
    odd_byte_pending_ = true;
  }
}

void TableSink::run_end() {
  std::vector<char16_t>& texts = image_.apps.texts();
  const auto start = static_cast<std::uint32_t>(text_start_);
  const auto length = static_cast<std::uint32_t>(texts.size() - text_start_);
  if (capture_ == Capture::app_key) {
    app_.key = start;
    app_.key_length = length;
  } else if (capture_ == Capture::app_label) {
    app_.label = start;
    app_.label_length = length;
  }
  capture_ = Capture::nothing;
}

void TableSink::application_start(std::uint64_t) { app_ = AppRow{}; }

void TableSink::application_end() { image_.apps.rows().push_back(app_); }

void TableSink::entry(const EntryFields& fields) {
  // Entries of one directory usually follow one another: their directory is kept once.
  std::uint32_t kept = 0;
  if (!rewrite_) {
    kept = image_.entries.add_stored_directory(fields.directory);
  } else {
    kept = image_.entries.add_stored_directory(fields.directory, rewrite_.narrow);
    if (kept == IdTable::NONE) {
      // Units above 0xFF before or after the rewrite: it is done on the decoded units.
      std::span<char16_t> directory(decoded_.data(), decode_field_text(fields.directory, decoded_));
      rewrite_.wide(directory);
      kept = image_.entries.add_directory({directory.data(), directory.size()});
    }
  }
  image_.entries.append_stored(fields.name, kept, fields);
}

void TableSink::entry_end(const PropertiesEnd& properties) {
  image_.entries.set_sha1(image_.entries[image_.entries.size() - 1], properties.sha1);
}

}  // namespace tarvel
