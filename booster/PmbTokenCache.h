#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "booster/PmbRecords.h"

// The booster token of the process, fetched on first use. Each operation holds
// the cache's re-entrant lock throughout, requests included.
class PmbTokenCache {
public:
    static PmbTokenCache& Get();

    // The current net token: fetched when none is held, validated every time.
    std::wstring Current();
    // Writes the disk token file and asks the booster to validate the held token;
    // a refused token is forgotten (its net token kept).
    bool Validate();
    // A new token in place of the old one; its net token (empty without a reply).
    std::wstring Refresh();

private:
    PmbTokenCache() = default;
    void WriteDiskToken();

    std::recursive_mutex lock;
    std::unique_ptr<TokenResp> token;
    std::wstring netToken;
};

// Writes text as the whole content of path, only when path lies inside folder
// (both absolute, no "." or ".." part), the part below folder holds no link, and
// the file is new (then created 0600) or regular with no other name. False when
// refused or failed.
bool WriteFileInsideFolder(const std::string& folder, const std::string& path, const std::string& text);
