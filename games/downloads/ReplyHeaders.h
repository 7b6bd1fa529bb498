#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The headers of one reply that a download judges, read line by line as
// libcurl hands them over. A status line ("HTTP/...") starts a new response:
// in a redirect chain only the last one counts.
class ReplyHeaders {
public:
    // One header line, its line end included.
    void Take(const char* data, size_t length);

    const std::string& ContentRange() const { return contentRange; }
    const std::string& ETag() const { return etag; }
    const std::string& LastModified() const { return lastModified; }
    // -1 when the reply gives none.
    int64_t ContentLength() const { return contentLength; }
    // The Content-Length as the size probe reads it: 0 when there is none,
    // and an empty or unreadable value is 0 too.
    int64_t ProbedLength() const { return probedLength; }

    // A header value without its leading blanks and its line end.
    static std::string Value(const char* data, size_t length);
    // The leading digits of a value; 0 when there are none or too many for 63 bits.
    static int64_t ParseLength(const std::string& value);

private:
    std::string contentRange, etag, lastModified;
    int64_t contentLength = -1;
    int64_t probedLength = 0;
};
