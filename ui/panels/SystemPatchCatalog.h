#pragma once
#include "ui/panels/PatchCatalogSource.h"

// Fetches and reads a game's patch catalogue for each question. The panels ask
// on the GUI thread, so the whole fetch has a time limit.
class SystemPatchCatalog final : public PatchCatalogSource {
public:
    static constexpr long kConnectTimeoutSeconds = 3;
    static constexpr long kDefaultTimeLimitSeconds = 10;

    explicit SystemPatchCatalog(long timeLimitSeconds = kDefaultTimeLimitSeconds)
        : timeLimitSeconds(timeLimitSeconds) {}
    std::string NextPatchUrl(const std::string& catalogUrl) override;

private:
    long timeLimitSeconds;
};
