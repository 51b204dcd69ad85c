#ifndef _WIN32

#include "ThreadEnd.h"

void PlatformSvcComm::waitForEnd(std::thread& thread)
{
    thread.join();
}

#endif
