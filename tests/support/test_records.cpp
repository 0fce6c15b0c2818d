// What tests leave for ctest to read after the run: the JSON Lines they read, and every skipped
// test with its reason, in the folder named by TARVEL_TEST_RECORDS.
#include "support/test_records.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tarvel::testing {

namespace {

// The folder of records, empty where the tests do not run under ctest.
std::filesystem::path records_folder() {
  const char* folder = std::getenv("TARVEL_TEST_RECORDS");
  return folder == nullptr ? std::filesystem::path() : std::filesystem::path(folder);
}

// Appends one line per skipped test to skipped.txt: "<suite>.<test>: <reason>". Each test runs
// in a process of its own, some at once, so a line is written whole in one append.
class SkipRecorder final : public ::testing::EmptyTestEventListener {
 public:
  void OnTestEnd(const ::testing::TestInfo& test) override {
    const std::filesystem::path folder = records_folder();
    if (folder.empty() || !test.result()->Skipped()) {
      return;
    }
    std::string line = std::string(test.test_suite_name()) + "." + test.name() + ":";
    for (int at = 0; at < test.result()->total_part_count(); ++at) {
      const ::testing::TestPartResult& part = test.result()->GetTestPartResult(at);
      if (part.skipped()) {
        line += std::string(" ") + part.message();
      }
    }
    for (char& c : line) {
      c = c == '\n' || c == '\r' ? ' ' : c;
    }
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "skipped.txt", std::ios::binary | std::ios::app) << line + "\n";
  }
};

// Registered before main() runs the tests.
const bool SKIP_RECORDER_REGISTERED = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new SkipRecorder);
  return true;
}();

}  // namespace

void keep_json_lines(const std::string& text) {
  keep_output("json-lines", ".jsonl", text.empty() || text.back() == '\n' ? text : text + '\n');
}

void keep_output(const std::string& kind, const std::string& extension, const std::string& text) {
  const std::filesystem::path folder = records_folder();
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  if (folder.empty() || test == nullptr) {
    return;
  }
  std::filesystem::create_directories(folder / kind);
  std::ofstream out(folder / kind /
                        (std::string(test->test_suite_name()) + "." + test->name() + extension),
                    std::ios::binary | std::ios::app);
  out << text;
}

}  // namespace tarvel::testing
