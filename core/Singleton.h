#pragma once

// Keeps the one instance of a manager in a static pointer: set by the
// constructor, cleared by the destructor. T derives from Singleton<T>.
template <typename T>
class Singleton {
public:
    static T* Instance() { return instance; }

protected:
    Singleton() { instance = static_cast<T*>(this); }
    ~Singleton() {
        if (instance == static_cast<T*>(this))
            instance = nullptr;
    }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

private:
    static inline T* instance = nullptr;
};
