#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "games/downloads/HttpTransfer.h"
#include "games/downloads/TransferManager.h"
#include "tests/games/downloads/DownloadTestSupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

TEST(HttpTransferTest, TwoFilesLandUnderTheirNamesAndTheInstallerIsRecorded) {
    ManagerWorld w;
    w.server.Serve("/pkg/x.exe", TestBytes(70000, 1));
    w.server.Serve("/pkg/y.bin", TestBytes(90000, 2));
    std::string address = w.server.Url("/pkg/x.exe") + "," + w.server.Url("/pkg/y.bin");
    ASSERT_EQ(w.Session(address), "complete");
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "x.exe"), TestBytes(70000, 1));
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "y.bin"), TestBytes(90000, 2));
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(address), w.Folder() + "x.exe");
    EXPECT_EQ(Gets(w.server, "/pkg/x.exe").at(0).Header("User-Agent"), "Brindlemoor Quor! 1.0");
    EXPECT_FALSE(Gets(w.server, "/pkg/x.exe").at(0).HasHeader("Range"));
}

// After a power cut the record must not run ahead of the disk: each file is
// synced empty (and the folder) before its mark is written, and at its end
// before the download is recorded complete; the durable length recorded is
// what the file held at a sync (here each megabyte as it arrives); the folder's
// names are synced last, before the installer is recorded and while 202 is
// stored.
TEST(HttpTransferTest, EveryRecordFollowsTheSyncOfWhatItDescribes) {
    ManagerWorld w;
    TransferSettings s = w.Settings();
    s.syncStepBytes = 1 << 20;
    w.manager = std::make_unique<TransferManager>(s);
    const int64_t xSize = 3 * 1048576 + 17;
    w.server.Serve("/pkg/x.exe", TestBytes(xSize, 1), FaultMode{.trickleBytesPerSecond = 4 * 1048576});
    w.server.Serve("/pkg/y.bin", TestBytes(90000, 2));
    std::string address = w.server.Url("/pkg/x.exe") + "," + w.server.Url("/pkg/y.bin");
    SyncLog log(w, address);
    ASSERT_EQ(w.Session(address), "complete");
    EXPECT_EQ(StoredState(address), 206u);
    EXPECT_EQ(StoredString(address, "_downloadDurableBytes"), std::to_string(xSize) + "\n90000");

    std::vector<SyncCall> calls = log.Calls();
    std::vector<SyncCall> x = log.Of("x.exe"), y = log.Of("y.bin");
    ASSERT_GE(x.size(), 3u);
    ASSERT_GE(y.size(), 2u);
    // Synced empty, before any mark or length was written.
    EXPECT_EQ(x.front().size, 0);
    EXPECT_EQ(x.front().marks, "");
    EXPECT_EQ(x.front().durable, "");
    EXPECT_EQ(y.front().size, 0);
    EXPECT_EQ(y.front().durable, std::to_string(xSize) + "\n?") << "y's length only after its own sync";
    // Megabyte by megabyte in between, each length recorded only after its sync.
    int64_t recorded = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        int64_t before = std::stoll(x[i].durable.substr(0, x[i].durable.find('\n')));
        EXPECT_GE(before, recorded) << i;
        EXPECT_LE(before, x[i - 1].size) << "a length no sync had covered, at sync " << i;
        recorded = before;
    }
    EXPECT_GT(x.size(), 3u) << "a sync between the file's start and its end";
    EXPECT_EQ(x.back().size, xSize);
    EXPECT_EQ(y.back().size, 90000);
    // Then the folder: the last sync of all.
    EXPECT_EQ(calls.back().path, fs::canonical(w.Folder()).string());
    for (const SyncCall& call : calls) {
        EXPECT_NE(call.state, 206u) << call.path;
        EXPECT_EQ(call.installer, "") << call.path;
    }
    for (const SyncCall& call : x)
        EXPECT_EQ(call.state, 202u);
    EXPECT_EQ(calls.back().state, 202u);
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(address), w.Folder() + "x.exe");
}

