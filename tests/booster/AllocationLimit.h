#pragma once
#include <cstddef>

// While one is alive, allocations on this thread of at least `bytes` fail with
// std::bad_alloc, so a test can make a large copy fail where it wants. The
// test binary's replacement operator new reads the limit; with none set it
// allocates as usual.
class AllocationLimit {
public:
    explicit AllocationLimit(size_t bytes);
    ~AllocationLimit();
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;

    static size_t Current();

private:
    size_t previous;
};
