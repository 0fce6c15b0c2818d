// What tarvel-dump's two writers share: buffering, long texts spilled as they stream, hosts
// lines split as they stream, and the values of the header and entry records.
#include "report/dump_base.h"

#include "image/stored_text.h"
#include "report/machine_text.h"

namespace tarvel {

namespace {

// The units of a text as the program reads it from an entry field.
std::u16string field_text(std::span<const std::uint8_t> bytes) {
  std::u16string text((bytes.size() + 1) / 2, u'\0');
  text.resize(decode_field_text(bytes, text));
  return text;
}

}  // namespace

std::string_view as_chars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::u16string stored_text(std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  text.resize(copy_text_units(bytes, text.data()));
  return text;
}

FieldValue property_value(std::span<const std::uint8_t> bytes, std::u16string& text) {
  if (bytes.size() >= 2 && bytes.size() % 2 == 0) {
    text = stored_text(bytes);
    if (text.size() * 2 + 2 == bytes.size() && is_whole_utf16(text)) {
      return FieldValue::of_text(std::u16string_view(text));
    }
  }
  return FieldValue::of_hex(as_chars(bytes));
}

void header_values(const DumpHeader& header, DumpValues& values, std::string& scratch) {
  const LoadResult& result = header.result;
  values.fill({});
  values[dump_field("schema")] = FieldValue::of_word(DUMP_SCHEMA);
  values[dump_field("tool")] = FieldValue::of_word("tarvel-dump");
  values[dump_field("tool_version")] = FieldValue::of_word(TARVEL_VERSION_TEXT);
  values[dump_field("path")] = header.path.value();
  values[dump_field("version")] = FieldValue::of_number(result.version);
  values[dump_field("size")] = FieldValue::of_number(result.file_size);
  values[dump_field("digest")] = FieldValue::of_word(digest_word(result.digest));
  values[dump_field("sound")] = FieldValue::of_flag(result.ok());
  if (result.outcome == LoadOutcome::malformed) {
    scratch = result.expected;
    values[dump_field("malformed_at")] = FieldValue::of_number(result.offset);
    values[dump_field("expected")] = FieldValue::of_word(scratch);
  }
  if (!header.header_block.empty()) {
    values[dump_field("header_block")] = FieldValue::of_bytes(header.header_block);
  }
}

void entry_values(const EntryFields& fields, DumpValues& values, EntryTexts& texts) {
  values.fill({});
  texts.name = field_text(fields.name);
  texts.directory = field_text(fields.directory);
  texts.extra_text = field_text(fields.extra_text);
  values[dump_field("offset")] = FieldValue::of_number(fields.offset);
  values[dump_field("name")] = FieldValue::of_text(std::u16string_view(texts.name));
  values[dump_field("directory")] = FieldValue::of_text(std::u16string_view(texts.directory));
  values[dump_field("extra_text")] = FieldValue::of_text(std::u16string_view(texts.extra_text));
  values[dump_field("lead_value")] = FieldValue::of_number(fields.lead_value);
  values[dump_field("byte_a")] = FieldValue::of_number(fields.byte_a);
  values[dump_field("dword_a")] = FieldValue::of_number(fields.dword_a);
  values[dump_field("dword_b")] = FieldValue::of_number(fields.dword_b);
  values[dump_field("block_a")] = FieldValue::of_bytes(as_chars(fields.block_a));
  values[dump_field("flags_a")] = FieldValue::of_number(fields.flags_a);
  values[dump_field("flags_b")] = FieldValue::of_number(fields.flags_b);
  values[dump_field("flags_c")] = FieldValue::of_number(fields.flags_c);
  values[dump_field("flags_d")] = FieldValue::of_number(fields.flags_d);
  values[dump_field("byte_b")] = FieldValue::of_number(fields.byte_b);
  values[dump_field("word_a")] = FieldValue::of_number(fields.word_a);
  values[dump_field("byte_c")] = FieldValue::of_number(fields.byte_c);
  values[dump_field("properties_size")] = FieldValue::of_number(fields.properties_size);
}

void entry_end_values(const PropertiesEnd& properties, DumpValues& values, EntryTexts& texts) {
  values[dump_field("properties_well_formed")] = FieldValue::of_flag(properties.well_formed);
  if (properties.sha1.found) {
    texts.sha1 = properties.sha1.text();
    values[dump_field("sha1")] = FieldValue::of_text(std::u16string_view(texts.sha1));
  } else {
    values[dump_field("sha1")] = FieldValue::null_value();
  }
}

void DumpBase::run_start(const RunStart& run) {
  run_ = run;
  collected_.clear();
  spilled_ = false;
  if (run.kind == RunKind::hosts) {
    splitter_ = HostsLineSplitter();
  }
}

void DumpBase::run_piece(std::span<const std::uint8_t> bytes) {
  if (run_.kind == RunKind::hosts) {
    hosts_piece(bytes);
    return;
  }
  add(bytes);
}

void DumpBase::run_end() {
  if (run_.kind == RunKind::hosts) {
    splitter_.finish([this] { end_line(); });
    return;
  }
  end_text(run_);
}

void DumpBase::append_spilled(std::span<const std::uint8_t> bytes) {
  if (run_.kind == RunKind::hosts || run_.kind == RunKind::property_value) {
    append_hex(out_, as_chars(bytes));  // bytes, two digits each
    maybe_flush();
    return;
  }
  // A UTF-16 text: its units up to the first NUL unit, four digits each, as a text kept in
  // memory has them; a last odd byte is no unit. A unit may straddle two pieces.
  for (const std::uint8_t byte : bytes) {
    if (spilled_end_) {
      return;
    }
    if (!half_unit_) {
      half_unit_ = byte;
      continue;
    }
    const auto unit = static_cast<char16_t>(*half_unit_ | (byte << 8));
    half_unit_.reset();
    if (unit == u'\0') {
      spilled_end_ = true;
      return;
    }
    append_hex(out_, std::u16string_view(&unit, 1));
  }
  maybe_flush();
}

void DumpBase::add(std::span<const std::uint8_t> bytes) {
  if (!spilled_ && collected_.size() + bytes.size() > TEXT_LIMIT) {
    spilled_ = true;
    half_unit_.reset();
    spilled_end_ = false;
    spill_start(run_);
    append_spilled(collected_);
    collected_.clear();
  }
  if (spilled_) {
    append_spilled(bytes);
  } else {
    collected_.insert(collected_.end(), bytes.begin(), bytes.end());
  }
}

void DumpBase::end_text(const RunStart& run) {
  if (spilled_) {
    spill_end(run);
  } else {
    text_run(run, collected_);
  }
  collected_.clear();
  spilled_ = false;
}

void DumpBase::hosts_piece(std::span<const std::uint8_t> bytes) {
  splitter_.feed(
      as_chars(bytes),
      [this](std::string_view part) {
        if (!line_open_) {
          line_open_ = true;
          line_ = run_;
          collected_.clear();
          spilled_ = false;
        }
        add({reinterpret_cast<const std::uint8_t*>(part.data()), part.size()});
      },
      [this] { end_line(); });
}

void DumpBase::end_line() {
  line_open_ = false;
  if (spilled_) {
    spill_end(line_);
  } else {
    hosts_line(as_chars(collected_));
  }
  collected_.clear();
  spilled_ = false;
}

std::unique_ptr<DumpWriter> make_dump_writer(DumpFormat format, Console& console) {
  if (format == DumpFormat::csv) {
    return make_csv_dump(console);
  }
  return make_json_dump(console);
}

}  // namespace tarvel
