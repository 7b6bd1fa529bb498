// demo-publisher: the publisher's web service for trying Quor out, on 127.0.0.1.
//
//   demo-publisher [--port N] [--port-file FILE] [--log FILE] [--data DIR]
//                  [--record-dir DIR] [--quor-reg PROGRAM] [--bsdiff PROGRAM]
//                  [--play-seconds N] [--catalogue-latest 1|2|3] [--install-manifest-build 0|1|2|3]
//                  [--update-version N]
//                  [--manifest-refresh SECONDS] [--rate KBPS]
//                  [--fail-download GAME]... [--broken-installer GAME]...
//
// Everything it serves is made at start in DIR (by default a new temporary
// folder, removed again at the end); nothing is downloaded. Its first line of
// output is "PORT <n>", then "DATA <dir>", "LOG <file>" and "RECORDS <dir>".
// It serves until SIGINT or SIGTERM.
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "tools/demo-publisher/DemoContent.h"
#include "tools/demo-publisher/PublisherServer.h"

namespace fs = std::filesystem;

namespace {

int Usage(const char* why) {
    if (why)
        std::fprintf(stderr, "demo-publisher: %s\n", why);
    std::fputs(
        "usage: demo-publisher [--port N] [--port-file FILE] [--log FILE] [--data DIR]\n"
        "         [--record-dir DIR] [--quor-reg PROGRAM] [--bsdiff PROGRAM] [--play-seconds N]\n"
        "         [--catalogue-latest 1|2|3] [--install-manifest-build 0|1|2|3] [--update-version N]\n"
        "         [--manifest-refresh SECONDS]\n"
        "         [--rate KBPS] [--fail-download GAME]... [--broken-installer GAME]...\n",
        stderr);
    return 2;
}

bool Number(const char* text, long low, long high, long& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < low || v > high)
        return false;
    out = v;
    return true;
}

// quor-reg beside this program (the installed layout) or in the build tree's tools/.
std::string FindQuorReg() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec).parent_path();
    for (fs::path p : {self / "quor-reg", self.parent_path() / "quor-reg" / "quor-reg"}) {
        if (access(p.c_str(), X_OK) == 0)
            return p.string();
    }
    return "quor-reg";
}

bool WritePortFile(const std::string& path, int port) {
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << port << "\n";
        if (!out)
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    long port = 0;
    std::string portFile, logFile, dataFolder, recordFolder, quorReg, bsdiff = "bsdiff";
    long playSeconds = 2;
    PublisherSettings settings;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h")
            return Usage(nullptr), 0;
        if (i + 1 >= argc)
            return Usage(("missing value for " + a).c_str());
        const char* v = argv[++i];
        long n = 0;
        if (a == "--port" && Number(v, 0, 65535, n))
            port = n;
        else if (a == "--port-file")
            portFile = v;
        else if (a == "--log")
            logFile = v;
        else if (a == "--data")
            dataFolder = v;
        else if (a == "--record-dir")
            recordFolder = v;
        else if (a == "--quor-reg")
            quorReg = v;
        else if (a == "--bsdiff")
            bsdiff = v;
        else if (a == "--play-seconds" && Number(v, 0, 3600, n))
            playSeconds = n;
        else if (a == "--catalogue-latest" && Number(v, 1, DemoGame::kBuilds, n))
            settings.catalogueLatest = static_cast<int>(n);
        else if (a == "--install-manifest-build" && Number(v, 0, DemoGame::kBuilds, n))
            settings.installManifestBuild = static_cast<int>(n);
        else if (a == "--update-version" && Number(v, 0, INT32_MAX, n))
            settings.updateVersion = static_cast<int32_t>(n);
        else if (a == "--manifest-refresh" && Number(v, 0, INT32_MAX, n))
            settings.manifestRefreshTime = static_cast<int32_t>(n);
        else if (a == "--rate" && Number(v, 0, 1 << 20, n))
            settings.rateKbps = static_cast<int>(n);
        else if ((a == "--fail-download" || a == "--broken-installer") && DemoGame::Find(v))
            (a == "--fail-download" ? settings.failDownload : settings.brokenInstaller).insert(DemoGame::Find(v)->name);
        else
            return Usage(("bad option or value: " + a + " " + v).c_str());
    }

    // SIGINT and SIGTERM end the service through one waiting thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    bool ownData = dataFolder.empty();
    if (ownData) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quor-demo-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::fprintf(stderr, "demo-publisher: cannot make a temporary folder: %s\n", std::strerror(errno));
            return 1;
        }
        dataFolder = pattern;
    }
    std::error_code ec;
    fs::create_directories(dataFolder, ec);
    dataFolder = fs::absolute(dataFolder, ec).string();
    if (recordFolder.empty())
        recordFolder = dataFolder + "/records";
    if (logFile.empty())
        logFile = dataFolder + "/requests.log";

    DemoContent::Options options;
    options.dataFolder = dataFolder;
    options.recordFolder = fs::absolute(recordFolder, ec).string();
    options.quorReg = quorReg.empty() ? FindQuorReg() : fs::absolute(quorReg, ec).string();
    options.bsdiff = bsdiff;
    options.playSeconds = static_cast<int>(playSeconds);
    DemoContent content;
    std::string error;
    int status = 0;
    if (!content.Generate(options, error)) {
        std::fprintf(stderr, "demo-publisher: %s\n", error.c_str());
        status = 1;
    }
    PublisherServer server(content, settings);
    int bound = -1;
    if (status == 0 && !server.OpenLog(logFile)) {
        std::fprintf(stderr, "demo-publisher: cannot open the log %s\n", logFile.c_str());
        status = 1;
    }
    if (status == 0 && (bound = server.Bind(static_cast<int>(port))) < 0) {
        std::fprintf(stderr, "demo-publisher: cannot listen on 127.0.0.1:%ld\n", port);
        status = 1;
    }
    if (status == 0 && !portFile.empty() && !WritePortFile(portFile, bound)) {
        std::fprintf(stderr, "demo-publisher: cannot write %s\n", portFile.c_str());
        status = 1;
    }
    if (status == 0) {
        std::printf("PORT %d\nDATA %s\nLOG %s\nRECORDS %s\n", bound, dataFolder.c_str(), logFile.c_str(),
                    options.recordFolder.c_str());
        std::fflush(stdout);
        std::thread stopper([&] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            // Holds also for a signal sent as soon as the port is printed, before Run.
            server.Stop();
        });
        server.Run();
        // Run may also end on its own (a failed accept loop): let the stopper go too.
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    }
    if (ownData)
        fs::remove_all(dataFolder, ec);
    return status;
}
