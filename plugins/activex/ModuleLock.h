#pragma once
#include <atomic>

// The library's lock count: one for every living object, every outstanding
// reference to the class factory and every LockServer(TRUE). The library may be
// unloaded when it is 0.
class ModuleLock {
public:
    static ModuleLock& Get();

    void Lock() { ++count; }
    void Unlock() { --count; }
    long Count() const { return count.load(); }

private:
    std::atomic<long> count{0};
};
