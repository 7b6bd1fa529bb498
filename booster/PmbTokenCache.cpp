#include "booster/PmbTokenCache.h"

#include "booster/PmbDiskToken.h"
#include "booster/PmbInstallation.h"
#include "booster/PmbRequest.h"
#include "booster/PmbSettings.h"
#include "core/text/StringUtils.h"

std::wstring PmbTokenCache::Current() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!token)
        token = pmbrequest::GetToken(PmbSettings::kClientId);
    if (token) {
        netToken = token->netToken;
        Validate();
    }
    return netToken;
}

bool PmbTokenCache::Validate() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!token)
        return false;
    WriteDiskToken();
    const auto reply = pmbrequest::ValidateDiskToken(token->netToken);
    if (reply && reply->validated) {
        WriteDiskToken();
        return true;
    }
    token.reset();
    return false;
}

std::wstring PmbTokenCache::Refresh() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    token = pmbrequest::GetToken(PmbSettings::kClientId);
    netToken.clear();
    if (token) {
        netToken = token->netToken;
        WriteDiskToken();
    }
    return netToken;
}

void PmbTokenCache::WriteDiskToken() {
    // Whoever answers on the port names this file: it is written only as a data
    // file of the booster's own folder.
    try {
        const PmbInstalled installed = PmbFindInstalled();
        if (!installed.found)
            return;
        const std::string path = PmbMapBoosterPath(installed, WStringToUtf8(token->filePath));
        WriteDiskTokenFile(installed.folder, path, WStringToUtf8(token->diskToken));
    } catch (const std::exception&) {
    }
}
