#pragma once
#include <cstdint>

// Wall-clock time in seconds since 1970, as time() gives it. Schedules and
// expiry dates read it through this interface so that tests can move it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t Now() = 0;

    // The system's clock; lives for the whole process.
    static Clock& System();
};
