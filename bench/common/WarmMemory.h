#pragma once

#include <QtGlobal>

// This machine is a virtual one that hands freed memory back to its host a
// few seconds after it was freed, and memory handed back costs a host fault
// the next time it is touched: the same 512 MiB written into tmpfs took 0.35 s
// or 1.4 s depending on how long ago the memory had been freed. Touching and
// freeing `bytes` of memory just before a timed step gives the step memory
// that is at hand, whichever side of a comparison it times.
void warmFreeMemory(qint64 bytes);
