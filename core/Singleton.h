#pragma once

// Keeps the one instance of a manager in a static pointer: set by the
// constructor, cleared by the destructor. T derives from Singleton<T>.
template <typename T>
class Singleton {
public:
    // Converted only here: while the constructor and destructor of this base run,
    // the object is not (or no longer) a T.
    static T* Instance() { return static_cast<T*>(instance); }

protected:
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
