#pragma once
#include <cstddef>
#include <cstdint>

// Bytes read at any offset: an old file being patched, a patch file, or memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly size bytes at offset; false on a read error or when the
    // range does not lie wholly inside the source.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};
