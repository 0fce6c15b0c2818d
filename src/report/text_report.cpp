// The text report writer.
#include "report/text_report.h"

#include <string>

#include "report/terminal_text.h"

namespace tarvel {

namespace {

constexpr std::u16string_view TOTAL_FORMAT = u"Total:%d\n\n";

}  // namespace

void TextReportWriter::item(const ReportItem& item) {
  if (item.list != list_) {
    if (list_ != REPORT_LIST_COUNT) {
      print_total();
    }
    list_ = item.list;
    count_ = 0;
    console_.write_wide(item.kind().heading);
  }
  ++count_;
  if (item.kind().section == Section::hosts) {
    console_.write_bytes(terminal_safe(item.line, console_.output_encoding(), byte_scratch_));
    console_.write_bytes("\n");
  } else {
    console_.write_wide(terminal_safe(item.text, wide_scratch_));
    console_.write_wide(u"\n");
  }
}

void TextReportWriter::finish() {
  if (list_ != REPORT_LIST_COUNT) {
    print_total();
    list_ = REPORT_LIST_COUNT;
  }
}

void TextReportWriter::print_total() {
  const std::size_t placeholder = TOTAL_FORMAT.find(u"%d");
  const std::string digits = std::to_string(count_);
  console_.write_wide(TOTAL_FORMAT.substr(0, placeholder));
  console_.write_wide(std::u16string(digits.begin(), digits.end()));
  console_.write_wide(TOTAL_FORMAT.substr(placeholder + 2));
}

void print_report(const Differences& differences, const LoadedImage& old_image,
                  const LoadedImage& new_image, Console& console) {
  TextReportWriter writer(console);
  for_each_report_item(
      differences, old_image, new_image, [&](const ReportItem& item) { writer.item(item); },
      false);
  writer.finish();
}

}  // namespace tarvel
