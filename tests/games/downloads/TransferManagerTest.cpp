#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/settings/Prefs.h"
#include "core/text/StringUtils.h"
#include "games/downloads/DownloadRecord.h"
#include "games/downloads/HttpTransfer.h"
#include "games/downloads/SaveFolder.h"
#include "games/downloads/TransferManager.h"
#include "tests/games/downloads/DownloadTestSupport.h"

namespace fs = std::filesystem;

namespace {

TEST(DownloadRecordTest, StoredCodesMapToStatuses) {
    TestEnvironment env;
    struct Case {
        uint32_t code;
        DownloadStatus status;
    } cases[] = {{202, DownloadStatus::Incomplete}, {204, DownloadStatus::Incomplete}, {206, DownloadStatus::Complete},
                 {208, DownloadStatus::Failed},     {205, DownloadStatus::None},       {203, DownloadStatus::None},
                 {207, DownloadStatus::None},       {0, DownloadStatus::None},         {12345, DownloadStatus::None}};
    for (const Case& c : cases) {
        Prefs::WriteNumber("Downloads", "http://h/a.exe_downloadState", c.code);
        EXPECT_EQ(TransferManager::LoadDownloadState("http://h/a.exe"), c.status) << c.code;
    }
    EXPECT_EQ(TransferManager::LoadDownloadState("http://h/never.exe"), DownloadStatus::None);
}

// "_downloadDurableBytes" as it is read back: one count per file; "?" knows
// nothing (the disk is trusted, as for a record of before the lengths), and
// anything else that is not a count keeps nothing.
TEST(DownloadRecordTest, DurableLengthsReadBack) {
    TestEnvironment env;
    const std::string address = "http://h/a.exe,http://h/b.exe,http://h/c.exe";
    DownloadRecord record(address);
    const int64_t unknown = DownloadRecord::kUnknownLength;
    EXPECT_EQ(record.LoadDurableLengths(3), (std::vector<int64_t>{unknown, unknown, unknown})) << "no value";
    struct Case {
        std::string stored;
        std::vector<int64_t> lengths;
    } cases[] = {
        {"12\n?\n3456", {12, unknown, 3456}},
        {"12", {12, 0, 0}},
        {"-5\n1e3\n 7", {0, 0, 0}},
        {"99999999999999999999\n\n0", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        Prefs::WriteString("Downloads", address + "_downloadDurableBytes", c.stored);
        EXPECT_EQ(record.LoadDurableLengths(3), c.lengths) << c.stored;
    }
    Prefs::DeleteValue("Downloads", address + "_downloadDurableBytes");
    ASSERT_TRUE(record.SaveDurableLength(1, 3, 4096));
    EXPECT_EQ(StoredString(address, "_downloadDurableBytes"), "?\n4096\n?");
    record.SaveFileMark(1, 3, "-");
    record.ClearFileMarks();
    EXPECT_EQ(StoredString(address, "_downloadFiles"), "");
    EXPECT_EQ(StoredString(address, "_downloadDurableBytes"), "");
}

TEST(DownloadRecordTest, LongAddressesShareValueNamesButNotTheirState) {
    TestEnvironment env;
    std::string common = "http://127.0.0.1/" + std::string(200, 'p');
    std::string first = common + "/first.exe";
    std::string second = common + "/second.exe";
    TransferManager::SaveDownloadState(first, DownloadState::Paused);
    EXPECT_EQ(StoredState(first), 204u);
    EXPECT_EQ(StoredState(second), 204u) << "the value names are the first 155 characters";

    // Written before the full address was kept: it counts as the same download.
    EXPECT_EQ(TransferManager::LoadDownloadState(second), DownloadStatus::Incomplete);

    DownloadRecord(first).SaveAddress();
    TransferManager::SaveSaveDirectory(first, "/somewhere/");
    DownloadRecord(first).SaveInstaller("/somewhere/first.exe");
    EXPECT_EQ(TransferManager::LoadDownloadState(first), DownloadStatus::Incomplete);
    EXPECT_EQ(TransferManager::LoadDownloadState(second), DownloadStatus::None);
    EXPECT_EQ(TransferManager::LoadSaveDirectory(second), "");
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(second), "");
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(first), "/somewhere/first.exe");
}

