// The platform layer on POSIX systems.
#include <fcntl.h>
#if defined(__linux__)
#include <sys/random.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cwchar>

#include "platform/platform.h"

namespace tarvel {

namespace {

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
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::size_t encode_for_locale(char32_t character, char* out) {
  std::mbstate_t state{};
  const std::size_t count = std::wcrtomb(out, static_cast<wchar_t>(character), &state);
  return count == static_cast<std::size_t>(-1) ? 0 : count;
}

class StdoutConsole final : public BufferedConsole {
 public:
  StdoutConsole() : BufferedConsole(&encode_for_locale) {}
  StdoutConsole(const StdoutConsole&) = delete;
  StdoutConsole& operator=(const StdoutConsole&) = delete;
  ~StdoutConsole() override { flush(); }

  void write_path(const std::filesystem::path& path) override { write_bytes(path.native()); }

 protected:
  void deliver(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) {
          continue;
        }
        return;  // nowhere left to report to
      }
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }
};

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, std::uint32_t size) : fd_(fd), size_(size) {}

  std::uint32_t size() const override { return size_; }
  std::ptrdiff_t read(std::span<std::uint8_t> into) override {
    while (true) {
      const ssize_t got = ::read(fd_.get(), into.data(), into.size());
      if (got < 0 && errno == EINTR) {
        continue;
      }
      return got < 0 ? -1 : static_cast<std::ptrdiff_t>(got);
    }
  }

 private:
  FileDescriptor fd_;
  std::uint32_t size_;
};

}  // namespace

OpenedFile open_input_file(const std::filesystem::path& path) {
  // Never blocks: a FIFO without a writer, a terminal or a device is refused below, not waited on.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    return {nullptr, OpenFailure::cannot_open};
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    return {nullptr, OpenFailure::cannot_open};
  }
  if (!S_ISREG(status.st_mode)) {
    return {nullptr, OpenFailure::not_regular};
  }
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size > LARGEST_IMAGE_FILE) {
    return {nullptr, OpenFailure::too_large};
  }
  if (size == 0) {
    return {nullptr, OpenFailure::empty};
  }
  return {std::make_unique<PosixInputFile>(file.release(), static_cast<std::uint32_t>(size)),
          OpenFailure::none};
}

HashKey random_hash_key() {
  HashKey key{};
  auto* const bytes = reinterpret_cast<unsigned char*>(key.data());
  std::size_t done = 0;
#if defined(__linux__)
  while (done < sizeof key) {
    const ssize_t got = ::getrandom(bytes + done, sizeof key - done, 0);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
#endif
  if (done < sizeof key) {
    const FileDescriptor source(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    done = 0;
    while (source.get() >= 0 && done < sizeof key) {
      const ssize_t got = ::read(source.get(), bytes + done, sizeof key - done);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      done += static_cast<std::size_t>(got);
    }
  }
  if (done < sizeof key) {
    // No random source at all: a key that still differs from run to run and from machine to
    // machine is better than a fixed one.
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    key[0] ^= static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ULL;
    key[1] ^= static_cast<std::uint64_t>(::getpid()) ^ reinterpret_cast<std::uintptr_t>(&key);
  }
  return key;
}

void set_up_locale_and_console() {
  // A locale the system does not know leaves the "C" locale in force, which is still usable.
  std::setlocale(LC_ALL, "");
}

bool initialise_framework() { return true; }

std::unique_ptr<Console> make_stdout_console() { return std::make_unique<StdoutConsole>(); }

}  // namespace tarvel
