#pragma once
#include <cstdint>
#include <string>

// What the progress display shows for one download, patch or installation check.
struct ProgressRecord {
    double done = 0;    // kilobytes
    double total = 0;   // kilobytes
    int32_t speed = 0;  // kilobytes per second
    std::string text;   // e.g. "x.exe 3 MB of  5 MB"
};