// While one of two addresses that share their value names runs, the other
// neither starts nor writes those names; a failed start of the other leaves a
// recorded download's state as it was.
TEST(TransferManagerTest, AddressesSharingValueNamesNeverWriteEachOthersRecord) {
    ManagerWorld w;
    std::string common = "/" + std::string(200, 'p');
    w.server.Serve(common + "/first.exe", TestBytes(60000, 1), FaultMode{.trickleBytesPerSecond = 100000});
    w.server.Serve(common + "/second.exe", TestBytes(9000, 2));
    std::string first = w.server.Url(common + "/first.exe");
    std::string second = w.server.Url(common + "/second.exe");
    ASSERT_TRUE(w.manager->StartDownload(first, false));
    EXPECT_FALSE(w.manager->StartDownload(second, true));
    EXPECT_EQ(w.Messages(), std::vector<std::string>{"Failed to start transfer"});
    EXPECT_EQ(w.manager->GetTransfers().size(), 1u);
    EXPECT_EQ(StoredString(first, "_downloadAddress"), first);
    EXPECT_EQ(StoredState(first), 202u);
    EXPECT_EQ(w.Finish(first), "complete");
    EXPECT_EQ(TransferManager::LoadDownloadState(second), DownloadStatus::None);
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(second), "");
    EXPECT_EQ(TransferManager::LoadDownloadInstaller(first), w.Folder() + "first.exe");

    // A start refused for its file name before it claimed the names.
    EXPECT_FALSE(w.manager->StartDownload(w.server.Url(common + "/dir/"), false));
    EXPECT_EQ(StoredState(first), 206u);
    EXPECT_EQ(TransferManager::LoadDownloadState(first), DownloadStatus::Complete);
}

TEST(TransferManagerTest, PauseAndResumeWithoutATransferStoreNothing) {
    ManagerWorld w;
    EXPECT_TRUE(w.manager->PauseTransfer("http://127.0.0.1/x.exe"));
    EXPECT_TRUE(w.manager->ResumeTransfer("http://127.0.0.1/x.exe"));
    EXPECT_EQ(StoredState("http://127.0.0.1/x.exe"), 0u);
    w.manager->CancelTransfer("http://127.0.0.1/x.exe", false);
    EXPECT_TRUE(w.manager->TakeCancelled().empty());
    EXPECT_TRUE(w.manager->TakeCompleted().empty());
    EXPECT_TRUE(w.manager->TakeFailed().empty());
    ProgressRecord none = w.manager->GetProgressText("http://127.0.0.1/x.exe");
    EXPECT_EQ(none.done, 0);
    EXPECT_EQ(none.total, 0);
    EXPECT_EQ(none.speed, 0);
    EXPECT_EQ(none.text, "");
}

TEST(TransferManagerTest, BusyFlags) {
    ManagerWorld w;
    TransferActivity& activity = *w.manager;
    EXPECT_FALSE(activity.IsBusy());
    w.manager->ReleaseActive();  // never below 0
    w.manager->AddActive();
    EXPECT_TRUE(w.manager->IsInstallerRunning());
    w.manager->ReleaseActive();
    w.manager->ReleaseActive();
    EXPECT_FALSE(w.manager->IsInstallerRunning());
    w.manager->AddActive();
    EXPECT_TRUE(activity.IsBusy());
    w.manager->ReleaseActive();
    w.manager->SetPatchRunning(true);
    EXPECT_TRUE(activity.IsPatching());
    EXPECT_TRUE(activity.IsBusy());
    w.manager->SetPatchRunning(false);
    w.manager->SetRepairRunning(true);
    EXPECT_TRUE(activity.IsCheckingInstall());
    EXPECT_TRUE(w.manager->IsRepairRunning());
    w.manager->SetRepairRunning(false);
    EXPECT_FALSE(activity.IsBusy());
}

