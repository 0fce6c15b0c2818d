// What tests leave for ctest to check after the run: JSON Lines, HTML pages, skipped tests.
#pragma once

#include <string>

namespace tarvel::testing {

// Keeps JSON Lines that a test reads for the suite's check against the JSON Schemas: appended to
// a file named after the running test, in the folder of records that ctest names in
// TARVEL_TEST_RECORDS. Does nothing where that is not set.
void keep_json_lines(const std::string& text);

// Keeps any output for a check after the run: `<folder>/<kind>/<suite>.<test><extension>`,
// appended to. Does nothing where TARVEL_TEST_RECORDS is not set.
void keep_output(const std::string& kind, const std::string& extension, const std::string& text);

}  // namespace tarvel::testing
