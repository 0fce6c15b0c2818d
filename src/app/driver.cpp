// tarvel: the banner, the two-argument check, the loading lines and the report.
#include "app/driver.h"

#include <new>
#include <string_view>

#include "app/compare_files.h"
#include "app/exit_status.h"
#include "compare/parallel.h"
#include "report/terminal_text.h"
#include "report/text_report.h"

namespace tarvel {

namespace {

constexpr std::u16string_view FRAMEWORK_FAILURE = u"Fatal Error: MFC initialization failed\n";
constexpr std::u16string_view BANNER =
    u"Tarvel v" TARVEL_VERSION_TEXT " (c) 2025-2026 The Tarvel Authors <authors@tarvel.example>\n"
    u"https://tarvel.example/\n";
constexpr std::u16string_view SYNTAX = u"Syntax: tarvel old_image new_image\n";
constexpr std::u16string_view LOADING_OLD = u"\nLoading OLD image: %s\n";
constexpr std::u16string_view LOADING_NEW = u"Loading NEW image: %s\n";
constexpr std::u16string_view INCORRECT_VERSION = u"Error: Incorrect version of image file\n";
// Both images are called "Image 1" in these messages; users and scripts know them that way.
constexpr std::u16string_view OPEN_ERROR = u"Image 1: open error!\n";
constexpr std::u16string_view PARSE_ERROR = u"Image 1: read or parse error!\n";
constexpr std::u16string_view REPORT_START = u"\n";
constexpr std::u16string_view NO_MEMORY_TO_COMPARE =
    u"Error: not enough memory to compare the images\n";

void print_with_path(Console& console, std::u16string_view format,
                     const std::filesystem::path& path) {
  const std::size_t placeholder = format.find(u"%s");
  console.write_wide(format.substr(0, placeholder));
  write_terminal_safe(console, path);
  console.write_wide(format.substr(placeholder + 2));
}

// Prints the loading line, where the user sees it while the image is read.
void announce(Console& console, std::u16string_view loading_line,
              const std::filesystem::path& path) {
  print_with_path(console, loading_line, path);
  console.flush();
}

// Prints what the user is told about an image that did not load.
void report_load(Console& console, const LoadResult& result) {
  switch (result.outcome) {
    case LoadOutcome::loaded:
      return;
    case LoadOutcome::unreadable:
      console.write_wide(OPEN_ERROR);
      return;
    case LoadOutcome::version_refused:
    case LoadOutcome::digest_refused:
      console.write_wide(INCORRECT_VERSION);
      console.write_wide(PARSE_ERROR);
      return;
    case LoadOutcome::malformed:
    case LoadOutcome::out_of_memory:
    case LoadOutcome::abandoned:
      break;
  }
  console.write_wide(PARSE_ERROR);
}

int run_after_start_up(std::span<const std::filesystem::path> arguments, Platform& platform) {
  Console& console = platform.console();
  if (!platform.initialise_framework()) {
    console.write_wide(FRAMEWORK_FAILURE);
    return STATUS_NO_REPORT;
  }
  console.write_wide(BANNER);
  console.flush();
  if (arguments.size() != 3) {
    console.write_wide(SYNTAX);
    return STATUS_NO_REPORT;
  }

  ComparedPair pair(platform.case_folding());
  const PairHooks hooks{[&](ImageRole role, const std::filesystem::path& path) {
    announce(console, role == ImageRole::old_image ? LOADING_OLD : LOADING_NEW, path);
  }};
  compare_image_files(platform, arguments[1], arguments[2], hooks, pair);
  switch (pair.outcome) {
    case PairOutcome::old_refused:
      report_load(console, pair.old_result);
      return STATUS_NO_REPORT;
    case PairOutcome::new_refused:
      report_load(console, pair.new_result);
      return STATUS_NO_REPORT;
    case PairOutcome::out_of_memory:
      // Sets too large for this machine's memory: no report rather than a wrong one, and a line
      // that says so, so the screen never looks like two identical images.
      console.write_wide(NO_MEMORY_TO_COMPARE);
      return STATUS_NO_REPORT;
    case PairOutcome::compared:
      break;
  }
  console.write_wide(REPORT_START);
  // The report needs no entry table: large ones are released on a second thread meanwhile.
  in_parallel(
      pair.old_image.entries.size() + pair.new_image.entries.size(),
      [&] { print_report(pair.differences, pair.old_image, pair.new_image, console); },
      [&] {
        pair.old_image.entries = EntryTable();
        pair.new_image.entries = EntryTable();
      });
  return STATUS_REPORT_PRINTED;
}

}  // namespace

int run(std::span<const std::filesystem::path> arguments, Platform& platform) {
  platform.set_up_locale_and_console();
  const int status = run_after_start_up(arguments, platform);
  Console& console = platform.console();
  console.flush();
  // A report that did not reach standard output whole is no report.
  return console.failed() ? STATUS_NO_REPORT : status;
}

}  // namespace tarvel
