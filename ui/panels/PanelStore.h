#pragma once
#include <cstdint>
#include <string>

// What the panels keep in and read from the registry: the play counts, the saved
// login and token, the interface language and the product key's values.
class PanelStore {
public:
    virtual ~PanelStore() = default;

    virtual std::string SavedLoginName() = 0;
    virtual std::string SavedLoginSecret() = 0;
    virtual std::string SavedAuthToken() = 0;  // empty when none or expired
    virtual std::string Language() = 0;        // "en", "tr", "de", "es" or "pt"
    // Group "TimesPlayed", one number per game id in decimal; absent reads 0.
    virtual uint32_t ReadTimesPlayed(int32_t gameId) = 0;
    virtual void WriteTimesPlayed(int32_t gameId, uint32_t count) = 0;
    // A value directly under the product key; nothing is reported.
    virtual void DeleteProductValue(const std::string& name) = 0;
};
