// The companion programs' command lines: options from a table, and operands.
#include "app/arguments.h"

#include <optional>
#include <type_traits>

namespace tarvel {

namespace {

using Native = std::filesystem::path::string_type;

// Takes an option's value: the rest of its argument where there is one, else the next argument.
bool take_value(std::span<const std::filesystem::path> arguments, std::size_t& at,
                const std::optional<Native>& attached, const std::string& shown,
                std::filesystem::path& value, std::string& error) {
  if (attached) {
    value = *attached;
  } else if (at + 1 >= arguments.size()) {
    error = "option " + shown + " needs a value";
    return false;
  } else {
    value = arguments[++at];
  }
  if (value.empty()) {
    error = "option " + shown + " has an empty value";
    return false;
  }
  return true;
}

bool long_option(std::span<const std::filesystem::path> arguments, std::size_t& at,
                 std::span<const OptionSpec> table, const ArgumentHandlers& handlers,
                 std::string& error) {
  const Native& native = arguments[at].native();
  const std::size_t equals = native.find('=');
  const std::string name = ascii_argument(native.substr(2, equals == Native::npos ? equals : equals - 2));
  for (std::size_t option = 0; option < table.size(); ++option) {
    if (table[option].long_name.empty() || table[option].long_name != name) {
      continue;
    }
    const std::string shown = "--" + name;
    std::filesystem::path value;
    if (table[option].takes_value) {
      const std::optional<Native> attached =
          equals == Native::npos ? std::nullopt : std::optional<Native>(native.substr(equals + 1));
      if (!take_value(arguments, at, attached, shown, value, error)) {
        return false;
      }
    } else if (equals != Native::npos) {
      error = "option " + shown + " takes no value";
      return false;
    }
    return handlers.option(option, value, error);
  }
  const std::string whole = ascii_argument(native);
  error = "unknown option " + (whole.empty() ? "--" + name + "=..." : whole);
  return false;
}

bool short_options(std::span<const std::filesystem::path> arguments, std::size_t& at,
                   std::span<const OptionSpec> table, const ArgumentHandlers& handlers,
                   std::string& error) {
  const Native& native = arguments[at].native();
  for (std::size_t letter = 1; letter < native.size(); ++letter) {
    const auto unit = static_cast<std::make_unsigned_t<Native::value_type>>(native[letter]);
    std::size_t option = 0;
    while (option < table.size() &&
           (table[option].short_name == '\0' ||
            static_cast<unsigned char>(table[option].short_name) != unit)) {
      ++option;
    }
    const std::string shown = unit > 0x20 && unit < 0x7F
                                  ? std::string{'-', static_cast<char>(unit)}
                                  : std::string("-?");
    if (option == table.size()) {
      error = "unknown option " + shown;
      return false;
    }
    std::filesystem::path value;
    if (table[option].takes_value) {
      // "-o=FILE" is read as "-o FILE", as it always was.
      const std::size_t from = letter + 1 < native.size() && native[letter + 1] == '=' ? letter + 2
                                                                                        : letter + 1;
      const std::optional<Native> attached =
          from < native.size() ? std::optional<Native>(native.substr(from)) : std::nullopt;
      return take_value(arguments, at, attached, shown, value, error) &&
             handlers.option(option, value, error);
    }
    if (!handlers.option(option, value, error)) {
      return false;
    }
  }
  return true;
}

#ifdef _WIN32
// Takes the table's help option, the one whose short name is 'h'.
bool help_option(std::span<const OptionSpec> table, const ArgumentHandlers& handlers,
                 std::string& error) {
  for (std::size_t option = 0; option < table.size(); ++option) {
    if (table[option].short_name == 'h') {
      return handlers.option(option, {}, error);
    }
  }
  error = "unknown option /?";
  return false;
}
#endif

}  // namespace

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

bool parse_arguments(std::span<const std::filesystem::path> arguments,
                     std::span<const OptionSpec> table, const ArgumentHandlers& handlers,
                     std::string& error) {
  bool only_operands = false;
  for (std::size_t at = 1; at < arguments.size(); ++at) {
    const Native& native = arguments[at].native();
    // An argument that is not ASCII before its '=' is no option, whatever it starts with.
    const std::string name = ascii_argument(native.substr(0, native.find('=')));
#ifdef _WIN32
    // Windows programs answer /? and -? with their help; no file there can be named '?'.
    if (!only_operands && (name == "/?" || name == "-?") && native.size() == 2) {
      if (!help_option(table, handlers, error)) {
        return false;
      }
      continue;
    }
#endif
    if (only_operands || name.size() < 2 || name.front() != '-') {
      if (arguments[at].empty()) {
        error = "an empty path names no image";
        return false;
      }
      if (!handlers.operand(arguments[at], error)) {
        return false;
      }
    } else if (name == "--" && native.size() == 2) {
      only_operands = true;
    } else if (name.starts_with("--") ? !long_option(arguments, at, table, handlers, error)
                                      : !short_options(arguments, at, table, handlers, error)) {
      return false;
    }
  }
  return true;
}

bool parse_companion_arguments(std::span<const std::filesystem::path> arguments,
                               std::span<const OptionSpec> own, const ArgumentHandlers& handlers,
                               UsageRequest& request, std::string& error) {
  std::vector<OptionSpec> table(own.begin(), own.end());
  const std::size_t help = table.size();
  table.push_back({'h', "help", false});
  table.push_back({'\0', "version", false});
  const ArgumentHandlers with_usage{
      [&](std::size_t option, const std::filesystem::path& value, std::string& complaint) {
        if (option < help) {
          return handlers.option(option, value, complaint);
        }
        (option == help ? request.help : request.version) = true;
        return true;
      },
      handlers.operand};
  return parse_arguments(arguments, table, with_usage, error);
}

}  // namespace tarvel
