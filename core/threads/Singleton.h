#pragma once

// Keeps the one instance of a manager in a static pointer: set by the
// constructor, cleared by the destructor. T derives from Singleton<T>.
template <typename T>
class Singleton {
public:
    static T* Instance() { return instance ? static_cast<T*>(instance) : nullptr; }

protected:
    // The base pointer is kept, not T*: casting to T while T is still being
    // constructed (or already destroyed) is undefined.
    Singleton() { instance = this; }
    ~Singleton() {
        if (instance == this)
            instance = nullptr;
    }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

private:
    static inline Singleton* instance = nullptr;
};
