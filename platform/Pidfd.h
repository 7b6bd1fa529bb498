#pragma once
#include <sys/types.h>

namespace platform {

// A descriptor that names one process for as long as it is open, even after its
// pid is reused; it becomes readable when the process ends. -1 with errno set
// when it cannot be had (ENOSYS on kernels before 5.3).
int PidfdOpen(pid_t pid);
// Signals the process of the descriptor; 0, or -1 with errno (ESRCH once it ended).
int PidfdSendSignal(int pidfd, int signalNumber);

}  // namespace platform
