// The diagnostic report's exact text, built from a snapshot with the clock, the
// time zone and the pings fixed, against real files in a temporary folder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/diagnostics/DiagnosticTask.h"
#include "core/diagnostics/Diagnostics.h"
#include "core/text/StringUtils.h"
#include "core/threads/TaskManager.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/FakeClock.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

using platform::Hive;
using platform::RegistryStore;
using platform::RegistryValue;
using Game = DiagnosticSnapshot::Game;
using Transfer = DiagnosticSnapshot::Transfer;

constexpr int64_t kNow = 1709622489;  // 2024-03-05 07:08:09 UTC

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return ReplaceAll(text, from, to);
}

class DiagnosticReportTest : public ::testing::Test {
protected:
    DiagnosticReportTest() {
        const char* tz = std::getenv("TZ");
        savedTz = tz ? tz : "";
        hadTz = tz != nullptr;
        setenv("TZ", "EST5", 1);  // five hours behind UTC, no summer time
        tzset();
        dir = env.Path("dl") + "/";
    }
    ~DiagnosticReportTest() override {
        if (hadTz)
            setenv("TZ", savedTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    // Distinct results in the order asked: "r1", "r2", ...
    DiagnosticTask::Pinger CountingPinger() {
        return [this](const std::string& host) {
            hosts.push_back(host);
            return "r" + std::to_string(hosts.size());
        };
    }

    std::string Report(DiagnosticSnapshot snapshot) {
        DiagnosticTask task(std::move(snapshot), clock, CountingPinger());
        return task.BuildReport();
    }

    // Everything up to the transfers, for manifest "1.4", an empty install folder
    // and the service at 127.0.0.1.
    static std::string Head(const std::string& installDir = "", const std::string& encoded = "") {
        return "Quor! Diagnostic Information <br>"
               "Date: 2024-3-5 2:8:9<br>"
               "Build Version: 31680<br>"
               "Manifest Version: 1.4<br>"
               "Install Dir: " +
               installDir + "<br>UrlEncoded: " + encoded +
               "<br>"
               "<br>-== Network Debug ==-<br>"
               "Ping to LA (127.0.0.1): r4 r3 r2 r1<br>"
               "Ping to Washington DC (127.0.0.1): r8 r7 r6 r5<br>"
               "Ping to Frankfurt, Germany (127.0.0.1): r12 r11 r10 r9<br>"
               "Ping to 127.0.0.1: r16 r15 r14 r13<br>";
    }

    static DiagnosticSnapshot Snapshot() {
        DiagnosticSnapshot s;
        s.manifestVersion = "1.4";
        s.serviceBaseUrl = "http://127.0.0.1:8080/svc";
        return s;
    }

    TestEnvironment env;
    FakeClock clock{kNow};
    std::vector<std::string> hosts;
    std::string dir;  // a download folder, with its "/"
    std::string savedTz;
    bool hadTz = false;
};

TEST_F(DiagnosticReportTest, NothingRunningAndNoGames) {
    EXPECT_EQ(Report(Snapshot()), Head() +
                                      "<br>-== Active Transfers ==-<br><br>"
                                      "No active downloads<br>"
                                      "<br>-== Games ==-<br>");
    EXPECT_EQ(hosts, std::vector<std::string>(16, "127.0.0.1"));
}

// The part after the network lines, for one snapshot and the files on disk.
// "{dir}" stands for the download folder, "{enc}" for its encoded slash form.
struct ReportCase {
    const char* name;
    std::vector<std::pair<std::string, size_t>> files;  // name in the folder, size
    std::vector<Transfer> transfers;
    std::vector<Game> games;
    std::string tail;
};

class ReportTail : public DiagnosticReportTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportTail, IsExactlyAsBuilt) {
    const ReportCase& c = GetParam();
    for (const auto& [name, size] : c.files)
        env.WriteFile("dl/" + name, std::string(size, 'x'));
    auto expand = [this](std::string text) { return Replaced(Replaced(text, "{dir}", dir), "{enc}", UrlEncode(dir)); };
    DiagnosticSnapshot s = Snapshot();
    for (Transfer t : c.transfers) {
        t.saveFolder = expand(t.saveFolder);
        s.transfers.push_back(t);
    }
    for (Game g : c.games) {
        g.saveFolder = expand(g.saveFolder);
        s.games.push_back(g);
    }
    EXPECT_EQ(Report(s), Head() + expand(c.tail));
}

const std::string kNoTransfers = "<br>-== Active Transfers ==-<br><br>No active downloads<br>";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportTail,
    ::testing::Values(
        ReportCase{"HiddenPanelIsLeftOut",
                   {},
                   {},
                   {{"Hidden Game", 12, "http://h/hidden.exe", "", 0, ""}},
                   kNoTransfers + "<br>-== Games ==-<br>"},
        ReportCase{
            "DownloadingPanelHasNoFileBlock",
            {{"sc.exe", 10}},
            {},
            {{"Star Courier", 3, "http://h/sc.exe", "", 1, "{dir}"},
             {"Iron Vale", 3, "http://h/iv.exe", "/opt/iv/iv.bin", 1, "{dir}"}},
            kNoTransfers +
                "<br>-== Games ==-<br>"
                "Game name : Star Courier<br>State : 3<br>PackageUrl : http://h/sc.exe<br>TransferState : 1<br><br>"
                "Game name : Iron Vale<br>State : 3<br>PackageUrl : http://h/iv.exe<br>TransferState : 1<br>"
                "InstalledExe : /opt/iv/iv.bin<br>InstalledExe Encoded : %2fopt%2fiv%2fiv.bin<br><br>"},
        ReportCase{"TwoAddressesGiveTwoBlocksAndAMissingFileIsMinusOne",
                   {{"a.bin", 1048577}},
                   {},
                   {{"Duskmarch", 5, "http://h/x/a.bin,http://h/y/b.bin", "", 2, "{dir}"}},
                   kNoTransfers +
                       "<br>-== Games ==-<br>"
                       "Game name : Duskmarch<br>State : 5<br>PackageUrl : http://h/x/a.bin,http://h/y/b.bin<br>"
                       "TransferState : 2<br>"
                       "<br>-- Downloaded File --<br>Size: 1048577<br>Path: {dir}a.bin<br>Encoded Path: {enc}a.bin<br>"
                       "<br>-- Downloaded File --<br>Size: -1<br>Path: {dir}b.bin<br>Encoded Path: {enc}b.bin<br>"
                       "<br>"},
        ReportCase{"FailedDiscAndInstallingStatesShowTheirFiles",
                   {{"f.exe", 0}},
                   {},
                   {{"F", 14, "http://h/f.exe", "", 5, "{dir}"},
                    {"D", 6, "http://h/f.exe", "", 0, "{dir}"},
                    {"I", 7, "http://h/f.exe", "", 2, "{dir}"}},
                   kNoTransfers + "<br>-== Games ==-<br>" +
                       "Game name : F<br>State : 14<br>PackageUrl : http://h/f.exe<br>TransferState : 5<br>"
                       "<br>-- Downloaded File --<br>Size: 0<br>Path: {dir}f.exe<br>Encoded Path: {enc}f.exe<br><br>"
                       "Game name : D<br>State : 6<br>PackageUrl : http://h/f.exe<br>TransferState : 0<br>"
                       "<br>-- Downloaded File --<br>Size: 0<br>Path: {dir}f.exe<br>Encoded Path: {enc}f.exe<br><br>"
                       "Game name : I<br>State : 7<br>PackageUrl : http://h/f.exe<br>TransferState : 2<br>"
                       "<br>-- Downloaded File --<br>Size: 0<br>Path: {dir}f.exe<br>Encoded Path: {enc}f.exe<br><br>"},
        ReportCase{
            "DriveLetterPathsKeepTheirBackslashesOnlyWhereEncodedAsResolved",
            {},
            {},
            {{"Star Courier", 5, "http://h/sc.exe", "C:\\Games\\Star Courier\\sc.exe", 2, "D:\\Dl\\"}},
            kNoTransfers +
                "<br>-== Games ==-<br>"
                "Game name : Star Courier<br>State : 5<br>PackageUrl : http://h/sc.exe<br>TransferState : 2<br>"
                "InstalledExe : C:/Games/Star Courier/sc.exe<br>"
                "InstalledExe Encoded : C%3a%5cGames%5cStar%20Courier%5csc.exe<br>"
                "<br>-- Downloaded File --<br>Size: -1<br>Path: D:/Dl/sc.exe<br>Encoded Path: D%3a%5cDl%5csc.exe<br>"
                "<br>"},
        ReportCase{"TransferSizesRoundUpToWholeMegabytes",
                   {{"one.bin", 1}, {"mb.bin", 1048576}, {"more.bin", 1048577}},
                   {{"http://h/one.bin,,http://h/mb.bin,http://h/gone.bin,http://h/more.bin",
                     "{dir}",
                     "more.bin",
                     {"http://h/one.bin", "", "http://h/mb.bin", "http://h/gone.bin", "http://h/more.bin"}}},
                   {},
                   "<br>-== Active Transfers ==-<br><br>"
                   "http://h/one.bin,,http://h/mb.bin,http://h/gone.bin,http://h/more.bin<br>"
                   "Active download path: {dir}more.bin<br>"
                   "Active encoded path: {enc}more.bin<br>"
                   "Active download size: 1048577<br>"
                   "<br>-== Active download completed files ==-<br><br>"
                   "Downloaded file path: {dir}one.bin<br>Downloaded encoded path: {enc}one.bin<br>"
                   "Downloaded file size: 1 MB<br>"
                   "Downloaded file path: {dir}mb.bin<br>Downloaded encoded path: {enc}mb.bin<br>"
                   "Downloaded file size: 1 MB<br>"
                   "Downloaded file path: {dir}more.bin<br>Downloaded encoded path: {enc}more.bin<br>"
                   "Downloaded file size: 2 MB<br>"
                   "<br>"
                   "<br>-== Games ==-<br>"},
        ReportCase{"TransferWithoutFilesOnDisk",
                   {},
                   {{"http://h/a.exe", "{dir}", "a.exe", {"http://h/a.exe"}}, {"http://h/b.exe", "{dir}", "", {}}},
                   {},
                   "<br>-== Active Transfers ==-<br><br>"
                   "http://h/a.exe<br>Active download path: {dir}a.exe<br>Active encoded path: {enc}a.exe<br>"
                   "Active download size: -1<br>"
                   "<br>-== Active download completed files ==-<br><br>"
                   "No fully downloaded files for this transfer<br>"
                   "http://h/b.exe<br>Active download path: {dir}<br>Active encoded path: {enc}<br>"
                   "Active download size: -1<br>"
                   "<br>-== Active download completed files ==-<br><br>"
                   "No fully downloaded files for this transfer<br>"
                   "<br>-== Games ==-<br>"}),
    [](const ::testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

TEST_F(DiagnosticReportTest, InstallFolderIsThePerUserValueInSlashAndEncodedForm) {
    RegistryStore::ForHive(Hive::CurrentUser)
        .WriteValue("SOFTWARE\\Brindlemoor\\Quor!", "Install_Dir", RegistryValue::Text("C:\\Program Files\\Quor"));
    // The machine-wide value the plug-ins read is not the report's.
    RegistryStore::ForHive(Hive::LocalMachine)
        .WriteValue("SOFTWARE\\Brindlemoor\\Quor!", "Install_Dir", RegistryValue::Text("/opt/other"));
    std::string report = Report(Snapshot());
    EXPECT_EQ(report.substr(0, Head("C:/Program Files/Quor", "C%3a%2fProgram%20Files%2fQuor").size()),
              Head("C:/Program Files/Quor", "C%3a%2fProgram%20Files%2fQuor"));
}

// A FIFO where a downloaded file should be would hold the report (and the task
// queue behind it) forever if it were opened waiting for a writer.
TEST_F(DiagnosticReportTest, AFifoInPlaceOfAFileIsNoFileAndDoesNotHoldTheReport) {
    mkdir(dir.c_str(), 0700);
    ASSERT_EQ(mkfifo((dir + "f.exe").c_str(), 0600), 0);
    DiagnosticSnapshot s = Snapshot();
    s.transfers.push_back({"http://h/f.exe", dir, "f.exe", {"http://h/f.exe"}});
    s.games.push_back({"F", 5, "http://h/f.exe", "", 1, dir});
    DiagnosticTask task(std::move(s), clock, CountingPinger());
    std::atomic<bool> done{false};
    std::string report;
    std::thread builder([&] {
        report = task.BuildReport();
        done = true;
    });
    bool answered = WaitUntil([&] { return done.load(); }, 5000);
    // A reader held by the FIFO is let go by a writer, so that the test ends.
    int writer = answered ? -1 : open((dir + "f.exe").c_str(), O_RDWR | O_CLOEXEC);
    builder.join();
    if (writer >= 0)
        close(writer);
    EXPECT_TRUE(answered);
    EXPECT_NE(report.find("Active download size: -1<br>"), std::string::npos) << report;
    EXPECT_NE(report.find("No fully downloaded files for this transfer<br>"), std::string::npos);
    EXPECT_NE(report.find("<br>-- Downloaded File --<br>Size: -1<br>"), std::string::npos);
}

TEST(DiagnosticHost, IsTheServiceAddressHost) {
    const std::pair<const char*, const char*> cases[] = {{"http://127.0.0.1:8080/svc", "127.0.0.1"},
                                                         {"https://api.example.test", "api.example.test"},
                                                         {"https://user:pw@example.test:443/x?y", "example.test"},
                                                         {"http://[::1]:80/", "::1"},
                                                         {"example.test/path", "example.test"},
                                                         {"", ""}};
    for (const auto& [address, host] : cases)
        EXPECT_EQ(DiagnosticTask::HostOf(address), host) << address;
}

TEST_F(DiagnosticReportTest, RunHandsTheReportToThePage) {
    RecordingPageCallSink page;
    DiagnosticTask task(Snapshot(), clock, CountingPinger());
    task.Run();
    auto calls = page.CallsOf("displayDiagnostics");
    ASSERT_EQ(calls.size(), 1u);
    hosts.clear();
    EXPECT_EQ(calls[0].args, std::vector<std::string>{Report(Snapshot())});
}

TEST_F(DiagnosticReportTest, ShowOpensTheViewAtOnceAndQueuesTheReport) {
    RecordingPageCallSink page;
    TaskManager queue;  // not started: the task waits
    ShowDiagnostics(Snapshot());
    EXPECT_EQ(page.Calls(), (std::vector<RecordingPageCallSink::Call>{{"displayDiagnostics", {""}}}));
    ASSERT_EQ(queue.WaitingCount(), 1u);
    EXPECT_NE(dynamic_cast<DiagnosticTask*>(queue.TakeNext().get()), nullptr);
}

TEST_F(DiagnosticReportTest, AFullQueueDropsTheReportButStillOpensTheView) {
    struct Idle : Task {
        void Run() override {}
    };
    RecordingPageCallSink page;
    TaskManager queue;
    for (size_t i = 0; i < TaskManager::kMaxWaiting; ++i)
        queue.AddTask(std::make_unique<Idle>());
    ShowDiagnostics(Snapshot());
    EXPECT_EQ(page.CallsOf("displayDiagnostics").size(), 1u);
    EXPECT_EQ(queue.WaitingCount(), TaskManager::kMaxWaiting);
}

}  // namespace