TEST(TransferManagerTest, DialogFlagIsSetWhileTheDialogIsShown) {
    ManagerWorld w;
    struct Watching : FolderDialog {
        TransferManager* manager = nullptr;
        bool sawFlag = false;
        Result Show(const std::string&) override {
            sawFlag = manager->IsFolderDialogOpen() && manager->IsBusy();
            return {Outcome::Cancelled, {}};
        }
    } dialog;
    dialog.manager = w.manager.get();
    w.manager->SetFolderDialog(&dialog);
    EXPECT_EQ(w.manager->ChooseSaveDirectory(true, true, ""), "");
    EXPECT_TRUE(dialog.sawFlag);
    EXPECT_FALSE(w.manager->IsFolderDialogOpen());
}

TEST(TransferManagerTest, ChooseSaveDirectoryRoads) {
    ManagerWorld w;
    // Without both flags: the default folder, no dialog.
    EXPECT_EQ(w.manager->ChooseSaveDirectory(true, false, "x"), w.Folder());
    EXPECT_EQ(w.manager->ChooseSaveDirectory(false, true, "x"), w.Folder());
    EXPECT_TRUE(w.dialog.prompts.empty());

    w.dialog.Choose("/srv/games");
    EXPECT_EQ(w.manager->ChooseSaveDirectory(true, true, "Pick"), "/srv/games/");
    w.dialog.Choose("/");
    EXPECT_EQ(w.manager->ChooseSaveDirectory(true, true, "Pick"), "//");
    w.dialog.answers.push_back({FolderDialog::Outcome::NoPath, {}});
    EXPECT_EQ(w.manager->ChooseSaveDirectory(true, true, ""), "-1");
    EXPECT_EQ(w.dialog.prompts,
              (std::vector<std::string>{"Pick", "Pick", "Please select a location to save the download."}));
    EXPECT_EQ(w.Messages(),
              std::vector<std::string>{"Error saving to that directory. Please choose another location."});
    // The page hears of the opening each time, of the closing only on a cancel.
    EXPECT_EQ(w.page.CallsOf("onFileDialogOpen").size(), 3u);
    EXPECT_EQ(w.page.CallsOf("onFileDialogClose").size(), 0u);
    w.dialog.Cancel();
    EXPECT_EQ(w.manager->ChooseSaveDirectory(true, true, ""), "");
    EXPECT_EQ(w.page.CallsOf("onFileDialogClose").size(), 1u);
}

TEST(TransferManagerTest, ResetDownloadDeletesOnlyTheDownloadsOwnFiles) {
    ManagerWorld w;
    std::string folder = w.env.Path("save") + "/";
    std::string address = "http://h/a/x.exe,http://h/b/y.bin,http://h/c/..\\outside.txt,http://h/d/";
    w.env.WriteFile("save/x.exe", "x");
    w.env.WriteFile("save/y.bin", "y");
    w.env.WriteFile("save/other.bin", "o");
    w.env.WriteFile("save/download.lock", "me");
    w.env.WriteFile("outside.txt", "must stay");
    TransferManager::SaveSaveDirectory(address, folder);

    TransferManager::SaveDownloadState(address, DownloadState::Paused);
    TransferManager::ResetDownload(address);
    EXPECT_TRUE(fs::exists(folder + "x.exe")) << "an incomplete download keeps its files";

    TransferManager::SaveDownloadState(address, DownloadState::Completed);
    TransferManager::ResetDownload(address);
    EXPECT_FALSE(fs::exists(folder + "x.exe"));
    EXPECT_FALSE(fs::exists(folder + "y.bin"));
    EXPECT_FALSE(fs::exists(folder + "download.lock"));
    EXPECT_TRUE(fs::exists(folder + "other.bin"));
    EXPECT_TRUE(fs::exists(w.env.Path("outside.txt")));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(StoredState(address), 206u) << "the registry values stay";
    TransferManager::ResetDownload(address);  // missing files are fine
}

