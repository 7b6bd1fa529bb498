#include "booster/PmbLib.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "booster/PmbCalls.h"
#include "booster/PmbDiskToken.h"
#include "tests/booster/AllocationLimit.h"
#include "tests/booster/BoosterRig.h"
#include "tests/fixtures/WaitUntil.h"

namespace fs = std::filesystem;

TEST(PmbLib, RequestsGoToTheSetPort) {
    BoosterRig rig;
    EXPECT_EQ(PMB_Lib_GetPMBPort(), rig.booster.Port());
    std::unique_ptr<VersionResp> version(PMB_Lib_Version());
    ASSERT_TRUE(version);
    EXPECT_EQ(version->version, L"2.3.0.0");
    EXPECT_EQ(version->buildId, L"4711");
    ASSERT_EQ(rig.booster.Requests().size(), 1u);
    EXPECT_EQ(rig.booster.Requests()[0], "/rest/version?format=xml");
    std::unique_ptr<LoginStatusResp> login(PMB_Lib_LoginStatus());
    ASSERT_TRUE(login);
    EXPECT_EQ(login->subscriptionLevel, 2);
    EXPECT_TRUE(PMB_Lib_CheckPMBIsLoggedIn());
}

TEST(PmbLib, NothingListeningGivesNullAtOnce) {
    TestEnvironment env;
    PMB_Lib_SetPMBPort(FreeLoopbackPort());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PMB_Lib_Version(), nullptr);
    EXPECT_FALSE(PMB_Lib_CheckPMBIsLoggedIn());
    EXPECT_EQ(PMB_Lib_GetKeyValue(L"c", L"k"), L"");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST(PmbLib, FaultsBecomeNoReplyOrBadReply) {
    BoosterRig rig;
    PmbSettings::Get().stallSeconds = 1;
    struct Case {
        BoosterFault fault;
        PDLibCode code;
    };
    const Case cases[] = {
        {BoosterFault::None, PD_LIB_OK},
        {BoosterFault::AcceptAndClose, PD_LIB_NO_REPLY},
        {BoosterFault::NotFound, PD_LIB_NO_REPLY},
        {BoosterFault::ServerError, PD_LIB_NO_REPLY},
        {BoosterFault::EmptyBody, PD_LIB_NO_REPLY},
        {BoosterFault::WrongRoot, PD_LIB_BAD_REPLY},
        {BoosterFault::NotXml, PD_LIB_BAD_REPLY},
        {BoosterFault::InvalidUtf8, PD_LIB_BAD_REPLY},
        {BoosterFault::Oversize, PD_LIB_NO_REPLY},
        {BoosterFault::NeverReply, PD_LIB_NO_REPLY},
    };
    for (const Case& c : cases) {
        rig.booster.SetFault(c.fault, 1);
        PmbParams params;
        params.torrentId = L"t1";
        pmbreply::Outcome outcome;
        auto record = pmbcall::Call<TransferStatus>("transfer.status", params, outcome);
        EXPECT_EQ(pmbcall::TransferCode(outcome, record ? &record->status : nullptr), c.code)
            << static_cast<int>(c.fault);
        EXPECT_EQ(record != nullptr, c.code == PD_LIB_OK);
    }
}

// A byte every 250 ms is never a stall; the request's overall limit ends it,
// the token's own requests too, which run under the token cache's lock.
TEST(PmbLib, AReplyThatTricklesInIsEndedByTheOverallLimit) {
    BoosterRig rig;
    PmbSettings::Get().stallSeconds = 1;
    PmbSettings::Get().requestSeconds = 2;
    struct Case {
        const char* trickling;
        std::function<bool()> call;  // true when it came back empty
    };
    const Case cases[] = {
        {"version", [] { return std::unique_ptr<VersionResp>(PMB_Lib_Version()) == nullptr; }},
        {"getToken", [] { return PMB_Lib_GetKeyValue(L"c", L"k").empty(); }},
    };
    for (const Case& c : cases) {
        rig.booster.SetFault(BoosterFault::Trickle, 1, c.trickling);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(c.call()) << c.trickling;
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(1900)) << c.trickling;
        EXPECT_LT(took, std::chrono::seconds(6)) << c.trickling;
    }
}

