#include "booster/PmbRequest.h"

#include <exception>

#include "booster/PmbHttp.h"
#include "booster/PmbReplyReader.h"
#include "booster/PmbSettings.h"
#include "booster/PmbUrl.h"

namespace pmbrequest {

namespace {

// Neither token request sends the current token, so none is given.
std::unique_ptr<TokenResp> TokenCall(const std::string& method, const PmbParams& params) {
    std::string body;
    if (!Send(method, params, nullptr, body))
        return nullptr;
    auto record = std::make_unique<TokenResp>();
    if (pmbreply::Read(body, *record) != pmbreply::Outcome::Ok)
        return nullptr;
    return record;
}

}  // namespace

bool Send(const std::string& method, const PmbParams& params, const std::function<std::wstring()>& currentNetToken,
          std::string& body) {
    std::string url;
    try {
        url = BuildPmbUrl(method, params, PmbSettings::Get().Port(), currentNetToken);
    } catch (const std::exception&) {
        return false;
    }
    body = PmbFetch(url);
    return true;
}

std::unique_ptr<TokenResp> GetToken(const std::wstring& clientId) {
    PmbParams params;
    params.ClientID = clientId;
    return TokenCall("getToken", params);
}

std::unique_ptr<TokenResp> ValidateDiskToken(const std::wstring& netToken) {
    PmbParams params;
    params.netToken = netToken;
    return TokenCall("validateDiskToken", params);
}

}  // namespace pmbrequest
