#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "games/patching/BinaryPatch.h"
#include "games/patching/ByteSource.h"

// A ".quorpatch" file, little-endian: "QUOR", "PATC", version (1), entry count,
// then the entries one after the other: operation (1 byte), folder and file name
// (UTF-8, each ended by a zero byte), CRC-32 before, CRC-32 after, data length L
// (4 bytes each) and L bytes of data.
enum PatchOperation : uint8_t {
    kPatchWrite = 0,       // data: an LZMA-alone stream of the whole new file
    kPatchDelete = 1,      // no data
    kPatchBinaryDiff = 2,  // data: a bsdiff 4.0 patch of the old file
};

// Whether the operation is one of the three above. An entry of any other
// operation (a later format's) touches no file: it is skipped by its length,
// whatever its texts hold.
inline bool TouchesFiles(uint8_t operation) {
    return operation == kPatchWrite || operation == kPatchDelete || operation == kPatchBinaryDiff;
}

struct PatchEntry {
    uint8_t operation = 0;
    std::string folder;
    std::string fileName;
    uint32_t oldCrc = 0;
    uint32_t newCrc = 0;
    uint64_t dataOffset = 0;  // in the patch file
    uint32_t dataLength = 0;
    BsdiffHeader bsdiff;  // binary-diff entries
};

// Reads a patch file entry by entry; nothing is read past the file's end and
// every field is checked to lie inside the file (and, for a binary diff, its
// header inside the entry).
class PatchFile {
public:
    static constexpr uint32_t kVersion = 1;
    static constexpr uint64_t kHeaderSize = 16;
    static constexpr size_t kMaxTextLength = 4096;  // a longer folder or name is no path

    explicit PatchFile(ByteSource& source) : source(source) {}

    // The 16-byte header: magic words and version 1. False when wrong or short.
    bool ReadHeader();
    uint32_t EntryCount() const { return entryCount; }

    // The entry at the reading position; the position then moves past its data.
    // False when the entry is cut short or malformed (Problem() says how).
    bool NextEntry(PatchEntry& entry);

    uint64_t Position() const { return position; }
    uint64_t Size() const { return source.Size(); }
    const std::string& Problem() const { return problem; }

private:
    bool Corrupt(const char* what);

    ByteSource& source;
    uint64_t position = 0;
    uint32_t entryCount = 0;
    std::string problem;
};

// The relative path an entry names: the folder text (one leading separator
// meaning the install folder) and the file name, joined with exactly one
// separator. nullopt when the name is empty or ends in "." or "..".
std::optional<std::string> PatchEntryRelativePath(const std::string& folder, const std::string& fileName);

// The entry's target under the install folder through platform::SafeJoin, as
// written (no case resolution); nullopt for a path the join refuses.
std::optional<std::string> PatchEntryTarget(const std::string& installFolder, const PatchEntry& entry);

// Checks the whole file before anything is applied: the header, every entry's
// fields, texts and lengths, the target path of each entry that touches files,
// and each binary diff's header. False
// with the reason in problem (when given) at the first fault.
bool CheckPatchFile(ByteSource& source, const std::string& installFolder, std::string* problem = nullptr);
