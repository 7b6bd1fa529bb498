#include "games/patching/BinaryPatch.h"

#include <algorithm>
#include <bzlib.h>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kInputBlock = 64 * 1024;   // compressed bytes read at a time, per stream
constexpr size_t kChunk = 256 * 1024;       // new bytes built at a time
constexpr size_t kOldWindow = 1024 * 1024;  // old bytes held at a time
// bsdiff never writes two triples in a row that produce nothing; a control block
// that keeps doing so would spin without end.
constexpr int kMaxIdleTriples = 1 << 20;

// One bzip2 stream that lies in [begin, end) of the source.
class BzipRangeReader {
public:
    BzipRangeReader(ByteSource& source, uint64_t begin, uint64_t end)
        : source(source), position(begin), end(end), input(new char[kInputBlock]) {
        std::memset(&stream, 0, sizeof stream);
        initialised = BZ2_bzDecompressInit(&stream, 0, 0) == BZ_OK;
    }
    ~BzipRangeReader() {
        if (initialised)
            BZ2_bzDecompressEnd(&stream);
    }
    BzipRangeReader(const BzipRangeReader&) = delete;
    BzipRangeReader& operator=(const BzipRangeReader&) = delete;

    // Exactly size bytes (size below 4 GiB), or a failure: Corrupt for a stream
    // that is malformed or ends early, ReadFailed when its bytes cannot be read.
    BsdiffResult Read(void* out, size_t size) {
        if (!initialised)
            return BsdiffResult::ReadFailed;
        stream.next_out = static_cast<char*>(out);
        stream.avail_out = static_cast<unsigned>(size);
        while (stream.avail_out > 0) {
            if (ended)
                return BsdiffResult::Corrupt;
            if (stream.avail_in == 0 && position < end) {
                size_t n = static_cast<size_t>(std::min<uint64_t>(kInputBlock, end - position));
                if (!source.ReadAt(position, input.get(), n))
                    return BsdiffResult::ReadFailed;
                position += n;
                stream.next_in = input.get();
                stream.avail_in = static_cast<unsigned>(n);
            }
            unsigned before = stream.avail_out;
            int r = BZ2_bzDecompress(&stream);
            if (r == BZ_STREAM_END)
                ended = true;
            else if (r != BZ_OK)
                return BsdiffResult::Corrupt;
            else if (stream.avail_in == 0 && position >= end && stream.avail_out == before)
                return BsdiffResult::Corrupt;  // the stream stops inside the patch's range
        }
        return BsdiffResult::Ok;
    }

private:
    ByteSource& source;
    uint64_t position;
    uint64_t end;
    std::unique_ptr<char[]> input;
    bz_stream stream;
    bool initialised = false;
    bool ended = false;
};

// The old file seen through one bounded buffer: bsdiff reads it in runs, mostly
// forward, with jumps.
class OldWindow {
public:
    explicit OldWindow(ByteSource& source) : source(source), buffer(kOldWindow) {}

    // The bytes [position, position + size) (size at most the window, the range
    // inside the file), or null when they cannot be read.
    const unsigned char* Get(uint64_t position, size_t size) {
        if (position >= start && position + size <= start + filled)
            return buffer.data() + (position - start);
        size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), source.Size() - position));
        if (want < size || !source.ReadAt(position, buffer.data(), want)) {
            filled = 0;
            return nullptr;
        }
        start = position;
        filled = want;
        return buffer.data();
    }

private:
    ByteSource& source;
    std::vector<unsigned char> buffer;
    uint64_t start = 0;
    size_t filled = 0;
};

BsdiffResult Fail(BsdiffResult result, std::string* reason, const char* text) {
    if (reason)
        *reason = text;
    return result;
}

}  // namespace

int64_t DecodeBsdiffNumber(const unsigned char* bytes) {
    uint64_t magnitude = bytes[7] & 0x7F;
    for (int i = 6; i >= 0; --i)
        magnitude = (magnitude << 8) | bytes[i];
    int64_t value = static_cast<int64_t>(magnitude);
    return (bytes[7] & 0x80) ? -value : value;
}

bool ReadBsdiffHeader(ByteSource& source, uint64_t offset, uint64_t length, BsdiffHeader& header) {
    if (length < kBsdiffHeaderSize)
        return false;
    unsigned char bytes[kBsdiffHeaderSize];
    if (!source.ReadAt(offset, bytes, sizeof bytes) || std::memcmp(bytes, "BSDIFF40", 8) != 0)
        return false;
    int64_t control = DecodeBsdiffNumber(bytes + 8);
    int64_t diff = DecodeBsdiffNumber(bytes + 16);
    int64_t newSize = DecodeBsdiffNumber(bytes + 24);
    if (control < 0 || diff < 0 || newSize < 0)
        return false;
    uint64_t room = length - kBsdiffHeaderSize;
    if (static_cast<uint64_t>(control) > room || static_cast<uint64_t>(diff) > room - static_cast<uint64_t>(control))
        return false;
    header.controlLength = static_cast<uint64_t>(control);
    header.diffLength = static_cast<uint64_t>(diff);
    header.newSize = static_cast<uint64_t>(newSize);
    return true;
}

