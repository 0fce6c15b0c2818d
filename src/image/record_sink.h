// What the loader hands over as it reads, and the sink interface that takes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "image/format.h"

namespace tarvel {

// One entry record as stored: its fixed fields, and its three texts as their stored UTF-16LE
// bytes (each within its field's capacity). The property block follows separately.
struct EntryFields {
  std::uint64_t offset = 0;      // of the record's first byte in the file
  std::uint64_t lead_value = 0;  // carried; only the low 32 bits exist before version 5
  std::uint32_t dword_a = 0;     // carried
  std::uint32_t dword_b = 0;     // carried
  std::uint32_t flags_a = 0;     // status words: see format.h
  std::uint32_t flags_b = 0;     // 0 in versions 1 and 2
  std::uint32_t flags_c = 0;
  std::uint32_t flags_d = 0;     // 0 in versions 1 and 2
  std::uint32_t properties_size = 0;
  std::uint16_t word_a = 0;      // carried
  std::uint8_t byte_a = 0;       // carried
  std::uint8_t byte_b = 0;       // carried
  std::uint8_t byte_c = 0;       // carried
  std::span<const std::uint8_t> block_a;  // 64 carried bytes
  std::span<const std::uint8_t> name;
  std::span<const std::uint8_t> directory;
  std::span<const std::uint8_t> extra_text;
};

// The value of the first usable "SHA1" property of an entry, as stored: 41 UTF-16LE units.
struct Sha1Value {
  bool found = false;
  std::array<std::uint8_t, SHA1_VALUE_SIZE> bytes{};  // the value, where one was found

  // The value's text: its units up to the first NUL unit; empty where none was found.
  std::u16string text() const;
};

// What the loader found at the end of an entry's property block.
struct PropertiesEnd {
  Sha1Value sha1;
  // False when an item ran past the end of the block; the items before it were handed over,
  // and the block was read no further.
  bool well_formed = true;
};

// A variable-length run of an image that is handed over in pieces.
enum class RunKind : std::uint8_t {
  hosts,             // the hosts block: 8-bit text
  application_text,  // one text of an application, UTF-16LE; index: its position in the record
  property_name,     // UTF-16LE; index: the item's position in the block
  property_value,    // bytes; index: the item's position in the block
};

struct RunStart {
  RunKind kind = RunKind::hosts;
  std::size_t index = 0;
  std::uint32_t size = 0;
  std::uint64_t offset = 0;  // of the run's first byte in the file
};

// Receives what the loader reads, in file order. The loader checks every length, field and
// limit; a sink keeps what it needs. Spans are valid only during the call. After a load that
// fails, what a sink received so far is incomplete.
class RecordSink {
 public:
  virtual ~RecordSink() = default;

  virtual void image_start(std::uint16_t /*version*/, std::uint32_t /*file_size*/) {}
  virtual void header(std::span<const std::uint8_t> /*bytes*/) {}
  // The hosts block and the application texts, and property items where wanted: a start, the
  // run's bytes in one or more pieces, an end.
  virtual void run_start(const RunStart& /*run*/) {}
  virtual void run_piece(std::span<const std::uint8_t> /*bytes*/) {}
  virtual void run_end() {}
  virtual void application_start(std::uint64_t /*offset*/) {}
  virtual void application_end() {}
  virtual void entry(const EntryFields& fields) = 0;
  // Whether property items are handed over as runs; the SHA1 value is looked up either way.
  virtual bool wants_properties() const { return false; }
  virtual void entry_end(const PropertiesEnd& properties) = 0;
};

}  // namespace tarvel
