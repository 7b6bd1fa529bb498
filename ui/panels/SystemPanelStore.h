#pragma once
#include "ui/panels/PanelStore.h"

class CredentialManager;

// The panels' registry values through the preferences, the credential manager
// it is given (none: no saved login) and the configuration.
class SystemPanelStore final : public PanelStore {
public:
    static constexpr const char* kTimesPlayedGroup = "TimesPlayed";

    explicit SystemPanelStore(CredentialManager* credentials) : credentials(credentials) {}

    std::string SavedLoginName() override;
    std::string SavedLoginSecret() override;
    std::string SavedAuthToken() override;
    std::string Language() override;
    uint32_t ReadTimesPlayed(int32_t gameId) override;
    void WriteTimesPlayed(int32_t gameId, uint32_t count) override;
    void DeleteProductValue(const std::string& name) override;

private:
    CredentialManager* credentials;  // nullable; outlives this
};
