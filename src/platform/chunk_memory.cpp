// How the chunks of the program's tables get their memory from the system.
#include "support/chunk_memory.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tarvel {

namespace {

// Below this, the ordinary heap serves as well.
constexpr std::size_t POPULATED_CHUNK = std::size_t{256} << 10;

}  // namespace

#if defined(__linux__)

void* allocate_chunk(std::size_t bytes) noexcept {
  if (bytes < POPULATED_CHUNK) {
    return ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
  }
  // Large pages are not asked for: where the system compacts memory to find them, that stalls
  // far longer than it saves.
  void* address = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return address == MAP_FAILED ? nullptr : address;
}

void free_chunk(void* address, std::size_t bytes) noexcept {
  if (address == nullptr) {
    return;
  }
  if (bytes < POPULATED_CHUNK) {
    ::operator delete(address);
  } else {
    ::munmap(address, bytes);
  }
}

#else

void* allocate_chunk(std::size_t bytes) noexcept {
  return ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
}

void free_chunk(void* address, std::size_t) noexcept { ::operator delete(address); }

#endif

}  // namespace tarvel
