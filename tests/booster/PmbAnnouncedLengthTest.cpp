#include "booster/PmbAnnouncedLength.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

TEST(PmbAnnouncedLength, ReadsTheLengthAndRefusesWhatContradictsIt) {
    struct Case {
        std::vector<const char*> lines;
        int64_t length;
        bool contradictory;
    };
    const Case cases[] = {
        {{"HTTP/1.1 200 OK\r\n", "Content-Type: text/xml\r\n", "\r\n"}, -1, false},
        {{"HTTP/1.1 200 OK\r\n", "Content-Length: 1234\r\n"}, 1234, false},
        {{"content-LENGTH:0\r\n"}, 0, false},
        {{"Content-Length: 12\r\n", "Content-Length: 12\r\n"}, 12, false},
        {{"Content-Length: 12\r\n", "Content-Length: 13\r\n"}, 13, true},
        {{"Content-Length: 12, 13\r\n"}, 1213, true},
        {{"Content-Length: -5\r\n"}, 5, true},
        {{"Content-Length: \r\n"}, 0, true},
        {{"Content-Length: 99999999999999999999999\r\n"}, std::numeric_limits<int64_t>::max(), false},
        {{"X-Content-Length: 5\r\n", "Content-Lengthy: 6\r\n", "Content-Length\r\n"}, -1, false},
        // A new reply after a redirect or an interim one starts afresh.
        {{"HTTP/1.1 301 Moved\r\n", "Content-Length: 5\r\n", "Content-Length: 6\r\n", "HTTP/1.1 200 OK\r\n"},
         -1,
         false},
    };
    for (const Case& c : cases) {
        PmbAnnouncedLength announced;
        for (const char* line : c.lines)
            announced.ReadHeaderLine(line);
        EXPECT_EQ(announced.Length(), c.length) << c.lines.back();
        EXPECT_EQ(announced.Contradictory(), c.contradictory) << c.lines.back();
    }
}
