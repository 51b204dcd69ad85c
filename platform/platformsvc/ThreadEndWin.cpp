#ifdef _WIN32

#include "ThreadEnd.h"

#include <pthread.h>
#include <windows.h>

void PlatformSvcComm::waitForEnd(std::thread& thread)
{
    // The thread's handle is signalled once it has ended, by itself or by the
    // process's exit; joining one that the exit ended never returns.
    ::WaitForSingleObject(pthread_gethandle(thread.native_handle()), INFINITE);
    thread.detach();
}

#endif
