// The platform layer on POSIX systems.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#if defined(__linux__)
#include <sys/random.h>
#endif
#include <signal.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif
#include <sys/stat.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cinttypes>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

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

// Output to a file descriptor: standard output or error, or a file the program created.
class DescriptorConsole final : public BufferedConsole {
 public:
  DescriptorConsole(int fd, bool owned)
      : BufferedConsole(&encode_for_locale, encoding_of_current_locale()), fd_(fd), owned_(owned) {}
  DescriptorConsole(const DescriptorConsole&) = delete;
  DescriptorConsole& operator=(const DescriptorConsole&) = delete;
  ~DescriptorConsole() override {
    flush();
    if (owned_) {
      ::close(fd_);
    }
  }

 protected:
  // An output left non-blocking by whoever started us is waited for, not given up on; a write
  // that truly fails (closed pipe with SIGPIPE ignored, full disk, closed descriptor) is
  // reported, so that the run does not end as a success with short output.
  bool deliver(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
      if (written > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(written));
        continue;
      }
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!wait_until_writable(fd_)) {
          fail(last_system_error());
          return false;
        }
        continue;
      }
      fail(written < 0 ? last_system_error() : std::string("nothing was written"));
      return false;
    }
    return true;
  }

 private:
  int fd_;
  bool owned_;
};

// A regular output file, written under a temporary name in the same folder and renamed over
// its target on commit, so that the target is replaced whole or not at all.
class ReplacingFileConsole final : public BufferedConsole {
 public:
  ReplacingFileConsole(int fd, std::filesystem::path temporary, std::filesystem::path target)
      : BufferedConsole(&encode_for_locale, encoding_of_current_locale()),
        fd_(fd),
        temporary_(std::move(temporary)),
        target_(std::move(target)) {}
  ReplacingFileConsole(const ReplacingFileConsole&) = delete;
  ReplacingFileConsole& operator=(const ReplacingFileConsole&) = delete;
  ~ReplacingFileConsole() override {
    if (fd_.get() >= 0) {
      ::unlink(temporary_.c_str());
    }
  }

  bool commit() override {
    flush();
    if (fd_.get() < 0) {
      return !failed();
    }
    const int fd = fd_.release();
    if (!failed() && ::close(fd) != 0) {
      fail(last_system_error());
    }
    if (!failed() && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
      fail(last_system_error());
    }
    if (failed()) {
      ::unlink(temporary_.c_str());
    }
    return !failed();
  }

 protected:
  bool deliver(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
      if (written > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(written));
      } else if (written < 0 && errno == EINTR) {
        continue;
      } else {
        fail(written < 0 ? last_system_error() : std::string("nothing was written"));
        return false;
      }
    }
    return true;
  }

 private:
  FileDescriptor fd_;
  std::filesystem::path temporary_;
  std::filesystem::path target_;
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

#if defined(__linux__)

// Views of files are mapped from the system's cache. A file cut short by another program while
// mapped has pages that no longer exist: touching one raises SIGBUS, which would end the
// program. The handler below maps a page of zeros in its place instead and marks the view's
// file as cut short, so that the load reports a file not read whole, as a short read() would.
// A slot's start while it is being filled in; no mapping starts there.
constexpr std::uintptr_t RESERVED_SLOT = 1;
struct GuardedView {
  std::atomic<std::uintptr_t> start{0};  // 0: a free slot
  std::atomic<std::uintptr_t> end{0};
  std::atomic<std::atomic<bool>*> cut_short{nullptr};
};
constexpr std::size_t GUARDED_VIEW_SLOTS = 16;
std::array<GuardedView, GUARDED_VIEW_SLOTS> guarded_views;
struct sigaction bus_action_before{};
std::uintptr_t page_size = 0;
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free &&
              std::atomic<std::atomic<bool>*>::is_always_lock_free);

