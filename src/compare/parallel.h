// Running two pieces of work on two threads, or one after the other.
#pragma once

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/cores.h"

namespace tarvel {

// Work smaller than this, counted in entries or members, is not worth starting a thread for.
inline constexpr std::size_t PARALLEL_WORK = 1 << 16;
// The threshold in force: tests lower it, so that the threaded paths run on small inputs.
inline std::size_t parallel_work = PARALLEL_WORK;

// Runs `here` on the calling thread and `there` on a second one at the same time, and returns
// when both are done; for work below parallel_work, on one core, or when no thread can be had,
// runs them one after the other. The two must share nothing they write. An exception from
// either reaches the caller.
template <typename Here, typename There>
void in_parallel(std::size_t work, Here&& here, There&& there) {
  std::exception_ptr failed_there;
  std::thread helper;
  if (work >= parallel_work && second_core_available()) {
    try {
      helper = std::thread([&] {
        try {
          there();
        } catch (...) {
          failed_there = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No second thread: both run here.
    }
  }
  if (!helper.joinable()) {
    there();
    here();
    return;
  }
  std::exception_ptr failed_here;
  try {
    here();
  } catch (...) {
    failed_here = std::current_exception();
  }
  helper.join();
  if (failed_here) {
    std::rethrow_exception(failed_here);
  }
  if (failed_there) {
    std::rethrow_exception(failed_there);
  }
}

}  // namespace tarvel
