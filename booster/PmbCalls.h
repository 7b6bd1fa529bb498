#pragma once
#include <memory>
#include <string>

#include "booster/PmbParams.h"
#include "booster/PmbRecords.h"
#include "booster/PmbReplyReader.h"

// The booster's methods as single requests: the URL built, sent, the reply read.
namespace pmbcall {

// The reply body of one request; empty for no reply. False (and nothing sent)
// when a value could not be converted to text.
bool Send(const std::string& method, const PmbParams& params, std::string& body);

// One request read into a fresh record; null unless the outcome is Ok. An
// argument that cannot be converted is a bad reply.
template <typename Record>
std::unique_ptr<Record> Call(const std::string& method, const PmbParams& params, pmbreply::Outcome& outcome) {
    std::string body;
    if (!Send(method, params, body)) {
        outcome = pmbreply::Outcome::BadReply;
        return nullptr;
    }
    auto record = std::make_unique<Record>();
    outcome = pmbreply::Read(body, *record);
    if (outcome != pmbreply::Outcome::Ok)
        return nullptr;
    return record;
}

std::unique_ptr<StatusResp> CallStatus(const std::string& method, const char* root, const PmbParams& params,
                                       pmbreply::Outcome& outcome);

std::unique_ptr<VersionResp> Version();
std::unique_ptr<LoginStatusResp> LoginStatus();
std::unique_ptr<TokenResp> GetToken(const std::wstring& clientId);
std::unique_ptr<TokenResp> ValidateDiskToken(const std::wstring& netToken);
std::unique_ptr<StatusResp> ShutDown();
// A "version" request got a body, whatever it holds.
bool BoosterAnswers();
bool IsLoggedIn();

// The codes of a transfer call: no reply 2, bad reply 13, else 0, with 3 and 4
// for the status ids 902 and 905.
PDLibCode TransferCode(pmbreply::Outcome outcome, const StatusResp* status);

}  // namespace pmbcall
