#include "games/patching/PatchFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/SafePath.h"

namespace {

constexpr size_t kFixedFields = 12;  // old CRC, new CRC, data length

uint32_t ReadU32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

bool PatchFile::Corrupt(const char* what) {
    problem = what;
    return false;
}

bool PatchFile::ReadHeader() {
    unsigned char header[kHeaderSize];
    position = 0;
    entryCount = 0;
    if (!source.ReadAt(0, header, sizeof header))
        return Corrupt("header cut short");
    if (std::memcmp(header, "QUORPATC", 8) != 0)
        return Corrupt("wrong magic");
    if (ReadU32(header + 8) != kVersion)
        return Corrupt("unknown version");
    entryCount = ReadU32(header + 12);
    position = kHeaderSize;
    return true;
}

bool PatchFile::NextEntry(PatchEntry& entry) {
    const uint64_t size = source.Size();
    if (position >= size)
        return Corrupt("entry cut short: operation");
    // Everything up to the data: operation, two texts of at most kMaxTextLength
    // bytes and their zero bytes, and the fixed fields. A first small read holds
    // all of it for any ordinary entry; the longest case gets a second one.
    const size_t most =
        static_cast<size_t>(std::min<uint64_t>(1 + 2 * (kMaxTextLength + 1) + kFixedFields, size - position));
    std::vector<unsigned char> bytes;
    size_t at = 0;
    for (size_t want : {std::min<size_t>(512, most), most}) {
        const bool last = want == most;
        bytes.resize(want);
        if (!source.ReadAt(position, bytes.data(), want))
            return Corrupt("entry cannot be read");
        at = 0;
        entry.operation = bytes[at++];
        bool complete = true;
        for (std::string* text : {&entry.folder, &entry.fileName}) {
            size_t limit = std::min(want, at + kMaxTextLength + 1);
            const void* zero = std::memchr(bytes.data() + at, 0, limit - at);
            if (!zero) {
                if (!last) {
                    complete = false;
                    break;
                }
                return Corrupt(at + kMaxTextLength + 1 > want ? "entry cut short: text without its zero byte"
                                                              : "text too long");
            }
            size_t length = static_cast<size_t>(static_cast<const unsigned char*>(zero) - (bytes.data() + at));
            text->assign(reinterpret_cast<const char*>(bytes.data() + at), length);
            at += length + 1;
        }
        if (complete && want - at < kFixedFields) {
            if (last)
                return Corrupt("entry cut short: checksums and length");
            complete = false;
        }
        if (complete)
            break;
    }
    entry.oldCrc = ReadU32(bytes.data() + at);
    entry.newCrc = ReadU32(bytes.data() + at + 4);
    entry.dataLength = ReadU32(bytes.data() + at + 8);
    at += kFixedFields;
    entry.dataOffset = position + at;
    if (entry.dataLength > size - entry.dataOffset)
        return Corrupt("entry cut short: data");
    entry.bsdiff = BsdiffHeader{};
    if (entry.operation == kPatchBinaryDiff &&
        !ReadBsdiffHeader(source, entry.dataOffset, entry.dataLength, entry.bsdiff))
        return Corrupt("binary diff header malformed or outside its entry");
    position = entry.dataOffset + entry.dataLength;
    return true;
}

std::optional<std::string> PatchEntryRelativePath(const std::string& folder, const std::string& fileName) {
    size_t folderEnd = folder.size();
    while (folderEnd > 0 && IsSeparator(folder[folderEnd - 1]))
        --folderEnd;
    size_t nameStart = 0;
    while (nameStart < fileName.size() && IsSeparator(fileName[nameStart]))
        ++nameStart;
    std::string name = fileName.substr(nameStart);
    size_t lastSeparator = name.find_last_of("/\\");
    std::string last = lastSeparator == std::string::npos ? name : name.substr(lastSeparator + 1);
    if (last.empty() || last == "." || last == "..")
        return std::nullopt;
    if (folderEnd == 0)
        return name;
    return folder.substr(0, folderEnd) + "/" + name;
}

std::optional<std::string> PatchEntryTarget(const std::string& installFolder, const PatchEntry& entry) {
    std::optional<std::string> relative = PatchEntryRelativePath(entry.folder, entry.fileName);
    if (!relative)
        return std::nullopt;
    return platform::SafeJoin(installFolder, *relative);
}

bool CheckPatchFile(ByteSource& source, const std::string& installFolder, std::string* problem) {
    PatchFile file(source);
    auto fail = [&](const std::string& why) {
        if (problem)
            *problem = why;
        return false;
    };
    if (!file.ReadHeader())
        return fail(file.Problem());
    PatchEntry entry;
    for (uint32_t i = 0; i < file.EntryCount(); ++i) {
        if (!file.NextEntry(entry))
            return fail("entry " + std::to_string(i) + ": " + file.Problem());
        if (TouchesFiles(entry.operation) && !PatchEntryTarget(installFolder, entry))
            return fail("entry " + std::to_string(i) + ": path refused");
    }
    return true;
}