// A file the disk could not keep is no finished file: the download fails with
// the write error and keeps its files, but not the bytes never known to be on
// the disk; the next start fetches them again and completes. A sync that failed
// in the background fails the file too: the kernel tells of a lost write once.
TEST(HttpTransferTest, AFailedSyncFailsTheDownloadWithTheWriteError) {
    const int64_t ySize = 3000000;
    struct Case {
        const char* name;
        std::function<bool(const SyncCall&)> fail;
        bool nothingKept;  // no length of y recorded but the 0 of its start
    } cases[] = {
        {"the sync at the file's end", [=](const SyncCall& c) { return c.IsOf("y.bin") && c.size == ySize; }, false},
        {"a sync in the background", [=](const SyncCall& c) { return c.IsOf("y.bin") && c.size > 0 && c.size < ySize; },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManagerWorld w;
        TransferSettings s = w.Settings();
        s.syncStepBytes = 1 << 20;
        w.manager = std::make_unique<TransferManager>(s);
        w.server.Serve("/pkg/x.exe", TestBytes(70000, 1));
        w.server.Serve("/pkg/y.bin", TestBytes(ySize, 2), FaultMode{.trickleBytesPerSecond = 4 * 1048576});
        std::string address = w.server.Url("/pkg/x.exe") + "," + w.server.Url("/pkg/y.bin");
        {
            SyncLog log(w, address, c.fail);
            ASSERT_EQ(w.Session(address), "failed");
        }
        EXPECT_EQ(w.FailureCodes(), std::vector<std::string>{"23"});
        EXPECT_EQ(StoredState(address), 208u);
        EXPECT_EQ(fs::file_size(w.Folder() + "y.bin"), static_cast<uintmax_t>(ySize)) << "the files stay";
        std::string durable = StoredString(address, "_downloadDurableBytes");
        ASSERT_EQ(durable.substr(0, 6), "70000\n");
        int64_t yKept = std::stoll(durable.substr(6));
        EXPECT_LT(yKept, ySize);
        if (c.nothingKept) {
            EXPECT_EQ(yKept, 0);
        }

        w.server.ClearLog();
        EXPECT_EQ(w.Session(address), "complete");
        EXPECT_EQ(StoredState(address), 206u);
        EXPECT_EQ(Gets(w.server, "/pkg/x.exe").at(0).Header("Range"), "bytes=70000-");
        EXPECT_EQ(Gets(w.server, "/pkg/y.bin").at(0).Header("Range"),
                  yKept > 0 ? "bytes=" + std::to_string(yKept) + "-" : "");
        EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "x.exe") == TestBytes(70000, 1));
        EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "y.bin") == TestBytes(ySize, 2));
    }
}

// The diagnostic report's GetOutputPath makes another file the current one; the
// transfer's thread still writes and records the file it is fetching.
TEST(HttpTransferTest, TheReportsAccessorsDoNotRedirectTheRunningFile) {
    ManagerWorld w;
    w.server.Serve("/pkg/x.exe", TestBytes(60000, 1), FaultMode{.trickleBytesPerSecond = 100000});
    w.server.Serve("/pkg/y.bin", TestBytes(9000, 2));
    std::string address = w.server.Url("/pkg/x.exe") + "," + w.server.Url("/pkg/y.bin");
    ASSERT_TRUE(w.manager->StartDownload(address, false));
    ASSERT_TRUE(WaitUntil([&] { return !Gets(w.server, "/pkg/x.exe").empty(); }, kDownloadWaitMs));
    {
        std::lock_guard<std::recursive_mutex> hold(w.manager->Lock());
        for (HttpTransfer* transfer : w.manager->GetTransfers())
            EXPECT_EQ(transfer->GetOutputPath(w.server.Url("/pkg/y.bin")), w.Folder() + "y.bin");
    }
    ASSERT_EQ(w.Finish(address), "complete");
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "x.exe"), TestBytes(60000, 1));
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "y.bin"), TestBytes(9000, 2));
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(address), w.Folder() + "x.exe");
}

TEST(HttpTransferTest, OnlyExeMsiAndQuorpatchEndingsAreInstallers) {
    struct Case {
        const char* name;
        bool installer;
    } cases[] = {{"a.exe", true},  {"a.msi", true},       {"a.quorpatch", true}, {"a.EXE", false},
                 {"a.Msi", false}, {"a.exe.part", false}, {"a.zip", false},      {"exe", false}};
    for (const Case& c : cases) {
        ManagerWorld w;
        std::string path = std::string("/") + c.name;
        w.server.Serve(path, "data");
        std::string address = w.server.Url(path);
        ASSERT_EQ(w.Session(address), "complete") << c.name;
        EXPECT_EQ(TransferManager::LoadDownloadInstaller(address), c.installer ? w.Folder() + c.name : "") << c.name;
    }
}

TEST(HttpTransferTest, ProgressTextHasTwoBlanksBeforeTheTotal) {
    DownloadWorld w;
    w.server.Serve("/x.exe", TestBytes(5 * 1048576), FaultMode{.dropAfterBytes = 2 * 1048576 + 1048576 / 2});
    fs::create_directories(w.env.Path("save"));
    HttpTransfer transfer(w.server.Url("/x.exe"), w.Settings());
    ASSERT_EQ(transfer.Start(w.env.Path("save") + "/", false), HttpTransfer::kStarted);
    ASSERT_TRUE(WaitUntil([&] { return transfer.IsFailed(); }, kDownloadWaitMs));
    ProgressRecord progress = transfer.GetProgressText();
    EXPECT_EQ(progress.text, "x.exe 3 MB of  5 MB");
    EXPECT_EQ(progress.done, 2.5 * 1024);
    EXPECT_EQ(progress.total, 5 * 1024);
    EXPECT_EQ(progress.speed, 0) << "no request runs";
    EXPECT_EQ(transfer.FailureCode(), 18);
    EXPECT_EQ(transfer.GetCurrentFileName(), "x.exe");
    EXPECT_EQ(transfer.GetSaveDirectory(), w.env.Path("save") + "/");
}

