#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Builds the bytes of a ".quorpatch" file (the layout PatchFile reads): for the
// demo publisher, the benchmarks and the tests.
class PatchFileWriter {
public:
    void AddEntry(uint8_t operation, const std::string& folder, const std::string& fileName, uint32_t oldCrc,
                  uint32_t newCrc, const std::string& data);
    // A whole new file: its LZMA-alone stream (CompressLzmaAlone) and checksum.
    void AddWrite(const std::string& folder, const std::string& fileName, const std::string& lzmaData, uint32_t newCrc);
    void AddDelete(const std::string& folder, const std::string& fileName);
    // A bsdiff 4.0 patch from the file with oldCrc to the one with newCrc.
    void AddBinaryDiff(const std::string& folder, const std::string& fileName, const std::string& bsdiffData,
                       uint32_t oldCrc, uint32_t newCrc);

    // Header and entries; the count is the number of entries added unless given.
    std::string Bytes(uint32_t version = 1) const;
    std::string Bytes(uint32_t version, uint32_t count) const;
    size_t EntryCount() const { return entries.size(); }

private:
    std::vector<std::string> entries;
};

// data as an LZMA-alone stream: with its size stored in the header and no end
// marker (the LZMA SDK's form), or with the size unknown and an end marker (the
// form of xz --format=lzma). Throws std::runtime_error when liblzma fails.
std::string CompressLzmaAlone(const std::string& data, bool storeSize, uint32_t preset = 6);
