#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Receives a reply's body piece by piece; announced is the length the reply's
// headers announced (-1: none). False ends the request.
using PmbBodySink = std::function<bool(const char* data, size_t size, int64_t announced)>;

// One GET to the booster or for its installer, with the library's limits: no
// proxy, the connect time-out, given up after the stall limit without a byte and
// after overallSeconds in any case. The body may not pass maxBodyBytes, and a
// body longer or shorter than its announced length fails. True only for a
// complete body answered with 200 to 299.
bool PmbHttpGet(const std::string& url, long overallSeconds, uint64_t maxBodyBytes, const PmbBodySink& sink);

// A request's reply body within the request limit and the reply cap; empty
// unless a complete 2xx reply came.
std::string PmbFetch(const std::string& url);
