// The order of the durability barriers of a repair, as a process of its own
// makes them: each fetched file is synced (with its mode) before it is renamed
// into place, its folder after, and a new folder's parent before anything in it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "games/patching/FileChecksum.h"
#include "tests/fixtures/BarrierChecker.h"
#include "tests/fixtures/FsRecording.h"
#include "tests/games/downloads/DownloadTestSupport.h"

namespace {

std::string Line(const std::string& path, const std::string& bytes) {
    return path + "," + std::to_string(Crc32Update(0, bytes.data(), bytes.size())) + "\r\n";
}

TEST(RepairBarriers, ExecutableAndFileInANewSubfolderAreDurableOnceRepaired) {
    TestEnvironment env;
    TestHttpServer server;
    const std::string game = std::filesystem::weakly_canonical(env.Path("game")).string();
    const std::string program = TestBytes(300000, 21), map = TestBytes(200000, 22);
    // A damaged program with its execute mode; the map's two folders do not exist yet.
    env.WriteFile("game/bin/game", "damaged");
    ASSERT_EQ(chmod((game + "/bin/game").c_str(), 0755), 0);
    server.Serve("/manifest.txt", Line("\\bin\\game", program) + Line("\\data\\maps\\new.pak", map));
    server.Serve("/files/bin/game", program);
    server.Serve("/files/data/maps/new.pak", map);

    FsRecording recording(env.Path("log"), env.HkcuFile());
    ChildProcess::Result run =
        recording.Run({QUOR_BARRIER_CHILD, "repair", game, server.Url("/manifest.txt"), server.Url("/files")});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(TestEnvironment::ReadFile(game + "/bin/game") == program);
    EXPECT_TRUE(TestEnvironment::ReadFile(game + "/data/maps/new.pak") == map);
    struct stat st {};
    ASSERT_EQ(stat((game + "/bin/game").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << "the repaired program keeps its mode";

    std::vector<FsCall> calls = recording.Calls();
    std::vector<BarrierFault> faults =
        BarrierChecker().Check(calls, {{game + "/bin/game", -1}, {game + "/data/maps/new.pak", -1}});
    EXPECT_TRUE(faults.empty()) << BarrierChecker::Describe(faults, calls);
}

}  // namespace
