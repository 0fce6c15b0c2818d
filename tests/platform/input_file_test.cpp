#include <gtest/gtest.h>

#include <filesystem>

#include "platform/input_file.h"
#include "support/run_tarvel.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tarvel {
namespace {

std::vector<std::uint8_t> read_all(InputFile& file) {
  std::vector<std::uint8_t> bytes(file.size() + 10);
  std::size_t got = 0;
  while (true) {
    const std::ptrdiff_t count = file.read({bytes.data() + got, bytes.size() - got});
    if (count <= 0) {
      break;
    }
    got += static_cast<std::size_t>(count);
  }
  bytes.resize(got);
  return bytes;
}

TEST(OpenInputFile, ReadsRegularFilesAndRefusesEverythingElse) {
  const testing::TempDir dir;
  const testing::Bytes content = {0, 1, 2, 0xFF, 'x'};
  const std::string good = dir.write("good", content);
  const std::string empty = dir.write("empty", {});

  OpenedFile opened = open_input_file(good);
  ASSERT_NE(opened.file, nullptr);
  EXPECT_EQ(opened.file->size(), content.size());
  EXPECT_EQ(read_all(*opened.file), content);
  // A second reading from the start finds the same bytes.
  ASSERT_TRUE(opened.file->rewind());
  EXPECT_EQ(read_all(*opened.file), content);
  EXPECT_EQ(identify_file(good), identify_file(dir.path() / "." / "good"));
  EXPECT_NE(identify_file(good), identify_file(empty));
  EXPECT_FALSE(identify_file(dir.path() / "missing"));

  const std::pair<std::filesystem::path, OpenFailure> refused[] = {
      {empty, OpenFailure::empty},
      {dir.path() / "missing", OpenFailure::cannot_open},
      {dir.path(), OpenFailure::not_regular},
  };
  for (const auto& [path, failure] : refused) {
    const OpenedFile result = open_input_file(path);
    EXPECT_EQ(result.file, nullptr) << path;
    EXPECT_EQ(result.failure, failure) << path;
    // The system's own words for why it refused, where it did.
    EXPECT_EQ(result.reason.empty(), failure != OpenFailure::cannot_open) << result.reason;
  }
}

#ifndef _WIN32
TEST(OpenInputFile, RefusesAFifoAtOnceInsteadOfWaitingForAWriter) {
  const testing::TempDir dir;
  const std::filesystem::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const OpenedFile result = open_input_file(fifo);  // would block for ever without O_NONBLOCK
  EXPECT_EQ(result.file, nullptr);
  EXPECT_EQ(result.failure, OpenFailure::not_regular);
}
#endif

TEST(OpenInputFile, RefusesFilesOfFourGibibytesWithoutReadingThem) {
  const testing::TempDir dir;
  const std::filesystem::path huge = dir.path() / "huge";
  for (std::uintmax_t size : {std::uintmax_t{1} << 32, (std::uintmax_t{1} << 32) + 5}) {
    dir.write("huge", {});
    std::error_code error;
    std::filesystem::resize_file(huge, size, error);  // sparse: takes no disk space
    if (error) {
      GTEST_SKIP() << "cannot make a sparse file here: " << error.message();
    }
    const OpenedFile result = open_input_file(huge);
    EXPECT_EQ(result.file, nullptr);
    EXPECT_EQ(result.failure, OpenFailure::too_large);
  }
}

TEST(RandomHashKey, DiffersFromRunToRun) {
  EXPECT_NE(random_hash_key(), random_hash_key());
}

}  // namespace
}  // namespace tarvel