void on_bus_error(int signal, siginfo_t* info, void* /*context*/) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (GuardedView& view : guarded_views) {
    const std::uintptr_t start = view.start.load(std::memory_order_acquire);
    if (start > RESERVED_SLOT && address >= start &&
        address < view.end.load(std::memory_order_relaxed)) {
      // A page of zeros in place of the missing one. POSIX does not list mmap among the calls
      // safe in a signal handler, but on Linux it is the bare system call, which is.
      void* page = static_cast<char*>(info->si_addr) - (address & (page_size - 1));
      if (::mmap(page, page_size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
          MAP_FAILED) {
        view.cut_short.load(std::memory_order_relaxed)->store(true, std::memory_order_relaxed);
        return;
      }
    }
  }
  // Not a view's page: what would have happened without this handler happens. A fault is
  // raised again when the access is retried; a signal sent by another program is raised anew.
  ::sigaction(SIGBUS, &bus_action_before, nullptr);
  if (info->si_code <= 0) {
    ::raise(signal);
  }
}

bool guard_views() {
  static const bool guarded = [] {
    const long size = ::sysconf(_SC_PAGESIZE);
    if (size <= 0) {
      return false;
    }
    page_size = static_cast<std::uintptr_t>(size);
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &bus_action_before) == 0;
  }();
  return guarded;
}

// One mapped view of a file at a time, in a slot the handler looks in.
class MappedView {
 public:
  MappedView() = default;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  ~MappedView() { release(); }

  std::span<const std::uint8_t> map(int fd, std::uint64_t offset, std::size_t length,
                                    std::atomic<bool>& cut_short) {
    release();
    if (length == 0 || !guard_views()) {
      return {};
    }
    const std::uint64_t aligned = offset & ~std::uint64_t{page_size - 1};
    const auto lead = static_cast<std::size_t>(offset - aligned);
    void* mapped =
        ::mmap(nullptr, lead + length, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(aligned));
    if (mapped == MAP_FAILED) {
      return {};
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    for (GuardedView& view : guarded_views) {
      std::uintptr_t free = 0;
      if (view.start.compare_exchange_strong(free, RESERVED_SLOT, std::memory_order_acquire)) {
        view.end.store(start + lead + length, std::memory_order_relaxed);
        view.cut_short.store(&cut_short, std::memory_order_relaxed);
        view.start.store(start, std::memory_order_release);
        slot_ = &view;
        mapping_ = {static_cast<const std::uint8_t*>(mapped), lead + length};
        return mapping_.subspan(lead);
      }
    }
    // Every slot taken: no view, rather than one the handler would not know.
    ::munmap(mapped, lead + length);
    return {};
  }

  void release() {
    if (slot_ == nullptr) {
      return;
    }
    slot_->start.store(0, std::memory_order_release);
    slot_ = nullptr;
    ::munmap(const_cast<std::uint8_t*>(mapping_.data()), mapping_.size());
    mapping_ = {};
  }

 private:
  GuardedView* slot_ = nullptr;
  std::span<const std::uint8_t> mapping_;
};

#endif

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, std::uint32_t size) : fd_(fd), size_(size) {}

  std::uint32_t size() const override { return size_; }
  bool rewind() override { return ::lseek(fd_.get(), 0, SEEK_SET) == 0; }
  bool seek(std::uint64_t offset) override {
    return ::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
  }
#if defined(__linux__)
  std::span<const std::uint8_t> view(ViewSlot slot, std::uint64_t offset,
                                     std::size_t length) override {
    return views_[static_cast<std::size_t>(slot)].map(fd_.get(), offset, length, cut_short_);
  }
  bool cut_short() const override { return cut_short_.load(std::memory_order_relaxed); }
#endif
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
#if defined(__linux__)
  std::atomic<bool> cut_short_{false};
  std::array<MappedView, VIEW_SLOTS> views_;  // released before the descriptor is closed
#endif
};

}  // namespace

