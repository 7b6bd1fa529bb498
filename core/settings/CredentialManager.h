#pragma once
#include <cstdint>
#include <string>

#include "core/system/Clock.h"
#include "core/threads/Singleton.h"

// The saved login (name and password) and login token of the publisher's site,
// kept protected for the current user under HKEY_CURRENT_USER
// "SOFTWARE\Brindlemoor\Quor!\Preferences". The token is valid for 90 days from
// when it was saved. Every operation goes to the registry at once; safe from any
// thread.
class CredentialManager : public Singleton<CredentialManager> {
public:
    static constexpr uint32_t kTokenLifetimeSeconds = 7776000;

    explicit CredentialManager(Clock& clock = Clock::System());

    // The name and the password are stored together: both or neither.
    void SaveLogin(const std::string& name, const std::string& secret);
    void ClearLogin();
    std::string GetLoginName();
    std::string GetLoginSecret();

    // The expiry ("Launcher Date") is written only after the token was stored.
    void SaveAuthToken(const std::string& token);
    void ClearAuthToken();
    // The token while it is valid, else empty.
    std::string GetAuthToken();

    // Asks the page to check its login session when a valid token is saved.
    void CheckSession();

private:
    Clock& clock;
    const std::string keyPath = "SOFTWARE\\Brindlemoor\\Quor!\\Preferences";
    const std::string loginNameValue = "Launcher Data";
    const std::string loginSecretValue = "Launcher Extra Data";
    const std::string tokenValue = "Launcher Saved Data";
    const std::string expiryValue = "Launcher Date";
};
