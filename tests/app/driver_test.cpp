#include <gtest/gtest.h>

#include <map>

#include "app/driver.h"
#include "testing/fake_platform.h"
#include "testing/image_writer.h"

namespace tarvel {
namespace {

using testing::FakePlatform;

int run_with(FakePlatform& platform, std::vector<std::filesystem::path> arguments) {
  return run(arguments, platform);
}

TEST(Driver, FrameworkFailurePrintsOnlyItsMessageAndExitsWithOne) {
  FakePlatform platform;
  platform.framework_works = false;
  platform.add_file("old", testing::write_image({}));
  EXPECT_EQ(run_with(platform, {"tarvel", "old", "old"}), 1);
  EXPECT_EQ(platform.output(), "Fatal Error: MFC initialization failed\n");
  EXPECT_TRUE(platform.framework_started_after_set_up);
  EXPECT_TRUE(platform.opened.empty());
}

TEST(Driver, NothingIsReadAfterTheOldImageFails) {
  FakePlatform platform;
  testing::Bytes broken = testing::write_image({});
  broken[0] = 9;
  platform.add_file("broken", broken);
  platform.add_file("good", testing::write_image({}));
  EXPECT_EQ(run_with(platform, {"tarvel", "broken", "good"}), 0);
  EXPECT_EQ(platform.opened, std::vector<std::string>{"broken"});
  EXPECT_TRUE(
      platform.output().ends_with("\nLoading OLD image: broken\n"
                                  "Error: Incorrect version of image file\n"
                                  "Image 1: read or parse error!\n"));

  FakePlatform wrong_count;
  EXPECT_EQ(run_with(wrong_count, {"tarvel", "good"}), 0);
  EXPECT_TRUE(wrong_count.opened.empty());
}

}  // namespace
}  // namespace tarvel