namespace {

// The checks every regular image file passes; `file` is handed on when it passes them.
OpenedFile open_regular(FileDescriptor& file, const struct stat& status) {
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size > LARGEST_IMAGE_FILE) {
    return {nullptr, OpenFailure::too_large, {}};
  }
  if (size == 0) {
    return {nullptr, OpenFailure::empty, {}};
  }
  return {std::make_unique<PosixInputFile>(file.release(), static_cast<std::uint32_t>(size)),
          OpenFailure::none, {}};
}

// A private file for a stream's bytes: one with no name at all where the file system makes
// them, else one unlinked as soon as it is made, so that nothing is left behind however the
// program ends.
int make_spool_file(std::string& reason) {
  const char* const from_environment = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe)
  const std::string folder =
      from_environment != nullptr && *from_environment != '\0' ? from_environment : "/tmp";
#if defined(O_TMPFILE)
  const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (unnamed >= 0) {
    return unnamed;
  }
#endif
  std::string name = folder + "/tarvel-stream-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    reason = "cannot make a temporary file in " + folder + ": " + last_system_error();
    return -1;
  }
  ::unlink(name.c_str());
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
}

bool write_all(int fd, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

// Whether a FIFO may yet get a writer: a named one may, an anonymous pipe (standard input,
// "<(...)" in a shell) never will, so its end is the end of the stream.
bool may_get_a_writer(int fd) {
#if defined(__linux__)
  constexpr long PIPE_FILE_SYSTEM = 0x50495045;
  struct statfs system {};
  return ::fstatfs(fd, &system) != 0 || static_cast<long>(system.f_type) != PIPE_FILE_SYSTEM;
#else
  (void)fd;
  return true;
#endif
}

// "10 seconds", or "250 ms" for a wait shorter than a second or not a whole number of them.
std::string duration_text(std::chrono::milliseconds wait) {
  const auto count = wait.count();
  return count >= 1000 && count % 1000 == 0 ? std::to_string(count / 1000) + " seconds"
                                            : std::to_string(count) + " ms";
}

// Waits, up to `until`, for a FIFO with no writer to get one; false when none came.
bool wait_for_writer(int fd, std::chrono::steady_clock::time_point until) {
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd request{fd, POLLIN, 0};
    const int ready = ::poll(&request, 1, static_cast<int>(left.count()));
    if (ready > 0) {
      return true;  // bytes, or a writer that came and went
    }
    if (ready < 0 && errno != EINTR) {
      return true;  // the read that follows tells what is wrong
    }
  }
}

// Reads a stream to its end into a spool file, which then stands for it. The stream's
// descriptor may be non-blocking (ours is; standard input may have been left so): an empty
// pipe is waited on, never read in a busy loop.
OpenedFile spool_stream(int source, const StreamLimits& limits, bool named_fifo) {
  std::string reason;
  FileDescriptor spool(make_spool_file(reason));
  if (spool.get() < 0) {
    return {nullptr, OpenFailure::cannot_open, reason};
  }
  const auto writer_deadline = std::chrono::steady_clock::now() + limits.writer_wait;
  bool writer_seen = !named_fifo || !may_get_a_writer(source);
  std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
  std::uint64_t total = 0;
  while (true) {
    const ssize_t got = ::read(source, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      writer_seen = true;
      pollfd request{source, POLLIN, 0};
      (void)::poll(&request, 1, -1);
      continue;
    }
    if (got < 0) {
      return {nullptr, OpenFailure::cannot_open, "cannot read it: " + last_system_error()};
    }
    if (got == 0 && !writer_seen) {
      // A FIFO that no program has opened for writing yet: its writer may be starting.
      if (!wait_for_writer(source, writer_deadline)) {
        return {nullptr, OpenFailure::cannot_open, "nothing wrote to it within " +
                                                       duration_text(limits.writer_wait)};
      }
      writer_seen = true;
      continue;
    }
    if (got == 0) {
      break;
    }
    writer_seen = true;
    // Compared, never added: the count cannot wrap.
    if (static_cast<std::uint64_t>(got) > limits.largest - total) {
      return {nullptr, OpenFailure::too_large, {}};
    }
    if (!write_all(spool.get(), buffer.data(), static_cast<std::size_t>(got))) {
      return {nullptr, OpenFailure::cannot_open,
              "cannot keep it in a temporary file: " + last_system_error()};
    }
    total += static_cast<std::uint64_t>(got);
  }
  if (total == 0) {
    return {nullptr, OpenFailure::empty, {}};
  }
  if (::lseek(spool.get(), 0, SEEK_SET) != 0) {
    return {nullptr, OpenFailure::cannot_open, last_system_error()};
  }
  return {std::make_unique<PosixInputFile>(spool.release(), static_cast<std::uint32_t>(total)),
          OpenFailure::none, {}};
}

}  // namespace

