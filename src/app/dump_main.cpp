// The entry point of tarvel-dump.
#include <filesystem>
#include <vector>

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
  return tarvel::run_dump(arguments, platform);
}