TEST(HttpTransferTest, SizeProbeCountsOnlyTheFinalReply) {
    DownloadWorld w;
    w.server.Serve("/f.bin", TestBytes(123456));
    w.server.ServeRedirects("/r.bin", 2, "/f.bin");
    w.server.Serve("/missing.bin", "<html>not here</html>", FaultMode{.status = 404});
    fs::create_directories(w.env.Path("save"));
    HttpTransfer transfer(w.server.Url("/r.bin") + "," + w.server.Url("/missing.bin"), w.Settings());
    ASSERT_EQ(transfer.Prepare(w.env.Path("save") + "/", false), HttpTransfer::kStarted);
    EXPECT_EQ(transfer.GetTotalBytes(), 123456);
    EXPECT_EQ(w.server.RequestsFor("/f.bin").at(0).method, "HEAD");
}

// The fault modes of a server, each met by a download that already has 1000
// bytes of the file on disk from an earlier session (or none, for a fresh one).
TEST(HttpTransferTest, FaultTable) {
    const std::string v1 = TestBytes(4000, 7);
    const std::string v2 = TestBytes(4500, 8);
    struct Case {
        const char* name;
        bool partialFirst;                // a first session cut after 1000 bytes
        FaultMode second;                 // how the server then answers
        std::string outcome;              // of the second session
        std::string failureCode;          // of "DownloadFailed", when it failed
        std::string fileAfter;            // what the file holds at the end
        std::vector<std::string> ranges;  // of the second session's GETs
        bool changedFile = false;
        int redirects = 0;  // the address leads to the file through this many
    } cases[] = {
        {"well-behaved resume", true, {}, "complete", "", v1, {"bytes=1000-"}},
        {"ignored Range", true, {.range = RangeMode::Ignore}, "complete", "", v1, {"bytes=1000-"}},
        {"wrong Content-Range",
         true,
         {.range = RangeMode::WrongStart, .wrongStartBy = 5},
         "complete",
         "",
         v1,
         {"bytes=1000-", ""}},
        {"416 with the local size after a longer probe",
         true,
         {.range = RangeMode::Unsatisfiable, .statedLength = 1000},
         "complete",
         "",
         v1,
         {"bytes=1000-", ""}},
        {"416 with the local size and no probe length",
         true,
         {.range = RangeMode::Unsatisfiable, .statedLength = 1000, .noLength = true},
         "complete",
         "",
         v1.substr(0, 1000),
         {"bytes=1000-"}},
        {"416 with another size",
         true,
         {.range = RangeMode::Unsatisfiable, .statedLength = 4000},
         "complete",
         "",
         v1,
         {"bytes=1000-", ""}},
        {"404 fresh", false, {.status = 404}, "failed", "22", "", {""}},
        {"404 on resume", true, {.status = 404}, "failed", "22", v1.substr(0, 1000), {"bytes=1000-"}},
        {"500 on resume", true, {.status = 500}, "failed", "22", v1.substr(0, 1000), {"bytes=1000-"}},
        {"drop after K bytes", true, {.dropAfterBytes = 1500}, "failed", "18", v1.substr(0, 2500), {"bytes=1000-"}},
        {"stall", true, {.stallAfterHeaders = true}, "failed", "28", v1.substr(0, 1000), {"bytes=1000-"}},
        {"slow trickle", true, {.trickleBytesPerSecond = 3000}, "complete", "", v1, {"bytes=1000-"}},
        {"changed file", true, {}, "complete", "", v2, {"bytes=1000-"}, true},
        {"chunked whole body on resume", true, {.chunked = true}, "complete", "", v1, {"bytes=1000-"}},
        {"redirect chain of 5", true, {}, "complete", "", v1, {"bytes=1000-"}, false, 5},
        {"redirect chain of 6", false, {}, "failed", "47", "", {}, false, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManagerWorld w(1);
        std::string address = w.server.Url(c.redirects ? "/r.bin" : "/f.bin");
        std::string file = w.Folder() + (c.redirects ? "r.bin" : "f.bin");
        if (c.redirects)
            w.server.ServeRedirects("/r.bin", c.redirects, "/f.bin");
        if (c.partialFirst) {
            FaultMode cut{.dropAfterBytes = 1000, .etag = "\"one\""};
            w.server.Serve("/f.bin", v1, cut);
            ASSERT_EQ(w.Session(address), "failed");
            ASSERT_EQ(fs::file_size(file), 1000u);
            ASSERT_EQ(StoredState(address), 208u);
        }
        FaultMode second = c.second;
        if (!c.changedFile && second.etag.empty())
            second.etag = "\"one\"";
        if (c.changedFile) {
            second.etag = "\"two\"";
            w.server.Serve("/f.bin", v2, second);
        } else {
            w.server.Serve("/f.bin", v1, second);
        }
        w.server.ClearLog();
        w.events.Clear();
        EXPECT_EQ(w.Session(address), c.outcome);
        if (c.outcome == "failed") {
            EXPECT_EQ(w.FailureCodes(), std::vector<std::string>{c.failureCode});
            EXPECT_EQ(StoredState(address), 208u);
            EXPECT_EQ(w.Messages().back(),
                      "Unable to download. Please check your internet connection and firewall settings and try again.");
        } else {
            EXPECT_EQ(StoredState(address), 206u);
        }
        EXPECT_TRUE(TestEnvironment::ReadFile(file) == c.fileAfter);
        std::vector<std::string> ranges;
        for (const auto& r : Gets(w.server, "/f.bin"))
            ranges.push_back(r.Header("Range"));
        EXPECT_EQ(ranges, c.ranges);
        if (!ranges.empty() && !ranges[0].empty()) {
            EXPECT_EQ(Gets(w.server, "/f.bin").at(0).Header("If-Range"), "\"one\"");
        }
    }
}

// A file is whole only at the length its reply announced (the 200's
// Content-Length, the total of the 206's Content-Range, else the size probe's,
// else the end of a 206's part);
// a body that stops short or runs on fails the file with the bytes kept for
// the next session. A server that gives no length anywhere is believed.
TEST(HttpTransferTest, LengthTable) {
    const std::string v1 = TestBytes(4000, 7);
    struct Case {
        const char* name;
        bool partialFirst;  // a first session cut after 1000 bytes
        FaultMode second;
        std::string outcome;
        std::string failureCode;
        std::string fileAfter;
    } cases[] = {
        {"200 without length closed early, the probe gave the size",
         false,
         {.noLength = true, .headLength = 4000, .dropAfterBytes = 2000},
         "failed",
         "18",
         v1.substr(0, 2000)},
        {"200 without length running past the probe",
         false,
         {.noLength = true, .headLength = 3000},
         "failed",
         "18",
         v1.substr(0, 3000)},
        {"206 whose body is shorter than its range",
         true,
         {.range = RangeMode::MisstatedPart, .partLengthBy = -2990},
         "failed",
         "18",
         v1.substr(0, 1010)},
        {"206 whose body runs on past its range",
         true,
         {.range = RangeMode::MisstatedPart, .partLengthBy = 500},
         "failed",
         "18",
         v1},
        {"206 to an unsaid size whose body stops short of its range, no length anywhere",
         true,
         {.range = RangeMode::MisstatedPart, .partLengthBy = -2990, .unknownTotal = true, .noLength = true},
         "failed",
         "18",
         v1.substr(0, 1010)},
        {"206 to an unsaid size, no length anywhere",
         true,
         {.range = RangeMode::MisstatedPart, .unknownTotal = true, .noLength = true},
         "complete",
         "",
         v1},
        {"200 whose length disagrees with the probe", false, {.headLength = 5000}, "complete", "", v1},
        {"no length anywhere", false, {.noLength = true}, "complete", "", v1},
        {"no length anywhere, closed early",
         false,
         {.noLength = true, .dropAfterBytes = 2000},
         "complete",
         "",
         v1.substr(0, 2000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManagerWorld w(1);
        std::string address = w.server.Url("/f.exe");
        std::string file = w.Folder() + "f.exe";
        if (c.partialFirst) {
            w.server.Serve("/f.exe", v1, FaultMode{.dropAfterBytes = 1000, .etag = "\"one\""});
            ASSERT_EQ(w.Session(address), "failed");
            ASSERT_EQ(fs::file_size(file), 1000u);
        }
        FaultMode second = c.second;
        second.etag = "\"one\"";
        w.server.Serve("/f.exe", v1, second);
        w.events.Clear();
        EXPECT_EQ(w.Session(address), c.outcome);
        if (c.outcome == "failed") {
            EXPECT_EQ(w.FailureCodes(), std::vector<std::string>{c.failureCode});
            EXPECT_EQ(StoredState(address), 208u);
        } else {
            EXPECT_EQ(StoredState(address), 206u);
        }
        EXPECT_TRUE(TestEnvironment::ReadFile(file) == c.fileAfter) << TestEnvironment::ReadFile(file).size();
    }
}

// A body of no announced length on a disk that the file itself fills: it stops
// with the write error soon after the free space falls below the reserve.
TEST(HttpTransferTest, AnEndlessBodyStopsAtTheFreeSpaceReserve) {
    ManagerWorld w;
    const uint64_t reserve = 1 << 20;
    const int64_t step = 256 << 10;
    const std::string file = w.Folder() + "endless.bin";
    TransferSettings s = w.Settings();
    s.freeSpaceReserveBytes = reserve;
    s.freeSpaceCheckStepBytes = step;
    s.freeSpace = [&](const std::string&) -> std::optional<DiskFreeBytes> {
        std::error_code ec;
        uint64_t used = fs::exists(file, ec) ? fs::file_size(file, ec) : 0;
        uint64_t free = reserve + (1 << 20) > used ? reserve + (1 << 20) - used : 0;
        return DiskFreeBytes{free, 1ull << 30, free};
    };
    w.manager = std::make_unique<TransferManager>(s);
    w.server.Serve("/endless.bin", TestBytes(8 << 20), FaultMode{.noLength = true});
    std::string address = w.server.Url("/endless.bin");
    EXPECT_EQ(w.Session(address), "failed");
    EXPECT_EQ(w.FailureCodes(), std::vector<std::string>{"23"});
    EXPECT_EQ(StoredState(address), 208u);
    uint64_t size = fs::file_size(file);
    EXPECT_GE(size, 1u << 20);
    EXPECT_LT(size, (1u << 20) + static_cast<uint64_t>(step) + static_cast<uint64_t>(s.receiveBufferBytes));
}

TEST(HttpTransferTest, ErrorPageIsNeverTakenForTheFile) {
    ManagerWorld w;
    w.server.Serve("/setup.exe", "<html>Service unavailable</html>", FaultMode{.status = 503});
    std::string address = w.server.Url("/setup.exe");
    EXPECT_EQ(w.Session(address), "failed");
    EXPECT_EQ(w.FailureCodes(), std::vector<std::string>{"22"});
    EXPECT_EQ(fs::file_size(w.Folder() + "setup.exe"), 0u);
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(address), "");
}

TEST(HttpTransferTest, AFailedDownloadIsCancelledAndFailedInOneStep) {
    ManagerWorld w;
    w.server.Serve("/g.bin", TestBytes(4000), FaultMode{.dropAfterBytes = 1500});
    std::string address = w.server.Url("/g.bin");
    ASSERT_TRUE(w.manager->StartDownload(address, false));
    ASSERT_TRUE(WaitUntil([&] { return w.manager->FindTransfer(address)->IsFailed(); }, kDownloadWaitMs));
    w.manager->Update();
    EXPECT_EQ(w.manager->TakeCancelled(), std::vector<std::string>{address});
    EXPECT_EQ(w.manager->TakeFailed(), std::vector<std::string>{address});
    EXPECT_FALSE(w.manager->HasTransfers());
    EXPECT_EQ(StoredState(address), 208u);
    EXPECT_EQ(w.events.OfCategory("DownloadFailed"),
              (std::vector<RecordedEvent>{{"DownloadFailed", "18", address}, {"DownloadFailed", address, ""}}));
    EXPECT_EQ(w.Messages(),
              std::vector<std::string>{
                  "Unable to download. Please check your internet connection and firewall settings and try again."});
    EXPECT_EQ(fs::file_size(w.Folder() + "g.bin"), 1500u) << "the files are kept";
    EXPECT_EQ(StoredString(address, "_downloadDurableBytes"), "1500") << "and all of them resumed";
    EXPECT_TRUE(fs::exists(w.Folder() + "download.lock"));
}

TEST(HttpTransferTest, ADownloadOfSeveralFilesCompletesOnlyWhenEveryFileDid) {
    ManagerWorld w;
    w.server.Serve("/a.bin", "", FaultMode{.status = 404});
    w.server.Serve("/b.bin", TestBytes(100));
    std::string address = w.server.Url("/a.bin") + "," + w.server.Url("/b.bin");
    EXPECT_EQ(w.Session(address), "failed");
    EXPECT_EQ(w.FailureCodes(), std::vector<std::string>{"22"});
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "b.bin"), TestBytes(100)) << "later files still come";
}

