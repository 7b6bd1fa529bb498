#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Receives a reply's body piece by piece; announced is the length the reply's
// headers announced (-1: none). False ends the request.
using PmbBodySink = std::function<bool(const char* data, size_t size, int64_t announced)>;

// What one request may take.
struct PmbHttpLimits {
    long overallSeconds = 0;
    uint64_t maxBodyBytes = 0;
    // Reads the body to the connection's end (the server is asked to close it)
    // instead of stopping at the announced length, so that a body longer than
    // announced fails rather than losing its excess unseen. For downloads from
    // a web server, which closes when asked; the booster's own replies stop at
    // their length.
    bool toTheConnectionsEnd = false;
};

// One GET to the booster or for its installer, with the library's limits: no
// proxy, the connect time-out, given up after the stall limit without a byte and
// after the overall limit in any case. The body may not pass its cap, and a body
// shorter than its announced length fails (longer too, read to the connection's
// end). True only for a complete body answered with 200 to 299.
bool PmbHttpGet(const std::string& url, const PmbHttpLimits& limits, const PmbBodySink& sink);

// A request's reply body within the request limit and the reply cap; empty
// unless a complete 2xx reply came.
std::string PmbFetch(const std::string& url);
