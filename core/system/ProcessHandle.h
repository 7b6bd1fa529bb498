#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

// One started child process. It reaps only its own pid; a handle destroyed while
// the child still runs hands the pid to the reaper (ChildReaper), so no zombie
// stays behind, unless it was abandoned first. Safe to use from several threads.
class ProcessHandle {
public:
    // Starts program (an absolute path, never looked up on PATH) with the given
    // argument vector (argv[0] included) in workingFolder (empty: the current
    // one). No shell is involved. The child gets default signal handling, an
    // empty signal mask, its own session and process group and none of Quor's descriptors
    // above 2. Null when it could not be started; *error then says why, and no
    // child is left behind.
    static std::unique_ptr<ProcessHandle> Spawn(const std::string& program, const std::vector<std::string>& argv,
                                                const std::string& workingFolder, std::string* error = nullptr);

    ~ProcessHandle();
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    pid_t Pid() const { return pid; }

    // Non-blocking: true once the child has ended (and it is then reaped).
    bool HasEnded();
    // Waits for the end without a time limit.
    void Wait();
    // Waits up to ms milliseconds (negative: no limit); true when it has ended.
    bool WaitFor(int64_t ms);

    // After the end: the exit status, or 128 + the signal that ended it; -1
    // while it runs (or when its status was lost).
    int ExitCode();
    // The signal that ended it; 0 when it exited by itself or still runs.
    int TermSignal();

    // Sends a signal while the child is not yet reaped (so the pid is still
    // this child's). False when it has already ended.
    bool Signal(int signalNumber);

    // For code that may start no thread (the reaper has one): the handle's end
    // leaves a child that still runs to this process instead of handing it to
    // the reaper. Once that child ends it stays a zombie until the process
    // waits for it or ends.
    void Abandon();

private:
    ProcessHandle(pid_t pid, int pidfd);
    bool ReapLocked();  // lock held

    std::mutex lock;
    const pid_t pid;
    int pidfd;  // -1 where the kernel has no pidfd; waits then poll
    bool reaped = false;
    bool abandoned = false;
    bool statusKnown = false;
    int status = 0;
};
