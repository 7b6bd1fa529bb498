#pragma once
#include <functional>
#include <memory>
#include <string>

#include "booster/PmbParams.h"
#include "booster/PmbRecords.h"

// One request to the booster with the net token from where the caller says: the
// layer below the calls (PmbCalls.h), which take the token from the token cache,
// and below the token cache, whose own two requests send no current token.
namespace pmbrequest {

// The URL built (currentNetToken asked only by the methods that send the current
// token), sent, and its reply body kept; empty for no reply. False (and nothing
// sent) when a value could not be converted to text.
bool Send(const std::string& method, const PmbParams& params, const std::function<std::wstring()>& currentNetToken,
          std::string& body);

// "getToken" and "validateDiskToken": null unless the reply reads whole.
std::unique_ptr<TokenResp> GetToken(const std::wstring& clientId);
std::unique_ptr<TokenResp> ValidateDiskToken(const std::wstring& netToken);

}  // namespace pmbrequest
