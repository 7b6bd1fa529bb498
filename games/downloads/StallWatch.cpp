#include "games/downloads/StallWatch.h"

bool StallWatch::Stalled(int64_t now, int64_t bytes) {
    if (limitMs <= 0)
        return false;
    if (samples.empty() || now - samples.back().first >= 100)
        samples.emplace_back(now, bytes);
    while (samples.size() >= 2 && samples[1].first <= now - limitMs)
        samples.pop_front();
    return samples.front().first <= now - limitMs && bytes - samples.front().second < minBytes;
}
