#pragma once
#include <cstdint>
#include <string>

// Opens a web address in the user's browser through xdg-open. Only http: and
// https: addresses are handed over. xdg-open's exit status is awaited for up to
// waitMs; one still running by then (some desktops keep it until the browser
// ends) counts as success. A refused address, a failed start or a non-zero
// status shows message 28 and gives false.
bool OpenUrl(const std::string& address, int64_t waitMs = 5000);

// True for an http: or https: address (scheme in any case) without control characters.
bool IsWebAddress(const std::string& address);
