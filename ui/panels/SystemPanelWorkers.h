#pragma once
#include "ui/panels/PanelWorkers.h"

// The patcher and the installation check on threads of their own.
class SystemPanelWorkers final : public PanelWorkers {
public:
    std::unique_ptr<PatchJob> StartPatcher(const std::string& installFolder, const std::string& patchFile) override;
    std::unique_ptr<RepairJob> StartRepair(const std::string& installFolder, const std::string& installManifestUrl,
                                           const std::string& fileBaseUrl) override;
};
