#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// CRC-32 of IEEE 802.3 (zlib's and PNG's: reflected, polynomial 0xEDB88320).
// Continues a running checksum; a new one starts from 0.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

// What the read of a file saw besides its checksum: which file it was (the one
// its path led to, links followed), its mode and how it begins.
struct FileReadFacts {
    static constexpr size_t kHeadBytes = 4;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t mode = 0;  // st_mode
    std::string head;   // its first bytes, up to kHeadBytes
};

// The checksum of a whole regular file. Returns 0 and sets crc, or returns an
// errno value and sets crc to 0: the open's error (ENOENT for a missing file),
// EISDIR or EINVAL for something that is not a regular file, and the read's
// error when a read fails part-way (never the checksum of the bytes read so far).
// A stopping that turns true between two blocks ends the read with ECANCELED.
// facts, when given, is filled once the file is open.
uint32_t ComputeFileCrc32(const std::string& path, uint32_t& crc, const std::function<bool()>& stopping = {},
                          FileReadFacts* facts = nullptr);
