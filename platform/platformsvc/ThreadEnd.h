#pragma once

#include <thread>

namespace PlatformSvcComm {

// Waits for a thread that was asked to stop, and lets it go. Also from a
// static destructor while the process exits, where Windows has already
// ended every other thread and a plain join would wait forever.
void waitForEnd(std::thread& thread);

} // namespace PlatformSvcComm
