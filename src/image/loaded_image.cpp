#include "image/loaded_image.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "image/little_endian.h"
#include "image/stored_text.h"

namespace tarvel {

namespace {

constexpr std::size_t SHA1_DIGITS = 40;

// For each byte: its value as a hexadecimal digit, with a bit for a lower-case or an upper-case
// letter, or NOT_HEX.
constexpr std::uint8_t LOWER = 0x10;
constexpr std::uint8_t UPPER = 0x20;
constexpr std::uint8_t NOT_HEX = 0x40;
constexpr std::array<std::uint8_t, 256> HEX_DIGITS = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(NOT_HEX);
  for (std::size_t digit = 0; digit < 10; ++digit) {
    table['0' + digit] = static_cast<std::uint8_t>(digit);
  }
  for (std::size_t letter = 0; letter < 6; ++letter) {
    table['a' + letter] = static_cast<std::uint8_t>(LOWER | (10 + letter));
    table['A' + letter] = static_cast<std::uint8_t>(UPPER | (10 + letter));
  }
  return table;
}();

// The packed form of a stored value whose text is 40 hexadecimal digits in one case: the 41st
// unit is its NUL, and every unit before it is a digit. Anything else keeps its text. Digits
// alone count as lower case, so each text has exactly one form.
Sha1Form pack_sha1(const std::array<std::uint8_t, SHA1_VALUE_SIZE>& value,
                   std::array<std::uint8_t, 20>& packed) {
  unsigned seen = (value[SHA1_DIGITS * 2] | value[SHA1_DIGITS * 2 + 1]) != 0 ? NOT_HEX : 0U;
  for (std::size_t i = 0; i < SHA1_DIGITS; i += 2) {
    const std::uint8_t high = HEX_DIGITS[value[2 * i]];
    const std::uint8_t low = HEX_DIGITS[value[2 * i + 2]];
    // A unit above 0xFF is no digit either.
    seen |= static_cast<unsigned>(high | low) |
            ((value[2 * i + 1] | value[2 * i + 3]) != 0 ? NOT_HEX : 0U);
    packed[i / 2] = static_cast<std::uint8_t>((high & 0x0F) << 4 | (low & 0x0F));
  }
  if ((seen & NOT_HEX) != 0 || ((seen & LOWER) != 0 && (seen & UPPER) != 0)) {
    return Sha1Form::text;
  }
  return (seen & UPPER) != 0 ? Sha1Form::upper_hex : Sha1Form::lower_hex;
}

}  // namespace

EntryTable::Placed EntryTable::place(std::u16string_view text) {
  const std::span<char16_t> room = texts_.room(text.size());
  if (pack_narrow(text.data(), text.size(), reinterpret_cast<unsigned char*>(room.data()))) {
    return {room.data(), static_cast<std::uint16_t>(text.size())};
  }
  text.copy(room.data(), text.size());
  return {room.data(), static_cast<std::uint16_t>(text.size() | WIDE_TEXT)};
}

std::uint32_t EntryTable::add_directory(std::u16string_view text) {
  const Placed placed = place(text);
  if (!directories_.empty()) {
    // The text just placed against the last one kept: one form each, so their bytes decide.
    const std::size_t last = directories_.size() - 1;
    const StoredDirectory& kept = directories_[last];
    const std::size_t units = units_of(placed.length);
    const std::size_t bytes = is_wide(placed.length) ? units * 2 : units;
    if (kept.length == placed.length &&
        std::memcmp(texts_.view(kept.handle, 0).data(), placed.at, bytes) == 0) {
      return static_cast<std::uint32_t>(last);
    }
  }
  directories_.push_back({keep_placed(placed.length), placed.length});
  return static_cast<std::uint32_t>(directories_.size() - 1);
}

std::u16string EntryTable::sha1_text(const EntryRow& row) const {
  switch (row.sha1_form) {
    case Sha1Form::none:
      return {};
    case Sha1Form::text:
      return std::u16string(texts_.view(row.sha1, row.sha1_length));
    case Sha1Form::lower_hex:
    case Sha1Form::upper_hex: {
      const char16_t* digits =
          row.sha1_form == Sha1Form::lower_hex ? u"0123456789abcdef" : u"0123456789ABCDEF";
      std::u16string text;
      for (const std::uint8_t byte : packed_sha1_[row.sha1]) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
      }
      return text;
    }
  }
  return {};
}

bool EntryTable::same_sha1(const EntryRow& row, const EntryTable& other,
                           const EntryRow& other_row) const {
  if (row.sha1_form != other_row.sha1_form || row.sha1_form == Sha1Form::none) {
    return false;
  }
  if (row.sha1_form == Sha1Form::text) {
    return texts_.view(row.sha1, row.sha1_length) ==
           other.texts_.view(other_row.sha1, other_row.sha1_length);
  }
  return packed_sha1_[row.sha1] == other.packed_sha1_[other_row.sha1];
}

EntryRow& EntryTable::append(std::u16string_view name, std::uint32_t directory,
                             const EntryFields& fields) {
  EntryRow row;
  row.name_length = place(name).length;
  row.name = keep_placed(row.name_length);
  row.directory = directory;
  row.flags_a = fields.flags_a;
  row.flags_b = fields.flags_b;
  row.flags_c = fields.flags_c;
  row.flags_d = fields.flags_d;
  return rows_.push_back(row);
}

void EntryTable::set_sha1(EntryRow& row, const Sha1Value& value) {
  if (!value.found) {
    row.sha1_form = Sha1Form::none;
    return;
  }
  std::array<std::uint8_t, 20> packed{};
  row.sha1_form = pack_sha1(value.bytes, packed);
  if (row.sha1_form == Sha1Form::text) {
    const std::u16string text = value.text();
    row.sha1 = texts_.store(text);
    row.sha1_length = static_cast<std::uint8_t>(text.size());
  } else {
    row.sha1 = static_cast<std::uint32_t>(packed_sha1_.size());
    packed_sha1_.push_back(packed);
  }
}

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
  std::span<char16_t> directory(decoded_.data(), decode_field_text(fields.directory, decoded_));
  if (rewrite_) {
    rewrite_(directory);
  }
  // Entries of one directory usually follow one another: their directory is kept once.
  const std::uint32_t kept = image_.entries.add_directory({directory.data(), directory.size()});
  const std::size_t name_length = decode_field_text(fields.name, decoded_);
  image_.entries.append({decoded_.data(), name_length}, kept, fields);
}

void TableSink::entry_end(const PropertiesEnd& properties) {
  image_.entries.set_sha1(image_.entries[image_.entries.size() - 1], properties.sha1);
}

}  // namespace tarvel
