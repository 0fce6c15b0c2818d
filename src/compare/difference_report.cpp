#include "compare/difference_report.h"

#include <string>

#include "report/terminal_text.h"

namespace tarvel {

namespace {

constexpr std::u16string_view TOTAL_FORMAT = u"Total:%d\n\n";

class ReportPrinter {
 public:
  explicit ReportPrinter(Console& console) : console_(console) {}

  void print_names(std::u16string_view heading, const NameSet& set) {
    if (set.empty()) {
      return;
    }
    console_.write_wide(heading);
    set.for_each([this](std::u16string_view name) { print_wide_line(name); });
    print_total(set.count());
  }

  void print_apps(std::u16string_view heading, const AppList& apps) {
    if (apps.empty()) {
      return;
    }
    console_.write_wide(heading);
    for (const AppRecord* app : apps) {
      print_wide_line(text_up_to_nul(app->label));
    }
    print_total(apps.size());
  }

  void print_hosts(std::u16string_view heading, const HostsLines& lines) {
    if (lines.empty()) {
      return;
    }
    console_.write_wide(heading);
    for (std::string_view line : lines) {
      console_.write_bytes(terminal_safe(line, console_.output_encoding(), byte_scratch_));
      console_.write_bytes("\n");
    }
    print_total(lines.size());
  }

 private:
  void print_wide_line(std::u16string_view text) {
    console_.write_wide(terminal_safe(text, wide_scratch_));
    console_.write_wide(u"\n");
  }

  void print_total(std::size_t count) {
    const std::size_t placeholder = TOTAL_FORMAT.find(u"%d");
    const std::string digits = std::to_string(count);
    console_.write_wide(TOTAL_FORMAT.substr(0, placeholder));
    console_.write_wide(std::u16string(digits.begin(), digits.end()));
    console_.write_wide(TOTAL_FORMAT.substr(placeholder + 2));
  }

  Console& console_;
  std::u16string wide_scratch_;
  std::string byte_scratch_;
};

}  // namespace

void print_report(const DifferenceReport& report, Console& console) {
  ReportPrinter printer(console);
  printer.print_names(u"Autorun: New\n", report.autorun_new);
  printer.print_apps(u"Applications: New\n", report.apps_new);
  printer.print_hosts(u"Hosts: New\n", report.hosts_new);
  printer.print_names(u"Autorun: Removed\n", report.autorun_removed);
  printer.print_apps(u"Applications: Removed\n", report.apps_removed);
  printer.print_hosts(u"Hosts: Removed\n", report.hosts_removed);
  printer.print_names(u"Modified:\n", report.modified);
  printer.print_names(u"No SHA1:\n", report.no_sha1);
  printer.print_names(u"Changed status:\n", report.changed_status);
}

}  // namespace tarvel
