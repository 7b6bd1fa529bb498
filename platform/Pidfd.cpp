// Debian 12's C library declares these calls without C linkage for C++, so we
// make them through syscall.
#include "platform/Pidfd.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

int PidfdOpen(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int PidfdSendSignal(int pidfd, int signalNumber) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signalNumber, nullptr, 0));
}

}  // namespace platform