TEST(TransferManagerTest, NewDownloadGoesToTheDefaultFolderWithoutDialog) {
    ManagerWorld w;
    w.server.Serve("/game/setup.exe", TestBytes(5000));
    std::string address = w.server.Url("/game/setup.exe");
    ASSERT_TRUE(w.manager->StartDownload(address, true));
    EXPECT_TRUE(w.dialog.prompts.empty());
    EXPECT_EQ(StoredString(address, "_downloadSaveDirectory"), w.Folder());
    EXPECT_EQ(StoredString(address, "_downloadAddress"), address);
    EXPECT_EQ(Prefs::ReadNumber("Downloads", address + "_downloadStartTime"), uint32_t(w.now));
    EXPECT_EQ(StoredState(address), 202u);
    EXPECT_TRUE(w.manager->HasTransfers());
    EXPECT_EQ(w.Finish(address), "complete");
    EXPECT_FALSE(w.manager->HasTransfers());
    EXPECT_EQ(StoredState(address), 206u);
    EXPECT_TRUE(w.manager->IsDownloadComplete(address));
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "setup.exe"), TestBytes(5000));
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "download.lock"), GetCurrentUserName());
    EXPECT_TRUE(w.manager->TakeCompleted().empty()) << "taken once";
}

TEST(TransferManagerTest, TransferTimeLabelIsSecondsOverAThousand) {
    for (auto [seconds, label] : {std::pair{2500, "2"}, {999, "0"}, {1000, "1"}}) {
        ManagerWorld w;
        w.server.Serve("/t.bin", "abc");
        std::string address = w.server.Url("/t.bin");
        ASSERT_TRUE(w.manager->StartDownload(address, false));
        ASSERT_TRUE(WaitUntil([&] { return w.manager->FindTransfer(address)->IsComplete(); }, kDownloadWaitMs));
        w.now += seconds;
        w.manager->Update();
        EXPECT_EQ(w.events.OfCategory("DownloadTransferTime"),
                  (std::vector<RecordedEvent>{{"DownloadTransferTime", address, label}}));
    }
}

TEST(TransferManagerTest, StartingARunningDownloadAgainStartsNothing) {
    ManagerWorld w;
    w.server.Serve("/slow.bin", TestBytes(150000), FaultMode{.trickleBytesPerSecond = 100000});
    std::string address = w.server.Url("/slow.bin");
    ASSERT_TRUE(w.manager->StartDownload(address, false));
    EXPECT_TRUE(w.manager->StartDownload(address, false));
    EXPECT_EQ(w.manager->GetTransfers().size(), 1u);
    w.manager->PauseTransfer(address);
    EXPECT_EQ(StoredState(address), 204u);
    EXPECT_TRUE(w.manager->StartDownload(address, false)) << "a paused transfer is resumed";
    EXPECT_EQ(StoredState(address), 202u);
    EXPECT_FALSE(w.manager->FindTransfer(address)->IsPauseRequested());
    EXPECT_EQ(w.manager->GetTransfers().size(), 1u);
    EXPECT_TRUE(w.server.WaitForRequests(2));
    EXPECT_EQ(w.Finish(address), "complete");
    EXPECT_EQ(w.server.RequestsFor("/slow.bin").size(), 2u) << "one probe, one fetch";
}

TEST(TransferManagerTest, FileNamesMustBePlainNames) {
    for (std::string path : {"/dir/", "/dir/..", "/dir/.", "/dir/..\\evil.exe", "/a/same.bin,/b/same.bin"}) {
        ManagerWorld w;
        std::string address;
        for (const std::string& part : SplitString(path, ','))
            address += (address.empty() ? "" : ",") + w.server.Url(part);
        EXPECT_FALSE(w.manager->StartDownload(address, true)) << path;
        EXPECT_EQ(StoredState(address), 205u);
        EXPECT_TRUE(w.dialog.prompts.empty());
        EXPECT_EQ(w.Messages(),
                  std::vector<std::string>{"Failed to start download, because the save file couldn't be created."});
        EXPECT_FALSE(fs::exists(w.Folder() + "download.lock")) << "refused before the lock";
        EXPECT_EQ(w.server.RequestCount(), 0u);
    }
}

