#include "platform/large_memory.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tarvel {

namespace {

// Below this, the ordinary heap serves as well.
constexpr std::size_t LARGE_THRESHOLD = std::size_t{4} << 20;

}  // namespace

#if defined(__linux__)

void* allocate_large(std::size_t bytes) noexcept {
  if (bytes < LARGE_THRESHOLD) {
    return ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
  }
  // Every big block is filled right away, so its pages are made present in one call instead of
  // one fault at a time. Large pages are not asked for: where the system compacts memory to
  // find them, that stalls far longer than it saves.
  void* address = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (address == MAP_FAILED) {
    return nullptr;
  }
  return address;
}

void free_large(void* address, std::size_t bytes) noexcept {
  if (address == nullptr) {
    return;
  }
  if (bytes < LARGE_THRESHOLD) {
    ::operator delete(address);
  } else {
    ::munmap(address, bytes);
  }
}

#else

void* allocate_large(std::size_t bytes) noexcept {
  return ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
}

void free_large(void* address, std::size_t) noexcept { ::operator delete(address); }

#endif

}  // namespace tarvel
