#pragma once
#include <utility>

namespace browser {

// A counted reference to a RefCounted object: copying adds a reference,
// destruction or reset releases it. An empty RefPtr refers to nothing.
template <typename T>
class RefPtr {
public:
    RefPtr() = default;
    RefPtr(T* object) : ptr(object) {  // NOLINT: implicit, as raw pointers hand over
        if (ptr)
            ptr->AddRef();
    }
    RefPtr(const RefPtr& other) : RefPtr(other.ptr) {}
    RefPtr(RefPtr&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
    template <typename U>
    RefPtr(const RefPtr<U>& other) : RefPtr(other.get()) {}  // NOLINT: upcast
    ~RefPtr() {
        if (ptr)
            ptr->Release();
    }

    RefPtr& operator=(const RefPtr& other) {
        RefPtr(other).swap(*this);
        return *this;
    }
    RefPtr& operator=(RefPtr&& other) noexcept {
        RefPtr(std::move(other)).swap(*this);
        return *this;
    }
    RefPtr& operator=(T* object) {
        RefPtr(object).swap(*this);
        return *this;
    }

    void swap(RefPtr& other) noexcept { std::swap(ptr, other.ptr); }
    void reset() { RefPtr().swap(*this); }

    T* get() const { return ptr; }
    T* operator->() const { return ptr; }
    T& operator*() const { return *ptr; }
    explicit operator bool() const { return ptr != nullptr; }
    bool operator==(const RefPtr& other) const { return ptr == other.ptr; }
    bool operator==(const T* other) const { return ptr == other; }

private:
    T* ptr = nullptr;
};

}  // namespace browser
