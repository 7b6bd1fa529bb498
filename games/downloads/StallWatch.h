#pragma once
#include <cstdint>
#include <deque>
#include <utility>

// "Under 1 byte/s for the limit": fewer bytes than the limit's seconds arrived
// within the last limit's time while not paused.
class StallWatch {
public:
    explicit StallWatch(int64_t limitSeconds) : limitMs(limitSeconds * 1000), minBytes(limitSeconds) {}

    void Restart() { samples.clear(); }
    // now in milliseconds; bytes received so far. A limit of 0 never stalls.
    bool Stalled(int64_t now, int64_t bytes);

private:
    int64_t limitMs;
    int64_t minBytes;
    std::deque<std::pair<int64_t, int64_t>> samples;
};
