#pragma once

// What the main window asks of whoever assembled the program: the threads of
// the first page load, and the end of the process. The window never owns them.
class FrameOwner {
public:
    virtual ~FrameOwner() = default;
    // The first completed load of the start page, before its panels are built.
    virtual void StartTaskQueue() = 0;
    // The same load, once its panels are built.
    virtual void StartManifestThread() = 0;
    [[noreturn]] virtual void EndProcessNow(int exitCode) = 0;

protected:
    FrameOwner() = default;
};
