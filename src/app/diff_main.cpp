// The entry point of tarvel-diff.
#include <filesystem>
#include <vector>

#include "app/diff_driver.h"
#include "platform/platform.h"

#ifdef _WIN32
// The wide argument vector keeps every path exactly as the user typed it.
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  const std::vector<std::filesystem::path> arguments(argv, argv + argc);
  tarvel::SystemPlatform platform;
  return tarvel::run_diff(arguments, platform);
}
