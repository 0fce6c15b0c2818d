#include "compare/difference_report.h"

#include <string>
#include <type_traits>

namespace tarvel {

namespace {

constexpr std::u16string_view TOTAL_FORMAT = u"Total:%d\n\n";

// C0 controls (but TAB) and DEL could move the cursor, end a line early or start an escape
// sequence; on the wide channel the C1 controls could too.
template <typename Unit>
bool is_control(Unit unit, bool c1_too) {
  // Through the unsigned type first: a plain char byte of 0x80 or more must not sign-extend.
  const auto value = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Unit>>(unit));
  if (value == 0x09) {
    return false;
  }
  return value < 0x20 || value == 0x7F || (c1_too && value >= 0x80 && value <= 0x9F);
}

template <typename Char>
std::basic_string_view<Char> printable(std::basic_string_view<Char> text,
                                       std::basic_string<Char>& scratch, bool c1_too) {
  std::size_t at = 0;
  while (at < text.size() && !is_control(text[at], c1_too)) {
    ++at;
  }
  if (at == text.size()) {
    return text;
  }
  scratch.assign(text);
  for (; at < scratch.size(); ++at) {
    if (is_control(scratch[at], c1_too)) {
      scratch[at] = static_cast<Char>('?');
    }
  }
  return scratch;
}

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
      console_.write_bytes(printable(line, byte_scratch_, false));
      console_.write_bytes("\n");
    }
    print_total(lines.size());
  }

 private:
  void print_wide_line(std::u16string_view text) {
    console_.write_wide(printable(text, wide_scratch_, true));
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