TEST(PmbLib, KeyValuesAndTheTokenOrder) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster();
    rig.booster.SetTokenFile(folder + "/token.dat");
    std::unique_ptr<StatusResp> set(PMB_Lib_SetKeyValue(L"game", L"k&1", L"a b=c"));
    ASSERT_TRUE(set);
    EXPECT_EQ(PMB_Lib_GetKeyValue(L"game", L"k&1"), L"a b=c");
    const std::vector<std::string> expected = {
        "/rest/getToken?format=xml&ClientID=PMB_Client",
        "/rest/validateDiskToken?format=xml&netToken=net-1",
        "/rest/setKeyValue?format=xml&category=game&key=k%261&value=a%20b%3dc&netToken=net-1",
        "/rest/validateDiskToken?format=xml&netToken=net-1",
        "/rest/getKeyValue?format=xml&category=game&key=k%261&netToken=net-1",
    };
    EXPECT_EQ(rig.booster.Requests(), expected);
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/token.dat"), "disk-1");
    EXPECT_EQ(fs::status(folder + "/token.dat").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(PmbLib, StartWithoutAFolderFetchesNoToken) {
    BoosterRig rig;
    PDLibCode code = PD_LIB_BAD_REPLY;
    std::unique_ptr<TransferStatus> status(PMB_Lib_StartTransfer(code, L"http://cdn.example/g?a=1&b=2", L"", false));
    ASSERT_TRUE(status);
    EXPECT_EQ(code, PD_LIB_OK);
    EXPECT_EQ(status->torrentId, L"torrent-1");
    EXPECT_EQ(
        rig.booster.Requests(),
        std::vector<std::string>{
            "/rest/transfer.start?format=xml&packageUrl=http%3a%2f%2fcdn.example%2fg%3fa%3d1%26b%3d2&setP2P=off"});
}

TEST(PmbLib, TransferRecordsComeBackWhole) {
    BoosterRig rig;
    PDLibCode code = PD_LIB_BAD_REPLY;
    std::unique_ptr<TransferFiles> files(PMB_Lib_FilesTransfer(code, L"t1"));
    ASSERT_TRUE(files);
    EXPECT_EQ(code, PD_LIB_OK);
    EXPECT_EQ(files->files, (std::vector<std::wstring>{L"C:\\Games\\a.pak", L"C:\\Games\\b.pak"}));
    std::unique_ptr<PD_Lib_TransferInfo> info(PMB_Lib_InfoTransfer(code, L"t1"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->files.size(), 2u);
    EXPECT_TRUE(info->Sequential);
    std::unique_ptr<StatusResp> cancel(PMB_Lib_CancelTransfer(code, L"t1", false));
    ASSERT_TRUE(cancel);
    std::unique_ptr<StatusResp> open(PMB_Lib_OpenTransfer(code, L"t1", false));
    ASSERT_TRUE(open);
    std::unique_ptr<StatusResp> update(PMB_Lib_UpdateTransfer(code, L"t1", true));
    ASSERT_TRUE(update);
    std::unique_ptr<TransferStatus> pause(PMB_Lib_PauseTransfer(code, L"t1"));
    std::unique_ptr<TransferStatus> resume(PMB_Lib_ResumeTransfer(code, L"t1"));
    ASSERT_TRUE(pause && resume);
    std::unique_ptr<StatusResp> upgrade(PMB_Lib_Upgrade());
    ASSERT_TRUE(upgrade);
    EXPECT_EQ(rig.booster.Methods(),
              (std::vector<std::string>{"transfer.files", "transfer.info", "transfer.cancel", "transfer.open",
                                        "transfer.update", "transfer.pause", "transfer.resume", "getToken",
                                        "validateDiskToken", "upgrade"}));
}

TEST(PmbLib, ArgumentsThatAreNotTextSendNothing) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster();
    rig.booster.SetTokenFile(folder + "/token.dat");
    const std::wstring bad(1, static_cast<wchar_t>(0xDC00));
    // The transfer calls give 13 and no record, those that send the token too.
    const std::vector<std::pair<const char*, std::function<void*(PDLibCode&)>>> transfers = {
        {"status", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_StatusTransfer(c, bad)); }},
        {"open with token", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_OpenTransfer(c, bad, true)); }},
        {"cancel deleting", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_CancelTransfer(c, bad, true)); }},
        {"start in a folder",
         [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_StartTransfer(c, L"u", bad, true)); }},
    };
    for (const auto& [name, call] : transfers) {
        PDLibCode code = PD_LIB_OK;
        EXPECT_EQ(call(code), nullptr) << name;
        EXPECT_EQ(code, PD_LIB_BAD_REPLY) << name;
    }
    // The others give their empty result.
    EXPECT_EQ(PMB_Lib_SetKeyValue(L"c", bad, L"v"), nullptr);
    EXPECT_EQ(PMB_Lib_SetKeyValue(L"c", L"k", bad), nullptr);
    EXPECT_EQ(PMB_Lib_GetKeyValue(bad, L"k"), L"");
    EXPECT_EQ(PMB_Lib_GetToken(bad), nullptr);
    EXPECT_EQ(PMB_Lib_ValidateDiskToken(bad), nullptr);
    // Not one request, not even for the token, nor the token file it would write.
    EXPECT_EQ(rig.booster.Requests(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(folder + "/token.dat"));
}