TEST(TransferManagerTest, AnotherUsersLockWithoutAskingRecordsAFailedStart) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    w.env.WriteFile("home/.local/share/Brindlemoor Quor!/download.lock", "somebody-else");
    std::string address = w.server.Url("/g.exe");
    EXPECT_FALSE(w.manager->StartDownload(address, false));
    EXPECT_EQ(StoredState(address), 205u);
    EXPECT_TRUE(w.dialog.prompts.empty());
    EXPECT_FALSE(w.manager->HasTransfers());
}

TEST(TransferManagerTest, AnotherUsersLockAsksForAFolderAndCancellingEndsTheStart) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    w.env.WriteFile("home/.local/share/Brindlemoor Quor!/download.lock", "somebody-else");
    std::string address = w.server.Url("/g.exe");
    w.dialog.Cancel();
    EXPECT_FALSE(w.manager->StartDownload(address, true));
    EXPECT_EQ(w.dialog.prompts,
              std::vector<std::string>{
                  "ERROR: Another user is already downloading to that location. Please select another folder."});
    EXPECT_EQ(w.events.All(), (std::vector<RecordedEvent>{{"DownloadNotStarted", "SaveDirectoryEmpty", address}}));
    EXPECT_EQ(StoredState(address), 205u);
    EXPECT_EQ(w.page.CallsOf("onFileDialogOpen").size(), 1u);
    EXPECT_EQ(w.page.CallsOf("onFileDialogClose").size(), 1u);
    EXPECT_FALSE(w.manager->IsFolderDialogOpen());
}

TEST(TransferManagerTest, AnotherUsersLockInTheChosenFolderToo) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    w.env.WriteFile("home/.local/share/Brindlemoor Quor!/download.lock", "somebody-else");
    w.env.WriteFile("second/download.lock", "a-third-user");
    std::string address = w.server.Url("/g.exe");
    w.dialog.Choose(w.env.Path("second"));
    EXPECT_FALSE(w.manager->StartDownload(address, true));
    EXPECT_EQ(w.Messages(), std::vector<std::string>{
                                "Another user is already downloading to that location. Please select another folder."});
    EXPECT_EQ(StoredState(address), 205u);
    EXPECT_FALSE(w.manager->HasTransfers());
}

TEST(TransferManagerTest, ChosenFolderAfterALockedOneIsUsed) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    w.env.WriteFile("home/.local/share/Brindlemoor Quor!/download.lock", "somebody-else");
    fs::create_directories(w.env.Path("mine"));
    std::string address = w.server.Url("/g.exe");
    w.dialog.Choose(w.env.Path("mine"));
    ASSERT_TRUE(w.manager->StartDownload(address, true));
    EXPECT_EQ(StoredString(address, "_downloadSaveDirectory"), w.env.Path("mine") + "/");
    EXPECT_EQ(w.Finish(address), "complete");
    EXPECT_EQ(TestEnvironment::ReadFile(w.env.Path("mine/g.exe")), "abc");
    EXPECT_EQ(TestEnvironment::ReadFile(w.env.Path("mine/download.lock")), GetCurrentUserName());
}

TEST(TransferManagerTest, FreeSpaceMustExceedTheTotal) {
    ManagerWorld w;
    w.server.Serve("/g.exe", TestBytes(5000));
    std::string address = w.server.Url("/g.exe");
    w.freeBytes = 5000;
    EXPECT_FALSE(w.manager->StartDownload(address, false));
    EXPECT_EQ(StoredState(address), 205u);
    w.freeBytes = 5001;
    EXPECT_TRUE(w.manager->StartDownload(address, false));
    EXPECT_EQ(w.Finish(address), "complete");
}

