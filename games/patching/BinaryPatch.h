#pragma once
#include <cstdint>
#include <string>

#include "games/patching/ByteSink.h"
#include "games/patching/ByteSource.h"

// bsdiff 4.0 patches: the bytes "BSDIFF40", the lengths of the compressed control
// and diff blocks and the size of the new file (8 bytes each), then three bzip2
// streams: control triples (x, y, z), diff bytes and extra bytes.
struct BsdiffHeader {
    uint64_t controlLength = 0;
    uint64_t diffLength = 0;
    uint64_t newSize = 0;
};

inline constexpr uint64_t kBsdiffHeaderSize = 32;

// bsdiff's 8-byte number as bsdiff writes it: the magnitude in the low 63 bits,
// little-endian, the top bit of the last byte the sign.
int64_t DecodeBsdiffNumber(const unsigned char* bytes);

// Reads and checks the header of the patch that fills [offset, offset + length)
// of source: the magic, no negative number, and both compressed blocks inside the
// patch. False when any of that fails or the header cannot be read.
bool ReadBsdiffHeader(ByteSource& source, uint64_t offset, uint64_t length, BsdiffHeader& header);

enum class BsdiffResult { Ok, Corrupt, ReadFailed, WriteFailed };

// Rebuilds the new file from old and the patch at [offset, offset + length) of
// patch, streaming it into out; nothing outside that range is read. The old file
// is read through a bounded window, the new one never held whole. On failure
// reason (when given) names what went wrong; out may have taken part of the file.
BsdiffResult ApplyBsdiff(ByteSource& old, ByteSource& patch, uint64_t offset, uint64_t length, ByteSink& out,
                         std::string* reason = nullptr);
