// The record parser: an image's contents, after its version word, read into a sink.
#pragma once

#include <cstdint>

#include "image/byte_reader.h"
#include "image/format.h"
#include "image/record_sink.h"
#include "image/window_cursor.h"

namespace tarvel {

// What an entry text may hold, and what to say when it does not fit.
struct TextField;

// Reads one image's contents from the cursor into the sink, checking every length against
// what is left of the file or, inside the entry section, of the section. Every check that
// fails funnels into fail(), which notes where the file broke and what belonged there.
class Parser {
 public:
  Parser(WindowCursor& cursor, std::uint32_t file_size, RecordSink& sink)
      : cursor_(cursor), file_size_(file_size), sink_(sink) {}

  // False when the contents are broken or the bytes ran out; ran_dry(), failed_at() and
  // expected() tell which.
  bool parse_contents(std::uint16_t version);

  bool ran_dry() const { return ran_dry_; }
  std::uint64_t failed_at() const { return failed_at_; }
  const char* expected() const { return expected_; }

 private:
  bool fail(std::uint64_t offset, const char* expected) {
    failed_at_ = offset;
    expected_ = expected;
    return false;
  }
  // The checks compare every length with what the file holds, so bytes can only run out when
  // the file delivers fewer than its size.
  bool dry_unless(bool got) {
    if (!got) {
      ran_dry_ = true;
    }
    return got;
  }
  // A read that failed: the bytes ran out, or `what` does not fit where the reader stands.
  bool failed(const ByteReader& reader, const char* what) {
    return reader.ran_dry() ? dry_unless(false) : fail(reader.offset(), what);
  }

  bool read_header();
  bool read_length(std::uint64_t limit, std::uint32_t& length, const char* what);
  bool read_run(std::uint64_t limit, RunStart run, const char* what);
  bool read_applications(std::uint16_t version);
  bool read_text(ByteReader& record, const TextField& text, ByteReader::Field& where);
  bool read_entry(const RecordLayout& layout, std::uint64_t limit);

  WindowCursor& cursor_;
  std::uint32_t file_size_;
  RecordSink& sink_;
  bool ran_dry_ = false;
  std::uint64_t failed_at_ = 0;
  const char* expected_ = "";
  // What read_entry hands to the sink, kept from one entry to the next: every field of the
  // one is written for each entry, and the other is started afresh by the block reader, so
  // neither is cleared whole.
  EntryFields fields_;
  PropertiesEnd end_;
};

}  // namespace tarvel
