#include "ui/panels/SystemPanelStore.h"

#include "core/settings/ConfigManager.h"
#include "core/settings/CredentialManager.h"
#include "core/settings/Prefs.h"

std::string SystemPanelStore::SavedLoginName() {
    return credentials ? credentials->GetLoginName() : std::string();
}

std::string SystemPanelStore::SavedLoginSecret() {
    return credentials ? credentials->GetLoginSecret() : std::string();
}

std::string SystemPanelStore::SavedAuthToken() {
    return credentials ? credentials->GetAuthToken() : std::string();
}

std::string SystemPanelStore::Language() {
    return ConfigManager::GetLanguage();
}

uint32_t SystemPanelStore::ReadTimesPlayed(int32_t gameId) {
    return Prefs::ReadNumber(kTimesPlayedGroup, std::to_string(gameId));
}

void SystemPanelStore::WriteTimesPlayed(int32_t gameId, uint32_t count) {
    Prefs::WriteNumber(kTimesPlayedGroup, std::to_string(gameId), count);
}

void SystemPanelStore::DeleteProductValue(const std::string& name) {
    ::DeleteProductValue(name);
}
