#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/input_file.h"

namespace tarvel {

// Sets every locale category to the user's default and, where the platform has one, the
// console's output code page to that locale's code page.
void set_up_locale_and_console();

// The application framework's process start-up; only success or failure is used.
bool initialise_framework();

// How line ends leave a console: as the program writes them, or as the system's text files end
// lines (CR LF on Windows).
enum class LineEnds { as_written, native };

// The process's standard output or standard error, encoding wide text for the current locale.
std::unique_ptr<Console> make_stdout_console(LineEnds line_ends = LineEnds::native);
std::unique_ptr<Console> make_stderr_console();
// An output console, or why there is none.
struct OpenedOutput {
  std::unique_ptr<Console> console;  // null when the output could not be created
  std::string reason;
};

// Output for a file. A regular file (new or existing) is written to a new file beside it, which
// commit() renames over the target: a run that fails leaves no partial file, and an existing
// file untouched. Anything else that exists there (a device, a FIFO) is written to directly.
OpenedOutput make_file_console(const std::filesystem::path& path, LineEnds line_ends);

// The encoding that a locale gives standard output, learnt without changing the process's
// locale: on POSIX a locale name such as "en_US.ISO-8859-1"; on Windows a runtime locale name
// that ends in its code page, such as ".1252" or ".utf8". None where the system lacks it.
std::optional<OutputEncoding> output_encoding_of_locale(const std::string& name);

// Case mappings of the current locale: the C runtime's, or the system's own where the runtime
// could not take the user's locale.
std::shared_ptr<const CaseFolding> make_case_folding();

#ifdef _WIN32
// Case mappings of the user's language by the system's own casing, bytes taken in the given code
// page: what stands in for the C runtime's mappings where it could not take the user's locale.
std::shared_ptr<const CaseFolding> system_case_folding(unsigned code_page);
#endif

// The operating-system services the programs use; tests replace any of them.
class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  virtual void set_up_locale_and_console() = 0;
  virtual bool initialise_framework() = 0;
  virtual OpenedFile open_file(const std::filesystem::path& path) = 0;
  // An image of the companion programs, which may also come from a pipe or FIFO, or from
  // standard input where `path` is null (see open_input_stream).
  virtual OpenedFile open_stream(const std::filesystem::path* path) = 0;
  virtual Console& console() = 0;
  // Standard error, for the companion programs' one-line reports of trouble.
  virtual Console& error_console() = 0;
  // Which file a path names, where there is one.
  virtual std::optional<FileIdentity> identify(const std::filesystem::path& path) = 0;
  virtual std::optional<FileIdentity> identify_standard_input() = 0;
  // Output for bytes that must leave exactly as written (JSON Lines, CSV): a file written for
  // it (see make_file_console), or standard output where `file` is null.
  virtual OpenedOutput open_output(const std::filesystem::path* file, LineEnds line_ends) = 0;
  // Case mappings of the locale chosen by set_up_locale_and_console.
  virtual const CaseFolding& case_folding() = 0;
  virtual HashKey hash_key() = 0;
};

// The real services of the running system.
class SystemPlatform : public Platform {
 public:
  void set_up_locale_and_console() override;
  bool initialise_framework() override { return tarvel::initialise_framework(); }
  OpenedFile open_file(const std::filesystem::path& path) override {
    return open_input_file(path);
  }
  OpenedFile open_stream(const std::filesystem::path* path) override {
    return open_input_stream(path);
  }
  Console& console() override;
  Console& error_console() override;
  std::optional<FileIdentity> identify(const std::filesystem::path& path) override {
    return identify_file(path);
  }
  std::optional<FileIdentity> identify_standard_input() override {
    return tarvel::identify_standard_input();
  }
  OpenedOutput open_output(const std::filesystem::path* file, LineEnds line_ends) override {
    if (file == nullptr) {
      return {make_stdout_console(line_ends), {}};
    }
    return make_file_console(*file, line_ends);
  }
  const CaseFolding& case_folding() override;
  HashKey hash_key() override { return random_hash_key(); }

 private:
  std::unique_ptr<Console> console_;
  std::unique_ptr<Console> error_console_;
  std::shared_ptr<const CaseFolding> folding_;
};

}  // namespace tarvel
