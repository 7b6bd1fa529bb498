#include "tests/games/patching/PatchTestSupport.h"

#include <algorithm>
#include <bzlib.h>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "tests/fixtures/TestEnvironment.h"

extern char** environ;

namespace patchtest {

namespace fs = std::filesystem;

std::string RunTool(const std::vector<std::string>& argv, int* status) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    std::string out;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    int code = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (status)
        *status = code;
    else if (code != 0)
        throw std::runtime_error(argv[0] + " failed with status " + std::to_string(code));
    return out;
}

uint32_t ZlibCrc(const std::string& bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t done = 0;
    while (done < bytes.size()) {
        uInt n = static_cast<uInt>(std::min<size_t>(bytes.size() - done, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + done), n);
        done += n;
    }
    return static_cast<uint32_t>(crc);
}

namespace {

uint32_t Next(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

std::string WriteTemp(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::string path = folder + "/" + name;
    fs::create_directories(folder);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

}  // namespace

std::string SampleData(size_t size, uint32_t seed) {
    // Words from a small vocabulary with numbers between them: compressible,
    // yet not one long run.
    static const char* words[] = {
        "sprite",           "mesh",   "texture", "level", "sound", "script", "quest", "item", "\x01\x02\x03\x04",
        "\0\0\0\0\0\0\0\0", "shader", "map"};
    uint32_t state = seed * 2654435761u + 1;
    std::string out;
    out.reserve(size + 32);
    while (out.size() < size) {
        uint32_t r = Next(state);
        if (r % 4 == 0) {
            out += static_cast<char>(r >> 8);
            out += static_cast<char>(r >> 16);
        } else {
            const char* w = words[(r >> 4) % (sizeof words / sizeof *words)];
            size_t len = w[0] == '\0' ? 8 : std::strlen(w);
            out.append(w, len);
        }
    }
    out.resize(size);
    return out;
}

std::string ChangedVersion(const std::string& old, uint32_t seed) {
    uint32_t state = seed * 40503u + 7;
    std::string out;
    out.reserve(old.size() + old.size() / 16 + 64);
    size_t at = 0;
    while (at < old.size()) {
        size_t run = std::min<size_t>(old.size() - at, 512 + Next(state) % 8192);
        out.append(old, at, run);
        at += run;
        switch (Next(state) % 4) {
        case 0:  // a few bytes changed in place
            for (int i = 0; i < 4 && !out.empty(); ++i)
                out[out.size() - 1 - (Next(state) % std::min<size_t>(out.size(), 64))] ^=
                    static_cast<char>(1 + Next(state) % 255);
            break;
        case 1:  // bytes inserted
            for (uint32_t i = 0, n = 1 + Next(state) % 200; i < n; ++i)
                out += static_cast<char>(Next(state));
            break;
        case 2:  // bytes removed
            at += std::min<size_t>(old.size() - at, Next(state) % 300);
            break;
        default: break;
        }
    }
    return out;
}

std::string DebianBsdiff(const std::string& folder, const std::string& oldBytes, const std::string& newBytes) {
    std::string oldPath = WriteTemp(folder, "bsdiff-old", oldBytes);
    std::string newPath = WriteTemp(folder, "bsdiff-new", newBytes);
    std::string patchPath = folder + "/bsdiff-patch";
    RunTool({"bsdiff", oldPath, newPath, patchPath});
    return TestEnvironment::ReadFile(patchPath);
}

std::string DebianBspatch(const std::string& folder, const std::string& oldBytes, const std::string& patch) {
    std::string oldPath = WriteTemp(folder, "bspatch-old", oldBytes);
    std::string patchPath = WriteTemp(folder, "bspatch-patch", patch);
    std::string newPath = folder + "/bspatch-new";
    RunTool({"bspatch", oldPath, newPath, patchPath});
    return TestEnvironment::ReadFile(newPath);
}

std::string XzLzmaAlone(const std::string& folder, const std::string& data) {
    std::string path = WriteTemp(folder, "xz-input", data);
    return RunTool({"xz", "--format=lzma", "-c", "-k", path});
}

std::string LzmpLzmaAlone(const std::string& folder, const std::string& data) {
    std::string path = WriteTemp(folder, "lzmp-input", data);
    return RunTool({"lzmp", "-z", "-k", "-c", path});
}

std::string EncodeBsdiffNumber(int64_t value) {
    uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-(value + 1)) + 1 : static_cast<uint64_t>(value);
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<char>((magnitude >> (8 * i)) & 0xFF);
    if (value < 0)
        out[7] = static_cast<char>(out[7] | 0x80);
    return out;
}

std::string Bzip2(const std::string& bytes) {
    unsigned int size = static_cast<unsigned int>(bytes.size() + bytes.size() / 100 + 1024);
    std::string out(size, '\0');
    if (BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(bytes.data()),
                                 static_cast<unsigned int>(bytes.size()), 9, 0, 0) != BZ_OK)
        throw std::runtime_error("bzip2 failed");
    out.resize(size);
    return out;
}

std::string BuildBsdiffRaw(const std::string& control, const std::string& diff, const std::string& extra,
                           int64_t newSize) {
    return "BSDIFF40" + EncodeBsdiffNumber(static_cast<int64_t>(control.size())) +
           EncodeBsdiffNumber(static_cast<int64_t>(diff.size())) + EncodeBsdiffNumber(newSize) + control + diff + extra;
}

std::string BuildBsdiff(const std::vector<Triple>& triples, const std::string& diff, const std::string& extra,
                        int64_t newSize) {
    std::string control;
    for (const Triple& t : triples)
        control += EncodeBsdiffNumber(t.x) + EncodeBsdiffNumber(t.y) + EncodeBsdiffNumber(t.z);
    return BuildBsdiffRaw(Bzip2(control), Bzip2(diff), Bzip2(extra), newSize);
}

std::vector<std::pair<std::string, std::string>> ListFiles(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file())
            files.emplace_back(fs::relative(e.path(), folder).string(), TestEnvironment::ReadFile(e.path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace patchtest