TEST(PmbLib, TheDiskTokenGoesOnlyToADataFileOfTheBoostersFolder) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster();
    const std::string program = TestEnvironment::ReadFile(folder + "/PMB.exe");
    const std::string outside = rig.env.WriteFile("outside.txt", "keep");
    fs::create_directories(folder + "/sub");
    fs::create_symlink(rig.env.Root(), folder + "/link");
    fs::create_symlink(outside, folder + "/filelink");
    fs::create_hard_link(outside, folder + "/hardlink");
    fs::create_hard_link(folder + "/PMB.exe", folder + "/sub/pmb-copy");
    const std::string runnable = rig.env.WriteFile("Pando/PMB/helper.dat", "data");
    fs::permissions(runnable, fs::perms::owner_exec, fs::perm_options::add);
    // Programs without an execute bit, which the launcher would still start.
    for (const char* head : {"#!/bin/sh\n", "\177ELF\2\1\1", "MZ\x90"})
        rig.env.WriteFile("Pando/PMB/program-" + std::to_string(head[0]), head);
    const std::string refused[] = {
        outside,
        folder + "/../outside.txt",
        folder + "/link/outside.txt",
        folder + "/filelink",
        folder + "/hardlink",
        "token.dat",
        folder + "/missing/token.dat",
        folder,
        folder + "/PMB.exe",
        folder + "//PMB.exe",
        folder + "/pmb.EXE",
        folder + "/sub/pmb-copy",
        runnable,
        folder + "/program-35",
        folder + "/program-127",
        folder + "/program-77",
    };
    for (const std::string& path : refused)
        EXPECT_FALSE(WriteDiskTokenFile(folder, path, "disk")) << path;
    EXPECT_EQ(TestEnvironment::ReadFile(outside), "keep");
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/PMB.exe"), program);
    EXPECT_EQ(TestEnvironment::ReadFile(runnable), "data");
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/program-35"), "#!/bin/sh\n");
    EXPECT_FALSE(fs::exists(folder + "/pmb.EXE"));

    // A token that would make a file a program, or that is not one line.
    const std::string programTokens[] = {"#!/usr/bin/touch /tmp/x", "MZ", "\177ELF", "a\nb", "a\rb", {"a\0b", 3}};
    for (const std::string& token : programTokens)
        EXPECT_FALSE(WriteDiskTokenFile(folder, folder + "/token.dat", token)) << token;
    EXPECT_FALSE(fs::exists(folder + "/token.dat"));

    // A data file, new (without execute bits) or already there, takes it.
    EXPECT_TRUE(WriteDiskTokenFile(folder, folder + "/sub/token.dat", "disk"));
    EXPECT_EQ(fs::status(folder + "/sub/token.dat").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(WriteDiskTokenFile(folder, folder + "//sub/token.dat", "dt"));
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/sub/token.dat"), "dt");

    // The program by its identity, whatever name it is reached by.
    const std::string second = rig.env.Path("Pando/Second");
    rig.env.WriteFile("Pando/Second/bin/booster", "plain");
    fs::create_symlink("bin/booster", second + "/PMB.exe");
    EXPECT_FALSE(WriteDiskTokenFile(second, second + "/bin/booster", "disk"));
    EXPECT_EQ(TestEnvironment::ReadFile(second + "/bin/booster"), "plain");

    // Through the library: a token naming a file outside leaves it alone.
    rig.booster.SetTokenFile(outside);
    std::unique_ptr<StatusResp> reply(PMB_Lib_ShutDown());
    EXPECT_TRUE(reply);
    EXPECT_EQ(TestEnvironment::ReadFile(outside), "keep");
}

