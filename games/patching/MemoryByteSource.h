#pragma once
#include <cstring>
#include <string_view>

#include "games/patching/ByteSource.h"

// A source over bytes the caller keeps alive.
class MemoryByteSource : public ByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes) : bytes(bytes) {}
    uint64_t Size() const override { return bytes.size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset > bytes.size() || size > bytes.size() - offset)
            return false;
        if (size != 0)
            std::memcpy(buffer, bytes.data() + offset, size);
        return true;
    }

private:
    std::string_view bytes;
};
