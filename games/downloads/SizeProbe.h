#pragma once
#include <cstdint>
#include <string>

// Asks the server for a file's size before it is fetched: a HEAD request
// whose last response's Content-Length is the size.
class SizeProbe {
public:
    // A CURLcode; length is 0 when the probe gave none (an error page's
    // length is not the file's).
    static int Query(const std::string& url, const char* userAgent, long connectTimeoutSeconds, long timeoutSeconds,
                     int64_t& length);
};
