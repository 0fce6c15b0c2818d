#include "app/dump_driver.h"

#include <optional>
#include <string>

#include "app/diff_driver.h"
#include "app/arguments.h"
#include "app/image_files.h"
#include "report/dump_output.h"

namespace tarvel {

namespace {

constexpr std::string_view PROGRAM = "tarvel-dump";

constexpr std::string_view USAGE =
    "Usage: tarvel-dump [--format jsonl|csv] [--verify] IMAGE\n"
    "Writes everything one snapshot image holds, record by record, in the same small memory\n"
    "whatever its size: a header, every hosts line, application and entry.\n"
    "\n"
    "  --format FORMAT   jsonl (the default) or csv\n"
    "  --verify          read and check the image only; write nothing\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 a sound image, 1 a refused one (digest mismatch, malformed), 2 trouble.\n";

struct Options {
  DumpFormat format = DumpFormat::jsonl;
  bool verify = false;
  bool help = false;
  bool version = false;
  std::optional<std::filesystem::path> image;
};

// Reads the options; false, with the complaint in error, on bad usage.
bool parse_options(std::span<const std::filesystem::path> arguments, Options& options,
                   std::string& error) {
  ArgumentReader reader(arguments);
  while (reader.next()) {
    if (reader.is_path()) {
      if (options.image) {
        error = "one image only";
        return false;
      }
      options.image = reader.path();
    } else if (reader.name() == "--format") {
      std::string format_name;
      if (!reader.text_value(format_name, error)) {
        return false;
      }
      if (format_name == "jsonl") {
        options.format = DumpFormat::jsonl;
      } else if (format_name == "csv") {
        options.format = DumpFormat::csv;
      } else {
        error = "unknown format '" + format_name + "' (jsonl or csv)";
        return false;
      }
    } else if (reader.is_flag("--verify")) {
      options.verify = true;
    } else if (reader.is_help()) {
      options.help = true;
    } else if (reader.is_flag("--version")) {
      options.version = true;
    } else {
      error = "unknown option " + reader.option();
      return false;
    }
  }
  if (!options.help && !options.version && !options.image) {
    error = "an image is needed";
    return false;
  }
  return true;
}

// Keeps the header block of the image and nothing else.
class HeaderSink final : public RecordSink {
 public:
  void header(std::span<const std::uint8_t> bytes) override {
    block.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  void entry(const EntryFields&) override {}
  void entry_end(const PropertiesEnd&) override {}

  std::string block;
};

}  // namespace

int run_dump(std::span<const std::filesystem::path> arguments, Platform& platform) {
  platform.set_up_locale_and_console();
  Options options;
  std::string error;
  const bool parsed = parse_options(arguments, options, error);
  if (const std::optional<int> status = answer_usage(platform, PROGRAM, USAGE, parsed, error,
                                                     options.help, options.version)) {
    return *status;
  }

  const std::filesystem::path& path = *options.image;
  WindowBuffers windows;
  ImageLoader loader(windows);
  // A first reading tells whether the image is sound, so that the header can say so before
  // any record; the second writes the records as they stream past.
  HeaderSink header_sink;
  const LoadResult checked = read_image_file(platform, loader, path, header_sink);
  if (checked.outcome == LoadOutcome::unreadable || checked.outcome == LoadOutcome::out_of_memory) {
    report_trouble(platform, PROGRAM, &path, describe_failure(checked));
    return STATUS_TROUBLE;
  }
  const int verdict = checked.ok() ? STATUS_SAME : STATUS_DIFFERENT;
  if (options.verify) {
    if (!checked.ok()) {
      report_trouble(platform, PROGRAM, &path, describe_failure(checked));
    }
    return verdict;
  }

  const std::unique_ptr<Console> out = platform.open_output(nullptr, LineEnds::as_written);
  const std::unique_ptr<DumpWriter> writer = make_dump_writer(options.format, *out);
  DumpHeader header;
  path_as_json(path, header.path_json);
  path_as_utf8(path, header.path_utf8);
  header.result = checked;
  header.header_block = header_sink.block;
  writer->write_header(header);
  const LoadResult dumped = read_image_file(platform, loader, path, *writer);
  writer->finish();
  out->flush();
  if (dumped.outcome != checked.outcome || dumped.offset != checked.offset) {
    report_trouble(platform, PROGRAM, &path, "changed while it was read");
    return STATUS_TROUBLE;
  }
  if (out->failed()) {
    report_trouble(platform, PROGRAM, nullptr, "cannot write to standard output");
    return STATUS_TROUBLE;
  }
  if (!checked.ok()) {
    report_trouble(platform, PROGRAM, &path, describe_failure(checked));
  }
  return verdict;
}

}  // namespace tarvel
