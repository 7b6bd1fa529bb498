#pragma once
#include <string>

// One installation check (and repair) on its own thread.
class RepairJob {
public:
    virtual ~RepairJob() = default;
    virtual float Progress() = 0;           // 1.0 once the run has ended
    virtual std::string CurrentFile() = 0;  // with "/" as separator
    virtual void Finish() = 0;              // waits for the thread
};
