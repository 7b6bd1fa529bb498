// The publisher's service ends on Stop whenever Stop comes: before Run, while
// its accept loop is starting, or while it serves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <httplib.h>
#include <thread>

#include "tests/fixtures/WaitUntil.h"
#include "tools/demo-publisher/PublisherServer.h"

namespace {

// Runs the server on a thread, calls `during` on this one, and waits (bounded)
// for Run to return. A Run that never returns cannot be joined: the process
// ends with a failure instead of hanging the suite.
void RunExpectingEnd(PublisherServer& server, const std::function<void()>& during) {
    auto ended = std::make_shared<std::promise<void>>();
    std::future<void> done = ended->get_future();
    std::thread runner([&server, ended] {
        server.Run();
        ended->set_value();
    });
    during();
    if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::fprintf(stderr, "PublisherServer::Run did not end within 30 s of Stop\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
    runner.join();
}

class PublisherServerTest : public ::testing::Test {
protected:
    DemoContent content;  // nothing generated: these tests only start and stop
};

}  // namespace

TEST_F(PublisherServerTest, StopBeforeRunEndsRunAtOnce) {
    PublisherServer server(content, PublisherSettings{});
    ASSERT_GT(server.Bind(0), 0);
    server.Stop();
    RunExpectingEnd(server, [] {});
}

TEST_F(PublisherServerTest, StopWhileTheLoopStartsAlwaysEnds) {
    // The signal of a quick SIGTERM lands anywhere in Run's start.
    for (int round = 0; round < 50; ++round) {
        PublisherServer server(content, PublisherSettings{});
        ASSERT_GT(server.Bind(0), 0);
        RunExpectingEnd(server, [&] { server.Stop(); });
    }
}

TEST_F(PublisherServerTest, StopWhileServingEnds) {
    PublisherServer server(content, PublisherSettings{});
    int port = server.Bind(0);
    ASSERT_GT(port, 0);
    RunExpectingEnd(server, [&] {
        httplib::Client client("127.0.0.1", port);
        EXPECT_TRUE(WaitUntil(
            [&] {
                auto r = client.Get("/quor/");
                return r && r->status == 200;
            },
            30000));
        server.Stop();
    });
}
