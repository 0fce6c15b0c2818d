// The core count, as the standard library reports it on every system.
#include "platform/cores.h"

#include <thread>

namespace tarvel {

bool second_core_available() { return std::thread::hardware_concurrency() > 1; }

}  // namespace tarvel
