// tarvel-diff: its options, its rules files and where its output goes.
#include "app/diff_driver.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/companion_input.h"
#include "app/exit_status.h"
#include "app/image_files.h"
#include "app/known_hashes.h"
#include "app/compare_files.h"
#include "report/diff_output.h"
#include "app/exclusions.h"

namespace tarvel {

namespace {

constexpr std::string_view PROGRAM = "tarvel-diff";

constexpr std::string_view USAGE =
    "Usage: tarvel-diff [OPTIONS] OLD NEW\n"
    "Compares two snapshot images as tarvel does and writes what changed.\n"
    "One of OLD and NEW may be '-', standard input; either may be a pipe or a FIFO,\n"
    "which is kept in a temporary file while it is read.\n"
    "\n"
    "  --format FORMAT       text (the default: tarvel's sections), jsonl, csv or html\n"
    "                        (one page to read in a browser)\n"
    "  -o, --output FILE     write to FILE instead of standard output ('-': standard\n"
    "                        output); FILE is replaced only when the run succeeds\n"
    "  --exclude-from FILE   leave out the items that match a rule of FILE:\n"
    "                        one rule a line, GLOB or SECTION<TAB>GLOB, where SECTION is\n"
    "                        autorun, application, hosts or file; '#' starts a comment;\n"
    "                        may be given more than once, and the rules add up\n"
    "  --known-good FILE     leave out modified files whose new SHA1 value is in FILE,\n"
    "                        and new autoruns whose SHA1 value is\n"
    "  --known-bad FILE      mark every item whose old or new SHA1 value is in FILE;\n"
    "                        a FILE holds one SHA-1 value a line, or is CSV with a\n"
    "                        SHA-1 column; both may be given more than once\n"
    "  --host NAME           name the host on every JSON Lines record and CSV row,\n"
    "                        so that the outputs of many hosts can be joined\n"
    "  --no-header           CSV and the text summary: no row of column names\n"
    "  --summary             write the counts only\n"
    "  -q, --quiet           write nothing; only the exit status tells\n"
    "  -h, --help            show this help and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "Exit status: 0 no differences, 1 differences, 2 trouble.\n";

struct Options {
  DiffSettings settings;
  std::optional<std::filesystem::path> output;
  std::vector<std::filesystem::path> rules;
  std::vector<std::filesystem::path> known_good;
  std::vector<std::filesystem::path> known_bad;
  bool quiet = false;
  UsageRequest usage;
  std::vector<std::filesystem::path> images;
};

enum Option : std::size_t {
  FORMAT,
  OUTPUT,
  EXCLUDE_FROM,
  KNOWN_GOOD,
  KNOWN_BAD,
  HOST,
  NO_HEADER,
  SUMMARY,
  QUIET,
};
constexpr std::array<OptionSpec, 9> OPTIONS = {{
    {'\0', "format", true},
    {'o', "output", true},
    {'\0', "exclude-from", true},
    {'\0', "known-good", true},
    {'\0', "known-bad", true},
    {'\0', "host", true},
    {'\0', "no-header", false},
    {'\0', "summary", false},
    {'q', "quiet", false},
}};

// Takes one option of the table.
bool take_option(std::size_t option, const std::filesystem::path& value, Options& options,
                 std::string& error) {
  switch (option) {
    case FORMAT:
      return choose_format<DiffFormat, 4>(value,
                                          {{{"text", DiffFormat::text},
                                            {"jsonl", DiffFormat::jsonl},
                                            {"csv", DiffFormat::csv},
                                            {"html", DiffFormat::html}}},
          options.settings.format, error);
    case OUTPUT:
      // "-" is standard output, as for other filters.
      options.output = value == "-" ? std::nullopt : std::optional(value);
      return true;
    case EXCLUDE_FROM:
      options.rules.push_back(value);
      return true;
    case KNOWN_GOOD:
      options.known_good.push_back(value);
      return true;
    case KNOWN_BAD:
      options.known_bad.push_back(value);
      return true;
    case HOST:
      options.settings.host = UserText(value);
      return true;
    case NO_HEADER:
      options.settings.header = false;
      return true;
    case SUMMARY:
      options.settings.items = false;
      return true;
    case QUIET:
      options.quiet = true;
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
      [&](const std::filesystem::path& operand, std::string&) {
        options.images.push_back(operand);
        return true;
      }};
  if (!parse_companion_arguments(arguments, OPTIONS, handlers, options.usage, error)) {
    return false;
  }
  if (!options.usage.any() && options.images.size() != 2) {
    error = "two images are needed, OLD and NEW";
    return false;
  }
  if (options.images.size() == 2 && names_standard_input(options.images[0]) &&
      names_standard_input(options.images[1])) {
    error = "standard input ('-') can be only one of the images";
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

// Reads the hash set files into their sets; false once one was reported as trouble.
bool load_known_hashes(Platform& platform, const Options& options, KnownHashes& known) {
  for (const auto& [paths, set] : {std::pair(&options.known_good, &known.good),
                                   std::pair(&options.known_bad, &known.bad)}) {
    for (const std::filesystem::path& path : *paths) {
      HashSetError error;
      if (!load_hash_set(platform, path, *set, error)) {
        report_trouble(platform, PROGRAM, &path, error.text());
        return false;
      }
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
  for (const auto* inputs :
       {&options.images, &options.rules, &options.known_good, &options.known_bad}) {
    for (const std::filesystem::path& input : *inputs) {
      // "-" as an image is standard input, which may read a file too.
      const bool standard_input = inputs == &options.images && names_standard_input(input);
      if ((standard_input ? platform.identify_standard_input() : platform.identify(input)) ==
          output) {
        report_trouble(platform, PROGRAM, &*options.output,
                       "is an input of this run; it is not written over");
        return false;
      }
    }
  }
  return true;
}

ImageFacts facts_of(const std::filesystem::path& path, const LoadResult& result) {
  return {UserText(path), result.version, result.digest};
}

// What the user is told when the images were not compared; the exit status then.
std::optional<int> report_refusal(Platform& platform, const Options& options,
                                  const ComparedPair& pair) {
  switch (pair.outcome) {
    case PairOutcome::old_refused:
      report_trouble(platform, PROGRAM, &options.images.front(),
                     describe_failure(pair.old_result));
      return STATUS_TROUBLE;
    case PairOutcome::new_refused:
      report_trouble(platform, PROGRAM, &options.images.back(), describe_failure(pair.new_result));
      return STATUS_TROUBLE;
    case PairOutcome::out_of_memory:
      report_trouble(platform, PROGRAM, nullptr, "not enough memory to compare the images");
      return STATUS_TROUBLE;
    case PairOutcome::compared:
      break;
  }
  return std::nullopt;
}

// Writes the header, every item that no rule leaves out, and the summary; returns the counts.
DiffCounts write_items(const Options& options, const ComparedPair& pair, Exclusions& exclusions,
                       const KnownHashes& known, const CaseFolding& folding, Console& out) {
  const std::unique_ptr<DiffWriter> writer = make_diff_writer(options.settings, out);
  writer->header(facts_of(options.images.front(), pair.old_result),
                 facts_of(options.images.back(), pair.new_result));
  DiffCounts counts;
  for_each_report_item(pair.differences, pair.old_image, pair.new_image,
                       [&](const ReportItem& item) {
    if (!exclusions.empty() && exclusions.excludes(item, folding)) {
      ++counts.excluded[item.list];
      return;
    }
    // A value known to be bad is never hidden by one known to be good.
    ReportItem marked = item;
    marked.known_bad = known.known_bad(item);
    if (marked.known_bad == KnownBad::none && known.known_good(item)) {
      ++counts.known_good[item.list];
      return;
    }
    counts.known_bad[item.list] += marked.known_bad == KnownBad::none ? 0 : 1;
    ++counts.shown[item.list];
    writer->item(marked);
  });
  writer->finish();
  for (std::size_t file = 0; file < options.rules.size(); ++file) {
    UnmatchedRules& unmatched = counts.unmatched_rules.emplace_back();
    unmatched.path = UserText(options.rules[file]);
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
  if (options.settings.format == DiffFormat::text && !options.output) {
    return nullptr;  // the platform's own console
  }
  OpenedOutput opened =
      platform.open_output(options.output ? &*options.output : nullptr,
                           options.settings.format == DiffFormat::text ? LineEnds::native
                                                              : LineEnds::as_written);
  if (!opened.console) {
    report_trouble(platform, PROGRAM, &*options.output, "cannot create it: " + opened.reason);
    failed = true;
  }
  return std::move(opened.console);
}

}  // namespace

int run_diff(std::span<const std::filesystem::path> arguments, Platform& platform) {
  Options options;
  if (const std::optional<int> status =
          start_companion(platform, PROGRAM, USAGE, arguments, options, parse_options)) {
    return *status;
  }
  Exclusions exclusions;
  KnownHashes known;
  if (!output_spares_the_inputs(platform, options) || !load_rules(platform, options, exclusions) ||
      !load_known_hashes(platform, options, known)) {
    return STATUS_TROUBLE;
  }

  ComparedPair pair(platform.case_folding());
  PairHooks hooks;
  hooks.streams = true;
  compare_image_files(platform, options.images.front(), options.images.back(), hooks, pair);
  if (const std::optional<int> status = report_refusal(platform, options, pair)) {
    return *status;
  }
  bool failed = false;
  const std::unique_ptr<Console> opened = open_output(platform, options, failed);
  if (failed) {
    return STATUS_TROUBLE;
  }
  Console& out = opened ? *opened : platform.console();
  const DiffCounts counts = write_items(options, pair, exclusions, known, platform.case_folding(), out);
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
