// Makes a known series of file-system calls in FOLDER, for the test of the call
// recorder (tests/fixtures/FsCallRecorder.cpp):
//   quor_fs_calls_child FOLDER
// Exit status 0 when every call did what it should, 1 otherwise (the failed step
// on standard error).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

bool Check(bool ok, const char* step) {
    if (!ok)
        std::fprintf(stderr, "step failed: %s\n", step);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::string folder = argv[1];
    bool ok = true;
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok &= Check(dir >= 0, "open the folder");

    // A file named through a dirfd: written in parts, cut, synced both ways, renamed onto the record.
    int fd = openat(dir, "a.tmp", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    char ab[] = "ab", cd[] = "cd";
    struct iovec parts[2] = {{ab, 2}, {cd, 2}};
    ok &= Check(writev(fd, parts, 2) == 4, "writev");
    ok &= Check(pwrite(fd, "xyz", 3, 10) == 3, "pwrite");
    ok &= Check(ftruncate(fd, 5) == 0, "ftruncate");
    ok &= Check(fdatasync(fd) == 0, "fdatasync");
    ok &= Check(fchmod(fd, 0640) == 0, "fchmod");
    ok &= Check(fsync(fd) == 0, "fsync");
    ok &= Check(close(fd) == 0, "close");
    ok &= Check(renameat(dir, "a.tmp", AT_FDCWD, (folder + "/record").c_str()) == 0, "renameat");

    // A folder made through the dirfd, the dirfd synced; names relative to the working folder.
    ok &= Check(mkdirat(dir, "sub", 0700) == 0, "mkdirat");
    ok &= Check(fsync(dir) == 0, "fsync of the folder");
    ok &= Check(chdir((folder + "/sub").c_str()) == 0, "chdir");
    fd = open("rel", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ok &= Check(write(fd, "hello", 5) == 5, "write");
    close(fd);
    fd = open("rel", O_WRONLY | O_TRUNC | O_CLOEXEC);
    ok &= Check(fd >= 0, "open with O_TRUNC");
    close(fd);
    ok &= Check(link("rel", "../hard") == 0, "link");
    ok &= Check(symlink("rel", "soft") == 0, "symlink");
    ok &= Check(unlink("../hard") == 0, "unlink");

    // A file without a name, linked in through /proc once it is written.
    fd = open(".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0644);
    ok &= Check(fd >= 0 && write(fd, "unnamed", 7) == 7, "O_TMPFILE");
    std::string proc = "/proc/self/fd/" + std::to_string(fd);
    ok &= Check(linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, "named", AT_SYMLINK_FOLLOW) == 0, "linkat");
    close(fd);

    // stdio: the open and the close are seen, with the size at the close.
    FILE* file = std::fopen("../stdio", "w");
    ok &= Check(file && std::fputs("through stdio", file) >= 0, "fputs");
    ok &= Check(file && std::fclose(file) == 0, "fclose");
    ok &= Check(truncate("../stdio", 2) == 0, "truncate");

    // Not recorded: a read-only open, a write to a pipe.
    fd = open("rel", O_RDONLY | O_CLOEXEC);
    close(fd);
    int pipeFds[2];
    ok &= Check(pipe(pipeFds) == 0 && write(pipeFds[1], "x", 1) == 1, "pipe");
    close(pipeFds[0]);
    close(pipeFds[1]);

    // Four threads writing at once: every line stays whole.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::string name = "thread-" + std::to_string(t);
            int out = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            for (int i = 0; i < 200; ++i)
                if (write(out, "t", 1) != 1)
                    std::fprintf(stderr, "thread write failed\n");
            close(out);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    close(dir);
    return ok ? 0 : 1;
}
