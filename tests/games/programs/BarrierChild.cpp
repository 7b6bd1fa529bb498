// One operation of the download lock or the repair, as the launcher performs it,
// for tests that record its file-system calls:
//   quor_barrier_child lock SAVE_FOLDER/
//     takes the folder's download lock for the current user; prints "owned",
//     "other user" or "unusable"
//   quor_barrier_child repair INSTALL_FOLDER MANIFEST_URL FILE_BASE_URL
//     checks and repairs the installation to its end; prints "repaired"
// Exit status 0 when the operation ran, 2 on a wrong command line.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "games/downloads/DownloadLock.h"
#include "games/downloads/SaveFolder.h"
#include "games/downloads/TransferSettings.h"
#include "games/install/InstallRepair.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "lock") == 0) {
        DownloadLock::Result r = DownloadLock::Take(argv[2], GetCurrentUserName(), TransferSettings{});
        std::printf("%s\n", r == DownloadLock::Result::Owned       ? "owned"
                            : r == DownloadLock::Result::OtherUser ? "other user"
                                                                   : "unusable");
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "repair") == 0) {
        InstallRepair repair(argv[2], argv[3], argv[4]);
        if (!repair.Start())
            return 1;
        while (repair.GetProgress() < 1.0f)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        repair.Stop();
        std::printf("repaired\n");
        return 0;
    }
    std::fprintf(stderr, "usage: %s lock SAVE_FOLDER/ | repair INSTALL_FOLDER MANIFEST_URL FILE_BASE_URL\n", argv[0]);
    return 2;
}
