#pragma once
#include <cstdint>
#include <string>

// The game a start asked for, left in the preferences for the first instance.
struct AutoStartRequest {
    std::string name;
    int32_t id = 0;

    // Reads both values and clears them, so each request starts its game once.
    static AutoStartRequest Take();
};
