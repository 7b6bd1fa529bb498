#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Builds a ".quorpatch" file that takes an installed build (a folder) to the
// next one: files that are new are written whole (LZMA, stand-alone layout),
// files that are gone are deleted, and files that changed get a bsdiff 4.0
// binary diff, or are written whole when that is smaller.
//
// The file: "QUOR" "PATC", version 1, the entry count (all little-endian 32-bit),
// then per entry: the operation (0 write, 1 delete, 2 binary diff), the folder
// ("" for the install folder itself, else "\" and the folders with "\" between
// them) and the file name, both ended by a zero byte, the CRC-32 of the file
// before and after, the data length and the data.
class PatchBuilder {
public:
    enum class Operation : uint8_t { Write = 0, Delete = 1, BinaryDiff = 2 };

    struct Entry {
        Operation operation = Operation::Write;
        std::string path;  // relative, "/" between its parts
        uint32_t oldCrc = 0;
        uint32_t newCrc = 0;
        uint32_t dataSize = 0;
    };

    enum class ChangedFiles { Smallest, AlwaysDiff, AlwaysWrite };

    // The bsdiff program (Debian's "bsdiff"), found on PATH unless given.
    explicit PatchBuilder(std::string bsdiffProgram = "bsdiff");

    void SetChangedFiles(ChangedFiles rule) { changedFiles = rule; }

    // Compares the two folders and writes the patch file (replacing it). False
    // with Error() set when a folder cannot be read, a diff cannot be made or
    // the file cannot be written; no partial patch file is left behind.
    bool Build(const std::string& oldFolder, const std::string& newFolder, const std::string& patchFile);

    const std::vector<Entry>& Entries() const { return entries; }
    const std::string& Error() const { return error; }

    // Helpers shared with the demo publisher.
    static uint32_t Crc32(const std::string& bytes);
    static bool ReadFile(const std::string& path, std::string& bytes);
    // Every regular file below the folder, relative paths with "/", sorted.
    static bool ListFiles(const std::string& folder, std::vector<std::string>& files);

private:
    bool Fail(const std::string& why);
    bool MakeDiff(const std::string& oldPath, const std::string& newPath, const std::string& scratch,
                  std::string& diff);

    std::string bsdiff;
    ChangedFiles changedFiles = ChangedFiles::Smallest;
    std::vector<Entry> entries;
    std::string error;
};