OpenedFile open_input_file(const std::filesystem::path& path) {
  // Never blocks: a FIFO without a writer, a terminal or a device is refused below, not waited on.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    return {nullptr, OpenFailure::cannot_open, last_system_error()};
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    return {nullptr, OpenFailure::cannot_open, last_system_error()};
  }
  if (!S_ISREG(status.st_mode)) {
    return {nullptr, OpenFailure::not_regular, {}};
  }
  return open_regular(file, status);
}

OpenedFile open_input_stream(const std::filesystem::path* path, const StreamLimits& limits) {
  // Standard input is read through a descriptor of our own, which closing leaves open. A path
  // is opened without blocking, as open_input_file does: a FIFO's writer is waited for below,
  // for a bounded time.
  FileDescriptor file(path == nullptr
                          ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                          : ::open(path->c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    return {nullptr, OpenFailure::cannot_open, last_system_error()};
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    return {nullptr, OpenFailure::cannot_open, last_system_error()};
  }
  if (S_ISREG(status.st_mode)) {
    // Standard input redirected from a file may stand anywhere in it; the image is all of it.
    if (path == nullptr && ::lseek(file.get(), 0, SEEK_SET) != 0) {
      return {nullptr, OpenFailure::cannot_open, last_system_error()};
    }
    return open_regular(file, status);
  }
  if (!S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode)) {
    return {nullptr, OpenFailure::not_regular, {}};
  }
  return spool_stream(file.get(), limits, path != nullptr && S_ISFIFO(status.st_mode));
}

std::optional<FileIdentity> identify_file(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
}

std::optional<FileIdentity> identify_standard_input() {
  struct stat status {};
  if (::fstat(STDIN_FILENO, &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
}

std::string last_system_error() { return std::strerror(errno); }

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

std::unique_ptr<Console> make_stdout_console(LineEnds) {
  return std::make_unique<DescriptorConsole>(STDOUT_FILENO, false);
}

std::unique_ptr<Console> make_stderr_console() {
  return std::make_unique<DescriptorConsole>(STDERR_FILENO, false);
}

OpenedOutput make_file_console(const std::filesystem::path& path, LineEnds) {
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device or FIFO takes the bytes as they come; there is nothing to replace.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      return {nullptr, last_system_error()};
    }
    return {std::make_unique<DescriptorConsole>(fd, true), {}};
  }
  // A name of our own beside the target, so the rename stays on one file system; O_EXCL never
  // takes over a file someone else made.
  const HashKey random = random_hash_key();
  for (std::uint64_t attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    const std::uint64_t tag = random[0] + random[1] * attempt;
    std::snprintf(suffix, sizeof suffix, ".tarvel-%016" PRIx64, tag);
    std::filesystem::path temporary = path;
    temporary += suffix;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                          0666);
    if (fd < 0 && errno == EEXIST) {
      continue;
    }
    if (fd < 0) {
      return {nullptr, last_system_error()};
    }
    if (exists) {
      // A report that replaces another keeps who may read it.
      (void)::fchmod(fd, existing.st_mode & 07777);
    }
    return {std::make_unique<ReplacingFileConsole>(fd, std::move(temporary), path), {}};
  }
  return {nullptr, "no free temporary name beside it"};
}

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
