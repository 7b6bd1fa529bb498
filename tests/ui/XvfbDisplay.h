#pragma once
#include <string>
#include <sys/types.h>

// A private X display: Xvfb started with -displayfd, so it picks a free display
// number itself (no race between test processes). Ended at destruction.
class XvfbDisplay {
public:
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    const std::string& Name() const { return name; }  // ":N"

private:
    pid_t pid = -1;
    std::string name;
};
