// One download in a process of its own, for the kill and full-disk tests.
//   quor_download_child ADDRESS [--file-size-limit BYTES]
// Runs the transfer manager as the launcher does, prints every telemetry event
// ("event CATEGORY|ACTION|LABEL") and page message ("message TEXT"), and ends
// with "complete" (exit 0), "failed" (exit 1) or "not started" (exit 3).
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "core/PageCallSink.h"
#include "games/downloads/TransferManager.h"

namespace {

std::mutex printLock;

void Print(const std::string& line) {
    std::lock_guard<std::mutex> guard(printLock);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

class PrintingPage final : public PageCallSink {
public:
    void showMessage(const std::string& text) override { Print("message " + text); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::string address = argv[1];
    if (argc == 4 && std::strcmp(argv[2], "--file-size-limit") == 0) {
        // A full disk: writes past the limit fail with EFBIG instead of a signal.
        std::signal(SIGXFSZ, SIG_IGN);
        rlim_t limit = std::strtoull(argv[3], nullptr, 10);
        struct rlimit r {
            limit, limit
        };
        if (setrlimit(RLIMIT_FSIZE, &r) != 0)
            return 2;
    }
    PrintingPage page;
    PageCallSink::Install(&page);
    TransferSettings settings;
    settings.updateIntervalMs = 50;
    settings.queueEvent = [](const std::string& c, const std::string& a, const std::string& l) {
        Print("event " + c + "|" + a + "|" + l);
    };
    int code = 3;
    {
        TransferManager manager(settings);
        if (!manager.StartDownload(address, false)) {
            Print("not started");
        } else {
            for (;;) {
                if (!manager.TakeCompleted().empty()) {
                    Print("complete");
                    code = 0;
                    break;
                }
                if (!manager.TakeFailed().empty()) {
                    Print("failed");
                    code = 1;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    PageCallSink::Install(nullptr);
    return code;
}
