// A whole run of tarvel inside the calling process, on images in memory.
#include "testing/run_in_process.h"

#include <clocale>
#include <memory>

#include "app/driver.h"

namespace tarvel::testing {

InProcessRun run_in_process(const ImageFile& old_image, const ImageFile& new_image,
                            const CaseFolding& folding) {
  FakePlatform platform(&folding);
  for (const ImageFile* image : {&old_image, &new_image}) {
    FakeFile file;
    file.bytes = image->bytes;
    platform.add_file(image->path, file);
  }
  const std::vector<std::filesystem::path> arguments{"tarvel", old_image.path, new_image.path};
  InProcessRun result;
  result.status = run(arguments, platform);
  result.output = platform.output();
  return result;
}

const CaseFolding& utf8_case_folding() {
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
