#include <gtest/gtest.h>

#include <map>

#include "app/driver.h"
#include "support/expected_output.h"
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
  EXPECT_EQ(run_with(platform, {"tarvel", "broken", "good"}), 1);
  EXPECT_EQ(platform.opened, std::vector<std::string>{"broken"});
  EXPECT_TRUE(
      platform.output().ends_with("\nLoading OLD image: broken\n"
                                  "Error: Incorrect version of image file\n"
                                  "Image 1: read or parse error!\n"));

  FakePlatform wrong_count;
  EXPECT_EQ(run_with(wrong_count, {"tarvel", "good"}), 1);
  EXPECT_TRUE(wrong_count.opened.empty());
}

TEST(Driver, ExitsWithZeroOnlyWhenTheWholeReportIsPrinted) {
  testing::Bytes broken = testing::write_image({});
  broken[0] = 9;
  struct Case {
    const char* what;
    std::vector<std::filesystem::path> arguments;
    bool output_fails;
    int status;
  };
  const Case cases[] = {
      {"report printed", {"tarvel", "good", "good"}, false, 0},
      {"no paths", {"tarvel"}, false, 1},
      {"three paths", {"tarvel", "good", "good", "good"}, false, 1},
      {"old image missing", {"tarvel", "missing", "good"}, false, 1},
      {"new image missing", {"tarvel", "good", "missing"}, false, 1},
      {"old image does not parse", {"tarvel", "broken", "good"}, false, 1},
      {"new image does not parse", {"tarvel", "good", "broken"}, false, 1},
      {"standard output fails", {"tarvel", "good", "good"}, true, 1},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.add_file("good", testing::write_image({}));
    platform.add_file("broken", broken);
    if (c.output_fails) {
      platform.break_output();
    }
    EXPECT_EQ(run_with(platform, c.arguments), c.status) << c.what;
  }
}

// Reading a large image, or one on a slow share, takes a while: the user sees which one.
TEST(Driver, BannerAndLoadingLineAreOnTheOutputBeforeTheImageIsRead) {
  FakePlatform platform;
  platform.add_file("old", testing::write_image({}));
  platform.add_file("new", testing::write_image({}));
  EXPECT_EQ(run_with(platform, {"tarvel", "old", "new"}), 0);
  const std::string banner_and_old = testing::BANNER + testing::loading_old("old");
  EXPECT_EQ(
      platform.delivered_before_opens,
      (std::vector<std::string>{banner_and_old, banner_and_old + testing::loading_new("new")}));
}

}  // namespace
}  // namespace tarvel
