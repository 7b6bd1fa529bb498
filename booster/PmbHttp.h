#pragma once
#include <cstdint>
#include <functional>
#include <string>

// One GET to the booster (or for its installer), with the library's limits: no
// proxy, the connect time-out, given up after the stall limit without a byte.
// The body is handed to sink piece by piece; false from sink ends the request.
// True only for a complete transfer answered with 200 to 299.
bool PmbHttpGet(const std::string& url, const std::function<bool(const char*, size_t)>& sink);

// A request's reply body: empty unless a complete 2xx reply came, and empty
// when it grew past the reply cap.
std::string PmbFetch(const std::string& url);
