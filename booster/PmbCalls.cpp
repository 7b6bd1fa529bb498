#include "booster/PmbCalls.h"

#include "booster/PmbHttp.h"
#include "booster/PmbSettings.h"
#include "booster/PmbTokenCache.h"
#include "booster/PmbUrl.h"
#include "core/text/StringUtils.h"

namespace pmbcall {

bool Send(const std::string& method, const PmbParams& params, std::string& body) {
    std::string url;
    try {
        url = BuildPmbUrl(method, params, PmbSettings::Get().Port(), [] { return PmbTokenCache::Get().Current(); });
    } catch (const std::exception&) {
        return false;
    }
    body = PmbFetch(url);
    return true;
}

std::unique_ptr<StatusResp> CallStatus(const std::string& method, const char* root, const PmbParams& params,
                                       pmbreply::Outcome& outcome) {
    std::string body;
    if (!Send(method, params, body)) {
        outcome = pmbreply::Outcome::BadReply;
        return nullptr;
    }
    auto record = std::make_unique<StatusResp>();
    outcome = pmbreply::ReadStatus(body, root, *record);
    if (outcome != pmbreply::Outcome::Ok)
        return nullptr;
    return record;
}

std::unique_ptr<VersionResp> Version() {
    pmbreply::Outcome outcome;
    return Call<VersionResp>("version", {}, outcome);
}

std::unique_ptr<LoginStatusResp> LoginStatus() {
    pmbreply::Outcome outcome;
    return Call<LoginStatusResp>("loginStatus", {}, outcome);
}

std::unique_ptr<TokenResp> GetToken(const std::wstring& clientId) {
    PmbParams params;
    params.ClientID = clientId;
    pmbreply::Outcome outcome;
    return Call<TokenResp>("getToken", params, outcome);
}

std::unique_ptr<TokenResp> ValidateDiskToken(const std::wstring& netToken) {
    PmbParams params;
    params.netToken = netToken;
    pmbreply::Outcome outcome;
    return Call<TokenResp>("validateDiskToken", params, outcome);
}

std::unique_ptr<StatusResp> ShutDown() {
    pmbreply::Outcome outcome;
    return CallStatus("shutdown", "Shutdown", {}, outcome);
}

bool BoosterAnswers() {
    std::string body;
    return Send("version", {}, body) && !body.empty();
}

bool IsLoggedIn() {
    const auto status = LoginStatus();
    return status && status->loginStatus == L"LoggedIn";
}

PDLibCode TransferCode(pmbreply::Outcome outcome, const StatusResp* status) {
    if (outcome == pmbreply::Outcome::NoReply)
        return PD_LIB_NO_REPLY;
    if (outcome == pmbreply::Outcome::BadReply)
        return PD_LIB_BAD_REPLY;
    if (status && status->statusId == 902)
        return PD_LIB_TOKEN_REJECTED;
    if (status && status->statusId == 905)
        return PD_LIB_NOT_LOGGED_IN;
    return PD_LIB_OK;
}

}  // namespace pmbcall
