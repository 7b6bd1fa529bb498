// Downloads one address into a folder the way the launcher does (size probe,
// lock, resume rules, the transfer's own thread); bench/download.sh times it.
//   bench_download URL FOLDER
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "games/downloads/HttpTransfer.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    std::string folder = argv[2];
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    TransferSettings settings;
    settings.queueEvent = [](const std::string&, const std::string&, const std::string&) {};
    HttpTransfer transfer(argv[1], settings);
    if (transfer.Start(folder, false) != HttpTransfer::kStarted)
        return 1;
    while (!transfer.IsComplete() && !transfer.IsFailed())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (!transfer.IsComplete()) {
        std::fprintf(stderr, "download failed: %d\n", transfer.FailureCode());
        return 1;
    }
    return 0;
}