TEST(HttpTransferTest, TwoFileDownloadWhoseFirstFileIsAlreadyComplete) {
    ManagerWorld w;
    w.server.Serve("/a.bin", TestBytes(5000, 1));
    w.server.Serve("/b.exe", TestBytes(6000, 2), FaultMode{.dropAfterBytes = 2000});
    std::string address = w.server.Url("/a.bin") + "," + w.server.Url("/b.exe");
    ASSERT_EQ(w.Session(address), "failed");
    w.server.Serve("/b.exe", TestBytes(6000, 2));
    w.server.ClearLog();
    ASSERT_EQ(w.Session(address), "complete");
    EXPECT_EQ(Gets(w.server, "/a.bin").at(0).Header("Range"), "bytes=5000-");
    EXPECT_EQ(Gets(w.server, "/b.exe").at(0).Header("Range"), "bytes=2000-");
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "a.bin"), TestBytes(5000, 1));
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "b.exe"), TestBytes(6000, 2));
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(address), w.Folder() + "b.exe");
}

TEST(HttpTransferTest, NewDownloadNeverResumesAFileItDidNotWrite) {
    ManagerWorld w;
    w.env.WriteFile("home/.local/share/Brindlemoor Quor!/g.bin", "somebody's file of another version");
    w.server.Serve("/g.bin", TestBytes(3000));
    std::string address = w.server.Url("/g.bin");
    ASSERT_EQ(w.Session(address), "complete");
    EXPECT_FALSE(Gets(w.server, "/g.bin").at(0).HasHeader("Range"));
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "g.bin"), TestBytes(3000));
}

