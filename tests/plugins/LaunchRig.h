#pragma once
#include <string>
#include <vector>

#include "tests/fixtures/TestEnvironment.h"

// The world a launch add-on sees: the machine-wide hive in a temporary folder
// and a launcher folder whose fake Quor records each start (its working folder,
// then its arguments, one a line) in a file of its own, then sleeps for
// holdSeconds.
class LaunchRig {
public:
    struct Launch {
        int pid = 0;  // the fake Quor's
        std::string workingFolder;
        std::vector<std::string> argv;  // argv[0] included
    };

    explicit LaunchRig(int holdSeconds = 0);

    const TestEnvironment& Env() const { return env; }
    const std::string& Folder() const { return folder; }

    // Writes Install_Dir under SOFTWARE\Brindlemoor\<product> (type 1 REG_SZ, 2
    // REG_EXPAND_SZ).
    void SetInstallDir(const std::string& product, const std::string& value, int type = 1) const;

    // The starts recorded so far.
    std::vector<Launch> Launches() const;
    // Waits until count starts are recorded; then waits a moment more so that an
    // extra, unwanted start would show too.
    std::vector<Launch> WaitForLaunches(size_t count) const;

private:
    TestEnvironment env;
    std::string folder;
};