BsdiffResult ApplyBsdiff(ByteSource& old, ByteSource& patch, uint64_t offset, uint64_t length, ByteSink& out,
                         std::string* reason) {
    BsdiffHeader header;
    if (offset > patch.Size() || length > patch.Size() - offset || !ReadBsdiffHeader(patch, offset, length, header))
        return Fail(BsdiffResult::Corrupt, reason, "Corrupt patch: header");

    const uint64_t controlStart = offset + kBsdiffHeaderSize;
    const uint64_t diffStart = controlStart + header.controlLength;
    const uint64_t extraStart = diffStart + header.diffLength;
    BzipRangeReader control(patch, controlStart, diffStart);
    BzipRangeReader diff(patch, diffStart, extraStart);
    BzipRangeReader extra(patch, extraStart, offset + length);
    OldWindow window(old);

    // Every position is a signed 64-bit number below 2^63; each step is checked
    // before it is taken, so nothing wraps.
    const int64_t newSize = static_cast<int64_t>(header.newSize);
    const int64_t oldSize = static_cast<int64_t>(std::min<uint64_t>(old.Size(), INT64_MAX));
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[kChunk]);
    int64_t newPos = 0;
    int64_t oldPos = 0;
    int idle = 0;
    while (newPos < newSize) {
        unsigned char triple[24];
        BsdiffResult r = control.Read(triple, sizeof triple);
        if (r != BsdiffResult::Ok)
            return Fail(r, reason, "Corrupt patch: control block");
        int64_t x = DecodeBsdiffNumber(triple);
        int64_t y = DecodeBsdiffNumber(triple + 8);
        int64_t z = DecodeBsdiffNumber(triple + 16);
        int64_t oldEnd;
        if (x < 0 || y < 0 || x > newSize - newPos || __builtin_add_overflow(oldPos, x, &oldEnd))
            return Fail(BsdiffResult::Corrupt, reason, "Corrupt patch: diff length");
        if (x == 0 && y == 0) {
            if (++idle > kMaxIdleTriples)
                return Fail(BsdiffResult::Corrupt, reason, "Corrupt patch: control block makes no progress");
        } else {
            idle = 0;
        }

        // x bytes of diff, each added to the old byte at the same distance (none
        // where the old position lies outside the old file).
        for (int64_t done = 0; done < x;) {
            size_t n = static_cast<size_t>(std::min<int64_t>(kChunk, x - done));
            r = diff.Read(chunk.get(), n);
            if (r != BsdiffResult::Ok)
                return Fail(r, reason, "Corrupt patch: diff block");
            int64_t from = oldPos + done;
            int64_t lo = std::max<int64_t>(from, 0);
            int64_t hi = std::min<int64_t>(from + static_cast<int64_t>(n), oldSize);
            if (lo < hi) {
                const unsigned char* o = window.Get(static_cast<uint64_t>(lo), static_cast<size_t>(hi - lo));
                if (!o)
                    return Fail(BsdiffResult::ReadFailed, reason, "old file cannot be read");
                unsigned char* d = chunk.get() + (lo - from);
                size_t count = static_cast<size_t>(hi - lo);
                for (size_t i = 0; i < count; ++i)
                    d[i] = static_cast<unsigned char>(d[i] + o[i]);
            }
            if (!out.Write(chunk.get(), n))
                return Fail(BsdiffResult::WriteFailed, reason, "new file cannot be written");
            done += static_cast<int64_t>(n);
        }
        newPos += x;
        oldPos = oldEnd;

        if (y > newSize - newPos)
            return Fail(BsdiffResult::Corrupt, reason, "Corrupt patch: extra length");
        for (int64_t done = 0; done < y;) {
            size_t n = static_cast<size_t>(std::min<int64_t>(kChunk, y - done));
            r = extra.Read(chunk.get(), n);
            if (r != BsdiffResult::Ok)
                return Fail(r, reason, "Corrupt patch: extra block");
            if (!out.Write(chunk.get(), n))
                return Fail(BsdiffResult::WriteFailed, reason, "new file cannot be written");
            done += static_cast<int64_t>(n);
        }
        newPos += y;
        if (__builtin_add_overflow(oldPos, z, &oldPos))
            return Fail(BsdiffResult::Corrupt, reason, "Corrupt patch: old position");
    }
    return BsdiffResult::Ok;
}
