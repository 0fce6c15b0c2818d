// The text report writer.
#pragma once

#include <cstddef>
#include <string>

#include "compare/differences.h"
#include "image/loaded_image.h"
#include "platform/console.h"
#include "report/report_items.h"

namespace tarvel {

// Writes items as the text report shows them: each list that has any under its heading, one
// line a member, and a total. Text that comes from an image is made terminal-safe, so a crafted
// image cannot forge, hide or disguise report lines.
class TextReportWriter {
 public:
  explicit TextReportWriter(Console& console) : console_(console) {}
  TextReportWriter(const TextReportWriter&) = delete;
  TextReportWriter& operator=(const TextReportWriter&) = delete;

  // Items must come in print order.
  void item(const ReportItem& item);
  // Closes the last list; call once after the last item.
  void finish();

 private:
  void print_total();

  Console& console_;
  std::size_t list_ = REPORT_LIST_COUNT;  // the list being printed, none at first
  std::size_t count_ = 0;
  std::u16string wide_scratch_;
  std::string byte_scratch_;
};

// Prints every non-empty section of the differences in the fixed order, each with its heading,
// its members and its total. The images' entry tables are not read: paths live in the sets.
void print_report(const Differences& differences, const LoadedImage& old_image,
                  const LoadedImage& new_image, Console& console);

}  // namespace tarvel
