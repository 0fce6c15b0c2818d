// The entry point of each of the three programs: the build names the driver it runs
// (TARVEL_RUN: run, run_diff or run_dump) with the running system's services.
#include <filesystem>
#include <vector>

#include "app/diff_driver.h"
#include "app/driver.h"
#include "app/dump_driver.h"
#include "platform/platform.h"

#ifdef _WIN32
// The wide argument vector keeps every path exactly as the user typed it.
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  const std::vector<std::filesystem::path> arguments(argv, argv + argc);
  tarvel::SystemPlatform platform;
  return tarvel::TARVEL_RUN(arguments, platform);
}
