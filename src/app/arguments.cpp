#include "app/arguments.h"

#include <type_traits>

namespace tarvel {

std::string ascii_argument(const std::filesystem::path& argument) {
  std::string text;
  for (const std::filesystem::path::value_type unit : argument.native()) {
    const auto value = static_cast<std::make_unsigned_t<std::filesystem::path::value_type>>(unit);
    if (value == 0 || value >= 0x80) {
      return {};
    }
    text.push_back(static_cast<char>(value));
  }
  return text;
}

bool ArgumentReader::next() {
  while (++at_ < arguments_.size()) {
    const std::filesystem::path::string_type& native = arguments_[at_].native();
    const std::size_t equals = native.find('=');
    name_ = ascii_argument(native.substr(0, equals));
#ifdef _WIN32
    // Windows programs answer /? with their help; no file there can be named '?'.
    if (!only_paths_ && name_ == "/?") {
      name_ = "-?";
    }
#endif
    if (only_paths_ || name_.size() < 2 || name_.front() != '-') {
      // Not an option: a path, even one that starts with '-' but is not ASCII before any '='.
      is_path_ = true;
      name_.clear();
      text_.clear();
      value_.reset();
      return true;
    }
    if (name_ == "--" && equals == std::filesystem::path::string_type::npos) {
      only_paths_ = true;
      continue;
    }
    is_path_ = false;
    text_ = ascii_argument(native);
    if (text_.empty()) {
      text_ = name_ + "=...";
    }
    if (equals == std::filesystem::path::string_type::npos) {
      value_.reset();
    } else {
      // The value keeps the units it was given: a path after '=' need not be ASCII.
      value_ = std::filesystem::path(native.substr(equals + 1));
    }
    return true;
  }
  return false;
}

bool ArgumentReader::is_help() const {
#ifdef _WIN32
  if (is_flag("-?")) {
    return true;
  }
#endif
  return is_flag("-h") || is_flag("--help");
}

bool ArgumentReader::value(std::filesystem::path& out, std::string& error) {
  if (value_) {
    out = *value_;
    return true;
  }
  if (at_ + 1 >= arguments_.size()) {
    error = "option " + name_ + " needs a value";
    return false;
  }
  out = arguments_[++at_];
  return true;
}

bool ArgumentReader::text_value(std::string& out, std::string& error) {
  std::filesystem::path value_path;
  if (!value(value_path, error)) {
    return false;
  }
  out = ascii_argument(value_path);
  return true;
}

}  // namespace tarvel
