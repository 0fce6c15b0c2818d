#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvel {

// A command-line argument as text, where it is ASCII; empty otherwise. Options are ASCII.
std::string ascii_argument(const std::filesystem::path& argument);

// The value of a --format option, one of the names in `known`; false with the complaint
// otherwise.
template <typename Format, std::size_t COUNT>
bool choose_format(const std::filesystem::path& value,
                   const std::array<std::pair<std::string_view, Format>, COUNT>& known,
                   Format& out, std::string& error) {
  const std::string name = ascii_argument(value);
  std::string names;
  for (std::size_t at = 0; at < COUNT; ++at) {
    if (name == known[at].first) {
      out = known[at].second;
      return true;
    }
    names += (at == 0 ? "" : at + 1 == COUNT ? " or " : ", ") + std::string(known[at].first);
  }
  error = "unknown format '" + name + "' (" + names + ")";
  return false;
}

// One option of a companion program: a short name ('\0' for none), a long name without its
// dashes ("" for none), and whether it takes a value.
struct OptionSpec {
  char short_name;
  std::string_view long_name;
  bool takes_value;
};

// What a parse hands back for each option and operand, in command-line order. `option` is the
// option's place in the table; `value` is empty for an option without one.
struct ArgumentHandlers {
  std::function<bool(std::size_t option, const std::filesystem::path& value, std::string& error)>
      option;
  std::function<bool(const std::filesystem::path& operand, std::string& error)> operand;
};

// Reads a companion program's command line after the program name, as getopt_long does:
// "--name", "--name=value" and "--name value"; short options alone or combined ("-q", "-qo
// FILE", "-oFILE"); on Windows "/?" and "-?" ask for help as "-h" does; "--" ends the options;
// "-" and anything that does not start with '-' (or is not ASCII before any '=') is an operand,
// which names an image. A value or operand may be any path but an empty one. False, with the
// complaint in error, on bad usage or when a handler says so.
bool parse_arguments(std::span<const std::filesystem::path> arguments,
                     std::span<const OptionSpec> table, const ArgumentHandlers& handlers,
                     std::string& error);

// What every companion takes besides its own options: -h or --help, and --version.
struct UsageRequest {
  bool help = false;
  bool version = false;
  bool any() const { return help || version; }
};

// parse_arguments with the program's own options and those every companion has; the handlers
// see only the program's own, numbered as in `own`.
bool parse_companion_arguments(std::span<const std::filesystem::path> arguments,
                               std::span<const OptionSpec> own, const ArgumentHandlers& handlers,
                               UsageRequest& request, std::string& error);

}  // namespace tarvel
