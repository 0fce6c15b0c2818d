#include "app/driver.h"

#include <string_view>

#include "compare/difference_report.h"
#include "compare/entry_changes.h"
#include "compare/entry_identity.h"
#include "compare/hosts_and_apps.h"
#include "image/loaded_image.h"

namespace tarvel {

namespace {

constexpr std::u16string_view FRAMEWORK_FAILURE = u"Fatal Error: MFC initialization failed\n";
constexpr std::u16string_view BANNER =
    u"Tarvel v1.05 (c) 2025-2026 The Tarvel Authors <authors@tarvel.example>\n"
    u"https://tarvel.example/\n";
constexpr std::u16string_view SYNTAX = u"Syntax: tarvel old_image new_image\n";
constexpr std::u16string_view LOADING_OLD = u"\nLoading OLD image: %s\n";
constexpr std::u16string_view LOADING_NEW = u"Loading NEW image: %s\n";
// Both images are called "Image 1" in these messages; users and scripts know them that way.
constexpr std::u16string_view OPEN_ERROR = u"Image 1: open error!\n";
constexpr std::u16string_view PARSE_ERROR = u"Image 1: read or parse error!\n";
constexpr std::u16string_view REPORT_START = u"\n";

// A script that compares many pairs must tell a failed comparison from a clean one: every run
// that ends without its report ends with 1.
constexpr int STATUS_REPORT_PRINTED = 0;
constexpr int STATUS_NO_REPORT = 1;

void print_with_path(Console& console, std::u16string_view format,
                     const std::filesystem::path& path) {
  const std::size_t placeholder = format.find(u"%s");
  console.write_wide(format.substr(0, placeholder));
  console.write_path(path);
  console.write_wide(format.substr(placeholder + 2));
}

// Prints the loading line, where the user sees it while the image is read, then reads and
// parses one image. Nothing refers into the file's bytes
// once parsing is done, so the buffer can take the next file.
bool load_image(Platform& platform, std::u16string_view loading_line,
                const std::filesystem::path& path, FileData& file, LoadedImage& image) {
  Console& console = platform.console();
  print_with_path(console, loading_line, path);
  console.flush();
  if (!platform.read_whole_file(path, file)) {
    console.write_wide(OPEN_ERROR);
    return false;
  }
  const bool parsed = parse_image(file.span(), image, console);
  if (!parsed) {
    console.write_wide(PARSE_ERROR);
  }
  return parsed;
}

int run_after_start_up(std::span<const std::filesystem::path> arguments, Platform& platform,
                       DifferenceReport& report, const DriveMap& drive_map) {
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

  FileData file;
  LoadedImage old_image;
  if (!load_image(platform, LOADING_OLD, arguments[1], file, old_image)) {
    return STATUS_NO_REPORT;
  }
  LoadedImage new_image;
  if (!load_image(platform, LOADING_NEW, arguments[2], file, new_image)) {
    return STATUS_NO_REPORT;
  }
  file.release();
  console.write_wide(REPORT_START);

  detect_entry_changes(old_image.entries, new_image.entries, drive_map, report);

  const CaseFolding& folding = platform.case_folding();
  split_hosts_text(old_image.hosts, report.old_hosts_lines);
  split_hosts_text(new_image.hosts, report.new_hosts_lines);
  compare_hosts_lines(report.new_hosts_lines, report.old_hosts_lines, folding, report.hosts_new);
  compare_hosts_lines(report.old_hosts_lines, report.new_hosts_lines, folding,
                      report.hosts_removed);
  compare_applications(new_image.apps, old_image.apps, report.apps_new);
  compare_applications(old_image.apps, new_image.apps, report.apps_removed);

  // The report refers into both images, so it is printed while they are still loaded.
  print_report(report, console);
  return STATUS_REPORT_PRINTED;
}

}  // namespace

int run(std::span<const std::filesystem::path> arguments, Platform& platform) {
  platform.set_up_locale_and_console();
  DifferenceReport report(platform.case_folding());
  const DriveMap drive_map = identity_drive_map();
  const int status = run_after_start_up(arguments, platform, report, drive_map);
  Console& console = platform.console();
  console.flush();
  // A report that did not reach standard output whole is no report.
  return console.failed() ? STATUS_NO_REPORT : status;
}

}  // namespace tarvel
