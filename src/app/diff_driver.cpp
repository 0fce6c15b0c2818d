#include "app/diff_driver.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/exit_status.h"
#include "app/image_files.h"
#include "app/image_pair.h"
#include "compare/compare_images.h"
#include "report/diff_output.h"
#include "app/exclusions.h"

namespace tarvel {

namespace {

constexpr std::string_view PROGRAM = "tarvel-diff";

constexpr std::string_view USAGE =
    "Usage: tarvel-diff [OPTIONS] OLD NEW\n"
    "Compares two snapshot images as tarvel does and writes what changed.\n"
    "\n"
    "  --format FORMAT       text (the default: tarvel's sections), jsonl or csv\n"
    "  -o, --output FILE     write to FILE instead of standard output ('-': standard\n"
    "                        output); FILE is replaced only when the run succeeds\n"
    "  --exclude-from FILE   leave out the items that match a rule of FILE:\n"
    "                        one rule a line, GLOB or SECTION<TAB>GLOB, where SECTION is\n"
    "                        autorun, application, hosts or file; '#' starts a comment;\n"
    "                        may be given more than once, and the rules add up\n"
    "  --summary             write the counts only\n"
    "  -q, --quiet           write nothing; only the exit status tells\n"
    "  -h, --help            show this help and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "Exit status: 0 no differences, 1 differences, 2 trouble.\n";

struct Options {
  DiffFormat format = DiffFormat::text;
  std::optional<std::filesystem::path> output;
  std::vector<std::filesystem::path> rules;
  bool summary = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::filesystem::path> images;
};

enum Option : std::size_t { FORMAT, OUTPUT, EXCLUDE_FROM, SUMMARY, QUIET, HELP, VERSION };
constexpr std::array<OptionSpec, 7> OPTIONS = {{
    {'\0', "format", true},
    {'o', "output", true},
    {'\0', "exclude-from", true},
    {'\0', "summary", false},
    {'q', "quiet", false},
    {'h', "help", false},
    {'\0', "version", false},
}};

// Takes one option of the table.
bool take_option(std::size_t option, const std::filesystem::path& value, Options& options,
                 std::string& error) {
  switch (option) {
    case FORMAT:
      return choose_format<DiffFormat, 3>(
          value, {{{"text", DiffFormat::text}, {"jsonl", DiffFormat::jsonl}, {"csv", DiffFormat::csv}}},
          options.format, error);
    case OUTPUT:
      // "-" is standard output, as for other filters.
      options.output = value == "-" ? std::nullopt : std::optional(value);
      return true;
    case EXCLUDE_FROM:
      options.rules.push_back(value);
      return true;
    case SUMMARY:
      options.summary = true;
      return true;
    case QUIET:
      options.quiet = true;
      return true;
    case HELP:
      options.help = true;
      return true;
    default:
      options.version = true;
      return true;
  }
}

// Reads the options; false, with the complaint in error, on bad usage.
bool parse_options(std::span<const std::filesystem::path> arguments, Options& options,
                   std::string& error) {
  const ArgumentHandlers handlers{
      [&](std::size_t option, const std::filesystem::path& value, std::string& complaint) {
        return take_option(option, value, options, complaint);
      },
      [&](const std::filesystem::path& operand, std::string&) {
        options.images.push_back(operand);
        return true;
      }};
  if (!parse_arguments(arguments, OPTIONS, handlers, error)) {
    return false;
  }
  if (!options.help && !options.version && options.images.size() != 2) {
    error = "two images are needed, OLD and NEW";
    return false;
  }
  return true;
}

// The rules file's text, or the trouble that kept it from being read.
std::optional<std::string> read_rules(Platform& platform, const std::filesystem::path& path,
                                      std::string& text) {
  OpenedFile opened = platform.open_file(path);
  if (!opened.file) {
    if (opened.failure == OpenFailure::empty) {
      return std::nullopt;  // an empty file holds no rules
    }
    return opened.reason.empty() ? "cannot read the rules" : "cannot open: " + opened.reason;
  }
  text.resize(opened.file->size());
  std::size_t got = 0;
  while (got < text.size()) {
    const std::ptrdiff_t count = opened.file->read(
        {reinterpret_cast<std::uint8_t*>(text.data()) + got, text.size() - got});
    if (count <= 0) {
      return count < 0 ? "cannot read: " + last_system_error() : "cannot read: it ended early";
    }
    got += static_cast<std::size_t>(count);
  }
  return std::nullopt;
}

// Reads every rules file into one set of rules; false once one was reported as trouble.
bool load_rules(Platform& platform, const Options& options, Exclusions& exclusions) {
  for (const std::filesystem::path& path : options.rules) {
    std::string text;
    if (const std::optional<std::string> trouble = read_rules(platform, path, text)) {
      report_trouble(platform, PROGRAM, &path, *trouble);
      return false;
    }
    Exclusions::Error rule_error;
    if (!exclusions.add_file(text, rule_error)) {
      report_trouble(platform, PROGRAM, &path,
                     "line " + std::to_string(rule_error.line) + ": " + rule_error.message);
      return false;
    }
  }
  return true;
}

// An output file must never take the place of evidence: refuses an output path that names an
// image or a rules file of this run, through links too. False once reported.
bool output_spares_the_inputs(Platform& platform, const Options& options) {
  if (!options.output) {
    return true;
  }
  const std::optional<FileIdentity> output = platform.identify(*options.output);
  if (!output) {
    return true;  // nothing there yet
  }
  for (const auto* inputs : {&options.images, &options.rules}) {
    for (const std::filesystem::path& input : *inputs) {
      if (platform.identify(input) == output) {
        report_trouble(platform, PROGRAM, &*options.output,
                       "is an input of this run; it is not written over");
        return false;
      }
    }
  }
  return true;
}

ImageFacts facts_of(const std::filesystem::path& path, const LoadResult& result) {
  ImageFacts facts;
  path_as_json(path, facts.path_json);
  facts.version = result.version;
  facts.digest = result.digest;
  return facts;
}

}  // namespace

namespace {

// Writes the header, every item that no rule leaves out, and the summary; returns the counts.
DiffCounts write_items(const Options& options, const Differences& differences,
                       const LoadedImage& old_image, const LoadedImage& new_image,
                       const std::array<ImageFacts, 2>& facts, Exclusions& exclusions,
                       const CaseFolding& folding, Console& out) {
  const std::unique_ptr<DiffWriter> writer = make_diff_writer(options.format, !options.summary, out);
  writer->header(facts[0], facts[1]);
  DiffCounts counts;
  for_each_report_item(differences, old_image, new_image, [&](const ReportItem& item) {
    if (!exclusions.empty() && exclusions.excludes(item, folding)) {
      ++counts.excluded[item.list];
      return;
    }
    ++counts.shown[item.list];
    writer->item(item);
  });
  writer->finish();
  for (std::size_t file = 0; file < options.rules.size(); ++file) {
    UnmatchedRules& unmatched = counts.unmatched_rules.emplace_back();
    path_as_json(options.rules[file], unmatched.path_json);
    path_as_utf8(options.rules[file], unmatched.path_utf8);
    unmatched.lines = exclusions.unmatched_lines(file);
  }
  writer->summary(counts);
  return counts;
}

// Where the output goes: tarvel's console for text on standard output, else a file or standard
// output that takes bytes exactly as written; nowhere with --quiet. Null once trouble was
// reported.
std::unique_ptr<Console> open_output(Platform& platform, const Options& options, bool& failed) {
  failed = false;
  if (options.quiet) {
    return std::make_unique<DiscardingConsole>();
  }
  if (options.format == DiffFormat::text && !options.output) {
    return nullptr;  // the platform's own console
  }
  OpenedOutput opened =
      platform.open_output(options.output ? &*options.output : nullptr,
                           options.format == DiffFormat::text ? LineEnds::native
                                                              : LineEnds::as_written);
  if (!opened.console) {
    report_trouble(platform, PROGRAM, &*options.output, "cannot create it: " + opened.reason);
    failed = true;
  }
  return std::move(opened.console);
}

}  // namespace

int run_diff(std::span<const std::filesystem::path> arguments, Platform& platform) {
  platform.set_up_locale_and_console();
  Options options;
  std::string error;
  const bool parsed = parse_options(arguments, options, error);
  if (const std::optional<int> status = answer_usage(platform, PROGRAM, USAGE, parsed, error,
                                                     options.help, options.version)) {
    return *status;
  }
  Exclusions exclusions;
  if (!output_spares_the_inputs(platform, options) || !load_rules(platform, options, exclusions)) {
    return STATUS_TROUBLE;
  }

  const DriveMap drive_map = identity_drive_map();
  LoadedImage old_image;
  LoadedImage new_image;
  const std::filesystem::path& old_path = options.images.front();
  const std::filesystem::path& new_path = options.images.back();
  ImagePairLoader images(platform, old_path, new_path, old_image, new_image,
                         normalise_with(drive_map));
  const LoadResult old_result = images.load_old();
  if (!old_result.ok()) {
    report_trouble(platform, PROGRAM, &old_path, describe_failure(old_result));
    return STATUS_TROUBLE;
  }
  const LoadResult new_result = images.load_new();
  if (!new_result.ok()) {
    report_trouble(platform, PROGRAM, &new_path, describe_failure(new_result));
    return STATUS_TROUBLE;
  }

  const CaseFolding& folding = platform.case_folding();
  Differences differences(folding);
  try {
    compare_images(old_image, new_image, folding, TableHash(platform.hash_key()), differences);
  } catch (const std::bad_alloc&) {
    report_trouble(platform, PROGRAM, nullptr, "not enough memory to compare the images");
    return STATUS_TROUBLE;
  }

  bool failed = false;
  const std::unique_ptr<Console> opened = open_output(platform, options, failed);
  if (failed) {
    return STATUS_TROUBLE;
  }
  Console& out = opened ? *opened : platform.console();
  const DiffCounts counts =
      write_items(options, differences, old_image, new_image,
                  {facts_of(old_path, old_result), facts_of(new_path, new_result)}, exclusions,
                  folding, out);
  if (!out.commit()) {
    const std::string reason = out.failure_reason();
    report_trouble(platform, PROGRAM, options.output ? &*options.output : nullptr,
                   std::string(options.output ? "cannot write it" : "cannot write to standard output") +
                       (reason.empty() ? "" : ": " + reason));
    return STATUS_TROUBLE;
  }
  return counts.differences() == 0 ? STATUS_SAME : STATUS_DIFFERENT;
}

}  // namespace tarvel
