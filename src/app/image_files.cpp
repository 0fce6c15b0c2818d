// What the companion programs share: usage answers, trouble lines, image paths as text and
// what went wrong with an image in a few words.
#include "app/image_files.h"

#include "report/machine_text.h"
#include "report/terminal_text.h"

namespace tarvel {

std::optional<int> answer_usage(Platform& platform, std::string_view program,
                                std::string_view usage, bool parsed, const std::string& error,
                                const UsageRequest& request) {
  if (!parsed) {
    report_trouble(platform, program, nullptr, error);
    Console& errors = platform.error_console();
    errors.write_bytes("Try '" + std::string(program) + " --help'.\n");
    errors.flush();
    return 2;
  }
  if (!request.any()) {
    return std::nullopt;
  }
  Console& out = platform.console();
  if (request.help) {
    out.write_bytes(usage);
  } else {
    out.write_bytes(program);
    out.write_bytes(" " TARVEL_VERSION_TEXT "\n");
  }
  out.flush();
  return out.failed() ? 2 : 0;
}

std::string describe_failure(const LoadResult& result) {
  switch (result.outcome) {
    case LoadOutcome::loaded:
      return "loaded";
    case LoadOutcome::unreadable:
      switch (result.read_failure) {
        case ReadFailure::not_regular:
          return "not a regular file";
        case ReadFailure::too_large:
          return "too large (4 GiB or more)";
        case ReadFailure::empty:
          return "empty";
        case ReadFailure::read_error:
          return "read error: the file ended early or could not be read";
        case ReadFailure::none:
        case ReadFailure::cannot_open:
          break;
      }
      return result.reason.empty() ? "cannot open" : "cannot open: " + result.reason;
    case LoadOutcome::version_refused:
      if (result.version >= OLDEST_VERSION && result.version <= NEWEST_VERSION) {
        return "too short for a version " + std::to_string(result.version) + " image";
      }
      return "version " + std::to_string(result.version) + " not supported";
    case LoadOutcome::digest_refused:
      return "digest mismatch";
    case LoadOutcome::malformed:
      return "malformed at byte offset " + std::to_string(result.offset) + ": expected " +
             result.expected;
    case LoadOutcome::out_of_memory:
      return "too large for this machine's memory";
    case LoadOutcome::abandoned:
      return "not read to the end";
  }
  return "cannot be read";
}

namespace {

// The native units of a path: bytes on POSIX, UTF-16 on Windows.
#ifdef _WIN32
std::u16string native_text(const std::filesystem::path& path) {
  const std::wstring& native = path.native();
  return std::u16string(native.begin(), native.end());
}
#else
std::string_view native_text(const std::filesystem::path& path) { return path.native(); }
#endif

}  // namespace

bool path_as_json(const std::filesystem::path& path, std::string& out) {
  const auto text = native_text(path);
  return append_json_string(out, text);
}

bool path_as_utf8(const std::filesystem::path& path, std::string& out) {
  const auto text = native_text(path);
  return append_utf8(out, text);
}

void report_trouble(Platform& platform, std::string_view program,
                    const std::filesystem::path* path, std::string_view message) {
  Console& errors = platform.error_console();
  errors.write_bytes(program);
  errors.write_bytes(": ");
  if (path != nullptr) {
    write_terminal_safe(errors, *path);
    errors.write_bytes(": ");
  }
  // The message may quote a rules file or an argument.
  std::string scratch;
  errors.write_bytes(terminal_safe(message, errors.output_encoding(), scratch));
  errors.write_bytes("\n");
  errors.flush();
}

}  // namespace tarvel
