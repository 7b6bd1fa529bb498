#pragma once
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/fixtures/TestEnvironment.h"

// True while this process has any child, ended or not (nothing is reaped).
inline bool HasAnyChild() {
    siginfo_t info{};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// Writes a file and sets its mode.
inline std::string WriteWithMode(const TestEnvironment& env, const std::string& relative, const std::string& bytes,
                                 mode_t mode) {
    std::string path = env.WriteFile(relative, bytes);
    chmod(path.c_str(), mode);
    return path;
}

// Sets PATH for the test's lifetime.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& value) {
        const char* old = std::getenv("PATH");
        hadPath = old != nullptr;
        saved = old ? old : "";
        setenv("PATH", value.c_str(), 1);
    }
    ~ScopedPath() {
        if (hadPath)
            setenv("PATH", saved.c_str(), 1);
        else
            unsetenv("PATH");
    }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

    // PATH with the folder in front of what it was.
    static std::string WithFirst(const std::string& folder) {
        const char* old = std::getenv("PATH");
        return folder + ":" + (old ? old : "/usr/bin:/bin");
    }

private:
    std::string saved;
    bool hadPath = false;
};
