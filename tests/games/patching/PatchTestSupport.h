#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "games/patching/ByteSink.h"

// Helpers of the patching tests: reference tools (Debian's bsdiff, bspatch, xz
// and lzmp), hand-built bsdiff patches and test data.
namespace patchtest {

// Runs a program (found on PATH) with stdin from /dev/null; its stdout, and its
// exit status through status. Throws when it cannot be started.
std::string RunTool(const std::vector<std::string>& argv, int* status = nullptr);

// zlib's CRC-32, the reference the launcher's checksum must equal.
uint32_t ZlibCrc(const std::string& bytes);

// Deterministic bytes that compress like program data, and a changed version
// of them (bytes altered, runs inserted and removed) as a new build would be.
std::string SampleData(size_t size, uint32_t seed);
std::string ChangedVersion(const std::string& old, uint32_t seed);

// The reference tools on temporary files in folder.
std::string DebianBsdiff(const std::string& folder, const std::string& oldBytes, const std::string& newBytes);
std::string DebianBspatch(const std::string& folder, const std::string& oldBytes, const std::string& patch);
std::string XzLzmaAlone(const std::string& folder, const std::string& data);    // size unknown, end marker
std::string LzmpLzmaAlone(const std::string& folder, const std::string& data);  // size stored

// A bsdiff 4.0 patch from its parts; each triple is (x, y, z).
struct Triple {
    int64_t x, y, z;
};
std::string EncodeBsdiffNumber(int64_t value);
std::string Bzip2(const std::string& bytes);
std::string BuildBsdiff(const std::vector<Triple>& triples, const std::string& diff, const std::string& extra,
                        int64_t newSize);
// Same, with the three blocks already compressed (or deliberately broken).
std::string BuildBsdiffRaw(const std::string& control, const std::string& diff, const std::string& extra,
                           int64_t newSize);

class StringSink : public ByteSink {
public:
    bool Write(const void* data, size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
        return true;
    }
    std::string bytes;
};

// Every file below folder, as relative path -> content (temporary files of the
// patcher included, so a test sees leftovers).
std::vector<std::pair<std::string, std::string>> ListFiles(const std::string& folder);

}  // namespace patchtest
