// Downloads in a process of their own: killed at many points, and on a disk
// that fills up.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "core/settings/Prefs.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/games/downloads/DownloadTestSupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

int64_t SizeOf(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<int64_t>(size);
}

// A kill is no power cut, but the restart cannot tell them apart: it keeps what
// the record says was on the disk, never more than lies there.
TEST(DownloadProcess, KilledAtElevenPointsEachRestartResumesFromTheDurableLength) {
    TestEnvironment env;
    TestHttpServer server;
    const std::string bytes = TestBytes(24 * 1048576, 3);
    server.Serve("/big.bin", bytes, FaultMode{.trickleBytesPerSecond = 8 * 1048576, .etag = "\"big\""});
    const std::string address = server.Url("/big.bin");
    const std::string file = env.Path("home/.local/share/Brindlemoor Quor!/big.bin");

    std::vector<int64_t> kept;
    const int kills = 11;
    for (int k = 1; k <= kills; ++k) {
        int64_t threshold = static_cast<int64_t>(bytes.size()) * k / (kills + 1);
        {
            ChildProcess child({QUOR_DOWNLOAD_CHILD, address});
            ASSERT_TRUE(WaitUntil([&] { return SizeOf(file) >= threshold; }, 60000)) << "kill " << k;
        }  // SIGKILL, reaped
        EXPECT_EQ(Prefs::ReadNumber("Downloads", address + "_downloadState"), 202u);
        std::string durable = Prefs::ReadString("Downloads", address + "_downloadDurableBytes");
        ASSERT_FALSE(durable.empty()) << "kill " << k;
        EXPECT_LE(std::stoll(durable), SizeOf(file)) << "kill " << k;
        kept.push_back(std::min(std::stoll(durable), static_cast<long long>(SizeOf(file))));
    }
    ChildProcess::Result last = ChildProcess::Run({QUOR_DOWNLOAD_CHILD, address});
    EXPECT_EQ(last.exitCode, 0) << last.out << last.err;
    EXPECT_NE(last.out.find("complete"), std::string::npos);
    EXPECT_TRUE(TestEnvironment::ReadFile(file) == bytes) << "the file differs from the server's";
    EXPECT_EQ(Prefs::ReadString("Downloads", address + "_downloadDurableBytes"), std::to_string(bytes.size()));

    // Each restart asked for exactly what it kept.
    std::vector<LoggedRequest> gets = Gets(server, "/big.bin");
    ASSERT_EQ(gets.size(), static_cast<size_t>(kills + 1));
    EXPECT_FALSE(gets[0].HasHeader("Range"));
    for (int k = 1; k <= kills; ++k) {
        if (kept[k - 1] == 0) {
            EXPECT_FALSE(gets[k].HasHeader("Range")) << "restart " << k;
            continue;
        }
        EXPECT_EQ(gets[k].Header("Range"), "bytes=" + std::to_string(kept[k - 1]) + "-") << "restart " << k;
        EXPECT_EQ(gets[k].Header("If-Range"), "\"big\"");
    }
}

TEST(DownloadProcess, FullDiskFailsWithTheWriteErrorAndResumesWhenSpaceIsBack) {
    TestEnvironment env;
    TestHttpServer server;
    const std::string bytes = TestBytes(6 * 1048576, 4);
    server.Serve("/full.exe", bytes);
    const std::string address = server.Url("/full.exe");
    const std::string file = env.Path("home/.local/share/Brindlemoor Quor!/full.exe");
    const int64_t limit = 2 * 1048576 + 12345;

    ChildProcess::Result full =
        ChildProcess::Run({QUOR_DOWNLOAD_CHILD, address, "--file-size-limit", std::to_string(limit)});
    EXPECT_EQ(full.exitCode, 1) << full.out << full.err;
    EXPECT_NE(full.out.find("event DownloadFailed|23|" + address + "\n"), std::string::npos) << full.out;
    EXPECT_NE(full.out.find("message Unable to download. Please check your internet connection and firewall "
                            "settings and try again.\n"),
              std::string::npos)
        << full.out;
    EXPECT_EQ(Prefs::ReadNumber("Downloads", address + "_downloadState"), 208u);
    // What was written stays.
    EXPECT_EQ(SizeOf(file), limit);
    EXPECT_TRUE(TestEnvironment::ReadFile(file) == bytes.substr(0, limit));

    ChildProcess::Result resumed = ChildProcess::Run({QUOR_DOWNLOAD_CHILD, address});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.out << resumed.err;
    EXPECT_TRUE(TestEnvironment::ReadFile(file) == bytes);
    EXPECT_EQ(Gets(server, "/full.exe").back().Header("Range"), "bytes=" + std::to_string(limit) + "-");
    EXPECT_EQ(Prefs::ReadNumber("Downloads", address + "_downloadState"), 206u);
}

}  // namespace
