#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

// The real program (or another program) in a child process: its argument
// vector as given (no shell), the test's environment plus the given
// variables, standard output and error into a file. Killed at destruction if
// still running.
class QuorProcess {
public:
    static std::string ProgramPath();  // the built Quor

    explicit QuorProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& extraEnvironment = {}, std::string program = ProgramPath());
    ~QuorProcess();
    QuorProcess(const QuorProcess&) = delete;
    QuorProcess& operator=(const QuorProcess&) = delete;

    pid_t Pid() const { return pid; }
    bool IsRunning();
    // The exit code (128 + signal when killed), or -1 when it still runs after timeoutMs.
    int WaitForExit(int timeoutMs = 20000);
    void Kill();
    std::string Output() const;  // what it wrote to standard output and error

private:
    pid_t pid = -1;
    int exitCode = -1;
    std::string outputPath;
};

// The lines of a file (none when it does not exist).
std::vector<std::string> FileLines(const std::string& path);
