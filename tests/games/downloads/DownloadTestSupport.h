#pragma once
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/Prefs.h"
#include "games/downloads/FolderDialog.h"
#include "games/downloads/TransferManager.h"
#include "games/downloads/TransferSettings.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/fixtures/WaitUntil.h"

// Transfers under a loaded machine take longer than the usual wait.
inline constexpr int kDownloadWaitMs = 30000;

struct RecordedEvent {
    std::string category, action, label;
    bool operator==(const RecordedEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const RecordedEvent& e) {
    return out << "{" << e.category << ", " << e.action << ", " << e.label << "}";
}

// Telemetry events as the transfers queue them.
class EventLog {
public:
    void Add(const std::string& c, const std::string& a, const std::string& l) {
        std::lock_guard<std::mutex> g(lock);
        events.push_back({c, a, l});
    }
    std::vector<RecordedEvent> All() const {
        std::lock_guard<std::mutex> g(lock);
        return events;
    }
    void Clear() {
        std::lock_guard<std::mutex> g(lock);
        events.clear();
    }
    std::vector<RecordedEvent> OfCategory(const std::string& category) const {
        std::vector<RecordedEvent> out;
        for (const auto& e : All())
            if (e.category == category)
                out.push_back(e);
        return out;
    }

private:
    mutable std::mutex lock;
    std::vector<RecordedEvent> events;
};

// A folder dialog that answers from a script and remembers its prompts.
class ScriptedFolderDialog : public FolderDialog {
public:
    std::deque<Result> answers;
    std::vector<std::string> prompts;

    Result Show(const std::string& prompt) override {
        prompts.push_back(prompt);
        if (answers.empty())
            return {};
        Result r = answers.front();
        answers.pop_front();
        return r;
    }
    void Choose(const std::string& path) { answers.push_back({Outcome::Chosen, path}); }
    void Cancel() { answers.push_back({Outcome::Cancelled, {}}); }
};

// A fresh world for a download test: environment, page, server, recorded
// events, free space under the test's control, and settings that use them.
struct DownloadWorld {
    TestEnvironment env;
    RecordingPageCallSink page;
    TestHttpServer server;
    EventLog events;
    ScriptedFolderDialog dialog;
    std::optional<uint64_t> freeBytes;     // unset: the real file system
    std::function<bool(int fd)> syncFile;  // unset: the real fdatasync
    int64_t now = 1'700'000'000;

    TransferSettings Settings() {
        TransferSettings s;
        s.startManagerThread = false;
        s.clock = [this] { return now; };
        s.queueEvent = [this](const std::string& c, const std::string& a, const std::string& l) {
            events.Add(c, a, l);
        };
        s.freeSpace = [this](const std::string& folder) -> std::optional<DiskFreeBytes> {
            if (!freeBytes)
                return GetDiskFreeBytes(folder);
            return DiskFreeBytes{*freeBytes, *freeBytes, *freeBytes};
        };
        s.folderDialog = &dialog;
        s.syncFile = [this](int fd) { return syncFile ? syncFile(fd) : TransferSettings{}.SyncFile(fd); };
        return s;
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& call : page.CallsOf("showMessage"))
            texts.push_back(call.args.at(0));
        return texts;
    }
};

// Deterministic bytes of a given size (not a repeating short pattern, so that a
// shifted or stitched file cannot pass).
inline std::string TestBytes(size_t size, uint32_t seed = 1) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x & 0xFF);
    }
    return bytes;
}

// The registry values of a download, named by the address's first 155 characters.
inline uint32_t StoredState(const std::string& address) {
    return Prefs::ReadNumber("Downloads", address.substr(0, 155) + "_downloadState");
}

inline std::string StoredString(const std::string& address, const char* suffix) {
    return Prefs::ReadString("Downloads", address.substr(0, 155) + suffix);
}

// The GET requests for a path (the size probes are HEAD requests).
inline std::vector<LoggedRequest> Gets(const TestHttpServer& server, const std::string& path) {
    std::vector<LoggedRequest> gets;
    for (const auto& r : server.RequestsFor(path))
        if (r.method == "GET")
            gets.push_back(r);
    return gets;
}

// A transfer manager on a world whose step the test drives.
struct ManagerWorld : DownloadWorld {
    std::unique_ptr<TransferManager> manager;

