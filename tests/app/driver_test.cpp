// tarvel's driver through the fake platform: messages, exit statuses and the report.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "app/driver.h"
#include "app/image_pair.h"
#include "image/window_stream.h"
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

// Large images load at the same time where there is a second core, yet the output is that of
// one loaded after the other: nothing about the new image before the old one has loaded, and
// nothing at all when the old one fails, its reading then abandoned and its file closed.
TEST(Driver, ANewImageLoadingAheadShowsOnlyOnceTheOldOneHasLoaded) {
  testing::ImageSpec large;
  large.skipped[0] = testing::Bytes(ImagePairLoader::LOAD_AHEAD_SIZE, 0x5A);
  const testing::Bytes good_old = testing::write_image(large);
  testing::Bytes broken_old = good_old;
  broken_old[0] = 9;
  large.skipped[0].resize(ImagePairLoader::LOAD_AHEAD_SIZE + 8 * WindowBuffers::DEFAULT_WINDOW);
  const testing::Bytes good_new = testing::write_image(large);
  testing::Bytes broken_new = good_new;
  broken_new[good_new.size() / 2] ^= 1;
  const std::string failed_version = testing::VERSION_ERROR + testing::PARSE_ERROR;
  struct Case {
    const testing::Bytes* old_bytes;
    const testing::Bytes* new_bytes;  // null: the new image cannot be opened
    int status;
    std::string after_banner;
    bool new_read_whole;
  };
  const Case cases[] = {
      {&broken_old, &good_new, 1, testing::loading_old("old") + failed_version, false},
      {&good_old, nullptr, 1,
       testing::loading_old("old") + testing::loading_new("new") + testing::OPEN_ERROR, false},
      {&good_old, &broken_new, 1,
       testing::loading_old("old") + testing::loading_new("new") + failed_version, true},
      {&good_old, &good_new, 0, testing::loading_old("old") + testing::loading_new("new") + "\n",
       true},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    std::atomic<bool> old_closed = false;
    std::atomic<bool> new_closed = false;
    std::atomic<std::size_t> new_furthest = 0;
    testing::FakeFile old_file;
    old_file.bytes = *c.old_bytes;
    old_file.on_close = [&] { old_closed = true; };
    platform.add_file("old", old_file);
    if (c.new_bytes != nullptr) {
      testing::FakeFile new_file;
      new_file.bytes = *c.new_bytes;
      // Past its first window, the new image waits for the old one to be read.
      new_file.on_read = [&](std::size_t at) {
        new_furthest = at;
        while (at >= WindowBuffers::DEFAULT_WINDOW && !old_closed) {
          std::this_thread::yield();
        }
      };
      new_file.on_close = [&] { new_closed = true; };
      platform.add_file("new", new_file);
    }
    EXPECT_EQ(run_with(platform, {"tarvel", "old", "new"}), c.status) << c.after_banner;
    EXPECT_EQ(platform.output(), testing::BANNER + c.after_banner);
    if (c.new_bytes != nullptr) {
      // On one core, a new image is not opened at all when the old one fails.
      const bool new_opened =
          std::find(platform.opened.begin(), platform.opened.end(), "new") != platform.opened.end();
      EXPECT_EQ(new_closed, new_opened) << c.after_banner;
      EXPECT_EQ(new_furthest + WindowBuffers::DEFAULT_WINDOW >= c.new_bytes->size(),
                c.new_read_whole)
          << c.after_banner;
    }
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
