// tarvel-dump: its options, the check reading and the writing one, and its exit status.
#include "app/dump_driver.h"

#include <array>
#include <optional>
#include <string>

#include "app/arguments.h"
#include "app/exit_status.h"
#include "app/image_files.h"
#include "app/image_pair.h"
#include "app/reread_check.h"
#include "report/dump_output.h"

namespace tarvel {

namespace {

constexpr std::string_view PROGRAM = "tarvel-dump";

constexpr std::string_view USAGE =
    "Usage: tarvel-dump [--format jsonl|csv] [--verify] IMAGE\n"
    "Writes everything one snapshot image holds, record by record, in the same small memory\n"
    "whatever its size: a header, every hosts line, application and entry.\n"
    "IMAGE may be '-', standard input, or a pipe or a FIFO, which is kept in a\n"
    "temporary file while it is read.\n"
    "\n"
    "  --format FORMAT   jsonl (the default) or csv\n"
    "  --verify          read and check the image only; write nothing\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 a sound image, 1 a refused one (empty, too short, unknown version,\n"
    "digest mismatch, malformed), 2 trouble (usage, a file that cannot be read).\n";

struct Options {
  DumpFormat format = DumpFormat::jsonl;
  bool verify = false;
  UsageRequest usage;
  std::optional<std::filesystem::path> image;
};

enum Option : std::size_t { FORMAT, VERIFY };
constexpr std::array<OptionSpec, 2> OPTIONS = {{
    {'\0', "format", true},
    {'\0', "verify", false},
}};

// Takes one option of the table.
bool take_option(std::size_t option, const std::filesystem::path& value, Options& options,
                 std::string& error) {
  switch (option) {
    case FORMAT:
      return choose_format<DumpFormat, 2>(
          value, {{{"jsonl", DumpFormat::jsonl}, {"csv", DumpFormat::csv}}}, options.format, error);
    case VERIFY:
      options.verify = true;
      return true;
  }
  return false;
}

// Reads the options; false, with the complaint in error, on bad usage.
bool parse_options(std::span<const std::filesystem::path> arguments, Options& options,
                   std::string& error) {
  const ArgumentHandlers handlers{
      [&](std::size_t option, const std::filesystem::path& value, std::string& complaint) {
        return take_option(option, value, options, complaint);
      },
      [&](const std::filesystem::path& operand, std::string& complaint) {
        if (options.image) {
          complaint = "one image only";
          return false;
        }
        options.image = operand;
        return true;
      }};
  if (!parse_companion_arguments(arguments, OPTIONS, handlers, options.usage, error)) {
    return false;
  }
  if (!options.usage.any() && !options.image) {
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

namespace {

// A file that can be read but holds no sound image is refused; one that cannot be read is
// trouble.
int status_of_refusal(const LoadResult& result) {
  const bool unreadable = (result.outcome == LoadOutcome::unreadable &&
                           result.read_failure != ReadFailure::empty) ||
                          result.outcome == LoadOutcome::out_of_memory;
  return unreadable ? STATUS_TROUBLE : STATUS_DIFFERENT;
}

// Writes the header and then every record of a second reading of the same open file; the
// status of the run.
int write_dump(Platform& platform, const Options& options, ImageLoader& loader,
               RereadCheck& file, const LoadResult& checked, const std::string& header_block) {
  const std::filesystem::path& path = *options.image;
  const std::unique_ptr<Console> out = platform.open_output(nullptr, LineEnds::as_written).console;
  const std::unique_ptr<DumpWriter> writer = make_dump_writer(options.format, *out);
  DumpHeader header;
  header.path = UserText(path);
  header.result = checked;
  header.header_block = header_block;
  writer->write_header(header);
  const bool rewound = file.rewind();
  const LoadResult dumped = rewound ? loader.load(file, *writer) : LoadResult{};
  writer->finish();
  if (!rewound) {
    report_trouble(platform, PROGRAM, &path, "cannot read it again: " + last_system_error());
    return STATUS_TROUBLE;
  }
  if (file.changed() || dumped.outcome != checked.outcome || dumped.offset != checked.offset) {
    report_trouble(platform, PROGRAM, &path, "changed while it was read");
    return STATUS_TROUBLE;
  }
  if (!out->commit()) {
    report_trouble(platform, PROGRAM, nullptr,
                   "cannot write to standard output: " + out->failure_reason());
    return STATUS_TROUBLE;
  }
  if (!checked.ok()) {
    report_trouble(platform, PROGRAM, &path, describe_failure(checked));
    return STATUS_DIFFERENT;
  }
  return STATUS_SAME;
}

}  // namespace

int run_dump(std::span<const std::filesystem::path> arguments, Platform& platform) {
  Options options;
  if (const std::optional<int> status =
          start_companion(platform, PROGRAM, USAGE, arguments, options, parse_options)) {
    return *status;
  }

  const std::filesystem::path& path = *options.image;
  WindowBuffers windows;
  ImageLoader loader(windows);
  // One handle for both readings, so that both read the same file whatever happens to the
  // path meanwhile. The first tells whether the image is sound, so that the header can say so
  // before any record; the second writes the records as they stream past.
  const OpenedImage opened = open_image(platform, path, true);
  if (!opened.file) {
    report_trouble(platform, PROGRAM, &path, describe_failure(opened.refusal));
    return status_of_refusal(opened.refusal);
  }
  RereadCheck file(*opened.file);
  HeaderSink header_sink;
  const LoadResult checked = loader.load(file, header_sink);
  if (options.verify || status_of_refusal(checked) == STATUS_TROUBLE) {
    if (!checked.ok()) {
      report_trouble(platform, PROGRAM, &path, describe_failure(checked));
      return status_of_refusal(checked);
    }
    return STATUS_SAME;
  }
  return write_dump(platform, options, loader, file, checked, header_sink.block);
}

}  // namespace tarvel
