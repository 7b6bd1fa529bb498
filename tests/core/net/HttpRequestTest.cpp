#include "core/net/HttpRequest.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "core/net/CurlSetup.h"
#include "core/net/SystemProxy.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"

namespace fs = std::filesystem;

namespace {

// Bytes no text parser would like: a program fetched this way must arrive whole.
std::string BinaryBody(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 131 + 7) & 0xff);
    return s;
}

class HttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override { HttpLimits::Current() = HttpLimits{}; }
    void TearDown() override { HttpLimits::Current() = HttpLimits{}; }

    // Short enough that a stalled reply ends the test quickly, long enough for a loaded machine.
    static void ShortenSpeedLimit() {
        HttpLimits::Current().lowSpeedBytesPerSecond = 1000;
        HttpLimits::Current().lowSpeedSeconds = 1;
    }

    TestEnvironment env;
    TestHttpServer server;
};

struct StatusCase {
    int status;
    bool bodyReturned;
};
void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.status;
}

class HttpRequestStatus : public HttpRequestTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(HttpRequestStatus, OnlyA2xxReplyGivesItsBody) {
    const std::string body = BinaryBody(5000);
    server.Serve("/f", body, FaultMode{.status = GetParam().status});
    EXPECT_EQ(HttpGetToString(server.Url("/f"), 5), GetParam().bodyReturned ? body : "");
}

INSTANTIATE_TEST_SUITE_P(Statuses, HttpRequestStatus,
                         ::testing::Values(StatusCase{200, true}, StatusCase{203, true}, StatusCase{299, true},
                                           StatusCase{404, false}, StatusCase{500, false}, StatusCase{300, false}),
                         [](const auto& info) { return std::to_string(info.param.status); });

TEST_F(HttpRequestTest, UnknownAddressAndRefusedConnectionGiveEmpty) {
    EXPECT_EQ(HttpGetToString(server.Url("/none"), 5), "");
    std::string closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.Url("/f");
    }
    EXPECT_EQ(HttpGetToString(closedPort, 5), "");
}

TEST_F(HttpRequestTest, SendsOneGetWithTheUserAgentExactly) {
    server.Serve("/f", "x");
    ASSERT_EQ(HttpGetToString(server.Url("/f?a=1"), 5), "x");
    auto log = server.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].query, "a=1");
    EXPECT_EQ(log[0].Header("User-Agent"), "Brindlemoor Quor!/1.0");
    EXPECT_FALSE(log[0].HasHeader("Range"));
}

struct RedirectCase {
    int hops;
    bool followed;
};
void PrintTo(const RedirectCase& c, std::ostream* os) {
    *os << c.hops;
}

class HttpRequestRedirects : public HttpRequestTest, public ::testing::WithParamInterface<RedirectCase> {};

