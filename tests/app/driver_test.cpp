#include <gtest/gtest.h>

#include <map>

#include "app/driver.h"
#include "support/capture_console.h"
#include "support/image_writer.h"

namespace tarvel {
namespace {

// A platform whose files live in memory and whose framework can be made to fail.
class FakePlatform final : public Platform {
 public:
  void set_up_locale_and_console() override { ++set_ups; }
  bool initialise_framework() override {
    EXPECT_EQ(set_ups, 1) << "the locale is set up before the framework";
    return framework_works;
  }
  bool read_whole_file(const std::filesystem::path& path, FileData& data) override {
    reads.push_back(path.string());
    const auto found = files.find(path.string());
    if (found == files.end() || found->second.empty()) {
      return false;
    }
    data.size = static_cast<std::uint32_t>(found->second.size());
    data.bytes = std::make_unique<std::uint8_t[]>(data.size);
    std::copy(found->second.begin(), found->second.end(), data.bytes.get());
    return true;
  }
  Console& console() override { return console_; }
  const CaseFolding& case_folding() override { return *folding_; }

  std::string output() { return console_.text(); }

  bool framework_works = true;
  int set_ups = 0;
  std::map<std::string, testing::Bytes> files;
  std::vector<std::string> reads;

 private:
  testing::CaptureConsole console_;
  std::shared_ptr<const CaseFolding> folding_ = CaseFolding::from_current_locale();
};

int run_with(FakePlatform& platform, std::vector<std::filesystem::path> arguments) {
  return run(arguments, platform);
}

TEST(Driver, FrameworkFailurePrintsOnlyItsMessageAndExitsWithOne) {
  FakePlatform platform;
  platform.framework_works = false;
  platform.files["old"] = testing::write_image({});
  EXPECT_EQ(run_with(platform, {"tarvel", "old", "old"}), 1);
  EXPECT_EQ(platform.output(), "Fatal Error: MFC initialization failed\n");
  EXPECT_TRUE(platform.reads.empty());
}

TEST(Driver, NothingIsReadAfterTheOldImageFails) {
  FakePlatform platform;
  testing::Bytes broken = testing::write_image({});
  broken[0] = 9;
  platform.files["broken"] = broken;
  platform.files["good"] = testing::write_image({});
  EXPECT_EQ(run_with(platform, {"tarvel", "broken", "good"}), 0);
  EXPECT_EQ(platform.reads, std::vector<std::string>{"broken"});
  EXPECT_TRUE(
      platform.output().ends_with("\nLoading OLD image: broken\n"
                                  "Error: Incorrect version of image file\n"
                                  "Image 1: read or parse error!\n"));

  FakePlatform wrong_count;
  EXPECT_EQ(run_with(wrong_count, {"tarvel", "good"}), 0);
  EXPECT_TRUE(wrong_count.reads.empty());
}

}  // namespace
}  // namespace tarvel
