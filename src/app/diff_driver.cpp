#include "app/diff_driver.h"

#include <optional>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/image_files.h"
#include "app/image_pair.h"
#include "compare/compare_images.h"
#include "report/diff_output.h"
#include "report/exclusions.h"

namespace tarvel {

namespace {

constexpr std::string_view PROGRAM = "tarvel-diff";

constexpr std::string_view USAGE =
    "Usage: tarvel-diff [OPTIONS] OLD NEW\n"
    "Compares two snapshot images as tarvel does and writes what changed.\n"
    "\n"
    "  --format FORMAT       text (the default: tarvel's sections), jsonl or csv\n"
    "  -o, --output FILE     write to FILE instead of standard output\n"
    "  --exclude-from FILE   leave out the items that match a rule of FILE:\n"
    "                        one rule a line, GLOB or SECTION<TAB>GLOB, where SECTION is\n"
    "                        autorun, application, hosts or file; '#' starts a comment\n"
    "  --summary             write the counts only\n"
    "  -q, --quiet           write nothing; only the exit status tells\n"
    "  -h, --help            show this help and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "Exit status: 0 no differences, 1 differences, 2 trouble.\n";

struct Options {
  DiffFormat format = DiffFormat::text;
  std::optional<std::filesystem::path> output;
  std::optional<std::filesystem::path> rules;
  bool summary = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::filesystem::path> images;
};

// Reads the options; false, with the complaint in error, on bad usage.
bool parse_options(std::span<const std::filesystem::path> arguments, Options& options,
                   std::string& error) {
  ArgumentReader reader(arguments);
  while (reader.next()) {
    if (reader.is_path()) {
      options.images.push_back(reader.path());
    } else if (reader.name() == "--format") {
      std::string format_name;
      if (!reader.text_value(format_name, error)) {
        return false;
      }
      if (format_name == "text") {
        options.format = DiffFormat::text;
      } else if (format_name == "jsonl") {
        options.format = DiffFormat::jsonl;
      } else if (format_name == "csv") {
        options.format = DiffFormat::csv;
      } else {
        error = "unknown format '" + format_name + "' (text, jsonl or csv)";
        return false;
      }
    } else if (reader.name() == "-o" || reader.name() == "--output") {
      if (!reader.value(options.output.emplace(), error)) {
        return false;
      }
    } else if (reader.name() == "--exclude-from") {
      if (!reader.value(options.rules.emplace(), error)) {
        return false;
      }
    } else if (reader.is_flag("--summary")) {
      options.summary = true;
    } else if (reader.is_flag("-q") || reader.is_flag("--quiet")) {
      options.quiet = true;
    } else if (reader.is_flag("-h") || reader.is_flag("--help")) {
      options.help = true;
    } else if (reader.is_flag("--version")) {
      options.version = true;
    } else {
      error = "unknown option " + reader.option();
      return false;
    }
  }
  if (!options.help && !options.version && options.images.size() != 2) {
    error = "two images are needed, OLD and NEW";
    return false;
  }
  return true;
}

// The rules file's text; false when it cannot be read (an empty file holds no rules).
bool read_rules(Platform& platform, const std::filesystem::path& path, std::string& text) {
  const OpenedFile opened = platform.open_file(path);
  if (!opened.file) {
    return opened.failure == OpenFailure::empty;
  }
  text.resize(opened.file->size());
  std::size_t got = 0;
  while (got < text.size()) {
    const std::ptrdiff_t count = opened.file->read(
        {reinterpret_cast<std::uint8_t*>(text.data()) + got, text.size() - got});
    if (count <= 0) {
      return false;
    }
    got += static_cast<std::size_t>(count);
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
  if (options.rules) {
    std::string text;
    Exclusions::Error rule_error;
    if (!read_rules(platform, *options.rules, text)) {
      report_trouble(platform, PROGRAM, &*options.rules, "cannot read the rules");
      return STATUS_TROUBLE;
    }
    if (!Exclusions::parse(text, exclusions, rule_error)) {
      report_trouble(platform, PROGRAM, &*options.rules,
                     "line " + std::to_string(rule_error.line) + ": " + rule_error.message);
      return STATUS_TROUBLE;
    }
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

  // Text for a terminal goes where tarvel's report goes; JSON Lines and CSV leave byte for byte.
  std::unique_ptr<Console> opened;
  Console* out = nullptr;
  if (!options.quiet) {
    if (options.format == DiffFormat::text && !options.output) {
      out = &platform.console();
    } else {
      opened = platform.open_output(options.output ? &*options.output : nullptr,
                                    options.format == DiffFormat::text ? LineEnds::native
                                                                       : LineEnds::as_written);
      if (!opened) {
        report_trouble(platform, PROGRAM, &*options.output, "cannot create it");
        return STATUS_TROUBLE;
      }
      out = opened.get();
    }
  }
  DiscardingConsole nowhere;
  const std::unique_ptr<DiffWriter> writer =
      make_diff_writer(options.format, !options.summary, out != nullptr ? *out : nowhere);
  writer->header(facts_of(old_path, old_result), facts_of(new_path, new_result));
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
  writer->summary(counts);
  if (out != nullptr) {
    out->flush();
    if (out->failed()) {
      report_trouble(platform, PROGRAM, options.output ? &*options.output : nullptr,
                     options.output ? "cannot write it" : "cannot write to standard output");
      return STATUS_TROUBLE;
    }
  }
  return counts.differences() == 0 ? STATUS_SAME : STATUS_DIFFERENT;
}

}  // namespace tarvel
