// How many cores this machine has for the program's threads.
#pragma once

namespace tarvel {

// Whether this machine has a core to spare for reading and hashing, or for a second comparing
// thread.
bool second_core_available();

}  // namespace tarvel
