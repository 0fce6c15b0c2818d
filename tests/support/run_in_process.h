#pragma once

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/driver.h"
#include "platform/platform.h"
#include "support/capture_console.h"

namespace tarvel::testing {

// One image file as the program would find it on disk.
struct ImageFile {
  std::string path;
  std::span<const std::uint8_t> bytes;  // empty: the file cannot be read whole
};

struct InProcessRun {
  int status = -1;
  std::string output;  // wide text as UTF-8, hosts lines as their bytes
};

// Serves two caller-owned images and captures the output. Each read gets a fresh buffer of
// exactly the image's size rather than the reused one the real read may hand out, so that
// AddressSanitizer sees a read past the end of either image.
class TwoImagePlatform final : public Platform {
 public:
  TwoImagePlatform(const ImageFile& old_image, const ImageFile& new_image,
                   const CaseFolding& folding)
      : files_{&old_image, &new_image}, folding_(&folding) {}

  void set_up_locale_and_console() override {}
  bool initialise_framework() override { return true; }
  bool read_whole_file(const std::filesystem::path& path, FileData& data) override {
    for (const ImageFile* file : files_) {
      if (path.string() != file->path) {
        continue;
      }
      if (file->bytes.empty()) {
        return false;
      }
      data.release();
      std::uint8_t* const buffer = data.prepare(static_cast<std::uint32_t>(file->bytes.size()));
      if (buffer == nullptr) {
        return false;
      }
      std::copy(file->bytes.begin(), file->bytes.end(), buffer);
      return true;
    }
    return false;
  }
  Console& console() override { return console_; }
  const CaseFolding& case_folding() override { return *folding_; }

  std::string output() { return console_.text(); }

 private:
  std::array<const ImageFile*, 2> files_;
  const CaseFolding* folding_;
  CaptureConsole console_;
};

// Runs `tarvel OLD NEW` in this process, through the same driver as the binary.
inline InProcessRun run_in_process(const ImageFile& old_image, const ImageFile& new_image,
                                   const CaseFolding& folding) {
  TwoImagePlatform platform(old_image, new_image, folding);
  const std::vector<std::filesystem::path> arguments{"tarvel", old_image.path, new_image.path};
  InProcessRun result;
  result.status = run(arguments, platform);
  result.output = platform.output();
  return result;
}

// The case mappings the binary uses when started under LC_ALL=C.UTF-8, built once: building
// them takes a locale call for each of the 65,536 units. Falls back to "C" where C.UTF-8 is
// missing. The process's own locale is left as it was.
inline const CaseFolding& utf8_case_folding() {
  static const std::shared_ptr<const CaseFolding> folding = [] {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C.UTF-8");
    auto built = CaseFolding::from_current_locale();
    std::setlocale(LC_ALL, previous.c_str());
    return built;
  }();
  return *folding;
}

}  // namespace tarvel::testing
