#pragma once
#include <memory>
#include <string>

#include "ui/panels/PatchJob.h"
#include "ui/panels/RepairJob.h"

// Starts the panels' workers; null when the thread could not be started.
class PanelWorkers {
public:
    virtual ~PanelWorkers() = default;
    virtual std::unique_ptr<PatchJob> StartPatcher(const std::string& installFolder, const std::string& patchFile) = 0;
    virtual std::unique_ptr<RepairJob> StartRepair(const std::string& installFolder,
                                                   const std::string& installManifestUrl,
                                                   const std::string& fileBaseUrl) = 0;
};