TEST(HttpTransferTest, ResumeOffsetIsTheSizeOnDiskWhenTheFileIsOpened) {
    ManagerWorld w;
    std::string bytes = TestBytes(8000);
    w.server.Serve("/g.bin", bytes, FaultMode{.dropAfterBytes = 3000});
    std::string address = w.server.Url("/g.bin");
    ASSERT_EQ(w.Session(address), "failed");
    // Part of the partial file is lost after the first session (a crash before
    // the page cache reached the disk, say).
    fs::resize_file(w.Folder() + "g.bin", 1200);
    w.server.Serve("/g.bin", bytes);
    w.server.ClearLog();
    ASSERT_EQ(w.Session(address), "complete");
    EXPECT_EQ(Gets(w.server, "/g.bin").at(0).Header("Range"), "bytes=1200-");
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "g.bin"), bytes);
}

// A resume keeps what the record says reached the disk, never merely what lies
// there: past the durable length a power cut may have left zeros. A record of
// before the lengths were kept, and a file it knows nothing of ("?"), resume
// from the size on the disk as they always did.
TEST(HttpTransferTest, AResumeKeepsNoBytePastTheDurableLength) {
    const std::string v1 = TestBytes(4000, 7);
    struct Case {
        const char* name;
        std::string onDisk;
        std::optional<std::string> durable;
        std::string range;  // of the resume; "" for a fetch from the start
    } cases[] = {
        {"zeros past the durable length", v1.substr(0, 1000) + std::string(2000, '\0'), "1000", "bytes=1000-"},
        {"nothing durable yet", std::string(3000, '\0'), "0", ""},
        {"less on the disk than recorded", v1.substr(0, 1200), "3000", "bytes=1200-"},
        {"a record of before the lengths", v1.substr(0, 2500), std::nullopt, "bytes=2500-"},
        {"a file the record knows nothing of", v1.substr(0, 2500), "?", "bytes=2500-"},
        {"a length that does not read", v1.substr(0, 2500), "25OO", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManagerWorld w;
        w.server.Serve("/f.bin", v1, FaultMode{.etag = "\"one\""});
        std::string address = w.server.Url("/f.bin");
        LayOutRecord(address, w.Folder(), "E:\"one\"", c.durable);
        w.env.WriteFile("home/.local/share/Brindlemoor Quor!/f.bin", c.onDisk);
        ASSERT_EQ(w.Session(address), "complete");
        EXPECT_EQ(Gets(w.server, "/f.bin").at(0).Header("Range"), c.range);
        EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "f.bin") == v1);
        EXPECT_EQ(StoredString(address, "_downloadDurableBytes"), "4000");
    }
}