TEST(TransferManagerTest, TooLittleSpaceAnywhereShowsTheDriveAndTheSize) {
    ManagerWorld w;
    w.server.Serve("/a.bin", TestBytes(3 * 1048576));
    w.server.Serve("/b.exe", TestBytes(2 * 1048576 + 1));
    std::string address = w.server.Url("/a.bin") + "," + w.server.Url("/b.exe");
    fs::create_directories(w.env.Path("small"));
    w.freeBytes = 4 * 1048576;
    w.dialog.Choose(w.env.Path("small"));
    EXPECT_FALSE(w.manager->StartDownload(address, true));
    // The dialog used its own prompt: the language's.
    EXPECT_EQ(w.dialog.prompts, std::vector<std::string>{"Please select a location to save the download."});
    EXPECT_EQ(w.Messages(),
              std::vector<std::string>{"Could not download to drive " + DriveOfFolder(w.env.Path("small/")) +
                                       ". Please choose a new download location with at least 6 MB free"});
    EXPECT_EQ(w.events.All(), (std::vector<RecordedEvent>{{"DownloadNotStarted", "NotEnoughDiskSpace", address}}));
    EXPECT_EQ(StoredState(address), 205u);
}

TEST(TransferManagerTest, ChoiceWithoutPathEndsTheStart) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    w.env.WriteFile("home/.local/share/Brindlemoor Quor!/download.lock", "somebody-else");
    std::string address = w.server.Url("/g.exe");
    w.dialog.answers.push_back({FolderDialog::Outcome::NoPath, {}});
    EXPECT_FALSE(w.manager->StartDownload(address, true));
    EXPECT_EQ(w.events.All(),
              (std::vector<RecordedEvent>{{"DownloadNotStarted", "ErrorPickingSaveDirectory", address}}));
    EXPECT_EQ(StoredState(address), 205u);
}

TEST(TransferManagerTest, DefaultFolderThatIsNotUtf8LeadsToTheDialog) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    std::string odd = w.env.Path("data-\xff");
    setenv("XDG_DATA_HOME", odd.c_str(), 1);
    fs::create_directories(w.env.Path("picked"));
    w.dialog.Choose(w.env.Path("picked"));
    std::string address = w.server.Url("/g.exe");
    ASSERT_TRUE(w.manager->StartDownload(address, false)) << "as if the user had been asked";
    EXPECT_EQ(w.dialog.prompts.size(), 1u);
    EXPECT_EQ(StoredString(address, "_downloadSaveDirectory"), w.env.Path("picked") + "/");
    EXPECT_EQ(w.Finish(address), "complete");
}

TEST(TransferManagerTest, NoDataFolderMeansNoDownload) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    std::string address = w.server.Url("/g.exe");
    EXPECT_FALSE(w.manager->StartDownload(address, true));
    EXPECT_EQ(w.events.All(), (std::vector<RecordedEvent>{{"DownloadNotStarted", "SaveDirectoryEmpty", address}}));
    EXPECT_TRUE(w.dialog.prompts.empty());
    EXPECT_EQ(w.server.RequestCount(), 0u);
}

TEST(TransferManagerTest, EmptyStoredFolderOfAResumedDownloadMeansTheDefaultFolder) {
    ManagerWorld w;
    w.server.Serve("/g.exe", "abc");
    std::string address = w.server.Url("/g.exe");
    TransferManager::SaveDownloadState(address, DownloadState::Paused);
    TransferManager::SaveSaveDirectory(address, "");
    ASSERT_TRUE(w.manager->StartDownload(address, false));
    EXPECT_EQ(w.Finish(address), "complete");
    EXPECT_EQ(TestEnvironment::ReadFile(w.Folder() + "g.exe"), "abc");
    EXPECT_EQ(StoredString(address, "_downloadSaveDirectory"), w.Folder());
}

