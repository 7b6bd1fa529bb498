#pragma once
#include <cstddef>

// Where decoded bytes go, in order.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when the bytes could not be taken (a full disk, a size cap); the
    // producer stops then.
    virtual bool Write(const void* data, size_t size) = 0;
};
