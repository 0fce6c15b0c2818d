// tarvel-diff's HTML page, one self-contained document to read in a browser.
#pragma once

#include <memory>

#include "report/change_record.h"
#include "report/diff_output.h"

namespace tarvel {

// Everything is written at the summary, the last call: the counts head the page.
std::unique_ptr<DiffWriter> make_html_writer(const DiffSettings& settings, Console& console);

}  // namespace tarvel
