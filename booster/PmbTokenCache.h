#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "booster/PmbRecords.h"

// The booster token of the process (one in the library's state), fetched on
// first use. Each operation holds the cache's re-entrant lock throughout,
// requests included (their overall limit bounds them).
class PmbTokenCache {
public:
    PmbTokenCache() = default;
    PmbTokenCache(const PmbTokenCache&) = delete;
    PmbTokenCache& operator=(const PmbTokenCache&) = delete;

    // The current net token: fetched when none is held, validated every time.
    std::wstring Current();
    // Writes the disk token file and asks the booster to validate the held token;
    // a refused token is forgotten (its net token kept).
    bool Validate();
    // A new token in place of the old one; its net token (empty without a reply).
    std::wstring Refresh();

private:
    void WriteDiskToken();

    std::recursive_mutex lock;
    std::unique_ptr<TokenResp> token;
    std::wstring netToken;
};
