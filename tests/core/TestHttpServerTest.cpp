// The loopback server's fault modes, checked once against the raw bytes of its
// replies, so that tests built on it can trust what it sends.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <future>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/fixtures/TestHttpServer.h"

namespace {

struct RawReply {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::string Header(const std::string& name) const {
        for (const auto& h : headers)
            if (strcasecmp(h.first.c_str(), name.c_str()) == 0)
                return h.second;
        return "<absent>";
    }
};

RawReply Parse(const std::string& raw) {
    RawReply r;
    auto end = raw.find("\r\n\r\n");
    if (end == std::string::npos)
        return r;
    std::string head = raw.substr(0, end);
    r.body = raw.substr(end + 4);
    size_t line = head.find("\r\n");
    r.status = std::atoi(head.substr(9, 3).c_str());
    while (line != std::string::npos) {
        size_t next = head.find("\r\n", line + 2);
        std::string h = head.substr(line + 2, next == std::string::npos ? std::string::npos : next - line - 2);
        auto colon = h.find(':');
        r.headers.emplace_back(h.substr(0, colon), h.substr(colon + 2));
        line = next;
    }
    return r;
}

std::string Get(const std::string& path, const std::string& extra = "") {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extra + "\r\n";
}

const std::string kBody = "0123456789abcdefghij";  // 20 bytes

TEST(TestHttpServer, ServesWholeBodyAndLogsTheRequest) {
    TestHttpServer server;
    server.Serve("/f.exe", kBody, FaultMode{.etag = "\"v1\"", .lastModified = "Wed, 01 Jan 2020 00:00:00 GMT"});
    RawReply r = Parse(RawHttpExchange(server.Port(), Get("/f.exe?a=%20b&c", "User-Agent: probe/1\r\n")));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, kBody);
    EXPECT_EQ(r.Header("Content-Length"), "20");
    EXPECT_EQ(r.Header("ETag"), "\"v1\"");
    EXPECT_EQ(r.Header("Last-Modified"), "Wed, 01 Jan 2020 00:00:00 GMT");

    auto log = server.RequestsFor("/f.exe");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].query, "a=%20b&c");
    EXPECT_EQ(log[0].Header("user-agent"), "probe/1");
    EXPECT_FALSE(log[0].HasHeader("Range"));
}

TEST(TestHttpServer, UnknownPathIs404WithoutBody) {
    TestHttpServer server;
    RawReply r = Parse(RawHttpExchange(server.Port(), Get("/none")));
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST(TestHttpServer, StatusWithBody) {
    TestHttpServer server;
    server.Serve("/missing", "<html>not here</html>", FaultMode{.status = 404});
    RawReply r = Parse(RawHttpExchange(server.Port(), Get("/missing", "Range: bytes=3-\r\n")));
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.body, "<html>not here</html>");
}

struct RangeCase {
    const char* name;
    FaultMode mode;
    const char* range;
    int status;
    const char* contentRange;
    std::string body;
};

void PrintTo(const RangeCase& c, std::ostream* os) {
    *os << c.name;
}

class TestHttpServerRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(TestHttpServerRange, RawReply) {
    const RangeCase& c = GetParam();
    TestHttpServer server;
    server.Serve("/f", kBody, c.mode);
    RawReply r = Parse(RawHttpExchange(server.Port(), Get("/f", std::string("Range: ") + c.range + "\r\n")));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.Header("Content-Range"), c.contentRange);
    EXPECT_EQ(r.body, c.body);
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(c.body.size()));
    EXPECT_EQ(server.Requests().at(0).Header("Range"), c.range);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, TestHttpServerRange,
    ::testing::Values(
        RangeCase{"HonourOpenEnd", {}, "bytes=15-", 206, "bytes 15-19/20", "fghij"},
        RangeCase{"HonourClosed", {}, "bytes=2-4", 206, "bytes 2-4/20", "234"},
        RangeCase{"HonourEndPastLast", {}, "bytes=18-99", 206, "bytes 18-19/20", "ij"},
        RangeCase{"HonourSuffix", {}, "bytes=-3", 206, "bytes 17-19/20", "hij"},
        RangeCase{"HonourStartAtEnd", {}, "bytes=20-", 416, "bytes */20", ""},
        RangeCase{"Ignore", {.range = RangeMode::Ignore}, "bytes=15-", 200, "<absent>", kBody},
        RangeCase{"WrongStart",
                  {.range = RangeMode::WrongStart, .wrongStartBy = -5},
                  "bytes=15-",
                  206,
                  "bytes 10-19/20",
                  "abcdefghij"},
        RangeCase{"UnsatisfiableRightLength", {.range = RangeMode::Unsatisfiable}, "bytes=20-", 416, "bytes */20", ""},
        RangeCase{"UnsatisfiableWrongLength",
                  {.range = RangeMode::Unsatisfiable, .statedLength = 7},
                  "bytes=20-",
                  416,
                  "bytes */7",
                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TestHttpServer, IfRangeDecidesBetweenPartAndWholeBody) {
    TestHttpServer server;
    server.Serve("/f", kBody, FaultMode{.etag = "\"v2\""});
    RawReply same = Parse(RawHttpExchange(server.Port(), Get("/f", "Range: bytes=15-\r\nIf-Range: \"v2\"\r\n")));
    EXPECT_EQ(same.status, 206);
    EXPECT_EQ(same.body, "fghij");
    RawReply changed = Parse(RawHttpExchange(server.Port(), Get("/f", "Range: bytes=15-\r\nIf-Range: \"v1\"\r\n")));
    EXPECT_EQ(changed.status, 200);
    EXPECT_EQ(changed.body, kBody);
}

TEST(TestHttpServer, VersionsChangeBetweenRequests) {
    TestHttpServer server;
    server.ServeVersions("/f", {{"first", "\"a\"", {}}, {"second", "\"b\"", {}}});
    RawReply one = Parse(RawHttpExchange(server.Port(), Get("/f")));
    RawReply two = Parse(RawHttpExchange(server.Port(), Get("/f")));
    RawReply three = Parse(RawHttpExchange(server.Port(), Get("/f")));
    EXPECT_EQ(one.body, "first");
    EXPECT_EQ(one.Header("ETag"), "\"a\"");
    EXPECT_EQ(two.body, "second");
    EXPECT_EQ(two.Header("ETag"), "\"b\"");
    EXPECT_EQ(three.body, "second");
}

TEST(TestHttpServer, DropAfterKBytesClosesShort) {
    TestHttpServer server;
    server.Serve("/f", kBody, FaultMode{.dropAfterBytes = 7});
    RawReply r = Parse(RawHttpExchange(server.Port(), Get("/f")));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.Header("Content-Length"), "20");
    EXPECT_EQ(r.body, "0123456");
}

TEST(TestHttpServer, StallSendsHeadersThenNothingUntilReleased) {
    TestHttpServer server;
    server.Serve("/f", kBody, FaultMode{.stallAfterHeaders = true});
    auto reply = std::async(std::launch::async, [&] { return RawHttpExchange(server.Port(), Get("/f")); });
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_EQ(reply.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    server.ReleaseStalls();
    RawReply r = Parse(reply.get());
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.Header("Content-Length"), "20");
    EXPECT_EQ(r.body, "");
}

// A release the test gives once it has seen the request holds even when the
// reply has not begun waiting: here the request is logged at its headers and
// answered only once its body, sent after the release, has come in.
TEST(TestHttpServer, ReleaseBeforeTheReplyWaitsStillReleasesIt) {
    TestHttpServer server;
    server.Serve("/f", kBody, FaultMode{.stallAfterHeaders = true});
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(server.Port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    auto send_all = [fd](const std::string& text) {
        return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    };
    ASSERT_TRUE(send_all("POST /f HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n\r\n"));
    ASSERT_TRUE(server.WaitForRequests(1));
    server.ReleaseStalls();
    ASSERT_TRUE(send_all("hello"));
    std::string raw;
    bool closed = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!closed && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buffer[4096];
        ssize_t r = recv(fd, buffer, sizeof buffer, 0);
        closed = r <= 0;
        if (r > 0)
            raw.append(buffer, static_cast<size_t>(r));
    }
    close(fd);
    EXPECT_TRUE(closed) << "the stalled reply was not released";
    RawReply r = Parse(raw);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "");
}

