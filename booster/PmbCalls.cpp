#include "booster/PmbCalls.h"

#include "booster/PmbLibraryState.h"
#include "booster/PmbRequest.h"
#include "core/text/StringUtils.h"

namespace pmbcall {

bool Send(const std::string& method, const PmbParams& params, std::string& body) {
    return pmbrequest::Send(
        method, params, [] { return PmbLibraryState::Get().tokens.Current(); }, body);
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
    return pmbrequest::GetToken(clientId);
}

std::unique_ptr<TokenResp> ValidateDiskToken(const std::wstring& netToken) {
    return pmbrequest::ValidateDiskToken(netToken);
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
