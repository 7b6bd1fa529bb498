#include "tools/quor-mkpatch/PatchBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "tools/quor-mkpatch/LzmaAloneEncoder.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

// "data/maps/a b.dat" -> folder "\data\maps", name "a b.dat"; a file at the top
// has the folder "".
void SplitForEntry(const std::string& path, std::string& folder, std::string& name) {
    size_t slash = path.rfind('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    folder.clear();
    if (slash == std::string::npos)
        return;
    folder = "\\" + path.substr(0, slash);
    std::replace(folder.begin(), folder.end(), '/', '\\');
}

// Runs a program with an argument vector and waits for it; its exit status, or -1.
int RunProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

PatchBuilder::PatchBuilder(std::string bsdiffProgram) : bsdiff(std::move(bsdiffProgram)) {}

uint32_t PatchBuilder::Crc32(const std::string& bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t at = 0;
    while (at < bytes.size()) {
        uInt chunk = static_cast<uInt>(std::min<size_t>(bytes.size() - at, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + at), chunk);
        at += chunk;
    }
    return static_cast<uint32_t>(crc);
}

bool PatchBuilder::ReadFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool PatchBuilder::ListFiles(const std::string& folder, std::vector<std::string>& files) {
    files.clear();
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return false;
    fs::recursive_directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec))
            files.push_back(fs::relative(it->path(), folder, ec).generic_string());
    }
    std::sort(files.begin(), files.end());
    return !ec;
}

bool PatchBuilder::Fail(const std::string& why) {
    error = why;
    return false;
}

bool PatchBuilder::MakeDiff(const std::string& oldPath, const std::string& newPath, const std::string& scratch,
                            std::string& diff) {
    int status = RunProgram({bsdiff, oldPath, newPath, scratch});
    bool ok = status == 0 && ReadFile(scratch, diff);
    std::remove(scratch.c_str());
    if (!ok)
        return Fail(status < 0 ? "cannot run " + bsdiff : bsdiff + " failed for " + newPath);
    if (diff.size() < 32 || diff.compare(0, 8, "BSDIFF40") != 0)
        return Fail(bsdiff + " wrote no bsdiff 4.0 patch for " + newPath);
    return true;
}

bool PatchBuilder::Build(const std::string& oldFolder, const std::string& newFolder, const std::string& patchFile) {
    entries.clear();
    error.clear();
    std::vector<std::string> oldFiles, newFiles;
    if (!ListFiles(oldFolder, oldFiles))
        return Fail("cannot read the folder " + oldFolder);
    if (!ListFiles(newFolder, newFiles))
        return Fail("cannot read the folder " + newFolder);

    std::string scratch = patchFile + ".diff.tmp";
    std::string body;
    auto add = [&](Operation op, const std::string& path, uint32_t oldCrc, uint32_t newCrc, const std::string& data) {
        std::string folder, name;
        SplitForEntry(path, folder, name);
        body += static_cast<char>(op);
        body += folder;
        body += '\0';
        body += name;
        body += '\0';
        PutU32(body, oldCrc);
        PutU32(body, newCrc);
        PutU32(body, static_cast<uint32_t>(data.size()));
        body += data;
        entries.push_back({op, path, oldCrc, newCrc, static_cast<uint32_t>(data.size())});
    };

    // Deletions first, so a folder given up for a file of the same name is gone.
    for (const std::string& path : oldFiles) {
        if (std::binary_search(newFiles.begin(), newFiles.end(), path))
            continue;
        std::string old;
        if (!ReadFile(oldFolder + "/" + path, old))
            return Fail("cannot read " + oldFolder + "/" + path);
        add(Operation::Delete, path, Crc32(old), 0, "");
    }
    for (const std::string& path : newFiles) {
        // The format separates folders with "\": such a name cannot be written.
        if (path.find('\\') != std::string::npos)
            return Fail("a file name with \"\\\" cannot go into a patch: " + path);
        std::string now;
        if (!ReadFile(newFolder + "/" + path, now))
            return Fail("cannot read " + newFolder + "/" + path);
        uint32_t newCrc = Crc32(now);
        bool existed = std::binary_search(oldFiles.begin(), oldFiles.end(), path);
        std::string old;
        if (existed && !ReadFile(oldFolder + "/" + path, old))
            return Fail("cannot read " + oldFolder + "/" + path);
        if (existed && old == now)
            continue;
        uint32_t oldCrc = existed ? Crc32(old) : 0;
        std::string whole;
        if (!existed || changedFiles != ChangedFiles::AlwaysDiff) {
            if (!EncodeLzmaAlone(now, whole))
                return Fail("LZMA compression failed for " + path);
        }
        if (existed && changedFiles != ChangedFiles::AlwaysWrite) {
            std::string diff;
            if (!MakeDiff(oldFolder + "/" + path, newFolder + "/" + path, scratch, diff))
                return false;
            if (changedFiles == ChangedFiles::AlwaysDiff || diff.size() < whole.size()) {
                add(Operation::BinaryDiff, path, oldCrc, newCrc, diff);
                continue;
            }
        }
        add(Operation::Write, path, oldCrc, newCrc, whole);
    }

    std::string file = "QUORPATC";
    PutU32(file, 1);
    PutU32(file, static_cast<uint32_t>(entries.size()));
    file += body;
    std::string temporary = patchFile + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return Fail("cannot write " + temporary);
        }
    }
    if (std::rename(temporary.c_str(), patchFile.c_str()) != 0) {
        std::remove(temporary.c_str());
        return Fail("cannot write " + patchFile + ": " + std::strerror(errno));
    }
    return true;
}
