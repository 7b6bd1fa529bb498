#include "tests/e2e/RoadRig.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/WaitUntil.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDelivered = "delivered ";
constexpr const char* kStatePrefix = "$('#main-content').brq('setGamePanelState', ";

std::string Made(const std::string& folder) {
    fs::create_directories(folder);
    return folder;
}

// Quor by a hard link where the file system allows one (the build's own binary
// stays where it is), else a copy: the program folder is where the binary is.
void PlaceProgram(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::create_hard_link(from, to, ec);
    if (ec)
        fs::copy_file(from, to, ec);
    if (ec)
        throw std::runtime_error("cannot place " + from + " at " + to + ": " + ec.message());
}

}  // namespace

RoadRig::RoadRig(const std::vector<std::string>& publisherOptions)
    : publisher(Made(env.Path("publisher")), publisherOptions) {
    if (!publisher.Ready())
        throw std::runtime_error("the demo publisher did not start: " +
                                 TestEnvironment::ReadFile(env.Path("publisher/stderr")));
    // The program folder: Quor, its configuration and images, the scripted page.
    const std::string built = std::string(QUOR_BINARY_DIR) + "/app/";
    programFolder = Made(env.Path("program")) + "/";
    PlaceProgram(built + "Quor", programFolder + "Quor");
    fs::copy_file(built + "config.xml", programFolder + "config.xml");
    fs::copy(built + "resources", programFolder + "resources", fs::copy_options::recursive);
    fs::copy_file(std::string(QUOR_SOURCE_DIR) + "/tests/e2e/page/brq_interface.html",
                  programFolder + "brq_interface.html");
    SetScript("");

    // A browser is never started: xdg-open notes what it was given.
    openedLog = env.Path("xdg-open.log");
    std::string opener = env.WriteFile("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + openedLog + "'\n");
    chmod(opener.c_str(), 0755);

    pageCallLog = env.Path("page-calls.log");
    activityLog = env.Path("activity.log");
    const char* path = std::getenv("PATH");
    // WebKit tells a page's type from the MIME database of XDG_DATA_DIRS.
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    environment = {
        "DISPLAY=" + display.Name(),
        "PATH=" + env.Path("bin") + ":" + (path ? path : "/usr/bin:/bin"),
        "XDG_DATA_DIRS=" + std::string(dataDirs ? dataDirs : "") + ":/usr/local/share:/usr/share",
        "QUOR_SERVICE_URL=" + publisher.Base(),
        "QUOR_PAGE_CALL_LOG=" + pageCallLog,
        "QUOR_ACTIVITY_LOG=" + activityLog,
    };
}

const DemoGame& RoadRig::Game(const std::string& name) {
    const DemoGame* game = DemoGame::Find(name);
    if (!game)
        throw std::runtime_error("no demo game " + name);
    return *game;
}

void RoadRig::SetScript(const std::string& script) {
    env.WriteFile("program/script.js", script + "\n");
}

std::unique_ptr<QuorProcess> RoadRig::Start(const std::vector<std::string>& arguments) const {
    return std::make_unique<QuorProcess>(arguments, environment, programFolder + "Quor");
}

std::vector<std::string> RoadRig::Calls() const {
    std::vector<std::string> calls;
    for (const std::string& line : FileLines(pageCallLog))
        if (line.rfind(kDelivered, 0) == 0)
            calls.push_back(line.substr(std::string(kDelivered).size()));
    return calls;
}

int RoadRig::WaitForCall(const std::string& prefix, size_t from, int timeoutMs) const {
    int found = -1;
    WaitUntil(
        [&] {
            std::vector<std::string> calls = Calls();
            for (size_t i = from; i < calls.size(); ++i) {
                if (calls[i].rfind(prefix, 0) == 0) {
                    found = static_cast<int>(i);
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::vector<int> RoadRig::States(int32_t gameId) const {
    std::string prefix = kStatePrefix + std::to_string(gameId) + ", '";
    std::vector<int> states;
    for (const std::string& call : Calls())
        if (call.rfind(prefix, 0) == 0)
            states.push_back(std::atoi(call.c_str() + prefix.size()));
    return states;
}

bool RoadRig::WaitForStates(int32_t gameId, const std::vector<int>& run, int timeoutMs) const {
    return WaitUntil(
        [&] {
            std::vector<int> states = States(gameId);
            return std::search(states.begin(), states.end(), run.begin(), run.end()) != states.end();
        },
        timeoutMs);
}

bool RoadRig::WaitForRequest(const std::string& part, int timeoutMs) const {
    return WaitUntil(
        [&] {
            std::vector<std::string> lines = Requests();
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& line) { return line.find(part) != std::string::npos; });
        },
        timeoutMs);
}

std::vector<std::string> RoadRig::Runs(const DemoGame& game) const {
    return FileLines(publisher.RecordFolder() + "/" + game.slug + "-runs.log");
}

std::vector<std::string> RoadRig::Opened() const {
    return FileLines(openedLog);
}

void RoadRig::InstallOutside(const DemoGame& game) const {
    std::string installer = publisher.DataFolder() + "/installers/" + game.slug + "/" + game.setupName;
    ChildProcess::Result run = ChildProcess::Run({installer});
    if (run.exitCode != 0)
        throw std::runtime_error("the installer of " + game.name + " failed: " + run.err);
}

std::string RoadRig::GameFolder(const DemoGame& game) const {
    return env.Path("home/Games/" + game.name) + "/";
}

std::string RoadRig::BuildFolder(const DemoGame& game, int build) const {
    return publisher.DataFolder() + "/builds/" + game.slug + "/" + std::to_string(build) + "/";
}

std::vector<std::pair<std::string, std::string>> FolderFiles(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file())
            files.emplace_back(fs::relative(it->path(), folder).string(), TestEnvironment::ReadFile(it->path()));
    }
    std::sort(files.begin(), files.end());
    return files;
}