// A resume answered with a new version (200) cuts the file: the cut is synced
// before the new version's mark is written, so that a power cut cannot leave
// the old version's bytes under the new mark. And where they are all the same
// (a cut the disk lost), the new mark's durable length is 0: none is kept.
TEST(HttpTransferTest, ACutIsOnTheDiskBeforeTheNewVersionIsRecorded) {
    const std::string v1 = TestBytes(4000, 7), v2 = TestBytes(4500, 8);
    {
        ManagerWorld w;
        std::string address = w.server.Url("/f.bin");
        w.server.Serve("/f.bin", v1, FaultMode{.dropAfterBytes = 1000, .etag = "\"one\""});
        ASSERT_EQ(w.Session(address), "failed");
        w.server.Serve("/f.bin", v2, FaultMode{.etag = "\"two\""});
        SyncLog log(w, address);
        ASSERT_EQ(w.Session(address), "complete");
        EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "f.bin") == v2);
        std::vector<SyncCall> calls = log.Of("f.bin");
        auto marked =
            std::find_if(calls.begin(), calls.end(), [](const SyncCall& c) { return c.marks == "E:\"two\""; });
        ASSERT_NE(marked, calls.end());
        ASSERT_NE(marked, calls.begin());
        EXPECT_EQ((marked - 1)->size, 0) << "the cut, synced";
        EXPECT_EQ((marked - 1)->marks, "E:\"one\"") << "before the new mark";
        EXPECT_EQ(marked->durable, "0") << "and the length of the new version with it";
    }
    {
        ManagerWorld w;
        std::string address = w.server.Url("/f.bin");
        w.server.Serve("/f.bin", v2, FaultMode{.etag = "\"two\""});
        LayOutRecord(address, w.Folder(), "E:\"two\"", "0");
        w.env.WriteFile("home/.local/share/Brindlemoor Quor!/f.bin", v1.substr(0, 3000));
        ASSERT_EQ(w.Session(address), "complete");
        EXPECT_FALSE(Gets(w.server, "/f.bin").at(0).HasHeader("Range"));
        EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "f.bin") == v2) << "never stitched";
    }
}

