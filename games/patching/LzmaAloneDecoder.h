#pragma once
#include <cstdint>

#include "games/patching/ByteSink.h"
#include "games/patching/ByteSource.h"

// The LZMA SDK's stand-alone layout: 5 property bytes (lc/lp/pb, dictionary
// size), the unpacked size as 8 bytes little-endian (all ones: not stored, the
// stream ends with its end marker), then the compressed stream.
inline constexpr uint64_t kLzmaAloneHeaderSize = 13;
inline constexpr uint64_t kLzmaUnknownSizeMemoryLimit = 1ull << 30;

enum class LzmaResult {
    Ok,           // the stream ended, or the stored size was produced
    Corrupt,      // malformed, or cut short by the end of its range
    MemoryLimit,  // the stream needs more memory than its header justifies
    ReadFailed,
    WriteFailed,
};

// Decodes the stream that fills [offset, offset + length) of source into out.
// Memory is bounded by what the stream can justify: liblzma sizes its buffers
// from the header's dictionary alone, so with a stored size the dictionary is
// lowered to max(4096, size) (a larger one can never be reached, so the output is
// the same) and the limit set from that; without one the limit is unknownSizeLimit.
// No limit exceeds ceiling (for callers with a budget of their own).
LzmaResult DecodeLzmaAlone(ByteSource& source, uint64_t offset, uint64_t length, ByteSink& out,
                           uint64_t unknownSizeLimit = kLzmaUnknownSizeMemoryLimit, uint64_t ceiling = UINT64_MAX);