// Whoever listens on the booster's port while the booster does not run names
// the program as the token file, with a script as the token; the rejected
// token's renewal writes it, and the call after it finds nobody, so the
// booster is restarted. The booster that starts is still the real one.
TEST(PmbLib, AListenerOnThePortCannotMakeTheLibraryRunItsScript) {
    struct Case {
        const char* name;
        std::string filePath;  // FOLDER stands for the booster's folder
        std::string diskToken;
        PDLibCode code;  // 9: the token is refused whole; 2: renewed, then the booster restarted
    };
    const Case cases[] = {
        {"the seen attack", "FOLDER/PMB.exe", "#!/bin/sh&#10;touch FOLDER/pwned", PD_LIB_TOKEN_NOT_VALIDATED},
        {"a script on one line", "FOLDER/PMB.exe", "#!/usr/bin/touch FOLDER/pwned", PD_LIB_NO_REPLY},
        {"another spelling", "FOLDER/pmb.EXE", "#!/usr/bin/touch FOLDER/pwned", PD_LIB_NO_REPLY},
        {"a data token onto the program", "FOLDER/PMB.exe", "token", PD_LIB_NO_REPLY},
    };
    for (const Case& c : cases) {
        BoosterRig rig;
        const std::string folder = rig.RegisterRecordingBooster();
        const std::string program = TestEnvironment::ReadFile(folder + "/PMB.exe");
        auto place = [&](std::string text) {
            for (size_t at; (at = text.find("FOLDER")) != std::string::npos;)
                text.replace(at, 6, folder);
            return text;
        };
        rig.booster.SetReplyBody("getToken", "<TokenResp><diskToken>" + place(c.diskToken) +
                                                 "</diskToken><netToken>n</netToken><filePath>" + place(c.filePath) +
                                                 "</filePath></TokenResp>");
        rig.booster.SetStatusId(902, 1);
        rig.booster.SetFault(BoosterFault::AcceptAndClose, -1, "transfer.status", 1);
        PDLibCode code = PD_LIB_OK;
        std::unique_ptr<TransferStatus> status(PMB_Lib_StatusTransfer(code, L"t1"));
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(TestEnvironment::ReadFile(folder + "/PMB.exe"), program) << c.name;
        EXPECT_FALSE(fs::exists(folder + "/pmb.EXE")) << c.name;
        // The booster that was started is the real one, and it alone ran.
        if (code == PD_LIB_NO_REPLY) {
            EXPECT_TRUE(WaitUntil([&] { return fs::exists(folder + "/started"); })) << c.name;
        }
        EXPECT_FALSE(fs::exists(folder + "/pwned")) << c.name;
    }
}

TEST(PmbLib, AnArgumentThatCannotBeCopiedGivesBadReplyAndNoException) {
    BoosterRig rig;
    const std::wstring large(1 << 20, L'a');  // 4 MiB: above the limit below
    struct Case {
        const char* name;
        std::function<void*(PDLibCode&)> call;
    };
    const std::vector<Case> cases = {
        {"start", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_StartTransfer(c, large, L"", true)); }},
        {"start folder", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_StartTransfer(c, L"u", large, true)); }},
        {"cancel", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_CancelTransfer(c, large, true)); }},
        {"update", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_UpdateTransfer(c, large, true)); }},
        {"status", [&](PDLibCode& c) { return static_cast<void*>(PMB_Lib_StatusTransfer(c, large)); }},
    };
    for (const Case& c : cases) {
        PDLibCode code = PD_LIB_OK;
        void* record = reinterpret_cast<void*>(1);
        bool threw = false;
        {
            AllocationLimit limit(1 << 20);
            try {
                record = c.call(code);
            } catch (...) {
                threw = true;
            }
        }
        EXPECT_FALSE(threw) << c.name;
        EXPECT_EQ(record, nullptr) << c.name;
        EXPECT_EQ(code, PD_LIB_BAD_REPLY) << c.name;
    }
    EXPECT_TRUE(rig.booster.Requests().empty());
}
