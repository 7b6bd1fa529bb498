#include "booster/PmbLib.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "booster/PmbCalls.h"
#include "booster/PmbTokenCache.h"
#include "tests/booster/AllocationLimit.h"
#include "tests/booster/BoosterRig.h"

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
    EXPECT_EQ(std::filesystem::status(folder + "/token.dat").permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
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
    const std::wstring bad(1, static_cast<wchar_t>(0xDC00));
    PDLibCode code = PD_LIB_OK;
    EXPECT_EQ(PMB_Lib_StatusTransfer(code, bad), nullptr);
    EXPECT_EQ(code, PD_LIB_BAD_REPLY);
    EXPECT_EQ(PMB_Lib_SetKeyValue(L"c", bad, L"v"), nullptr);
    EXPECT_EQ(PMB_Lib_GetKeyValue(bad, L"k"), L"");
    EXPECT_EQ(PMB_Lib_GetToken(bad), nullptr);
    EXPECT_TRUE(rig.booster.Requests().empty());
}

TEST(PmbLib, TheDiskTokenIsWrittenOnlyInsideTheBoostersFolder) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster();
    const std::string outside = rig.env.WriteFile("outside.txt", "keep");
    std::filesystem::create_directories(folder + "/sub");
    std::filesystem::create_symlink(rig.env.Root(), folder + "/link");
    std::filesystem::create_symlink(outside, folder + "/filelink");
    std::filesystem::create_hard_link(outside, folder + "/hardlink");
    const std::string refused[] = {
        outside,
        folder + "/../outside.txt",
        folder + "/link/outside.txt",
        folder + "/filelink",
        folder + "/hardlink",
        "token.dat",
        folder + "/missing/token.dat",
        folder,
    };
    for (const std::string& path : refused) {
        EXPECT_FALSE(WriteFileInsideFolder(folder, path, "disk")) << path;
    }
    EXPECT_EQ(TestEnvironment::ReadFile(outside), "keep");
    EXPECT_TRUE(WriteFileInsideFolder(folder, folder + "/sub/token.dat", "disk"));
    EXPECT_TRUE(WriteFileInsideFolder(folder, folder + "//sub/token.dat", "dt"));
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/sub/token.dat"), "dt");

    // Through the library: a token naming a file outside leaves it alone.
    rig.booster.SetTokenFile(outside);
    std::unique_ptr<StatusResp> reply(PMB_Lib_ShutDown());
    EXPECT_TRUE(reply);
    EXPECT_EQ(TestEnvironment::ReadFile(outside), "keep");
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