TEST(TransferManagerTest, TwoAddressesCannotShareAFile) {
    ManagerWorld w;
    w.server.Serve("/one/setup.exe", TestBytes(150000), FaultMode{.trickleBytesPerSecond = 100000});
    w.server.Serve("/two/setup.exe", "other");
    std::string first = w.server.Url("/one/setup.exe");
    std::string second = w.server.Url("/two/setup.exe");
    ASSERT_TRUE(w.manager->StartDownload(first, false));
    EXPECT_FALSE(w.manager->StartDownload(second, true));
    EXPECT_EQ(StoredState(second), 205u);
    EXPECT_EQ(w.Messages(), std::vector<std::string>{"A file with the same name already exists in that folder."});

    // Neither while the first lies paused across a restart.
    w.manager->StopAll();
    w.manager.reset();
    w.manager = std::make_unique<TransferManager>(w.Settings());
    EXPECT_FALSE(w.manager->StartDownload(second, false));
    EXPECT_EQ(StoredState(first), 204u);
    ASSERT_TRUE(w.manager->StartDownload(first, false));
    EXPECT_EQ(w.Finish(first), "complete");
    EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "setup.exe") == TestBytes(150000));

    // Once its files are reset, the name is free again.
    TransferManager::ResetDownload(first);
    ASSERT_TRUE(w.manager->StartDownload(second, false));
    EXPECT_EQ(w.Finish(second), "complete");
}

// The clash refuses the folder, not the download: a user who may be asked gets
// the folder dialog (its own prompt), and a folder without the clash is used.
TEST(TransferManagerTest, ANameClashOffersTheFolderDialog) {
    ManagerWorld w;
    w.server.Serve("/one/setup.exe", TestBytes(150000), FaultMode{.trickleBytesPerSecond = 100000});
    w.server.Serve("/two/setup.exe", "other");
    std::string first = w.server.Url("/one/setup.exe");
    std::string second = w.server.Url("/two/setup.exe");
    ASSERT_TRUE(w.manager->StartDownload(first, false));

    // Choosing the clashing folder again is refused as before.
    w.dialog.Choose(w.Folder());
    EXPECT_FALSE(w.manager->StartDownload(second, true));
    EXPECT_EQ(w.dialog.prompts, std::vector<std::string>{"Please select a location to save the download."});
    EXPECT_EQ(w.Messages(), (std::vector<std::string>{"A file with the same name already exists in that folder.",
                                                      "A file with the same name already exists in that folder."}));
    EXPECT_EQ(StoredState(second), 205u);
    EXPECT_FALSE(w.manager->IsFolderDialogOpen());

    fs::create_directories(w.env.Path("elsewhere"));
    w.dialog.Choose(w.env.Path("elsewhere"));
    ASSERT_TRUE(w.manager->StartDownload(second, true));
    EXPECT_EQ(w.dialog.prompts.size(), 2u);
    EXPECT_EQ(StoredString(second, "_downloadSaveDirectory"), w.env.Path("elsewhere") + "/");
    EXPECT_EQ(w.Finish(second), "complete");
    EXPECT_EQ(TestEnvironment::ReadFile(w.env.Path("elsewhere/setup.exe")), "other");
    EXPECT_EQ(w.Finish(first), "complete");
    EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "setup.exe") == TestBytes(150000));
}

// A record whose save folder is gone (the data folder removed, a folder of the
// user's deleted, or on a drive not mounted now): the files went with it, so
// the download starts afresh where a new download goes, and the gone folder is
// not made again.
TEST(TransferManagerTest, AResumeWhoseSaveFolderIsGoneStartsAfresh) {
    for (bool dataFolder : {true, false}) {
        SCOPED_TRACE(dataFolder ? "the data folder" : "a folder of the user's");
        ManagerWorld w;
        w.server.Serve("/g.exe", TestBytes(5000), FaultMode{.etag = "\"one\""});
        std::string address = w.server.Url("/g.exe");
        std::string gone = dataFolder ? w.Folder() : w.env.Path("usb/games") + "/";
        w.env.WriteFile(gone.substr(w.env.Root().size() + 1) + "g.exe", TestBytes(5000).substr(0, 1000));
        LayOutRecord(address, gone, "E:\"one\"", "1000");
        fs::remove_all(dataFolder ? w.Folder() : w.env.Path("usb"));
        w.now += 100;
        ASSERT_TRUE(w.manager->StartDownload(address, false));
        EXPECT_EQ(w.Finish(address), "complete");
        EXPECT_TRUE(TestEnvironment::ReadFile(w.Folder() + "g.exe") == TestBytes(5000));
        EXPECT_FALSE(Gets(w.server, "/g.exe").at(0).HasHeader("Range"));
        EXPECT_EQ(StoredString(address, "_downloadSaveDirectory"), w.Folder());
        EXPECT_EQ(Prefs::ReadNumber("Downloads", address + "_downloadStartTime"), uint32_t(w.now)) << "a new start";
        EXPECT_EQ(fs::exists(w.env.Path("usb")), false);
    }
}

