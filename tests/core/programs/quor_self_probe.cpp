// Looks for and tries to end processes with its own name: exits 0 when it found
// no other such process and is still alive afterwards, 1 otherwise.
#include <cstdio>

#include "core/system/ProcessList.h"

int main() {
    const char* name = "quor_self_probe";
    bool found = FindProcessByName({name});
    int signalled = TerminateProcessesByName(name);
    std::printf("found=%d signalled=%d\n", found ? 1 : 0, signalled);
    return !found && signalled == 0 ? 0 : 1;
}
