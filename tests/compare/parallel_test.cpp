// Work split over two threads: both branches, and exceptions from the helper thread.
#include "compare/parallel.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "app/driver.h"
#include "testing/fake_platform.h"
#include "testing/sample_images.h"

namespace tarvel {
namespace {

// Lowers the threshold for one test, so that every comparison takes its threaded paths.
class ThreadedPaths {
 public:
  ThreadedPaths() { parallel_work = 0; }
  ThreadedPaths(const ThreadedPaths&) = delete;
  ThreadedPaths& operator=(const ThreadedPaths&) = delete;
  ~ThreadedPaths() { parallel_work = PARALLEL_WORK; }
};

TEST(InParallel, RunsOnTwoThreadsAndAnExceptionOnEitherReachesTheCaller) {
  const ThreadedPaths threaded;
  std::thread::id there_on;
  in_parallel(1, [] {}, [&] { there_on = std::this_thread::get_id(); });
  EXPECT_EQ(there_on != std::this_thread::get_id(), second_core_available());
  EXPECT_THROW(in_parallel(1, [] {}, [] { throw std::runtime_error("there"); }),
               std::runtime_error);
  EXPECT_THROW(in_parallel(1, [] { throw std::runtime_error("here"); }, [] {}),
               std::runtime_error);
}

// The report of a pair compared on two threads is the report of the same pair on one.
TEST(InParallel, TheThreadedComparisonPrintsWhatOneThreadPrints) {
  std::string outputs[2];
  for (const bool with_threads : {false, true}) {
    const auto threaded = with_threads ? std::make_unique<ThreadedPaths>() : nullptr;
    testing::FakePlatform platform;
    platform.add_file("old", testing::write_image(testing::sample_old_image()));
    platform.add_file("new", testing::write_image(testing::sample_new_image()));
    EXPECT_EQ(run(std::vector<std::filesystem::path>{"tarvel", "old", "new"}, platform), 0);
    outputs[with_threads ? 1 : 0] = platform.output();
  }
  EXPECT_EQ(outputs[1], outputs[0]);
  EXPECT_NE(outputs[0].find("Changed status:"), std::string::npos);
}

}  // namespace
}  // namespace tarvel
