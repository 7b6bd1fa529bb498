#pragma once
#include <cstdint>
#include <string>

// Opens a web address in the user's browser through xdg-open. Only http: and
// https: addresses are handed over. A refused address or a failed start shows
// message 28 at once and gives false. Otherwise it gives true at once, and
// xdg-open's exit status is awaited on a thread of its own for up to waitMs: a
// non-zero status within that time shows message 28 (the page's calls reach the
// window on its own thread); one still running by then (some desktops keep it
// until the browser ends) counts as success.
bool OpenUrl(const std::string& address, int64_t waitMs = 2000);

// True for an http: or https: address (scheme in any case) without control characters.
bool IsWebAddress(const std::string& address);
