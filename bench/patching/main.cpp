// The Quor side of the patching comparisons, and the fixtures they need.
//   crc32 FILE                 Quor's checksum of a file
//   zlib-crc32 FILE            zlib's crc32 over the file in 4096-byte blocks
//   make-data FILE MIB SEED    program-like test data
//   synth-bsdiff OLD NEW PATCH SEED
//                              a new version of OLD and the bsdiff 4.0 patch to it,
//                              written directly (bsdiff itself is far too slow at this size)
//   wrap-diff OLD NEW BSDIFF OUT   a patch file with one binary-diff entry "target.bin"
//   wrap-write DATA LZMA OUT       a patch file with one write entry "target.bin"
//   apply INSTALL PATCHFILE        QuorPatcher over the install folder
#include <bzlib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "bench/common/XorShift.h"
#include "games/patching/FileChecksum.h"
#include "games/patching/QuorPatcher.h"
#include "platform/AtomicFile.h"
#include "tools/patch-writer/PatchFileWriter.h"

namespace {

using bench::Next;

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

int Crc(const char* path) {
    uint32_t crc = 0;
    if (ComputeFileCrc32(path, crc) != 0)
        return 1;
    std::printf("%08x\n", crc);
    return 0;
}

int ZlibCrc(const char* path) {
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return 1;
    unsigned char buffer[4096];
    uLong crc = crc32(0L, Z_NULL, 0);
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        crc = crc32(crc, buffer, static_cast<uInt>(n));
    close(fd);
    std::printf("%08lx\n", crc);
    return n < 0 ? 1 : 0;
}

// Records of a few kinds, as a game's data files hold them: small numbers,
// names, runs of zeros, some noise.
int MakeData(const char* path, size_t mib, uint64_t seed) {
    static const char* words[] = {"texture_", "mesh_", "sound/", "level", "script.", "actor", "quest_", "item"};
    std::string out;
    out.reserve(mib << 20);
    uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
    while (out.size() < (mib << 20)) {
        uint64_t r = Next(s);
        switch (r % 5) {
        case 0:
            out.append(words[(r >> 8) % 8]);
            out += std::to_string((r >> 16) % 1000);
            break;
        case 1: out.append(static_cast<size_t>(4 + (r >> 8) % 28), '\0'); break;
        case 2:
            for (int i = 0; i < 4; ++i)
                out += static_cast<char>((r >> (8 * i + 8)) & 0x3F);
            break;
        case 3:
            for (int i = 0; i < 8; ++i)
                out += static_cast<char>(Next(s));
            break;
        default:
            out += static_cast<char>(r >> 8);
            out += static_cast<char>(0);
            break;
        }
    }
    out.resize(mib << 20);
    WriteAll(path, out);
    return 0;
}

// A bzip2 stream into a string.
class Bzip2Writer {
public:
    Bzip2Writer() {
        std::memset(&stream, 0, sizeof stream);
        if (BZ2_bzCompressInit(&stream, 9, 0, 0) != BZ_OK)
            throw std::runtime_error("bzip2");
    }
    ~Bzip2Writer() { BZ2_bzCompressEnd(&stream); }
    void Write(const void* data, size_t size) { Run(data, size, BZ_RUN); }
    std::string Finish() {
        Run(nullptr, 0, BZ_FINISH);
        return std::move(out);
    }

private:
    void Run(const void* data, size_t size, int action) {
        stream.next_in = static_cast<char*>(const_cast<void*>(data));
        stream.avail_in = static_cast<unsigned>(size);
        for (;;) {
            char buffer[1 << 16];
            stream.next_out = buffer;
            stream.avail_out = sizeof buffer;
            int r = BZ2_bzCompress(&stream, action);
            out.append(buffer, sizeof buffer - stream.avail_out);
            if (action == BZ_FINISH ? r == BZ_STREAM_END : stream.avail_in == 0)
                break;
            if (r < 0)
                throw std::runtime_error("bzip2 compression failed");
        }
    }
    bz_stream stream;
    std::string out;
};

std::string Number(int64_t value) {
    uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<char>(magnitude >> (8 * i));
    if (value < 0)
        out[7] = static_cast<char>(out[7] | 0x80);
    return out;
}

// The new version copies the old one in runs with a few bytes changed, inserts
// new bytes now and then, skips old bytes and sometimes goes back to copy an
// earlier part again, which is what bsdiff finds between two builds.
int SynthBsdiff(const char* oldPath, const char* newPath, const char* patchPath, uint64_t seed) {
    const std::string old = ReadAll(oldPath);
    const int64_t oldSize = static_cast<int64_t>(old.size());
    if (oldSize < (1 << 20))
        throw std::runtime_error("old file too small");
    uint64_t s = seed * 0x9E3779B97F4A7C15ull + 7;
    Bzip2Writer control, diff, extra;
    std::string made;
    made.reserve(old.size() + old.size() / 32);
    std::vector<char> diffRun, extraRun;
    int64_t oldPos = 0;
    while (static_cast<int64_t>(made.size()) < oldSize) {
        int64_t x = std::min<int64_t>(2048 + static_cast<int64_t>(Next(s) % 60000), oldSize - oldPos);
        diffRun.assign(static_cast<size_t>(x), 0);
        for (int64_t i = 0; i < x; ++i) {
            uint64_t r = Next(s);
            if (r % 300 == 0)
                diffRun[static_cast<size_t>(i)] = static_cast<char>(1 + (r >> 8) % 255);
            made += static_cast<char>(old[static_cast<size_t>(oldPos + i)] + diffRun[static_cast<size_t>(i)]);
        }
        int64_t y = Next(s) % 3 == 0 ? 8 + static_cast<int64_t>(Next(s) % 500) : 0;
        extraRun.resize(static_cast<size_t>(y));
        for (auto& c : extraRun)
            c = static_cast<char>(Next(s) % 64);
        made.append(extraRun.data(), extraRun.size());
        int64_t after = oldPos + x;
        int64_t target = Next(s) % 10 == 0 ? static_cast<int64_t>(Next(s) % static_cast<uint64_t>(after))
                                           : after + static_cast<int64_t>(Next(s) % 128);
        if (target > oldSize - 4096)
            target = static_cast<int64_t>(Next(s) % static_cast<uint64_t>(oldSize / 2));
        int64_t z = target - after;
        control.Write((Number(x) + Number(y) + Number(z)).data(), 24);
        diff.Write(diffRun.data(), diffRun.size());
        extra.Write(extraRun.data(), extraRun.size());
        oldPos = target;
    }
    std::string c = control.Finish(), d = diff.Finish(), e = extra.Finish();
    WriteAll(patchPath, "BSDIFF40" + Number(static_cast<int64_t>(c.size())) + Number(static_cast<int64_t>(d.size())) +
                            Number(static_cast<int64_t>(made.size())) + c + d + e);
    WriteAll(newPath, made);
    return 0;
}

uint32_t FileCrc(const std::string& path) {
    uint32_t crc = 0;
    if (ComputeFileCrc32(path, crc) != 0)
        throw std::runtime_error("cannot read " + path);
    return crc;
}

int WrapDiff(const char* oldPath, const char* newPath, const char* bsdiffPath, const char* out) {
    PatchFileWriter w;
    w.AddBinaryDiff("", "target.bin", ReadAll(bsdiffPath), FileCrc(oldPath), FileCrc(newPath));
    WriteAll(out, w.Bytes());
    return 0;
}

int WrapWrite(const char* dataPath, const char* lzmaPath, const char* out) {
    PatchFileWriter w;
    w.AddWrite("", "target.bin", ReadAll(lzmaPath), FileCrc(dataPath));
    WriteAll(out, w.Bytes());
    return 0;
}

int Apply(const char* install, const char* patch) {
    QuorPatcher patcher(install, patch);
    if (!patcher.Start())
        return 1;
    patcher.Stop();  // the run is once: this waits for it
    return patcher.Succeeded() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::string command = argc > 1 ? argv[1] : "";
        if (command == "crc32" && argc == 3)
            return Crc(argv[2]);
        if (command == "zlib-crc32" && argc == 3)
            return ZlibCrc(argv[2]);
        if (command == "make-data" && argc == 5)
            return MakeData(argv[2], std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[4], nullptr, 10));
        if (command == "synth-bsdiff" && argc == 6)
            return SynthBsdiff(argv[2], argv[3], argv[4], std::strtoull(argv[5], nullptr, 10));
        if (command == "wrap-diff" && argc == 6)
            return WrapDiff(argv[2], argv[3], argv[4], argv[5]);
        if (command == "wrap-write" && argc == 5)
            return WrapWrite(argv[2], argv[3], argv[4]);
        if (command == "apply" && argc == 4)
            return Apply(argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_patching: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: see the comment at the top of bench/patching/main.cpp\n");
    return 2;
}