TEST(TestHttpServer, StalledReplyDoesNotHoldUpTheServersEnd) {
    std::future<std::string> reply;
    {
        TestHttpServer server;
        server.Serve("/f", kBody, FaultMode{.stallAfterHeaders = true});
        reply = std::async(std::launch::async, [port = server.Port()] { return RawHttpExchange(port, Get("/f")); });
        ASSERT_TRUE(server.WaitForRequests(1));
    }
    EXPECT_EQ(Parse(reply.get()).body, "");
}

TEST(TestHttpServer, TrickleDeliversEverythingSlowly) {
    TestHttpServer server;
    server.Serve("/f", kBody, FaultMode{.trickleBytesPerSecond = 50});
    auto start = std::chrono::steady_clock::now();
    RawReply r = Parse(RawHttpExchange(server.Port(), Get("/f")));
    EXPECT_EQ(r.body, kBody);
    // 20 bytes at 50 per second cannot come in under 0.4 s.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
}

TEST(TestHttpServer, RedirectChainOfNHops) {
    TestHttpServer server;
    server.Serve("/end", "done");
    server.ServeRedirects("/r", 3, "/end");
    std::string next = "/r";
    int redirects = 0;
    for (; redirects < 10; ++redirects) {
        RawReply r = Parse(RawHttpExchange(server.Port(), Get(next)));
        if (r.status != 302) {
            EXPECT_EQ(r.body, "done");
            break;
        }
        std::string location = r.Header("Location");
        ASSERT_EQ(location.rfind(server.BaseUrl(), 0), 0u) << location;
        next = location.substr(server.BaseUrl().size());
    }
    EXPECT_EQ(redirects, 3);
}

TEST(TestHttpServer, AbsoluteTargetAsAProxySeesIt) {
    TestHttpServer proxy;
    proxy.Serve("http://quor.invalid/x", "from the proxy");
    RawReply r = Parse(RawHttpExchange(proxy.Port(), Get("http://quor.invalid/x?q=1")));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "from the proxy");
    auto log = proxy.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].target, "http://quor.invalid/x?q=1");
    EXPECT_EQ(log[0].query, "q=1");
}

TEST(TestHttpServer, FileIsReadAtEachRequest) {
    char path[] = "/tmp/quor-served-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "one", 3), 3);
    close(fd);
    TestHttpServer server;
    server.ServeFile("/f", path);
    EXPECT_EQ(Parse(RawHttpExchange(server.Port(), Get("/f"))).body, "one");
    FILE* f = fopen(path, "wb");
    fputs("two!", f);
    fclose(f);
    EXPECT_EQ(Parse(RawHttpExchange(server.Port(), Get("/f"))).body, "two!");
    unlink(path);
    EXPECT_EQ(Parse(RawHttpExchange(server.Port(), Get("/f"))).status, 404);
}

TEST(TestHttpServer, ChunkedReplyHasNoLength) {
    TestHttpServer server;
    server.Serve("/f", kBody, FaultMode{.chunked = true});
    RawReply r = Parse(RawHttpExchange(server.Port(), Get("/f", "Range: bytes=5-\r\n")));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.Header("Content-Length"), "<absent>");
    EXPECT_EQ(r.Header("Transfer-Encoding"), "chunked");
    EXPECT_EQ(r.body, "14\r\n" + kBody + "\r\n0\r\n\r\n");
}

TEST(TestHttpServer, LogsPostBodiesAndUnservedMethods) {
    TestHttpServer server;
    server.Serve("/post", "ok");
    RawReply r = Parse(RawHttpExchange(server.Port(),
                                       "POST /post HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                       "Connection: close\r\nContent-Length: 5\r\n\r\nhello"));
    EXPECT_EQ(r.body, "ok");
    RawHttpExchange(server.Port(),
                    "CONNECT quor.invalid:443 HTTP/1.1\r\nHost: quor.invalid:443\r\n"
                    "Connection: close\r\n\r\n");
    auto log = server.Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].body, "hello");
    EXPECT_EQ(log[1].method, "CONNECT");
    EXPECT_EQ(log[1].target, "quor.invalid:443");
}

}  // namespace
