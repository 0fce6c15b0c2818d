// The platform layer on POSIX systems.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cwchar>
#include <string>

#include "platform/platform.h"

namespace tarvel {

namespace {

// Only files below 4 GiB fit the format's 32-bit sizes.
constexpr std::uint64_t LARGEST_FILE = 0xFFFFFFFFu;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

std::size_t encode_for_locale(char32_t character, char* out) {
  std::mbstate_t state{};
  const std::size_t count = std::wcrtomb(out, static_cast<wchar_t>(character), &state);
  return count == static_cast<std::size_t>(-1) ? 0 : count;
}

// "UTF-8" on glibc; "utf8" or "UTF8" on some other systems.
bool names_utf8(const char* codeset) {
  std::string name;
  for (const char* at = codeset; at != nullptr && *at != '\0'; ++at) {
    if (*at != '-') {
      name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*at))));
    }
  }
  return name == "utf8";
}

// The encoding of the calling thread's locale, described by that locale's own decoder.
OutputEncoding encoding_of_current_locale() {
  if (names_utf8(::nl_langinfo(CODESET))) {
    return OutputEncoding::utf8();
  }
  return OutputEncoding::code_page([](std::string_view bytes) {
    wchar_t character = 0;
    std::mbstate_t state{};
    const std::size_t count = std::mbrtowc(&character, bytes.data(), bytes.size(), &state);
    if (count == static_cast<std::size_t>(-2)) {
      return DecodedText{DecodedText::Kind::incomplete};
    }
    if (count != bytes.size()) {
      return DecodedText{DecodedText::Kind::invalid};
    }
    return DecodedText{DecodedText::Kind::one_character, static_cast<char32_t>(character)};
  });
}

// Waits until fd takes bytes again. A descriptor in error or hung up counts as ready: the write
// that follows reports why.
bool wait_until_writable(int fd) {
  pollfd request{fd, POLLOUT, 0};
  while (true) {
    if (::poll(&request, 1, -1) > 0) {
      return true;
    }
    if (errno != EINTR && errno != EAGAIN) {
      return false;
    }
  }
}

class StdoutConsole final : public BufferedConsole {
 public:
  StdoutConsole() : BufferedConsole(&encode_for_locale, encoding_of_current_locale()) {}
  StdoutConsole(const StdoutConsole&) = delete;
  StdoutConsole& operator=(const StdoutConsole&) = delete;
  ~StdoutConsole() override { flush(); }

  void write_path(const std::filesystem::path& path) override { write_bytes(path.native()); }

 protected:
  // A standard output left non-blocking by whoever started us is waited for, not given up on;
  // a write that truly fails (closed pipe with SIGPIPE ignored, full disk, closed descriptor)
  // is reported, so that the run does not end as a success with a short report.
  bool deliver(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
      if (written > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(written));
        continue;
      }
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!wait_until_writable(STDOUT_FILENO)) {
          return false;
        }
        continue;
      }
      return false;
    }
    return true;
  }
};

// Switches the calling thread to another locale for as long as it lives; the process's locale
// stays as it is.
class ThreadLocale {
 public:
  explicit ThreadLocale(const std::string& name)
      : locale_(::newlocale(LC_CTYPE_MASK, name.c_str(), nullptr)) {
    if (locale_ != nullptr) {
      previous_ = ::uselocale(locale_);
    }
  }
  ThreadLocale(const ThreadLocale&) = delete;
  ThreadLocale& operator=(const ThreadLocale&) = delete;
  ~ThreadLocale() {
    if (locale_ != nullptr) {
      ::uselocale(previous_);
      ::freelocale(locale_);
    }
  }
  bool exists() const { return locale_ != nullptr; }

 private:
  locale_t locale_;
  locale_t previous_ = nullptr;
};

}  // namespace

bool read_whole_file(const std::filesystem::path& path, FileData& data) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    return false;
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return false;
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size == 0 || size > LARGEST_FILE) {
    return false;
  }
  std::uint8_t* const buffer = data.prepare(static_cast<std::uint32_t>(size));
  if (buffer == nullptr) {
    return false;
  }
  // read() may deliver a large file in several pieces; a file that ends early is a failure.
  std::uint64_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(file.get(), buffer + done, size - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    done += static_cast<std::uint64_t>(got);
  }
  return true;
}

void set_up_locale_and_console() {
  // A locale the system does not know leaves the "C" locale in force, which is still usable.
  std::setlocale(LC_ALL, "");
}

bool initialise_framework() { return true; }

std::unique_ptr<Console> make_stdout_console() { return std::make_unique<StdoutConsole>(); }

std::optional<OutputEncoding> output_encoding_of_locale(const std::string& name) {
  const ThreadLocale locale(name);
  if (!locale.exists()) {
    return std::nullopt;
  }
  return encoding_of_current_locale();
}

std::shared_ptr<const CaseFolding> make_case_folding() {
  return CaseFolding::from_current_locale();
}

}  // namespace tarvel
