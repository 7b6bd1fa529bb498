#include "tests/ui/panels/PanelRig.h"

#include <cstdio>
#include <unistd.h>

namespace {

class FakePatchJob final : public PatchJob {
public:
    explicit FakePatchJob(std::shared_ptr<PanelRig::Work> work) : work(std::move(work)) {}
    float Progress() override { return work->progress; }
    void Finish() override { work->finished = true; }
    Outcome Result() override { return work->outcome; }

private:
    std::shared_ptr<PanelRig::Work> work;
};

class FakeRepairJob final : public RepairJob {
public:
    explicit FakeRepairJob(std::shared_ptr<PanelRig::Work> work) : work(std::move(work)) {}
    float Progress() override { return work->progress; }
    std::string CurrentFile() override { return work->currentFile; }
    void Finish() override { work->finished = true; }

private:
    std::shared_ptr<PanelRig::Work> work;
};

class FakeProgram final : public RunningProgram {
public:
    explicit FakeProgram(std::shared_ptr<PanelRig::Process> process) : process(std::move(process)) {}
    bool HasEnded() override { return process->ended; }

private:
    std::shared_ptr<PanelRig::Process> process;
};

void Note(PanelRig::Journal* journal, const std::string& line) {
    if (journal)
        journal->push_back(line);
}

}  // namespace

// ---------------------------------------------------------------- events

void PanelRig::Events::QueueEvent(const std::string& category, const std::string& action, const std::string& label) {
    events.push_back(category + "/" + action + "/" + label);
    Note(journal, "event " + category + "/" + action);
}

void PanelRig::Events::QueueDownloadPopup(int32_t delaySeconds, const std::string& address) {
    events.push_back("popup/" + std::to_string(delaySeconds) + "/" + address);
}

int PanelRig::Events::Count(const std::string& text) const {
    int n = 0;
    for (const std::string& e : events) {
        size_t first = e.find('/');
        size_t second = e.find('/', first + 1);
        if (e.compare(first + 1, second - first - 1, text) == 0 || e.compare(0, first, text) == 0)
            ++n;
    }
    return n;
}

// ---------------------------------------------------------------- transfers

bool PanelRig::Transfers::StartDownload(const std::string& address, bool askUser) {
    Note(journal, "StartDownload " + address + (askUser ? " ask" : " quiet"));
    if (refuse.count(address))
        return false;
    held.insert(address);
    status[address] = DownloadStatus::Incomplete;
    return true;
}

bool PanelRig::Transfers::PauseTransfer(const std::string& address) {
    Note(journal, "Pause " + address);
    return true;
}

bool PanelRig::Transfers::ResumeTransfer(const std::string& address) {
    Note(journal, "Resume " + address);
    return true;
}

void PanelRig::Transfers::CancelTransfer(const std::string& address) {
    Note(journal, "Cancel " + address);
    held.erase(address);
    status[address] = DownloadStatus::None;
}

void PanelRig::Transfers::StopAll() {
    Note(journal, "StopAll");
}

DownloadStatus PanelRig::Transfers::LoadStatus(const std::string& address) {
    auto it = status.find(address);
    return it == status.end() ? DownloadStatus::None : it->second;
}

void PanelRig::Transfers::SaveState(const std::string& address, DownloadState state) {
    Note(journal, "SaveState " + address + " " + std::to_string(static_cast<int>(state)));
    status[address] = StatusFromStoredCode(static_cast<uint32_t>(state));
}

void PanelRig::Transfers::ResetDownload(const std::string& address) {
    Note(journal, "Reset " + address);
    if (LoadStatus(address) == DownloadStatus::Incomplete)
        return;
    auto it = installer.find(address);
    if (it != installer.end())
        unlink(it->second.c_str());
}

void PanelRig::Transfers::ReleaseActive() {
    if (active > 0)
        --active;
}

void PanelRig::Transfers::Complete(const std::string& address) {
    held.erase(address);
    status[address] = DownloadStatus::Complete;
}

void PanelRig::Transfers::Fail(const std::string& address) {
    held.erase(address);
    status[address] = DownloadStatus::Failed;
}

// ---------------------------------------------------------------- location, catalogue

std::string PanelRig::Locator::ProgramPath(const ManifestLocation& location) {
    auto it = program.find(location.installkey);
    return keys.count(location.installkey) && it != program.end() ? it->second : std::string();
}

std::string PanelRig::Locator::InstallFolder(const ManifestLocation& location) {
    auto it = folder.find(location.installkey);
    return keys.count(location.installkey) && it != folder.end() ? it->second : std::string();
}

std::string PanelRig::Patches::NextPatchUrl(const std::string& catalogUrl) {
    ++fetches;
    return next[catalogUrl];
}

// ---------------------------------------------------------------- workers, programs

std::unique_ptr<PatchJob> PanelRig::Workers::StartPatcher(const std::string& installFolder,
                                                          const std::string& patchFile) {
    Note(journal, "StartPatcher " + patchFile);
    if (refuse)
        return nullptr;
    auto work = std::make_shared<Work>();
    work->folder = installFolder;
    work->file = patchFile;
    if (!outcomes.empty()) {
        work->outcome = outcomes.front();
        outcomes.erase(outcomes.begin());
    }
    patches.push_back(work);
    return std::make_unique<FakePatchJob>(work);
}

