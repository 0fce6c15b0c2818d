#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/image_writer.h"

namespace tarvel::testing {

// A platform whose files live in memory, whose console is supplied by the caller, and whose
// framework start-up can be made to fail. It records what the driver asks of it.
class MemoryPlatform : public Platform {
 public:
  explicit MemoryPlatform(Console& console) : console_(&console) {}

  void set_up_locale_and_console() override { ++set_ups; }
  bool initialise_framework() override {
    framework_started_after_set_up = set_ups == 1;
    return framework_works;
  }
  bool read_whole_file(const std::filesystem::path& path, FileData& data) override {
    reads.push_back(path.string());
    const auto found = files.find(path.string());
    if (found == files.end() || found->second.empty()) {
      return false;
    }
    std::uint8_t* buffer = data.prepare(static_cast<std::uint32_t>(found->second.size()));
    if (buffer == nullptr) {
      return false;
    }
    std::copy(found->second.begin(), found->second.end(), buffer);
    return true;
  }
  Console& console() override { return *console_; }
  const CaseFolding& case_folding() override { return *folding_; }

  std::map<std::string, Bytes> files;
  bool framework_works = true;
  int set_ups = 0;
  bool framework_started_after_set_up = false;
  std::vector<std::string> reads;

 private:
  Console* console_;
  std::shared_ptr<const CaseFolding> folding_ = CaseFolding::from_current_locale();
};

}  // namespace tarvel::testing
