#pragma once
#include <cstdint>

namespace bench {

// The benchmarks' generator of test data (xorshift64): the same sequence from
// the same seed on every run and machine.
inline uint64_t Next(uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

}  // namespace bench
