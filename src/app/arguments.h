#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvel {

// A command-line argument as text, where it is ASCII; empty otherwise. Options are ASCII.
std::string ascii_argument(const std::filesystem::path& argument);

// Walks a companion program's command line after the program name. Anything not starting with
// '-' (and "-" itself, and everything after "--") is a path; an option's value follows it, or
// its '=', and may be any path.
class ArgumentReader {
 public:
  explicit ArgumentReader(std::span<const std::filesystem::path> arguments)
      : arguments_(arguments) {}

  // Steps to the next argument; false at the end.
  bool next();
  // Whether the current argument is a path rather than an option.
  [[nodiscard]] bool is_path() const { return is_path_; }
  [[nodiscard]] const std::filesystem::path& path() const { return arguments_[at_]; }
  // The option's name without any "=value", and the whole option as text for messages.
  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] const std::string& option() const { return text_; }
  // Whether the current option is this flag, given without a value.
  [[nodiscard]] bool is_flag(std::string_view flag) const { return !value_ && name_ == flag; }
  // Whether the current option asks for help: -h or --help, and on Windows -? and /? too.
  [[nodiscard]] bool is_help() const;
  // Takes the current option's value; false, with the complaint in error, when it has none.
  bool value(std::filesystem::path& out, std::string& error);
  // The same for a value that must be ASCII text, such as a format name.
  bool text_value(std::string& out, std::string& error);

 private:
  std::span<const std::filesystem::path> arguments_;
  std::size_t at_ = 0;
  bool only_paths_ = false;
  bool is_path_ = false;
  std::string name_;
  std::string text_;
  std::optional<std::filesystem::path> value_;
};

}  // namespace tarvel
