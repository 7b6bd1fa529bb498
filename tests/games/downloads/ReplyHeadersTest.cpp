#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "games/downloads/ReplyHeaders.h"

namespace {

ReplyHeaders Read(const std::vector<std::string>& lines) {
    ReplyHeaders headers;
    for (const std::string& line : lines)
        headers.Take(line.data(), line.size());
    return headers;
}

struct HeaderCase {
    const char* what;
    std::vector<std::string> lines;
    std::string contentRange, etag, lastModified;
    int64_t contentLength;
    int64_t probedLength;
};

TEST(ReplyHeaders, ReadsTheHeadersOfTheLastResponse) {
    const HeaderCase cases[] = {
        {"nothing", {}, "", "", "", -1, 0},
        {"a plain reply",
         {"HTTP/1.1 200 OK\r\n", "Content-Length: 1234\r\n", "ETag: \"v1\"\r\n",
          "Last-Modified: Wed, 21 Oct 2026 07:28:00 GMT\r\n", "\r\n"},
         "",
         "\"v1\"",
         "Wed, 21 Oct 2026 07:28:00 GMT",
         1234,
         1234},
        {"names in any case, blanks around values",
         {"HTTP/1.1 206 Partial Content\r\n", "content-RANGE:\t bytes 5-9/10 \r\n", "etag:  \"x\"\t\n"},
         "bytes 5-9/10",
         "\"x\"",
         "",
         -1,
         0},
        {"a redirect's headers are forgotten",
         {"HTTP/1.1 302 Found\r\n", "Content-Length: 17\r\n", "ETag: \"old\"\r\n", "Content-Range: bytes */3\r\n",
          "HTTP/1.1 200 OK\r\n"},
         "",
         "",
         "",
         -1,
         0},
        {"an empty length: the request keeps the earlier one, the probe reads 0",
         {"Content-Length: 5\r\n", "Content-Length:\r\n"},
         "",
         "",
         "",
         5,
         0},
        {"a length with trailing text keeps its leading digits", {"Content-Length: 42abc\r\n"}, "", "", "", 42, 42},
        {"a length without digits is 0", {"Content-Length: -5\r\n"}, "", "", "", 0, 0},
        {"a length too long for 63 bits is 0", {"Content-Length: 9223372036854775808\r\n"}, "", "", "", 0, 0},
        {"the longest length read; the check stops a few short of the 63-bit limit",
         {"Content-Length: 9223372036854775799\r\n"},
         "",
         "",
         "",
         9223372036854775799,
         9223372036854775799},
        {"lines without a name or a colon", {": bytes 0-1/2\r\n", "ETag \"v\"\r\n", "HTTP/\r\n"}, "", "", "", -1, 0},
        {"a value with a colon in it",
         {"Last-Modified: Wed, 21 Oct 2026 07:28:00 GMT\r\n"},
         "",
         "",
         "Wed, 21 Oct 2026 07:28:00 GMT",
         -1,
         0},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.what);
        ReplyHeaders headers = Read(c.lines);
        EXPECT_EQ(headers.ContentRange(), c.contentRange);
        EXPECT_EQ(headers.ETag(), c.etag);
        EXPECT_EQ(headers.LastModified(), c.lastModified);
        EXPECT_EQ(headers.ContentLength(), c.contentLength);
        EXPECT_EQ(headers.ProbedLength(), c.probedLength);
    }
}

TEST(ReplyHeaders, ReadsOnlyTheBytesItIsGiven) {
    // libcurl's buffer is not a C string: nothing past the given length counts.
    const std::string buffer = "ETag: \"v1\"\r\nETag: \"v2\"\r\n";
    ReplyHeaders headers;
    headers.Take(buffer.data(), 12);
    EXPECT_EQ(headers.ETag(), "\"v1\"");
    headers.Take(buffer.data(), 3);  // "ETa": no colon
    EXPECT_EQ(headers.ETag(), "\"v1\"");
    const std::string withNul("ETag: \"a\0b\"\r\n", 13);
    headers.Take(withNul.data(), withNul.size());
    EXPECT_EQ(headers.ETag(), std::string("\"a\0b\"", 5));
}

}  // namespace
