#include "app/driver.h"

#include <new>
#include <string_view>

#include "app/exit_status.h"
#include "compare/compare_images.h"
#include "compare/differences.h"
#include "compare/entry_identity.h"
#include "app/image_files.h"
#include "app/image_pair.h"
#include "compare/parallel.h"
#include "image/load_image.h"
#include "image/loaded_image.h"
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

// Prints what the user is told about an image that did not load; false then.
bool report_load(Console& console, const LoadResult& result) {
  switch (result.outcome) {
    case LoadOutcome::loaded:
      return true;
    case LoadOutcome::unreadable:
      console.write_wide(OPEN_ERROR);
      return false;
    case LoadOutcome::version_refused:
    case LoadOutcome::digest_refused:
      console.write_wide(INCORRECT_VERSION);
      console.write_wide(PARSE_ERROR);
      return false;
    case LoadOutcome::malformed:
    case LoadOutcome::out_of_memory:
    case LoadOutcome::abandoned:
      break;
  }
  console.write_wide(PARSE_ERROR);
  return false;
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

  const DriveMap drive_map = identity_drive_map();
  LoadedImage old_image;
  LoadedImage new_image;
  // New-image directories are matched and printed in their normalised form. The new image may
  // load while the old one does; what is printed about it waits until the old one has loaded.
  ImagePairLoader images(platform, arguments[1], arguments[2], old_image, new_image,
                         normalise_with(drive_map));
  announce(console, LOADING_OLD, arguments[1]);
  if (!report_load(console, images.load_old())) {
    return STATUS_NO_REPORT;
  }
  announce(console, LOADING_NEW, arguments[2]);
  if (!report_load(console, images.load_new())) {
    return STATUS_NO_REPORT;
  }

  Differences differences(platform.case_folding());
  try {
    compare_images(old_image, new_image, platform.case_folding(), TableHash(platform.hash_key()),
                   differences);
  } catch (const std::bad_alloc&) {
    // Sets too large for this machine's memory: no report rather than a wrong one, and a line
    // that says so, so the screen never looks like two identical images.
    console.write_wide(NO_MEMORY_TO_COMPARE);
    return STATUS_NO_REPORT;
  }
  console.write_wide(REPORT_START);
  // The report needs no entry table: large ones are released on a second thread meanwhile.
  in_parallel(
      old_image.entries.size() + new_image.entries.size(),
      [&] { print_report(differences, old_image, new_image, console); },
      [&] {
        old_image.entries = EntryTable();
        new_image.entries = EntryTable();
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
