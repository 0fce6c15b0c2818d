#include "support/run_tarvel.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tarvel::testing {

namespace {

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

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

RunResult run_tarvel(const std::vector<std::string>& arguments, const std::string& locale) {
  const TempDir scratch;
  const std::string errors_path = (scratch.path() / "stderr").string();

  std::vector<std::string> argv_text{TARVEL_EXE};
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
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, argv_text[0].c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    throw std::runtime_error("cannot start " + argv_text[0]);
  }
  RunResult result;
  result.output = read_all(pipe_fds[0]);
  ::close(pipe_fds[0]);
  int wait_status = 0;
  ::waitpid(child, &wait_status, 0);
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  result.errors = read_file(errors_path);
  return result;
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("tarvel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const Bytes& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return file.string();
}

}  // namespace tarvel::testing