// The folder a new download goes into is on the disk before the record names
// it: made with its parents when missing (MakeFolders), and its own name synced
// whoever made it.
TEST(TransferManagerTest, TheSaveFolderIsOnTheDiskBeforeTheRecordNamesIt) {
    ManagerWorld w;
    fs::remove_all(w.env.Path("home/.local"));
    w.server.Serve("/g.exe", "abc");
    std::string address = w.server.Url("/g.exe");
    SyncLog log(w, address);
    ASSERT_EQ(w.Session(address), "complete");
    std::vector<SyncCall> calls = log.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].path, fs::canonical(w.env.Path("home/.local/share")).string());
    EXPECT_EQ(calls[0].saveFolder, "");
    EXPECT_EQ(StoredString(address, "_downloadSaveDirectory"), w.Folder());
}

TEST(TransferManagerTest, StopAllPausesAndRecordsEveryTransfer) {
    ManagerWorld w;
    w.server.Serve("/a.bin", TestBytes(300000), FaultMode{.trickleBytesPerSecond = 100000});
    w.server.Serve("/b.bin", TestBytes(300000), FaultMode{.trickleBytesPerSecond = 100000});
    std::string a = w.server.Url("/a.bin"), b = w.server.Url("/b.bin");
    ASSERT_TRUE(w.manager->StartDownload(a, false));
    ASSERT_TRUE(w.manager->StartDownload(b, false));
    w.manager->StopAll();
    EXPECT_EQ(
        w.events.OfCategory("DownloadFailed"),
        (std::vector<RecordedEvent>{{"DownloadFailed", "PausedOnExit", a}, {"DownloadFailed", "PausedOnExit", b}}));
    EXPECT_EQ(StoredState(a), 204u);
    EXPECT_EQ(StoredState(b), 204u);
    EXPECT_EQ(w.manager->GetTransfers().size(), 2u) << "neither stopped nor removed";
    // The program ends next: when StopAll returns, what was written is on the disk and recorded.
    for (const std::string& address : {a, b}) {
        EXPECT_TRUE(w.manager->FindTransfer(address)->IsPaused()) << address;
        std::string file = w.Folder() + GetUrlFileName(address);
        EXPECT_EQ(StoredString(address, "_downloadDurableBytes"), std::to_string(fs::file_size(file))) << address;
    }
    EXPECT_EQ(TransferManager::LoadDownloadState(a), DownloadStatus::Incomplete);
}

TEST(TransferManagerTest, ManagerThreadStepsOnItsOwn) {
    DownloadWorld w;
    TransferSettings s = w.Settings();
    s.startManagerThread = true;
    s.updateIntervalMs = 20;
    TransferManager manager(s);
    w.server.Serve("/g.bin", "abc");
    std::string address = w.server.Url("/g.bin");
    ASSERT_TRUE(manager.StartDownload(address, false));
    std::vector<std::string> done;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (auto& a : manager.TakeCompleted())
                done.push_back(a);
            return !done.empty();
        },
        kDownloadWaitMs));
    EXPECT_EQ(done, std::vector<std::string>{address});
    EXPECT_FALSE(manager.HasTransfers());
    EXPECT_EQ(TransferManager::Instance(), &manager);
}

}  // namespace