TEST_P(HttpRequestRedirects, AtMostFiveAreFollowed) {
    server.Serve("/end", "arrived");
    server.ServeRedirects("/r", GetParam().hops, "/end");
    EXPECT_EQ(HttpGetToString(server.Url("/r"), 5), GetParam().followed ? "arrived" : "");
    EXPECT_EQ(server.RequestsFor("/end").size(), GetParam().followed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Chains, HttpRequestRedirects,
                         ::testing::Values(RedirectCase{1, true}, RedirectCase{5, true}, RedirectCase{6, false}),
                         [](const auto& info) { return std::to_string(info.param.hops) + "Hops"; });

TEST_F(HttpRequestTest, OnlyHttpAndHttpsAreFetchedOrFollowed) {
    std::string local = env.WriteFile("secret.txt", "local file");
    EXPECT_EQ(HttpGetToString("file://" + local, 5), "");
    server.ServeRedirects("/to-file", 1, "file://" + local);
    EXPECT_EQ(HttpGetToString(server.Url("/to-file"), 5), "");
    server.ServeRedirects("/to-ftp", 1, "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/x");
    EXPECT_EQ(HttpGetToString(server.Url("/to-ftp"), 5), "");
    EXPECT_EQ(server.RequestsFor("/x").size(), 0u);
}

TEST_F(HttpRequestTest, TrickleBelowTheSpeedLimitIsAbandoned) {
    ShortenSpeedLimit();
    server.Serve("/slow", BinaryBody(100000), FaultMode{.trickleBytesPerSecond = 100});
    EXPECT_EQ(HttpGetToString(server.Url("/slow"), 5), "");
}

TEST_F(HttpRequestTest, StallAfterTheHeadersIsAbandoned) {
    ShortenSpeedLimit();
    server.Serve("/stall", BinaryBody(1000), FaultMode{.stallAfterHeaders = true});
    EXPECT_EQ(HttpGetToString(server.Url("/stall"), 5), "");
}

TEST_F(HttpRequestTest, SlowButSteadyReplyAboveTheLimitArrives) {
    HttpLimits::Current().lowSpeedBytesPerSecond = 10;
    HttpLimits::Current().lowSpeedSeconds = 3;
    const std::string body = BinaryBody(1000);
    server.Serve("/steady", body, FaultMode{.trickleBytesPerSecond = 2000});
    EXPECT_EQ(HttpGetToString(server.Url("/steady"), 5), body);
}

TEST_F(HttpRequestTest, WholeRequestLimitEndsASteadyButLongReply) {
    // Fast enough for the speed rule: only the whole-request limit can end it.
    HttpLimits::Current().lowSpeedBytesPerSecond = 10;
    HttpLimits::Current().lowSpeedSeconds = 3;
    server.Serve("/long", BinaryBody(100000), FaultMode{.trickleBytesPerSecond = 2000});
    EXPECT_EQ(HttpGetToString(server.Url("/long"), 5, BodyKind::Document, 1), "");
    const std::string body = BinaryBody(1000);
    server.Serve("/short", body);
    EXPECT_EQ(HttpGetToString(server.Url("/short"), 5, BodyKind::Document, 30), body);
}

// A worker's stop ends its request while the server stalls, long before the
// speed rule would; a request never cancelled arrives whole.
TEST_F(HttpRequestTest, CancelledRequestEndsAtOnce) {
    server.Serve("/stall", BinaryBody(1000), FaultMode{.stallAfterHeaders = true});
    std::atomic<bool> stop{false};
    auto request = std::async(std::launch::async, [&] {
        return HttpGetToString(server.Url("/stall"), 5, BodyKind::Document, 0, [&] { return stop.load(); });
    });
    ASSERT_TRUE(server.WaitForRequests(1));
    stop = true;
    ASSERT_EQ(request.wait_for(std::chrono::seconds(10)), std::future_status::ready);  // the speed rule: 30 s
    EXPECT_EQ(request.get(), "");
    server.ReleaseStalls();

    const std::string body = BinaryBody(1000);
    server.Serve("/short", body, FaultMode{.trickleBytesPerSecond = 2000});
    EXPECT_EQ(HttpGetToString(server.Url("/short"), 5, BodyKind::Document, 0, [] { return false; }), body);

    // A file fetch likewise, leaving nothing behind.
    fs::create_directories(env.Path("fetched"));
    const std::string target = env.Path("fetched/stalled.bin");
    stop = false;
    auto file = std::async(std::launch::async, [&] {
        return DownloadUrlToFile(server.Url("/stall"), target, 5, BodyKind::Program, [&] { return stop.load(); });
    });
    ASSERT_TRUE(server.WaitForRequests(3));
    stop = true;
    ASSERT_EQ(file.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(file.get());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_empty(env.Path("fetched"))) << "no temporary file left";
    server.ReleaseStalls();
}
TEST_F(HttpRequestTest, CutOffBodyGivesEmpty) {
    server.Serve("/cut", BinaryBody(10000), FaultMode{.dropAfterBytes = 4000});
    EXPECT_EQ(HttpGetToString(server.Url("/cut"), 5), "");
}

struct CapCase {
    const char* name;
    BodyKind kind;
    bool chunked;  // no declared length: only our own counting can refuse it
};
void PrintTo(const CapCase& c, std::ostream* os) {
    *os << c.name;
}

class HttpRequestCaps : public HttpRequestTest, public ::testing::WithParamInterface<CapCase> {};

TEST_P(HttpRequestCaps, BodyOverTheCapOfItsKindIsRefused) {
    HttpLimits& limits = HttpLimits::Current();
    limits.documentCap = limits.reportCap = limits.programCap = 1u << 30;
    uint64_t& cap = GetParam().kind == BodyKind::Document ? limits.documentCap
                    : GetParam().kind == BodyKind::Report ? limits.reportCap
                                                          : limits.programCap;
    cap = 200000;
    const std::string exact = BinaryBody(200000);
    const std::string over = BinaryBody(200001);
    server.Serve("/exact", exact, FaultMode{.chunked = GetParam().chunked});
    server.Serve("/over", over, FaultMode{.chunked = GetParam().chunked});
    EXPECT_EQ(HttpGetToString(server.Url("/exact"), 5, GetParam().kind), exact);
    EXPECT_EQ(HttpGetToString(server.Url("/over"), 5, GetParam().kind), "");

    std::string target = env.Path("file.bin");
    EXPECT_FALSE(DownloadUrlToFile(server.Url("/over"), target, 5, GetParam().kind));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(DownloadUrlToFile(server.Url("/exact"), target, 5, GetParam().kind));
    EXPECT_EQ(TestEnvironment::ReadFile(target), exact);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HttpRequestCaps,
                         ::testing::Values(CapCase{"Document", BodyKind::Document, false},
                                           CapCase{"DocumentChunked", BodyKind::Document, true},
                                           CapCase{"Report", BodyKind::Report, false},
                                           CapCase{"ReportChunked", BodyKind::Report, true},
                                           CapCase{"Program", BodyKind::Program, false},
                                           CapCase{"ProgramChunked", BodyKind::Program, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HttpRequestTest, DefaultCaps) {
    HttpLimits limits;
    EXPECT_EQ(limits.documentCap, 64ull << 20);
    EXPECT_EQ(limits.reportCap, 1ull << 20);
    EXPECT_EQ(limits.programCap, 1ull << 30);
    EXPECT_EQ(limits.lowSpeedBytesPerSecond, 1024);
    EXPECT_EQ(limits.lowSpeedSeconds, 30);
}

// --- proxy -----------------------------------------------------------------

struct ProxyEnvCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> variables;
    const char* url;
    const char* proxy;
    const char* bypass;
};
void PrintTo(const ProxyEnvCase& c, std::ostream* os) {
    *os << c.name;
}

class SystemProxy : public ::testing::TestWithParam<ProxyEnvCase> {};

TEST_P(SystemProxy, FromTheEnvironment) {
    TestEnvironment env;
    for (const auto& [name, value] : GetParam().variables)
        setenv(name, value, 1);
    ProxySetting setting = GetSystemProxy(GetParam().url);
    EXPECT_EQ(setting.proxy, GetParam().proxy);
    EXPECT_EQ(setting.bypass, GetParam().bypass);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, SystemProxy,
    ::testing::Values(
        ProxyEnvCase{"None", {}, "http://a.example/", "", "127.0.0.1;localhost"},
        ProxyEnvCase{
            "HttpForHttp", {{"http_proxy", "p:1"}, {"https_proxy", "s:2"}}, "http://a/", "p:1", "127.0.0.1;localhost"},
        ProxyEnvCase{"HttpsForHttps",
                     {{"http_proxy", "p:1"}, {"https_proxy", "s:2"}},
                     "https://a/",
                     "s:2",
                     "127.0.0.1;localhost"},
        ProxyEnvCase{"NoHttpProxyForHttps", {{"http_proxy", "p:1"}}, "https://a/", "", "127.0.0.1;localhost"},
        ProxyEnvCase{"UpperCase",
                     {{"HTTP_PROXY", "P:1"}, {"NO_PROXY", "x.org"}},
                     "http://a/",
                     "P:1",
                     "x.org;127.0.0.1;localhost"},
        ProxyEnvCase{"LowerCaseFirst",
                     {{"http_proxy", "p:1"}, {"HTTP_PROXY", "P:1"}},
                     "http://a/",
                     "p:1",
                     "127.0.0.1;localhost"},
        ProxyEnvCase{"AllProxyAfter", {{"all_proxy", "all:3"}}, "https://a/", "all:3", "127.0.0.1;localhost"},
        ProxyEnvCase{"AllProxyUpper", {{"ALL_PROXY", "ALL:3"}}, "http://a/", "ALL:3", "127.0.0.1;localhost"},
        ProxyEnvCase{"SchemeProxyBeatsAll",
                     {{"all_proxy", "all:3"}, {"http_proxy", "p:1"}},
                     "http://a/",
                     "p:1",
                     "127.0.0.1;localhost"},
        ProxyEnvCase{"ProxyKeptAsWritten",
                     {{"http_proxy", "http://user:pw@proxy.lan:3128/"}},
                     "http://a/",
                     "http://user:pw@proxy.lan:3128/",
                     "127.0.0.1;localhost"},
        ProxyEnvCase{"NoProxyCommasBecomeSemicolons",
                     {{"http_proxy", "p:1"}, {"no_proxy", "a.org, .b.net,,c:8080 "}},
                     "http://a/",
                     "p:1",
                     "a.org;.b.net;c:8080;127.0.0.1;localhost"},
        ProxyEnvCase{"NoProxyStarMeansDirect",
                     {{"http_proxy", "p:1"}, {"no_proxy", "*"}},
                     "http://a/",
                     "",
                     "*;127.0.0.1;localhost"}),
    [](const auto& info) { return std::string(info.param.name); });

class HttpProxyTest : public HttpRequestTest {
protected:
    void UseProxy() { setenv("http_proxy", proxy.HostPort().c_str(), 1); }
    TestHttpServer proxy;
};

TEST_F(HttpProxyTest, AddressOnlyTheProxyKnowsGoesThroughIt) {
    UseProxy();
    proxy.Serve("http://quor.invalid/manifest.xml", "from the proxy");
    EXPECT_EQ(HttpGetToString("http://quor.invalid/manifest.xml", 5), "from the proxy");
    auto log = proxy.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].target, "http://quor.invalid/manifest.xml");
    EXPECT_EQ(log[0].Header("User-Agent"), "Brindlemoor Quor!/1.0");
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(HttpProxyTest, AllProxyIsTheFallback) {
    setenv("ALL_PROXY", ("http://" + proxy.HostPort()).c_str(), 1);
    proxy.Serve("http://quor.invalid/x", "all");
    EXPECT_EQ(HttpGetToString("http://quor.invalid/x", 5), "all");
}

TEST_F(HttpProxyTest, HttpsGoesToTheHttpsProxyOnly) {
    UseProxy();
    TestHttpServer secureProxy;
    setenv("https_proxy", secureProxy.HostPort().c_str(), 1);
    // The fixture does not tunnel, so the request fails; what matters is where it went.
    EXPECT_EQ(HttpGetToString("https://quor.invalid/x", 5), "");
    auto log = secureProxy.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "CONNECT");
    EXPECT_EQ(log[0].target, "quor.invalid:443");
    EXPECT_EQ(proxy.RequestCount(), 0u);
}

