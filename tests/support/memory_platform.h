#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "support/image_writer.h"

namespace tarvel::testing {

// A platform whose files live in memory and whose console is supplied by the caller.
class MemoryPlatform : public Platform {
 public:
  explicit MemoryPlatform(Console& console) : console_(&console) {}

  void set_up_locale_and_console() override {}
  bool initialise_framework() override { return true; }
  bool read_whole_file(const std::filesystem::path& path, FileData& data) override {
    const auto found = files.find(path.string());
    if (found == files.end() || found->second.empty()) {
      return false;
    }
    data.size = static_cast<std::uint32_t>(found->second.size());
    data.bytes = std::make_unique<std::uint8_t[]>(data.size);
    std::copy(found->second.begin(), found->second.end(), data.bytes.get());
    return true;
  }
  Console& console() override { return *console_; }
  const CaseFolding& case_folding() override { return *folding_; }

  std::map<std::string, Bytes> files;

 private:
  Console* console_;
  std::shared_ptr<const CaseFolding> folding_ = CaseFolding::from_current_locale();
};

}  // namespace tarvel::testing
