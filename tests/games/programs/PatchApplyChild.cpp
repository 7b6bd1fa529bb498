// Applies one patch file with QuorPatcher, as the launcher would, for tests that
// must kill the process or limit it:
//   quor_patch_child INSTALL_FOLDER PATCH_FILE [FILE_SIZE_LIMIT]
// Prints "progress P" whenever the progress moves and "done 1" / "done 0" at the
// end; exit status 0 when every entry succeeded, 3 otherwise. With a file size
// limit, SIGXFSZ is ignored so that writes past it fail with EFBIG, as on a full disk.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

#include "games/patching/QuorPatcher.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s INSTALL_FOLDER PATCH_FILE [FILE_SIZE_LIMIT]\n", argv[0]);
        return 2;
    }
    if (argc > 3) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlim_t limit = std::strtoull(argv[3], nullptr, 10);
        struct rlimit r = {limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &r) != 0) {
            std::perror("setrlimit");
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QuorPatcher patcher(argv[1], argv[2]);
    if (!patcher.Start())
        return 2;
    float last = -1.0f;
    for (;;) {
        float p = patcher.GetProgress();
        if (p != last) {
            std::printf("progress %.6f\n", p);
            last = p;
        }
        if (p >= 1.0f)
            break;
        std::this_thread::yield();
    }
    patcher.Stop();
    bool ok = patcher.Succeeded();
    std::printf("done %d\n", ok ? 1 : 0);
    return ok ? 0 : 3;
}