TEST_F(HttpProxyTest, LoopbackIsNeverProxied) {
    UseProxy();
    setenv("no_proxy", "example.org", 1);
    server.Serve("/f", "direct");
    EXPECT_EQ(HttpGetToString(server.Url("/f"), 5), "direct");
    EXPECT_EQ(HttpGetToString("http://localhost:" + std::to_string(server.Port()) + "/f", 5), "direct");
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(proxy.RequestCount(), 0u);
}

// "LOCALHOST" reaches the test server directly but is not one of the fixed
// bypass entries (they match case-sensitively), so it shows the rule at work.
struct BypassCase {
    const char* name;
    const char* noProxy;  // nullptr: unset
    bool viaProxy;
};
void PrintTo(const BypassCase& c, std::ostream* os) {
    *os << c.name;
}

class HttpProxyBypass : public HttpProxyTest, public ::testing::WithParamInterface<BypassCase> {};

TEST_P(HttpProxyBypass, EntriesMatchAsPlainSubstringsOfTheAddress) {
    UseProxy();
    if (GetParam().noProxy)
        setenv("no_proxy", GetParam().noProxy, 1);
    const std::string url = "http://LOCALHOST:" + std::to_string(server.Port()) + "/game/f.xml";
    server.Serve("/game/f.xml", "direct");
    proxy.Serve(url, "proxied");
    EXPECT_EQ(HttpGetToString(url, 5), GetParam().viaProxy ? "proxied" : "direct");
    EXPECT_EQ(proxy.RequestCount(), GetParam().viaProxy ? 1u : 0u);
    EXPECT_EQ(server.RequestCount(), GetParam().viaProxy ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, HttpProxyBypass,
    ::testing::Values(BypassCase{"NoList", nullptr, true}, BypassCase{"OtherHost", "example.org", true},
                      BypassCase{"HostEntry", "example.org,LOCALHOST", false},
                      BypassCase{"EntryWithBlanks", " example.org , LOCALHOST ", false},
                      BypassCase{"PathPartMatches", "/game/", false}, BypassCase{"CaseSensitive", "Localhost", true},
                      BypassCase{"WildcardIsLiteral", "*.LOCALHOST", true},
                      BypassCase{"EmptyEntriesMatchNothing", ",,", true}, BypassCase{"StarAlone", "*", false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- single files ------------------------------------------------------------

class DownloadToFileTest : public HttpRequestTest {
protected:
    // Every name in the folder, so that a forgotten temporary file shows.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void SetUp() override {
        HttpRequestTest::SetUp();
        fs::create_directories(folder);
    }
    std::string folder = env.Path("downloads");
    std::string target = folder + "/setup.exe";
};

TEST_F(DownloadToFileTest, CompleteReplyLands) {
    const std::string body = BinaryBody(300000);
    server.Serve("/setup.exe", body);
    ASSERT_TRUE(DownloadUrlToFile(server.Url("/setup.exe"), target));
    EXPECT_EQ(TestEnvironment::ReadFile(target), body);
    EXPECT_EQ(Names(), std::vector<std::string>{"setup.exe"});
    EXPECT_EQ(server.Requests().at(0).Header("User-Agent"), "Brindlemoor Quor!/1.0");
}

TEST_F(DownloadToFileTest, ReplacesAnOlderFileOnlyWhenComplete) {
    env.WriteFile("downloads/setup.exe", "old");
    server.Serve("/cut", BinaryBody(10000), FaultMode{.dropAfterBytes = 5000});
    EXPECT_FALSE(DownloadUrlToFile(server.Url("/cut"), target));
    EXPECT_EQ(TestEnvironment::ReadFile(target), "old");
    server.Serve("/new", "new");
    EXPECT_TRUE(DownloadUrlToFile(server.Url("/new"), target));
    EXPECT_EQ(TestEnvironment::ReadFile(target), "new");
    EXPECT_EQ(Names(), std::vector<std::string>{"setup.exe"});
}

TEST_F(DownloadToFileTest, AFolderRefusedByTheCallerGetsNothing) {
    server.Serve("/setup.exe", "new");
    // Refused at once, after the folders are made, and at the rename.
    for (int allowedCalls : {0, 1, 2}) {
        int calls = 0;
        std::vector<std::string> asked;
        auto mayWriteIn = [&](const std::string& f) {
            asked.push_back(f);
            return calls++ < allowedCalls;
        };
        const std::string deep = folder + "/new/sub/setup.exe";
        EXPECT_FALSE(DownloadUrlToFile(server.Url("/setup.exe"), deep, 5, BodyKind::Program, {},
                                       FileFetchHooks{.mayWriteIn = mayWriteIn}))
            << allowedCalls;
        EXPECT_FALSE(fs::exists(deep)) << allowedCalls;
        EXPECT_EQ(fs::exists(folder + "/new"), allowedCalls > 0) << allowedCalls;
        if (allowedCalls > 0) {
            EXPECT_TRUE(fs::is_empty(folder + "/new/sub")) << allowedCalls;
        }
        EXPECT_EQ(asked, std::vector<std::string>(allowedCalls + 1, folder + "/new/sub/")) << allowedCalls;
    }
    EXPECT_TRUE(DownloadUrlToFile(server.Url("/setup.exe"), target, 5, BodyKind::Program, {},
                                  FileFetchHooks{.mayWriteIn = [](const std::string&) { return true; }}));
    EXPECT_EQ(TestEnvironment::ReadFile(target), "new");
}

// The caller sees the body as it is written and judges the whole before it is
// published; a mode it gives the open file is the one the target has.
TEST_F(DownloadToFileTest, TheCallerJudgesTheBodyAndGivesItsMode) {
    const std::string body = BinaryBody(300000);
    server.Serve("/setup.exe", body);
    for (bool accepted : {false, true}) {
        std::string seen;
        FileFetchHooks hooks;
        hooks.received = [&](const char* data, size_t size) { seen.append(data, size); };
        hooks.complete = [&](int fd) {
            EXPECT_TRUE(seen == body) << accepted;
            EXPECT_EQ(fchmod(fd, 0751), 0);
            return accepted;
        };
        EXPECT_EQ(DownloadUrlToFile(server.Url("/setup.exe"), target, 5, BodyKind::Program, {}, hooks), accepted);
        EXPECT_EQ(Names(), accepted ? std::vector<std::string>{"setup.exe"} : std::vector<std::string>{}) << accepted;
    }
    EXPECT_TRUE(TestEnvironment::ReadFile(target) == body);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
}

// A game's file may be larger than any fixed cap: its reply's length and its
// disk bound it instead.
TEST_F(DownloadToFileTest, GameFileIsBoundedByItsDiskNotByACap) {
    HttpLimits::Current().programCap = 1000;
    const std::string body = BinaryBody(5000);
    for (bool chunked : {false, true}) {
        SCOPED_TRACE(chunked ? "no length" : "with a length");
        server.Serve("/setup.exe", body, FaultMode{.chunked = chunked});
        EXPECT_FALSE(DownloadUrlToFile(server.Url("/setup.exe"), target, 5, BodyKind::Program));
        ASSERT_TRUE(DownloadUrlToFile(server.Url("/setup.exe"), target, 5, BodyKind::GameFile));
        EXPECT_EQ(TestEnvironment::ReadFile(target), body);
        fs::remove(target);

        uint64_t free = 4999;
        int asked = 0;
        HttpLimits::Current().freeSpace = [&](int fd) {
            ++asked;
            EXPECT_GE(fd, 0);
            return std::optional<uint64_t>(free);
        };
        EXPECT_FALSE(DownloadUrlToFile(server.Url("/setup.exe"), target, 5, BodyKind::GameFile));
        EXPECT_EQ(Names(), std::vector<std::string>{});
        EXPECT_GE(asked, 1);
        free = 5000;
        EXPECT_TRUE(DownloadUrlToFile(server.Url("/setup.exe"), target, 5, BodyKind::GameFile));
        EXPECT_EQ(TestEnvironment::ReadFile(target), body);
        fs::remove(target);
        HttpLimits::Current().freeSpace = nullptr;
    }
}

struct BadFileCase {
    const char* name;
    FaultMode mode;
};
void PrintTo(const BadFileCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadToFileFailure : public DownloadToFileTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(DownloadToFileFailure, LeavesNoFile) {
    ShortenSpeedLimit();
    server.Serve("/setup.exe", "<html>" + BinaryBody(20000) + "</html>", GetParam().mode);
    EXPECT_FALSE(DownloadUrlToFile(server.Url("/setup.exe"), target));
    EXPECT_EQ(Names(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Replies, DownloadToFileFailure,
                         ::testing::Values(BadFileCase{"NotFoundWithBody", {.status = 404}},
                                           BadFileCase{"ServerError", {.status = 503}},
                                           BadFileCase{"CutOff", {.dropAfterBytes = 1000}},
                                           BadFileCase{"CutOffChunked", {.dropAfterBytes = 1000, .chunked = true}},
                                           BadFileCase{"Stalled", {.stallAfterHeaders = true}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadToFileTest, UnreachableOrUnwritableLeavesNothing) {
    EXPECT_FALSE(DownloadUrlToFile(server.Url("/none"), target));
    server.Serve("/f", "x");
    // A parent path that is a file: no folder can be made there.
    env.WriteFile("downloads/plain", "p");
    EXPECT_FALSE(DownloadUrlToFile(server.Url("/f"), folder + "/plain/sub/f"));
    EXPECT_EQ(Names(), std::vector<std::string>{"plain"});
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/plain"), "p");
}

TEST_F(DownloadToFileTest, MissingFoldersOfTheTargetAreCreated) {
    server.Serve("/f", "x");
    ASSERT_TRUE(DownloadUrlToFile(server.Url("/f"), folder + "/missing/sub/f"));
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/missing/sub/f"), "x");
}

}  // namespace
