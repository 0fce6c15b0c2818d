// tarvel-dump's writers: every record of an image as JSON Lines or CSV, as it streams past.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/load_image.h"
#include "image/record_sink.h"
#include "platform/console.h"
#include "report/record_writer.h"

namespace tarvel {

// The output formats of tarvel-dump.
enum class DumpFormat { jsonl, csv };

// What the header record says about the image.
struct DumpHeader {
  UserText path;          // as given
  LoadResult result;      // of reading the whole image once
  std::string header_block;  // the 284-byte header block, where the file has one
};

// A record sink that writes every record it receives, as it receives it, so that an image of
// any size is dumped in the same small memory. A text longer than TEXT_LIMIT bytes is written
// as hexadecimal digits only, as it streams past.
class DumpWriter : public RecordSink {
 public:
  static constexpr std::size_t TEXT_LIMIT = std::size_t{1} << 20;

  virtual void write_header(const DumpHeader& header) = 0;
  // After the last record.
  virtual void finish() = 0;
};

std::unique_ptr<DumpWriter> make_dump_writer(DumpFormat format, Console& console);

// The JSON Lines schema this program writes.
inline constexpr std::string_view DUMP_SCHEMA = "tarvel-dump/2";

}  // namespace tarvel
