#include "core/diagnostics/DiagnosticTask.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/PageCallSink.h"
#include "core/PanelState.h"
#include "core/net/Ping.h"
#include "core/settings/RegistryReference.h"
#include "core/text/StringUtils.h"
#include "platform/PathParts.h"

namespace {

constexpr const char* kInstallKey = "HKEY_CURRENT_USER\\SOFTWARE\\Brindlemoor\\Quor!";
constexpr int kPingsPerTarget = 4;

bool Is(int32_t number, PanelState state) {
    return number == ToNumber(state);
}

bool HasDownloadedFiles(int32_t state) {
    return Is(state, PanelState::Downloaded) || Is(state, PanelState::DiscAvailable) ||
           Is(state, PanelState::Installing) || Is(state, PanelState::FailedDownload);
}

std::string SlashForm(const std::string& path) {
    return ReplaceAll(path, "\\", "/");
}

// The size in bytes of a file that opens for reading; -1 when it does not, or
// is no regular file. Without O_NONBLOCK a FIFO in its place would hold the
// open, and the task queue, until a writer came.
int64_t OpenedFileSize(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    int64_t size = (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ? static_cast<int64_t>(st.st_size) : -1;
    close(fd);
    return size;
}

// Fifteen significant digits in the general format: whole byte counts below
// 10^15 come out as integers.
std::string SizeForm(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", static_cast<double>(bytes));
    return text;
}

int64_t WholeMegabytes(int64_t bytes) {
    constexpr int64_t kMegabyte = 1048576;
    return (bytes + kMegabyte - 1) / kMegabyte;
}

std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

}  // namespace

DiagnosticTask::DiagnosticTask(DiagnosticSnapshot snapshot, Clock& clock, Pinger ping)
    : snapshot(std::move(snapshot)), clock(clock), ping(ping ? std::move(ping) : Pinger(Ping)) {}

void DiagnosticTask::Run() {
    PageCallSink::Current().displayDiagnostics(BuildReport());
}

std::string DiagnosticTask::HostOf(const std::string& address) {
    std::string rest = address;
    size_t scheme = rest.find("://");
    if (scheme != std::string::npos)
        rest = rest.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    size_t at = rest.rfind('@');
    if (at != std::string::npos)
        rest = rest.substr(at + 1);
    if (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        return close == std::string::npos ? rest.substr(1) : rest.substr(1, close - 1);
    }
    return rest.substr(0, rest.find(':'));
}

std::string DiagnosticTask::BuildReport() {
    std::string r = "Quor! Diagnostic Information <br>";

    time_t now = static_cast<time_t>(clock.Now());
    struct tm local {};
    localtime_r(&now, &local);
    r += "Date: " + std::to_string(local.tm_year + 1900) + "-" + std::to_string(local.tm_mon + 1) + "-" +
         std::to_string(local.tm_mday) + " " + std::to_string(local.tm_hour) + ":" + std::to_string(local.tm_min) +
         ":" + std::to_string(local.tm_sec) + "<br>";
    r += "Build Version: " + std::to_string(QUOR_BUILD_NUMBER) + "<br>";
    r += "Manifest Version: " + snapshot.manifestVersion + "<br>";

    // The per-user value, as the report has always read it; the plug-ins use the
    // machine-wide one.
    std::string installDir = SlashForm(ReadRegistryString(kInstallKey, "Install_Dir"));
    r += "Install Dir: " + installDir + "<br>";
    r += "UrlEncoded: " + UrlEncode(installDir) + "<br>";

    r += "<br>-== Network Debug ==-<br>";
    const std::string host = HostOf(snapshot.serviceBaseUrl);
    const std::string labels[] = {"Ping to LA (" + host + "): ", "Ping to Washington DC (" + host + "): ",
                                  "Ping to Frankfurt, Germany (" + host + "): ", "Ping to " + host + ": "};
    for (const std::string& label : labels) {
        std::string results[kPingsPerTarget];
        for (std::string& result : results)
            result = ping(host);
        r += label;
        for (int i = kPingsPerTarget - 1; i >= 0; --i)
            r += results[i] + (i > 0 ? " " : "");
        r += "<br>";
    }

    r += "<br>-== Active Transfers ==-<br><br>";
    if (snapshot.transfers.empty())
        r += "No active downloads<br>";
    for (const DiagnosticSnapshot::Transfer& transfer : snapshot.transfers) {
        r += transfer.address + "<br>";
        const std::string local = transfer.saveFolder + transfer.currentFileName;
        const std::string localSlash = SlashForm(local);
        r += "Active download path: " + localSlash + "<br>";
        r += "Active encoded path: " + UrlEncode(localSlash) + "<br>";
        r += "Active download size: " + SizeForm(OpenedFileSize(local)) + "<br>";
        r += "<br>-== Active download completed files ==-<br><br>";
        bool anyFile = false;
        for (const std::string& url : transfer.urls) {
            if (url.empty())
                continue;
            const std::string path = transfer.saveFolder + GetUrlFileName(url);
            int64_t size = OpenedFileSize(path);
            if (size < 0)
                continue;
            anyFile = true;
            const std::string pathSlash = SlashForm(path);
            r += "Downloaded file path: " + pathSlash + "<br>";
            r += "Downloaded encoded path: " + UrlEncode(pathSlash) + "<br>";
            r += "Downloaded file size: " + std::to_string(WholeMegabytes(size)) + " MB" + "<br>";
        }
        r += anyFile ? "<br>" : "No fully downloaded files for this transfer<br>";
    }

    r += "<br>-== Games ==-<br>";
    for (const DiagnosticSnapshot::Game& game : snapshot.games) {
        if (Is(game.state, PanelState::Hidden))
            continue;
        r += "Game name : " + game.name + "<br>";
        r += "State : " + std::to_string(game.state) + "<br>";
        r += "PackageUrl : " + game.packageUrl + "<br>";
        r += "TransferState : " + std::to_string(game.downloadStatus) + "<br>";
        if (!game.installPath.empty()) {
            r += "InstalledExe : " + SlashForm(game.installPath) + "<br>";
            r += "InstalledExe Encoded : " + UrlEncode(game.installPath) + "<br>";
        }
        if (HasDownloadedFiles(game.state)) {
            for (const std::string& part : SplitAtCommas(game.packageUrl)) {
                const std::string name = platform::BaseName(part);
                const std::string local = game.saveFolder + name;
                r += "<br>-- Downloaded File --<br>Size: " + SizeForm(OpenedFileSize(local)) +
                     "<br>Path: " + SlashForm(local) + "<br>Encoded Path: " + UrlEncode(local) + "<br>";
            }
        }
        r += "<br>";
    }
    return r;
}
