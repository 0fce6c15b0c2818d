// Runs the built programs as a user would, and captures what they write.
#include "support/run_tarvel.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef _WIN32
extern char** environ;
#endif

namespace tarvel::testing {

namespace {

std::string read_text(const std::filesystem::path& path) {
  const Bytes bytes = read_file(path.string());
  return std::string(bytes.begin(), bytes.end());
}

#ifdef _WIN32

// On Windows the tests' narrow strings (paths, expected output) are text in the ANSI code page:
// the code page the program writes in under the user's default locale.
std::wstring widen(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  const int size = static_cast<int>(text.size());
  const int count = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), count);
  return wide;
}

std::string narrow(const std::wstring& wide) {
  if (wide.empty()) {
    return {};
  }
  const int size = static_cast<int>(wide.size());
  const int count =
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(count), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), size, text.data(), count, nullptr, nullptr);
  return text;
}

// Quotes one argument so that the child's runtime splits the command line back into exactly
// that argument: backslashes double only where a quote follows them.
void append_argument(std::wstring& command_line, const std::wstring& argument) {
  if (!command_line.empty()) {
    command_line += L' ';
  }
  command_line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    if (unit == L'"') {
      command_line.append(backslashes * 2 + 1, L'\\');
    } else {
      command_line.append(backslashes, L'\\');
    }
    backslashes = 0;
    command_line += unit;
  }
  command_line.append(backslashes * 2, L'\\');
  command_line += L'"';
}

// The program writes every line end as CR LF. Turns them back into LF so that expectations
// are the same on every platform, and refuses output with a line end that lacks its CR.
std::string without_carriage_returns(const std::string& output) {
  std::string text;
  text.reserve(output.size());
  for (std::size_t i = 0; i < output.size(); ++i) {
    if (output[i] == '\n') {
      if (text.empty() || text.back() != '\r') {
        throw std::runtime_error("line end without CR at byte " + std::to_string(i) +
                                 " of the output");
      }
      text.back() = '\n';
    } else {
      text.push_back(output[i]);
    }
  }
  return text;
}

class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { close(); }
  void close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle_);
    }
    handle_ = nullptr;
  }
  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = nullptr;
};

std::string read_all(HANDLE pipe) {
  std::string out;
  char buffer[65536];
  while (true) {
    DWORD got = 0;
    if (!::ReadFile(pipe, buffer, static_cast<DWORD>(sizeof buffer), &got, nullptr) || got == 0) {
      break;
    }
    out.append(buffer, got);
  }
  return out;
}

unsigned long process_id() { return ::GetCurrentProcessId(); }

#else

std::string read_all(int fd) {
  std::string out;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) {
      break;
    }
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return out;
}

long process_id() { return static_cast<long>(::getpid()); }

#endif

}  // namespace

#ifdef _WIN32

