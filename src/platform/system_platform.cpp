// The platform of a real run: locale, consoles, case folding and files.
#include "platform/platform.h"

namespace tarvel {

void SystemPlatform::set_up_locale_and_console() {
  tarvel::set_up_locale_and_console();
  // The console and the case mappings follow the locale chosen just now.
  if (console_) {
    console_->flush();
  }
  console_ = make_stdout_console();
  error_console_.reset();
  folding_ = make_case_folding();
}

Console& SystemPlatform::console() {
  if (!console_) {
    console_ = make_stdout_console();
  }
  return *console_;
}

Console& SystemPlatform::error_console() {
  if (!error_console_) {
    error_console_ = make_stderr_console();
  }
  return *error_console_;
}

const CaseFolding& SystemPlatform::case_folding() {
  if (!folding_) {
    folding_ = make_case_folding();
  }
  return *folding_;
}

}  // namespace tarvel
