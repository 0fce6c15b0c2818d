// The platform layer on POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cwchar>

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
  StdoutConsole() : BufferedConsole(&encode_for_locale) {}
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

}  // namespace tarvel
