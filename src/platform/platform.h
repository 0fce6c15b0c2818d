#pragma once

#include <filesystem>
#include <memory>

#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/input_file.h"

namespace tarvel {

// Sets every locale category to the user's default and, where the platform has one, the
// console's output code page to that locale's code page.
void set_up_locale_and_console();

// The application framework's process start-up; only success or failure is used.
bool initialise_framework();

// The process's standard output, encoding wide text for the current locale.
std::unique_ptr<Console> make_stdout_console();

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
  virtual Console& console() = 0;
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
  Console& console() override;
  const CaseFolding& case_folding() override;
  HashKey hash_key() override { return random_hash_key(); }

 private:
  std::unique_ptr<Console> console_;
  std::shared_ptr<const CaseFolding> folding_;
};

}  // namespace tarvel