std::unique_ptr<RepairJob> PanelRig::Workers::StartRepair(const std::string& installFolder,
                                                          const std::string& installManifestUrl,
                                                          const std::string& fileBaseUrl) {
    Note(journal, "StartRepair " + installFolder);
    if (refuse)
        return nullptr;
    auto work = std::make_shared<Work>();
    work->folder = installFolder;
    work->manifestUrl = installManifestUrl;
    work->baseUrl = fileBaseUrl;
    repairs.push_back(work);
    return std::make_unique<FakeRepairJob>(work);
}

std::unique_ptr<RunningProgram> PanelRig::Programs::Start(const std::string& path, const std::string& parameters,
                                                          std::string* failure) {
    starts.push_back(path + "|" + parameters);
    Note(journal, "Start " + path + "|" + parameters);
    if (refuseFirst > 0 || refuse.count(path) || path.empty()) {
        if (refuseFirst > 0)
            --refuseFirst;
        if (failure)
            *failure = "No such file or directory";
        return nullptr;
    }
    auto process = std::make_shared<Process>();
    processes.push_back(process);
    return std::make_unique<FakeProgram>(process);
}

bool PanelRig::Programs::CanStart(const std::string& path, std::string* failure) {
    ++canStartAsked;
    if (!unstartable.count(path))
        return true;
    if (failure)
        *failure = "QuorSetup.exe is a Windows program, and wine is not installed";
    return false;
}

void PanelRig::Programs::EndAll() {
    for (auto& p : processes)
        p->ended = true;
}

std::string PanelRig::Disc::FindDiscInstall(const std::vector<std::string>&, const std::vector<std::string>&) {
    ++searches;
    return disc.empty() ? std::string() : install;
}

bool PanelRig::CheckTimes::IsCheckDue(const std::string& game, bool shortInterval) {
    auto it = times.find(game);
    int64_t last = it == times.end() ? 0 : it->second;
    return clock.Now() > last + (shortInterval ? 3600 : 7200);
}

// ---------------------------------------------------------------- host

void PanelRig::Host::ShowWindow() {
    Note(journal, "ShowWindow");
}

void PanelRig::Host::ShowMessage(int messageId) {
    messages.push_back(messageId);
    Note(journal, "message " + std::to_string(messageId));
}

void PanelRig::Host::ShowError(const std::string& text) {
    errors.push_back(text);
    Note(journal, "error " + text);
}

bool PanelRig::Host::OpenUrl(const std::string& address) {
    opened.push_back(address);
    Note(journal, "OpenUrl " + address);
    if (!openSucceeds)
        messages.push_back(28);
    return openSucceeds;
}

std::string PanelRig::Host::FetchUpdateInstaller(const std::string& address) {
    Note(journal, "Fetch " + address);
    return fetchBody;
}

void PanelRig::Host::StopThreadsForUpdate() {
    Note(journal, "StopThreads");
}
void PanelRig::Host::CloseForUpdate() {
    Note(journal, "Close");
}
void PanelRig::Host::Pause(int64_t milliseconds) {
    Note(journal, "Pause " + std::to_string(milliseconds));
}
void PanelRig::Host::ExitForUpdate() {
    Note(journal, "Exit");
}

// ---------------------------------------------------------------- the rig

PanelRig::PanelRig() {
    events.journal = &journal;
    transfers.journal = &journal;
    workers.journal = &journal;
    programs.journal = &journal;
    host.journal = &journal;
    transfers.defaultFolder = env.Path("Downloads/");
    services.page = &page;
    services.events = &events;
    services.store = &store;
    services.transfers = &transfers;
    services.location = &locator;
    services.patches = &patches;
    services.workers = &workers;
    services.programs = &programs;
    services.disc = &disc;
    services.checkTimes = &checkTimes;
    services.host = &host;
}

std::unique_ptr<GamePanel> PanelRig::Build(const ManifestEntry& entry, bool selfUpdate) {
    auto panel = std::make_unique<GamePanel>(services, entry, selfUpdate);
    Forget();
    return panel;
}

void PanelRig::Forget() {
    page.calls.clear();
    events.events.clear();
    journal.clear();
    host.messages.clear();
}

ManifestEntry PanelRig::Entry(const std::string& name, int32_t id) const {
    ManifestEntry entry;
    entry.id = id;
    entry.name = name;
    entry.homepage = "http://127.0.0.1/" + name;
    entry.banner = "banner.png";
    entry.iconurl = "icon.png";
    entry.url = "http://127.0.0.1/dl/" + name + ".exe";
    entry.patchcatalog = "http://127.0.0.1/catalog/" + name + ".xml";
    entry.exename = name;
    entry.locations.push_back({"HKEY_CURRENT_USER\\Software\\Demo\\" + name, "Folder", "Program"});
    return entry;
}

void PanelRig::Install(const ManifestEntry& entry) {
    for (const ManifestLocation& location : entry.locations) {
        std::string folder = env.Path("games/" + entry.name + "/");
        std::string program = env.WriteFile("games/" + entry.name + "/" + entry.name, "#!/bin/sh\n");
        locator.keys.insert(location.installkey);
        locator.folder[location.installkey] = folder;
        locator.program[location.installkey] = program;
    }
}

void PanelRig::Uninstall(const ManifestEntry& entry) {
    for (const ManifestLocation& location : entry.locations) {
        unlink(locator.program[location.installkey].c_str());
        locator.keys.erase(location.installkey);
    }
}

std::string PanelRig::Downloaded(const std::string& address, const std::string& name) {
    std::string path = env.WriteFile("Downloads/" + name, "#!/bin/sh\n");
    transfers.Complete(address);
    transfers.installer[address] = path;
    return path;
}
