#include "ui/panels/SystemPanelWorkers.h"

#include "games/install/InstallRepair.h"
#include "games/patching/QuorPatcher.h"

namespace {

class PatcherJob final : public PatchJob {
public:
    explicit PatcherJob(std::unique_ptr<QuorPatcher> patcher) : patcher(std::move(patcher)) {}
    float Progress() override { return patcher->GetProgress(); }
    void Finish() override { patcher->Stop(); }
    Outcome Result() override {
        if (patcher->Succeeded())
            return Outcome::Succeeded;
        // No entry failed on its own: the file as a whole was refused.
        return patcher->FailedEntries() > 0 ? Outcome::EntriesFailed : Outcome::FileFailed;
    }

private:
    std::unique_ptr<QuorPatcher> patcher;
};

class CheckJob final : public RepairJob {
public:
    explicit CheckJob(std::unique_ptr<InstallRepair> repair) : repair(std::move(repair)) {}
    float Progress() override { return repair->GetProgress(); }
    std::string CurrentFile() override { return repair->GetCurrentFile(); }
    void Finish() override { repair->Stop(); }

private:
    std::unique_ptr<InstallRepair> repair;
};

}  // namespace

std::unique_ptr<PatchJob> SystemPanelWorkers::StartPatcher(const std::string& installFolder,
                                                           const std::string& patchFile) {
    auto patcher = std::make_unique<QuorPatcher>(installFolder, patchFile);
    if (!patcher->Start())
        return nullptr;
    return std::make_unique<PatcherJob>(std::move(patcher));
}

std::unique_ptr<RepairJob> SystemPanelWorkers::StartRepair(const std::string& installFolder,
                                                           const std::string& installManifestUrl,
                                                           const std::string& fileBaseUrl) {
    auto repair = std::make_unique<InstallRepair>(installFolder, installManifestUrl, fileBaseUrl);
    if (!repair->Start())
        return nullptr;
    return std::make_unique<CheckJob>(std::move(repair));
}
