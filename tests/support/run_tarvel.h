// Runs the built programs as a user would, and captures what they write.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "testing/image_writer.h"

namespace tarvel::testing {

struct RunResult {
  int status = -1;     // exit status, or -1 when the process did not exit normally
  std::string output;  // everything written to standard output
  std::string errors;  // everything written to standard error
};

// Where the program's standard output goes.
enum class StandardOutput {
  pipe,                    // a pipe read at once; on Windows, text whose lines end in CR LF
  pipe_bytes,              // a pipe read at once, what arrives kept byte for byte
  slow_non_blocking_pipe,  // a non-blocking pipe (POSIX) whose reader starts late
  closed_pipe,             // a pipe nobody reads (with SIGPIPE ignored on POSIX)
  full_device,             // /dev/full (POSIX): every write fails for lack of space
};

// Runs a built program with the given arguments under the given locale.
RunResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& locale = "C.UTF-8",
                      StandardOutput output = StandardOutput::pipe);

// Runs the built tarvel binary with the given arguments under the given locale.
RunResult run_tarvel(const std::vector<std::string>& arguments,
                     const std::string& locale = "C.UTF-8",
                     StandardOutput output = StandardOutput::pipe);

// A fresh directory that is removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  // Writes bytes to a file in the directory and returns its full path as a string.
  std::string write(const std::string& name, const Bytes& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tarvel::testing