// Windows takes the locale from the user's settings, not from the environment: the child runs
// under the user's default locale whatever the caller names, as a user's own run would.
RunResult run_program(const std::string& program_path, const std::vector<std::string>& arguments,
                      const std::string& /*locale*/, StandardOutput output) {
  if (output != StandardOutput::pipe && output != StandardOutput::pipe_bytes &&
      output != StandardOutput::closed_pipe) {
    throw std::runtime_error("no such standard output on Windows");
  }
  const TempDir scratch;
  const std::wstring program = std::filesystem::path(program_path).make_preferred().native();
  std::wstring command_line;
  append_argument(command_line, program);
  for (const std::string& argument : arguments) {
    append_argument(command_line, widen(argument));
  }

  // Only the child's ends are inheritable; the tests start one child at a time.
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = static_cast<DWORD>(sizeof inheritable);
  inheritable.bInheritHandle = TRUE;
  OwnedHandle output_read;
  OwnedHandle output_write;
  if (!::CreatePipe(output_read.out(), output_write.out(), &inheritable, 0) ||
      !::SetHandleInformation(output_read.get(), HANDLE_FLAG_INHERIT, 0)) {
    throw std::runtime_error("pipe failed");
  }
  if (output == StandardOutput::closed_pipe) {
    output_read.close();
  }
  const std::filesystem::path errors_path = scratch.path() / "stderr";
  OwnedHandle errors(::CreateFileW(errors_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  OwnedHandle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!errors.valid() || !input.valid()) {
    throw std::runtime_error("cannot open the child's standard streams");
  }

  STARTUPINFOW startup{};
  startup.cb = static_cast<DWORD>(sizeof startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = output_write.get();
  startup.hStdError = errors.get();
  PROCESS_INFORMATION child{};
  // Under Wine a new process now and then dies while it is being set up, before any of its own
  // code has run, and CreateProcessW reports ERROR_INTERNAL_ERROR; such a start is tried again.
  BOOL started = FALSE;
  DWORD start_error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    started = ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                               nullptr, nullptr, &startup, &child);
    start_error = started ? ERROR_SUCCESS : ::GetLastError();
    if (start_error != ERROR_INTERNAL_ERROR) {
      break;
    }
  }
  // The pipe reports its end only once no writer is left in this process either.
  output_write.close();
  errors.close();
  input.close();
  if (!started) {
    throw std::runtime_error("cannot start " + program_path + ": error " +
                             std::to_string(start_error));
  }
  const OwnedHandle process(child.hProcess);
  const OwnedHandle thread(child.hThread);

  RunResult result;
  const std::string written = output_read.valid() ? read_all(output_read.get()) : std::string();
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exit_code = 0;
  ::GetExitCodeProcess(process.get(), &exit_code);
  // An unhandled exception ends a process with its NTSTATUS code (0xC0000005 and the like).
  result.status = exit_code >= 0xC0000000u ? -1 : static_cast<int>(exit_code);
  result.output = output == StandardOutput::pipe_bytes ? written : without_carriage_returns(written);
  result.errors = read_text(errors_path);
  return result;
}

#else

RunResult run_program(const std::string& program_path, const std::vector<std::string>& arguments,
                      const std::string& locale, StandardOutput output) {
  const TempDir scratch;
  const std::string errors_path = (scratch.path() / "stderr").string();

  std::vector<std::string> argv_text{program_path};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argv_text) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  // The child sees the caller's environment with only the locale replaced.
  std::vector<std::string> env_text;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text(*variable);
    if (!text.starts_with("LC_") && !text.starts_with("LANG=") && !text.starts_with("LANGUAGE=")) {
      env_text.emplace_back(text);
    }
  }
  env_text.push_back("LC_ALL=" + locale);
  std::vector<char*> envp;
  for (std::string& variable : env_text) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);

  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (output == StandardOutput::slow_non_blocking_pipe) {
    ::fcntl(pipe_fds[1], F_SETFL, ::fcntl(pipe_fds[1], F_GETFL) | O_NONBLOCK);
  }
  if (output == StandardOutput::closed_pipe) {
    ::close(pipe_fds[0]);
    pipe_fds[0] = -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output == StandardOutput::full_device) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  }
  if (pipe_fds[0] >= 0) {
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  }
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // An ignored signal stays ignored in the child, as when a parent that ignores SIGPIPE starts
  // the program.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous {};
  if (output == StandardOutput::closed_pipe) {
    ::sigaction(SIGPIPE, &ignore, &previous);
  }
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, argv_text[0].c_str(), &actions, nullptr, argv.data(), envp.data());
  if (output == StandardOutput::closed_pipe) {
    ::sigaction(SIGPIPE, &previous, nullptr);
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    if (pipe_fds[0] >= 0) {
      ::close(pipe_fds[0]);
    }
    throw std::runtime_error("cannot start " + argv_text[0]);
  }
  RunResult result;
  if (output == StandardOutput::slow_non_blocking_pipe) {
    // Long enough for the program to fill the pipe and find it full.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  if (pipe_fds[0] >= 0) {
    result.output = read_all(pipe_fds[0]);
    ::close(pipe_fds[0]);
  }
  int wait_status = 0;
  ::waitpid(child, &wait_status, 0);
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  result.errors = read_text(errors_path);
  return result;
}

#endif

RunResult run_tarvel(const std::vector<std::string>& arguments, const std::string& locale,
                     StandardOutput output) {
  return run_program(TARVEL_EXE, arguments, locale, output);
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("tarvel-test-" + std::to_string(process_id()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const Bytes& bytes) const {
#ifdef _WIN32
  const std::filesystem::path file = path_ / widen(name);
#else
  const std::filesystem::path file = path_ / name;
#endif
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
#ifdef _WIN32
  return narrow(file.native());
#else
  return file.string();
#endif
}

}  // namespace tarvel::testing
