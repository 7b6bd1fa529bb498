// The order of the durability barriers of a download, as a process of its own
// makes them: its record in the hive never runs ahead of its file, and its lock is
// durable before the download counts on it.
#include <gtest/gtest.h>

#include <filesystem>

#include "games/downloads/SaveFolder.h"
#include "tests/fixtures/BarrierChecker.h"
#include "tests/fixtures/DownloadRecordClaims.h"
#include "tests/fixtures/FsRecording.h"
#include "tests/games/downloads/DownloadTestSupport.h"

namespace {

constexpr size_t kFileBytes = 4 * 1048576;
constexpr int64_t kCutAfter = 1536 * 1024;

std::string Canonical(const std::string& path) {
    return std::filesystem::weakly_canonical(path).string();
}

void ExpectBarriersHold(const FsRecording& recording, const ClaimReader& claims,
                        const std::vector<DurableClaim>& atEnd) {
    std::vector<FsCall> calls = recording.Calls();
    std::vector<BarrierFault> faults = BarrierChecker(claims).Check(calls, atEnd);
    EXPECT_TRUE(faults.empty()) << BarrierChecker::Describe(faults, calls);
}

struct RecordedDownload {
    TestEnvironment env;
    TestHttpServer server;
    FsRecording recording{env.Path("log"), env.HkcuFile()};
    const std::string address = server.Url("/game.exe");
    const std::string file = Canonical(env.Path("home/.local/share/Brindlemoor Quor!")) + "/game.exe";

    // "complete", "failed" or what else the child said.
    std::string Run() {
        ChildProcess::Result run = recording.Run({QUOR_DOWNLOAD_CHILD, address});
        if (run.out.find("complete\n") != std::string::npos)
            return "complete";
        if (run.out.find("failed\n") != std::string::npos)
            return "failed";
        return run.out + run.err;
    }

    // The first run is cut off after some bytes: a partial file of version "first".
    void CutFirstRun(const std::string& bytes) {
        server.Serve("/game.exe", bytes, FaultMode{.dropAfterBytes = kCutAfter, .etag = "\"first\""});
        ASSERT_EQ(Run(), "failed");
        ASSERT_TRUE(TestEnvironment::ReadFile(file) == bytes.substr(0, kCutAfter));
    }
};

TEST(DownloadBarriers, CutDownloadResumedToCompleteKeepsItsRecordBehindItsFile) {
    RecordedDownload d;
    const std::string bytes = TestBytes(kFileBytes, 11);
    ASSERT_NO_FATAL_FAILURE(d.CutFirstRun(bytes));
    d.server.Serve("/game.exe", bytes, FaultMode{.etag = "\"first\""});
    ASSERT_EQ(d.Run(), "complete");
    EXPECT_TRUE(TestEnvironment::ReadFile(d.file) == bytes);
    std::vector<LoggedRequest> gets = Gets(d.server, "/game.exe");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[1].Header("Range"), "bytes=" + std::to_string(kCutAfter) + "-") << "resumed from the disk";
    ExpectBarriersHold(d.recording, DownloadRecordClaims(d.address), {{d.file, -1}});
}

TEST(DownloadBarriers, ResumeAnsweredWithANewVersionMakesTheCutDurableBeforeItsMark) {
    RecordedDownload d;
    ASSERT_NO_FATAL_FAILURE(d.CutFirstRun(TestBytes(kFileBytes, 12)));
    // The file changed on the server: the resume's If-Range gets the whole new version.
    const std::string second = TestBytes(kFileBytes + 1000, 13);
    d.server.Serve("/game.exe", second, FaultMode{.etag = "\"second\""});
    ASSERT_EQ(d.Run(), "complete");
    EXPECT_TRUE(TestEnvironment::ReadFile(d.file) == second);
    std::vector<LoggedRequest> gets = Gets(d.server, "/game.exe");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[1].Header("If-Range"), "\"first\"");
    ExpectBarriersHold(d.recording, DownloadRecordClaims(d.address), {{d.file, -1}});
}

TEST(DownloadBarriers, NewDownloadOverAStaleFileMakesTheCutDurableBeforeItsMark) {
    RecordedDownload d;
    // A file of that name that no download of ours wrote: the new one replaces it.
    d.env.WriteFile("home/.local/share/Brindlemoor Quor!/game.exe", TestBytes(500000, 14));
    const std::string bytes = TestBytes(kFileBytes, 15);
    d.server.Serve("/game.exe", bytes, FaultMode{.etag = "\"only\""});
    ASSERT_EQ(d.Run(), "complete");
    EXPECT_TRUE(TestEnvironment::ReadFile(d.file) == bytes);
    ExpectBarriersHold(d.recording, DownloadRecordClaims(d.address), {{d.file, -1}});
}

struct RecordedLock {
    TestEnvironment env;
    FsRecording recording{env.Path("log"), env.HkcuFile()};
    const std::string folder = Canonical(env.Path("save")) + "/";

    RecordedLock() { std::filesystem::create_directories(folder); }

    std::string Take() {
        ChildProcess::Result run = recording.Run({QUOR_BARRIER_CHILD, "lock", folder});
        return run.exitCode == 0 ? run.out : run.out + run.err;
    }
};

TEST(DownloadBarriers, LockTakenInAFreshSaveFolderIsDurableOnceTaken) {
    RecordedLock lock;
    EXPECT_EQ(lock.Take(), "owned\n");
    EXPECT_EQ(TestEnvironment::ReadFile(lock.folder + "download.lock"), GetCurrentUserName());
    // Once taken, the lock holds its name whatever happens to the machine.
    ExpectBarriersHold(lock.recording, {}, {{lock.folder + "download.lock", -1}});
}

TEST(DownloadBarriers, EmptyLockIsTakenOverWithTheUsersNameDurably) {
    RecordedLock lock;
    lock.env.WriteFile("save/download.lock", "");
    EXPECT_EQ(lock.Take(), "owned\n");
    EXPECT_EQ(TestEnvironment::ReadFile(lock.folder + "download.lock"), GetCurrentUserName())
        << "an empty lock (cut short by a power cut) names its new owner";
    // Once taken, the lock holds its name whatever happens to the machine.
    ExpectBarriersHold(lock.recording, {}, {{lock.folder + "download.lock", -1}});
}

}  // namespace
