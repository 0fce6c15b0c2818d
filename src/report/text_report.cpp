#include "report/text_report.h"

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
    set.for_each([this](std::u16string_view name, const NameSet::Member&) { print_wide_line(name); });
    print_total(set.count());
  }

  void print_apps(std::u16string_view heading, const std::vector<std::uint32_t>& apps,
                  const AppList& list) {
    if (apps.empty()) {
      return;
    }
    console_.write_wide(heading);
    for (const std::uint32_t app : apps) {
      print_wide_line(list.label(list[app]));
    }
    print_total(apps.size());
  }

  void print_hosts(std::u16string_view heading, const HostsLines& lines, std::string_view text) {
    if (lines.empty()) {
      return;
    }
    console_.write_wide(heading);
    for (const HostsLine& line : lines) {
      console_.write_bytes(terminal_safe(text.substr(line.offset, line.length),
                                         console_.output_encoding(), byte_scratch_));
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

void print_report(const Differences& differences, const LoadedImage& old_image,
                  const LoadedImage& new_image, Console& console) {
  ReportPrinter printer(console);
  printer.print_names(u"Autorun: New\n", differences.autorun_new);
  printer.print_apps(u"Applications: New\n", differences.apps_new, new_image.apps);
  printer.print_hosts(u"Hosts: New\n", differences.hosts_new, new_image.hosts);
  printer.print_names(u"Autorun: Removed\n", differences.autorun_removed);
  printer.print_apps(u"Applications: Removed\n", differences.apps_removed, old_image.apps);
  printer.print_hosts(u"Hosts: Removed\n", differences.hosts_removed, old_image.hosts);
  printer.print_names(u"Modified:\n", differences.modified);
  printer.print_names(u"No SHA1:\n", differences.no_sha1);
  printer.print_names(u"Changed status:\n", differences.changed_status);
}

}  // namespace tarvel