enum class Squatter { SymbolicLink, HardLink, Pipe };

const char* NameOf(Squatter kind) {
    switch (kind) {
    case Squatter::SymbolicLink: return "a symbolic link";
    case Squatter::HardLink: return "a second name of another file";
    case Squatter::Pipe: return "a pipe";
    }
    return "";
}

// Puts at `path` what is no file of the download's own: a link to the victim
// (another file of the user), or a pipe.
void Squat(Squatter kind, const std::string& path, const std::string& victim) {
    switch (kind) {
    case Squatter::SymbolicLink: fs::create_symlink(victim, path); break;
    case Squatter::HardLink: fs::create_hard_link(victim, path); break;
    case Squatter::Pipe: ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); break;
    }
}

// Whether `work`, run on a thread of its own, ends within the time; a pipe it
// blocks on is then opened from here, so that the test itself ends.
bool EndsWithin(const std::function<void()>& work, const std::string& pipe, int ms) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    bool ended = WaitUntil([&] { return done.load(); }, ms);
    int fd = ended ? -1 : open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    worker.join();
    if (fd >= 0)
        close(fd);
    return ended;
}

// The save folder may be shared with other users: at a name of the download,
// a link is never written through and a pipe never waited on. The start fails
// as for a name taken, and nothing is written or fetched.
TEST(HttpTransferTest, ALinkOrAPipeAtANameOfTheDownloadRefusesTheStart) {
    struct Case {
        const char* name;
        Squatter kind;
    } cases[] = {
        {"f.bin", Squatter::SymbolicLink},         {"f.bin", Squatter::HardLink},     {"f.bin", Squatter::Pipe},
        {"download.lock", Squatter::SymbolicLink}, {"download.lock", Squatter::Pipe},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(NameOf(c.kind)) + " at " + c.name);
        ManagerWorld w;
        w.server.Serve("/f.bin", TestBytes(5000));
        std::string address = w.server.Url("/f.bin");
        std::string victim = w.env.WriteFile("victim.txt", "the user's own file");
        fs::create_directories(w.Folder());
        Squat(c.kind, w.Folder() + c.name, victim);
        bool started = true;
        ASSERT_TRUE(EndsWithin([&] { started = w.manager->StartDownload(address, false); }, w.Folder() + c.name,
                               kDownloadWaitMs));
        EXPECT_FALSE(started);
        EXPECT_EQ(StoredState(address), 205u);
        EXPECT_EQ(w.Messages(), std::vector<std::string>{"A file with the same name already exists in that folder."});
        EXPECT_EQ(TestEnvironment::ReadFile(victim), "the user's own file");
        EXPECT_TRUE(Gets(w.server, "/f.bin").empty());
        if (std::string(c.name) == "f.bin") {
            EXPECT_FALSE(fs::exists(w.Folder() + "download.lock")) << "refused before the lock";
        }
    }
}

// The same at the moment of writing, for what appears there after the start.
TEST(HttpTransferTest, ALinkOrAPipePutThereAfterTheStartFailsTheDownload) {
    for (Squatter kind : {Squatter::SymbolicLink, Squatter::HardLink, Squatter::Pipe}) {
        SCOPED_TRACE(NameOf(kind));
        DownloadWorld w;
        w.server.Serve("/f.bin", TestBytes(5000));
        std::string folder = w.env.Path("save") + "/";
        std::string victim = w.env.WriteFile("victim.txt", "the user's own file");
        fs::create_directories(folder);
        auto transfer = std::make_unique<HttpTransfer>(w.server.Url("/f.bin"), w.Settings());
        ASSERT_EQ(transfer->Prepare(folder, false), HttpTransfer::kStarted);
        Squat(kind, folder + "f.bin", victim);
        ASSERT_TRUE(transfer->Launch());
        int failure = 0;
        ASSERT_TRUE(EndsWithin(
            [&] {
                WaitUntil([&] { return transfer->IsFailed() || transfer->IsComplete(); }, kDownloadWaitMs);
                failure = transfer->IsFailed() ? transfer->FailureCode() : 0;
                transfer.reset();  // the cancel returns too
            },
            folder + "f.bin", kDownloadWaitMs + 5000));
        EXPECT_EQ(failure, 23) << "the write error";
        EXPECT_EQ(TestEnvironment::ReadFile(victim), "the user's own file");
        EXPECT_TRUE(Gets(w.server, "/f.bin").empty());
    }
}

