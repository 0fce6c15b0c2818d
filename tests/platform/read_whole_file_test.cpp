#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "support/run_tarvel.h"

namespace tarvel {
namespace {

TEST(ReadWholeFile, ReadsRegularFilesAndRefusesEverythingElse) {
  const testing::TempDir dir;
  const testing::Bytes content = {0, 1, 2, 0xFF, 'x'};
  const std::string good = dir.write("good", content);
  const std::string empty = dir.write("empty", {});

  FileData data;
  ASSERT_TRUE(read_whole_file(good, data));
  ASSERT_EQ(data.size, content.size());
  EXPECT_TRUE(std::equal(content.begin(), content.end(), data.bytes.get()));

  for (const std::filesystem::path& bad :
       {std::filesystem::path(empty), dir.path() / "missing", dir.path()}) {
    FileData refused;
    EXPECT_FALSE(read_whole_file(bad, refused)) << bad;
    EXPECT_EQ(refused.bytes, nullptr);
  }
}

TEST(ReadWholeFile, RefusesFilesOfFourGibibytesWithoutReadingThem) {
  const testing::TempDir dir;
  const std::filesystem::path huge = dir.path() / "huge";
  for (std::uintmax_t size : {std::uintmax_t{1} << 32, (std::uintmax_t{1} << 32) + 5}) {
    dir.write("huge", {});
    std::error_code error;
    std::filesystem::resize_file(huge, size, error);  // sparse: takes no disk space
    if (error) {
      GTEST_SKIP() << "cannot make a sparse file here: " << error.message();
    }
    FileData data;
    EXPECT_FALSE(read_whole_file(huge, data));
    EXPECT_EQ(data.bytes, nullptr);
  }
}

}  // namespace
}  // namespace tarvel
