#pragma once
#include <atomic>

namespace browser {

// Base of every reference-counted object of the browser layer. The count starts
// at 0; the creator takes the first reference (through RefPtr) and the object
// deletes itself when Release brings the count back to 0. Safe from any thread.
class RefCounted {
public:
    int AddRef() const { return ++count; }
    int Release() const {
        int left = --count;
        if (left == 0)
            delete this;
        return left;
    }
    int GetRefCt() const { return count.load(); }

protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

private:
    mutable std::atomic<int> count{0};
};

}  // namespace browser
