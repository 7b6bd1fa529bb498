#include "booster/PmbDiskToken.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "booster/PmbInstallation.h"
#include "core/system/ProgramLauncher.h"
#include "core/text/StringUtils.h"
#include "platform/AtomicFile.h"

namespace {

// The "/"-separated parts of an absolute path; false for a relative path or a
// "." or ".." part.
bool SplitAbsolute(const std::string& path, std::vector<std::string>& parts) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return false;
    for (const std::string& part : SplitString(path, '/')) {
        if (part.empty())
            continue;
        if (part == "." || part == "..")
            return false;
        parts.push_back(part);
    }
    return true;
}

// Whether bytes begin as a script or a native or Windows program does: the
// program launcher would start such a file.
bool BeginsLikeAProgram(const char* head, size_t size) {
    const std::string_view bytes(head, size);
    return IsNativeProgramStart(bytes) || bytes.substr(0, 2) == "MZ";
}

bool FileBeginsLikeAProgram(int fd) {
    char head[4] = {};
    ssize_t n;
    do
        n = pread(fd, head, sizeof head, 0);
    while (n < 0 && errno == EINTR);
    return n < 0 || BeginsLikeAProgram(head, static_cast<size_t>(n));  // unknown: not written
}

// A data file that may take the token: regular, with one name, no execute bit,
// not the program and not a program's first bytes.
bool MayTakeTheToken(int fd, const std::string& folder) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
        (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0)
        return false;
    struct stat program {};
    if (stat(PmbProgramPath(folder).c_str(), &program) == 0 && program.st_dev == info.st_dev &&
        program.st_ino == info.st_ino)
        return false;
    return !FileBeginsLikeAProgram(fd);
}

}  // namespace

bool WriteDiskTokenFile(const std::string& folder, const std::string& path, const std::string& token) {
    // Nor would the token make any file a program (a script on one line, say).
    if (token.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
        BeginsLikeAProgram(token.data(), token.size()))
        return false;
    std::vector<std::string> folderParts, pathParts;
    if (!SplitAbsolute(folder, folderParts) || !SplitAbsolute(path, pathParts))
        return false;
    if (pathParts.size() <= folderParts.size())
        return false;
    for (size_t k = 0; k < folderParts.size(); ++k)
        if (folderParts[k] != pathParts[k])
            return false;
    // On a file system that ignores case another spelling opens the program too,
    // and a missing program would be created under its name.
    if (pathParts.size() == folderParts.size() + 1 && LowerAscii(pathParts.back()) == "pmb.exe")
        return false;
    // The booster's folder itself comes from our registry and may sit behind a
    // link (a wine drive); below it, every part is opened without following one.
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    for (size_t k = folderParts.size(); k + 1 < pathParts.size(); ++k) {
        const int next = openat(dir, pathParts[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(dir);
        if (next < 0)
            return false;
        dir = next;
    }
    const int fd =
        openat(dir, pathParts.back().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    close(dir);
    if (fd < 0)
        return false;
    // The checks look at the file opened, not at its name. A second name for the
    // file may lie outside the folder: such a file is left alone.
    const bool ok = MayTakeTheToken(fd, folder) && ftruncate(fd, 0) == 0 &&
                    platform::WriteDescriptor(fd, token.data(), token.size()) == 0;
    // Not synced: every validation writes it afresh first, so nothing relies
    // on it surviving a power cut.
    close(fd);
    return ok;
}
