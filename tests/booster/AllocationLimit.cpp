#include "tests/booster/AllocationLimit.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace {

thread_local size_t limit = std::numeric_limits<size_t>::max();

}  // namespace

AllocationLimit::AllocationLimit(size_t bytes) : previous(limit) {
    limit = bytes;
}

AllocationLimit::~AllocationLimit() {
    limit = previous;
}

size_t AllocationLimit::Current() {
    return limit;
}

void* operator new(size_t size) {
    if (size >= limit)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](size_t size) {
    return operator new(size);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
