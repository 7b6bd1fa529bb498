#pragma once

#include <string>

// What the main window asks of whoever assembled the program: the threads of
// the first page load, what lasts for the run beyond the window's panels, and
// the end of the process. The window never owns them.
class FrameOwner {
public:
    virtual ~FrameOwner() = default;
    // The first completed load of the start page, before its panels are built.
    virtual void StartTaskQueue() = 0;
    // The same load, once its panels are built.
    virtual void StartManifestThread() = 0;
    // The launcher's updates (by download address) whose installer could not
    // start in this run.
    virtual bool IsUpdateRefused(const std::string& address) = 0;
    virtual void RefuseUpdate(const std::string& address) = 0;
    [[noreturn]] virtual void EndProcessNow(int exitCode) = 0;

protected:
    FrameOwner() = default;
};
