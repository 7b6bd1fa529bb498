#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/system/Shell.h"
#include "core/text/Messages.h"
#include "tests/core/system/ProcessTestHelpers.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

// A stand-in xdg-open first on PATH that records its arguments, one per line.
class OpenUrlTest : public ::testing::Test {
protected:
    TestEnvironment env;
    RecordingPageCallSink page;
    std::unique_ptr<ScopedPath> path;

    void InstallOpener(const std::string& tail) {
        std::string record = env.Path("opened");
        WriteWithMode(env, "fake-bin/xdg-open",
                      "#!/bin/sh\n"
                      "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" +
                          record +
                          ".tmp'\n"
                          "mv '" +
                          record + ".tmp' '" + record + "'\n" + tail,
                      0755);
        path = std::make_unique<ScopedPath>(ScopedPath::WithFirst(env.Path("fake-bin")));
    }
    std::string Opened() { return TestEnvironment::ReadFile(env.Path("opened")); }
    std::vector<RecordingPageCallSink::Call> Message28() {
        return {{"showMessage", {GetLocalizedString(Msg::BrowserLaunchFailed)}}};
    }
};

TEST_F(OpenUrlTest, HandsTheAddressOverAsOneArgument) {
    InstallOpener("exit 0\n");
    const std::string address = "https://127.0.0.1/pop up?game=Space Game&x='1';$(id)";
    EXPECT_TRUE(OpenUrl(address));
    EXPECT_TRUE(WaitUntil([&] { return Opened() == "[" + address + "]\n"; })) << Opened();
    EXPECT_TRUE(page.Calls().empty());

    EXPECT_TRUE(OpenUrl("HTTP://127.0.0.1/upper"));
    EXPECT_TRUE(WaitUntil([&] { return Opened() == "[HTTP://127.0.0.1/upper]\n"; })) << Opened();
}

TEST_F(OpenUrlTest, OtherSchemesAreRefusedWithMessage28) {
    InstallOpener("exit 0\n");
    ASSERT_FALSE(GetLocalizedString(Msg::BrowserLaunchFailed).empty());
    for (const char* address :
         {"file:///etc/passwd", "javascript:alert(1)", "ftp://127.0.0.1/x", "mailto:a@example.com", "", "http",
          "127.0.0.1/page", "--help", "http://127.0.0.1/a\nb", "httpx://127.0.0.1/"}) {
        page.Clear();
        EXPECT_FALSE(OpenUrl(address)) << address;
        EXPECT_EQ(page.Calls(), Message28()) << address;
    }
    EXPECT_EQ(Opened(), "");  // the desktop was never asked
}

// The status is awaited on another thread: the caller goes on at once, and a
// failure within the wait still shows message 28; a later one counts as opened.
TEST_F(OpenUrlTest, FailureStatusOfTheOpenerGivesMessage28WithoutBlocking) {
    struct Case {
        const char* tail;
        bool message;
    } cases[] = {{"exit 4\n", true}, {"sleep 1; exit 4\n", true}, {"sleep 3; exit 4\n", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        InstallOpener(c.tail);
        page.Clear();
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(OpenUrl("http://127.0.0.1/"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        EXPECT_TRUE(WaitUntil([&] { return !page.Calls().empty(); }, 3500) == c.message);
        if (c.message) {
            EXPECT_EQ(page.Calls(), Message28());
        }
    }
}

TEST_F(OpenUrlTest, MissingOpenerGivesMessage28) {
    ScopedPath empty(env.Path("empty-bin"));
    EXPECT_FALSE(OpenUrl("http://127.0.0.1/"));
    EXPECT_EQ(page.Calls(), Message28());
}

TEST_F(OpenUrlTest, OpenerThatKeepsRunningCountsAsOpened) {
    // Some desktops keep xdg-open until the browser ends.
    InstallOpener("sleep 2\n");
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(OpenUrl("http://127.0.0.1/", 100));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    // Still running when the wait ends: no message then either.
    EXPECT_FALSE(WaitUntil([&] { return !page.Calls().empty(); }, 800));
}

}  // namespace
