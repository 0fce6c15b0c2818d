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

// The tables hash with a key drawn afresh on every run; what is printed must not show it.
TEST(Driver, TheReportDoesNotDependOnTheHashKey) {
  testing::ImageSpec old_spec;
  testing::ImageSpec new_spec;
  std::string old_hosts;
  std::string new_hosts;
  for (int i = 0; i < 400; ++i) {
    const std::u16string name = u"f" + std::u16string(1, static_cast<char16_t>(u'A' + i % 50));
    const std::u16string directory = i % 3 == 0 ? u"C:\\Data" : u"c:\\DATA";
    old_spec.entries.push_back(testing::entry(directory, name, 0x24, 0));
    if (i % 7 != 0) {
      new_spec.entries.push_back(testing::entry(directory, name, i % 5 == 0 ? 0x20 : 0x24, 0));
    }
    const std::string line = "10.0.0." + std::to_string(i % 60) + (i % 2 == 0 ? " Host" : " host");
    (i % 4 == 0 ? old_hosts : new_hosts) += line + "\n";
    (i % 2 == 0 ? old_spec : new_spec)
        .apps.push_back(testing::app(u"{" + name + u"}", u"App " + name));
  }
  old_spec.hosts = testing::bytes_of(old_hosts + '\0');
  new_spec.hosts = testing::bytes_of(new_hosts + '\0');
  std::string first;
  for (const HashKey& key : {HashKey{1, 2}, HashKey{0, 0}, HashKey{~0ULL, 12345}}) {
    FakePlatform platform;
    platform.key = key;
    platform.add_file("old", testing::write_image(old_spec));
    platform.add_file("new", testing::write_image(new_spec));
    EXPECT_EQ(run_with(platform, {"tarvel", "old", "new"}), 0);
    if (first.empty()) {
      first = platform.output();
      EXPECT_NE(first.find("Autorun: Removed"), std::string::npos);
    }
    EXPECT_EQ(platform.output(), first);
  }
}

}  // namespace
}  // namespace tarvel
