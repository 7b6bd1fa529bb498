#include "core/settings/CredentialManager.h"

#include "core/PageCallSink.h"
#include "core/settings/Prefs.h"
#include "core/settings/ProtectedValues.h"

namespace {

// Dates are stored as 32-bit numbers of seconds since 1970. Read unsigned, they
// last until 2106; read signed, a token saved from October 2037 on, whose expiry
// lies past January 2038, would look expired at once.
uint32_t ToStoredTime(int64_t seconds) {
    return static_cast<uint32_t>(seconds);
}

}  // namespace

CredentialManager::CredentialManager(Clock& clock) : clock(clock) {}

void CredentialManager::SaveLogin(const std::string& name, const std::string& secret) {
    // One write: a kill between the two must not leave a name with another login's password.
    SaveProtectedValues(keyPath, {{loginNameValue, name}, {loginSecretValue, secret}});
}

void CredentialManager::ClearLogin() {
    SaveLogin(std::string(), std::string());
}

std::string CredentialManager::GetLoginName() {
    return LoadProtectedValue(keyPath, loginNameValue);
}

std::string CredentialManager::GetLoginSecret() {
    return LoadProtectedValue(keyPath, loginSecretValue);
}

void CredentialManager::SaveAuthToken(const std::string& token) {
    if (SaveProtectedValue(keyPath, tokenValue, token) == 0)
        Prefs::SetNumber(expiryValue, ToStoredTime(clock.Now()) + kTokenLifetimeSeconds);
}

void CredentialManager::ClearAuthToken() {
    if (SaveProtectedValue(keyPath, tokenValue, std::string()) == 0)
        Prefs::SetNumber(expiryValue, 0);
}

std::string CredentialManager::GetAuthToken() {
    // An absent date reads as 0: no token.
    if (ToStoredTime(clock.Now()) >= Prefs::GetNumber(expiryValue))
        return std::string();
    return LoadProtectedValue(keyPath, tokenValue);
}

void CredentialManager::CheckSession() {
    if (!GetAuthToken().empty())
        PageCallSink::Current().checkForValidSession();
}
