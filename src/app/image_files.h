// What the companions share: usage answers, trouble lines and the words for a refused image.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/arguments.h"
#include "image/load_image.h"
#include "image/loaded_image.h"
#include "platform/platform.h"

namespace tarvel {

// What went wrong with an image, in a few words for a one-line message: "cannot open",
// "version 9 not supported", "malformed at byte offset 4711: expected ...".
std::string describe_failure(const LoadResult& result);

// A path as the user gave it, as a JSON string and as UTF-8 text; false when the path is not
// valid in its encoding and some of it was replaced.
bool path_as_json(const std::filesystem::path& path, std::string& out);
bool path_as_utf8(const std::filesystem::path& path, std::string& out);

// The start the companion programs share: bad usage is trouble, reported with a pointer to
// --help; --help and --version are answered on standard output. Returns the exit status where
// the run ends there.
std::optional<int> answer_usage(Platform& platform, std::string_view program,
                                std::string_view usage, bool parsed, const std::string& error,
                                const UsageRequest& request);

// How each companion starts: the locale and console set up, its arguments read into `options`
// by parse(arguments, options, error), and usage answered. Returns the exit status where the
// run ends there.
template <typename Options, typename Parse>
std::optional<int> start_companion(Platform& platform, std::string_view program,
                                   std::string_view usage,
                                   std::span<const std::filesystem::path> arguments,
                                   Options& options, Parse&& parse) {
  platform.set_up_locale_and_console();
  std::string error;
  const bool parsed = parse(arguments, options, error);
  return answer_usage(platform, program, usage, parsed, error, options.usage);
}

// Writes "<program>: <path>: <message>\n" (or without the path) on standard error.
void report_trouble(Platform& platform, std::string_view program, const std::filesystem::path* path,
                    std::string_view message);

}  // namespace tarvel
