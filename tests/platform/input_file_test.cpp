// Opening input files: refusals, sizes, reading and rewinding.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>

#include "platform/input_file.h"
#include "support/run_tarvel.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <thread>
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

#if defined(__linux__)
// A view shows the file's bytes from any offset, and leaves read() and the other slot's view
// where they were. Bytes the
// file loses while viewed (another program cuts it short) read as zeros instead of ending the
// program, and the file says it was cut short.
TEST(OpenInputFile, ViewsShowTheBytesAndSurviveAFileCutShort) {
  const testing::TempDir dir;
  testing::Bytes content(5 * 4096 + 100);
  for (std::size_t at = 0; at < content.size(); ++at) {
    content[at] = static_cast<std::uint8_t>(at % 251 + 1);
  }
  const std::string path = dir.write("viewed", content);
  OpenedFile opened = open_input_file(path);
  ASSERT_NE(opened.file, nullptr);
  InputFile& file = *opened.file;
  std::uint8_t first = 0;
  ASSERT_EQ(file.read({&first, 1}), 1);
  const std::span<const std::uint8_t> view =
      file.view(ViewSlot::parsing, 4097, content.size() - 4097);
  ASSERT_EQ(view.size(), content.size() - 4097);
  // A view in the other slot leaves this one as it was.
  const std::span<const std::uint8_t> other = file.view(ViewSlot::hashing, 0, 4096);
  ASSERT_EQ(other.size(), 4096u);
  EXPECT_TRUE(std::equal(other.begin(), other.end(), content.begin()));
  EXPECT_TRUE(std::equal(view.begin(), view.end(), content.begin() + 4097));
  ASSERT_EQ(file.read({&first, 1}), 1);
  EXPECT_EQ(first, content[1]);
  EXPECT_FALSE(file.cut_short());

  constexpr std::size_t KEPT = 2 * 4096;
  ASSERT_EQ(::truncate(path.c_str(), KEPT), 0);
  EXPECT_EQ(view[KEPT - 1 - 4097], content[KEPT - 1]);  // still in the file
  EXPECT_EQ(view[KEPT - 4097], 0);                      // lost with the end of the file
  EXPECT_EQ(view.back(), 0);
  EXPECT_TRUE(file.cut_short());
  ASSERT_TRUE(file.seek(3));
  ASSERT_EQ(file.read({&first, 1}), 1);
  EXPECT_EQ(first, content[3]);
}
#endif

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

#ifndef _WIN32
// A stream is kept whole in a private file that nobody else sees, or refused as soon as it
// passes the limit, before its writer is done; a FIFO whose writer comes late is waited for, one
// that gets none is refused in bounded time.
TEST(OpenInputStream, SpoolsAFifoUpToItsLimitAndNeverWaitsForEver) {
  using namespace std::chrono_literals;
  constexpr std::size_t LIMIT = 5000;
  struct Case {
    const char* what;
    std::size_t bytes;                           // what the writer writes
    std::optional<std::chrono::milliseconds> writer_after;  // none: no writer at all
    OpenFailure failure;
    bool spool_folder = true;  // false: $TMPDIR names a folder that is not there
  };
  const Case cases[] = {
      {"exactly the limit", LIMIT, 0ms, OpenFailure::none},
      {"one byte past the limit", LIMIT + 1, 0ms, OpenFailure::too_large},
      {"more than a pipe holds", std::size_t{3} << 20, 0ms, OpenFailure::too_large},
      {"nothing at all", 0, 0ms, OpenFailure::empty},
      {"a writer that comes late", 100, 150ms, OpenFailure::none},
      {"no writer", 0, std::nullopt, OpenFailure::cannot_open},
      {"nowhere to keep it", 100, 0ms, OpenFailure::cannot_open, false},
  };
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous {};
  ::sigaction(SIGPIPE, &ignore, &previous);  // a writer whose reader gave up gets EPIPE
  const char* const old_tmpdir = std::getenv("TMPDIR");
  const std::string saved_tmpdir = old_tmpdir != nullptr ? old_tmpdir : "";
  const testing::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path folder = dir.path() / c.what;
    const std::filesystem::path fifo = folder / "fifo";
    const std::filesystem::path spool = folder / "spool";
    std::filesystem::create_directories(spool);
    ::setenv("TMPDIR", (c.spool_folder ? spool : folder / "gone").c_str(), 1);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    testing::Bytes content(c.bytes);
    for (std::size_t at = 0; at < content.size(); ++at) {
      content[at] = static_cast<std::uint8_t>(at * 7 + at / 251);
    }
    std::atomic<bool> returned{false};
    std::atomic<bool> closed_before_return{false};
    std::thread writer;
    if (c.writer_after) {
      writer = std::thread([&] {
        std::this_thread::sleep_for(*c.writer_after);
        // Never blocks on opening: a reader that is gone must not hang the test.
        int fd = -1;
        for (int tries = 0; fd < 0 && !returned && tries < 500; ++tries) {
          fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
          if (fd < 0) {
            std::this_thread::sleep_for(10ms);
          }
        }
        if (fd < 0) {
          return;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        for (std::size_t at = 0; at < content.size();) {
          const ssize_t written = ::write(fd, content.data() + at, content.size() - at);
          if (written <= 0) {
            break;
          }
          at += static_cast<std::size_t>(written);
        }
        // Past the limit, the writer holds its end open until the reader has answered.
        for (int waits = 0; c.bytes > LIMIT && !returned && waits < 500; ++waits) {
          std::this_thread::sleep_for(10ms);
        }
        closed_before_return = !returned.load();
        ::close(fd);
      });
    }
    const auto start = std::chrono::steady_clock::now();
    OpenedFile opened = open_input_stream(&fifo, {.largest = LIMIT, .writer_wait = 1000ms});
    returned = true;
    if (writer.joinable()) {
      writer.join();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    EXPECT_EQ(opened.failure, c.failure) << opened.reason;
    EXPECT_TRUE(std::filesystem::is_empty(spool)) << "the spool file has no name";
    if (c.failure == OpenFailure::too_large) {
      EXPECT_FALSE(closed_before_return) << "refused only at the end of the stream";
    }
    if (c.failure == OpenFailure::cannot_open) {
      EXPECT_NE(opened.reason, "");
    }
    if (c.failure != OpenFailure::none) {
      EXPECT_EQ(opened.file, nullptr);
      continue;
    }
    ASSERT_NE(opened.file, nullptr);
    EXPECT_EQ(opened.file->size(), content.size());
    EXPECT_EQ(read_all(*opened.file), content);
    ASSERT_TRUE(opened.file->rewind());
    EXPECT_EQ(read_all(*opened.file), content);
  }
  if (old_tmpdir != nullptr) {
    ::setenv("TMPDIR", saved_tmpdir.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  ::sigaction(SIGPIPE, &previous, nullptr);
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