struct SlowDownload : ManagerWorld {
    std::string bytes = TestBytes(3 * 1048576);
    std::string address;
    HttpTransfer* transfer = nullptr;

    explicit SlowDownload(int64_t stallSeconds = 60) : ManagerWorld(stallSeconds) {
        server.Serve("/big.bin", bytes, FaultMode{.trickleBytesPerSecond = 1048576});
        address = server.Url("/big.bin");
        EXPECT_TRUE(manager->StartDownload(address, false));
        transfer = manager->FindTransfer(address);
        EXPECT_TRUE(WaitUntil([&] { return transfer->GetBytesDone() > 100000; }, kDownloadWaitMs));
    }
};

TEST(HttpTransferTest, PauseHoldsTheByteCountStillAndResumeFinishes) {
    SlowDownload d(1);
    auto asked = std::chrono::steady_clock::now();
    d.manager->PauseTransfer(d.address);
    EXPECT_EQ(StoredState(d.address), 204u);
    ASSERT_TRUE(WaitUntil([&] { return d.transfer->IsPaused(); }, kDownloadWaitMs));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    int64_t held = d.transfer->GetBytesDone();
    EXPECT_EQ(StoredString(d.address, "_downloadDurableBytes"), std::to_string(held)) << "paused on the disk";
    // Longer than the stall limit: a paused transfer is not failed by it.
    std::this_thread::sleep_for(2500ms);
    d.manager->Update();
    EXPECT_EQ(d.transfer->GetBytesDone(), held);
    EXPECT_EQ(fs::file_size(d.Folder() + "big.bin"), static_cast<uintmax_t>(held));
    EXPECT_FALSE(d.transfer->IsFailed());
    EXPECT_EQ(d.manager->GetProgressText(d.address).speed, d.transfer->GetProgressText().speed);

    d.manager->ResumeTransfer(d.address);
    EXPECT_EQ(StoredState(d.address), 202u);
    EXPECT_EQ(d.Finish(d.address), "complete");
    EXPECT_EQ(TestEnvironment::ReadFile(d.Folder() + "big.bin"), d.bytes);
}

TEST(HttpTransferTest, CancelWhilePausedEndsWithinASecondAndRemovesTheFiles) {
    SlowDownload d;
    d.manager->PauseTransfer(d.address);
    ASSERT_TRUE(WaitUntil([&] { return d.transfer->IsPaused(); }, kDownloadWaitMs));
    auto asked = std::chrono::steady_clock::now();
    d.manager->CancelTransfer(d.address, false);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    EXPECT_FALSE(d.manager->HasTransfers());
    EXPECT_EQ(d.manager->TakeCancelled(), std::vector<std::string>{d.address});
    EXPECT_EQ(StoredState(d.address), 205u);
    EXPECT_FALSE(fs::exists(d.Folder() + "big.bin"));
    EXPECT_FALSE(fs::exists(d.Folder() + "download.lock"));
    EXPECT_TRUE(d.events.OfCategory("DownloadFailed").empty()) << "a cancel is no failure";
}

TEST(HttpTransferTest, CancelDuringAStallEndsWithinASecond) {
    ManagerWorld w;
    w.server.Serve("/s.bin", TestBytes(1000), FaultMode{.stallAfterHeaders = true});
    std::string address = w.server.Url("/s.bin");
    ASSERT_TRUE(w.manager->StartDownload(address, false));
    ASSERT_TRUE(w.server.WaitForRequests(2));
    auto asked = std::chrono::steady_clock::now();
    w.manager->CancelTransfer(address, true);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    w.server.ReleaseStalls();
}

TEST(HttpTransferTest, PausedTransferWhoseConnectionWasDroppedResumesFromTheDisk) {
    ManagerWorld w;
    std::string bytes = TestBytes(2 * 1048576);
    w.server.Serve("/p.bin", bytes, FaultMode{.dropAfterBytes = 300000, .trickleBytesPerSecond = 1048576});
    std::string address = w.server.Url("/p.bin");
    ASSERT_TRUE(w.manager->StartDownload(address, false));
    HttpTransfer* transfer = w.manager->FindTransfer(address);
    ASSERT_TRUE(WaitUntil([&] { return transfer->GetBytesDone() > 50000; }, kDownloadWaitMs));
    w.manager->PauseTransfer(address);
    ASSERT_TRUE(WaitUntil([&] { return transfer->IsPaused(); }, kDownloadWaitMs));
    // The server gives up on the paused connection meanwhile.
    w.server.Serve("/p.bin", bytes);
    std::this_thread::sleep_for(600ms);
    w.manager->ResumeTransfer(address);
    EXPECT_EQ(w.Finish(address), "complete");
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "p.bin"), bytes);
    auto gets = Gets(w.server, "/p.bin");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[1].Header("Range"), "bytes=300000-");
}

}  // namespace