    explicit ManagerWorld(int64_t stallSeconds = 60) {
        TransferSettings s = Settings();
        s.stallSeconds = stallSeconds;
        manager = std::make_unique<TransferManager>(s);
    }

    // The default save folder.
    std::string Folder() const { return env.Path("home/.local/share/Brindlemoor Quor!/"); }

    // Steps the manager until the address completed or failed: "complete",
    // "failed" or "timeout".
    std::string Finish(const std::string& address) {
        std::string outcome = "timeout";
        WaitUntil(
            [&] {
                manager->Update();
                for (const auto& a : manager->TakeCompleted())
                    if (a == address)
                        outcome = "complete";
                for (const auto& a : manager->TakeFailed())
                    if (a == address)
                        outcome = "failed";
                return outcome != "timeout";
            },
            60000);
        return outcome;
    }

    // Starts (or resumes) the address and steps the manager until it ends.
    std::string Session(const std::string& address) {
        return manager->StartDownload(address, false) ? Finish(address) : "not started";
    }

    // The libcurl results that "DownloadFailed" events carried.
    std::vector<std::string> FailureCodes() const {
        std::vector<std::string> codes;
        for (const auto& e : events.OfCategory("DownloadFailed"))
            if (e.action != "PausedOnExit" && !e.label.empty())
                codes.push_back(e.action);
        return codes;
    }
};

// What one sync through the settings' seam was asked for, with what the record
// of one address held at that moment: the order of barriers and records as a
// test reads it.
struct SyncCall {
    std::string path;   // the file or folder, links resolved
    int64_t size = -1;  // of a regular file
    uint32_t state = 0;
    std::string marks, durable, installer, saveFolder;

    bool IsOf(const std::string& name) const {
        return path.size() > name.size() &&
               path.compare(path.size() - name.size() - 1, std::string::npos, "/" + name) == 0;
    }
};

// Records every sync of a world's transfers and lets each through, or fails
// those that `fail` picks (errno EIO).
class SyncLog {
public:
    SyncLog(DownloadWorld& world, std::string address, std::function<bool(const SyncCall&)> fail = {})
        : world(world), address(std::move(address)), fail(std::move(fail)) {
        world.syncFile = [this](int fd) { return Sync(fd); };
    }
    ~SyncLog() { world.syncFile = nullptr; }
    std::vector<SyncCall> Calls() const {
        std::lock_guard<std::mutex> g(lock);
        return calls;
    }
    std::vector<SyncCall> Of(const std::string& name) const {
        std::vector<SyncCall> of;
        for (const SyncCall& call : Calls())
            if (call.IsOf(name))
                of.push_back(call);
        return of;
    }

private:
    bool Sync(int fd) {
        std::error_code ec;
        SyncCall call;
        call.path = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            call.size = st.st_size;
        call.state = StoredState(address);
        call.marks = StoredString(address, "_downloadFiles");
        call.durable = StoredString(address, "_downloadDurableBytes");
        call.installer = StoredString(address, "_downloadInstaller");
        call.saveFolder = StoredString(address, "_downloadSaveDirectory");
        bool failing = fail && fail(call);
        {
            std::lock_guard<std::mutex> g(lock);
            calls.push_back(call);
        }
        if (failing) {
            errno = EIO;
            return false;
        }
        return TransferSettings{}.SyncFile(fd);
    }

    DownloadWorld& world;
    const std::string address;
    const std::function<bool(const SyncCall&)> fail;
    mutable std::mutex lock;
    std::vector<SyncCall> calls;
};

// Lays out a download's record as an earlier session (or a power cut) left it:
// resumable (Failed) in the folder, with the files' marks and, when given, their
// durable lengths (one line per file).
inline void LayOutRecord(const std::string& address, const std::string& folder, const std::string& marks,
                         const std::optional<std::string>& durable) {
    const std::string stem = address.substr(0, 155);
    Prefs::WriteNumber("Downloads", stem + "_downloadState", 208);
    Prefs::WriteString("Downloads", stem + "_downloadSaveDirectory", folder);
    Prefs::WriteString("Downloads", stem + "_downloadAddress", address);
    Prefs::WriteString("Downloads", stem + "_downloadFiles", marks);
    if (durable)
        Prefs::WriteString("Downloads", stem + "_downloadDurableBytes", *durable);
}
