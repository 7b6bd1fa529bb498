#pragma once
#include <malloc.h>

namespace platform {

// Hands the heap's free pages back to the system (glibc's malloc_trim), in every
// arena and between the blocks still in use: for right after a large part of
// the heap has been freed, which the allocator would otherwise keep, scattered
// over the arenas of the threads that made it.
inline void ReleaseFreeMemory() {
    malloc_trim(0);
}

}  // namespace platform
