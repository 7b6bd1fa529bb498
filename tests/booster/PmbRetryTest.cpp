#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

#include "booster/PmbLib.h"
#include "tests/booster/BoosterRig.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST(PmbRetry, AStoppedBoosterIsRestartedAndTheCallSucceeds) {
    BoosterRig rig;
    rig.scale = 10;  // time for the started program to listen, on a loaded machine too
    rig.booster.Stop();
    const int port = FreeLoopbackPort();
    PMB_Lib_SetPMBPort(port);
    const std::string log = rig.env.Path("pmb.log");
    setenv("QUOR_STANDIN_PORT", std::to_string(port).c_str(), 1);
    setenv("QUOR_STANDIN_LOG", log.c_str(), 1);
    rig.Register("2.3.0.0", BoosterRig::StandInProgram());

    PDLibCode code = PD_LIB_BAD_REPLY;
    std::unique_ptr<TransferStatus> status(PMB_Lib_StatusTransfer(code, L"t 1"));
    EXPECT_EQ(code, PD_LIB_OK);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->torrentId, L"t 1");
    const std::vector<std::string> lines = Lines(log);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "/rest/loginStatus?format=xml");
    EXPECT_EQ(lines.back(), "/rest/transfer.status?format=xml&torrentId=t%201");
    std::unique_ptr<StatusResp> stopped(PMB_Lib_ShutDown());  // ends the started stand-in
    EXPECT_TRUE(stopped);
}

TEST(PmbRetry, ARejectedTokenIsRenewedTwiceThenTheCodeStands) {
    BoosterRig rig;
    rig.booster.SetStatusId(902, 3);
    PDLibCode code = PD_LIB_OK;
    std::unique_ptr<TransferStatus> status(PMB_Lib_PauseTransfer(code, L"t1"));
    EXPECT_EQ(code, PD_LIB_TOKEN_REJECTED);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status.statusId, 902);
    EXPECT_EQ(rig.booster.Requests(),
              (std::vector<std::string>{
                  "/rest/transfer.pause?format=xml&torrentId=t1", "/rest/getToken?format=xml&ClientID=PMB_Client",
                  "/rest/validateDiskToken?format=xml&netToken=net-1", "/rest/transfer.pause?format=xml&torrentId=t1",
                  "/rest/getToken?format=xml&ClientID=PMB_Client", "/rest/validateDiskToken?format=xml&netToken=net-2",
                  "/rest/transfer.pause?format=xml&torrentId=t1"}));
}

TEST(PmbRetry, NotLoggedInWaitsTwiceAndEndsWithTheCode) {
    BoosterRig rig;
    rig.booster.SetStatusId(905, 3);
    rig.booster.SetLoginAfterChecks(-1);
    PDLibCode code = PD_LIB_OK;
    std::unique_ptr<StatusResp> status(PMB_Lib_UpdateTransfer(code, L"t1", false));
    EXPECT_EQ(code, PD_LIB_NOT_LOGGED_IN);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->statusId, 905);
    size_t updates = 0, checks = 0;
    for (const std::string& method : rig.booster.Methods()) {
        updates += method == "transfer.update";
        checks += method == "loginStatus";
    }
    EXPECT_EQ(updates, 3u);
    EXPECT_EQ(checks, 26u);
    EXPECT_EQ(rig.sleeps, std::vector<int64_t>(24, 5000));
}

TEST(PmbRetry, ATokenTheBoosterDoesNotValidateStopsAtOnce) {
    BoosterRig rig;
    rig.booster.SetStatusId(902, 1);
    rig.booster.SetValidates(false);
    PDLibCode code = PD_LIB_OK;
    std::unique_ptr<StatusResp> status(PMB_Lib_CancelTransfer(code, L"t1", false));
    EXPECT_EQ(code, PD_LIB_TOKEN_NOT_VALIDATED);
    ASSERT_TRUE(status);  // the rejected call's record is kept
    EXPECT_EQ(status->statusId, 902);
    EXPECT_EQ(rig.booster.Methods(), (std::vector<std::string>{"transfer.cancel", "getToken", "validateDiskToken"}));
}

TEST(PmbRetry, BadRepliesAreTriedThreeTimes) {
    BoosterRig rig;
    rig.booster.SetFault(BoosterFault::WrongRoot);
    PDLibCode code = PD_LIB_OK;
    EXPECT_EQ(PMB_Lib_InfoTransfer(code, L"t1"), nullptr);
    EXPECT_EQ(code, PD_LIB_BAD_REPLY);
    EXPECT_EQ(rig.booster.Methods(), std::vector<std::string>(3, "transfer.info"));
}

TEST(PmbRetry, NoBoosterInstalledStopsAfterOneCall) {
    BoosterRig rig;
    rig.booster.SetFault(BoosterFault::NotFound);
    PDLibCode code = PD_LIB_OK;
    EXPECT_EQ(PMB_Lib_ResumeTransfer(code, L"t1"), nullptr);
    EXPECT_EQ(code, PD_LIB_NOT_INSTALLED);
    // The call, then the restart's "version"; a 404 counts as no answer.
    EXPECT_EQ(rig.booster.Methods(), (std::vector<std::string>{"transfer.resume", "version"}));
}

TEST(PmbRetry, ABoosterThatCannotStartStopsWithSeven) {
    BoosterRig rig;
    rig.Register("2.3.0.0", rig.env.WriteFile("no-interpreter", "#!/nonexistent/interpreter\n"));
    rig.booster.Stop();
    PDLibCode code = PD_LIB_OK;
    EXPECT_EQ(PMB_Lib_StatusTransfer(code, L"t1"), nullptr);
    EXPECT_EQ(code, PD_LIB_START_FAILED);
}

TEST(PmbRetry, AnOpenWithTokenSendsTheRenewedTokenOnItsRetry) {
    BoosterRig rig;
    PDLibCode code = PD_LIB_BAD_REPLY;
    std::unique_ptr<StatusResp> first(PMB_Lib_OpenTransfer(code, L"t1", true));
    ASSERT_TRUE(first);
    EXPECT_EQ(code, PD_LIB_OK);
    rig.booster.SetStatusId(902, 1);
    rig.booster.ClearLog();
    std::unique_ptr<StatusResp> second(PMB_Lib_OpenTransfer(code, L"t1", true));
    EXPECT_EQ(code, PD_LIB_OK);
    EXPECT_EQ(rig.booster.Requests(),
              (std::vector<std::string>{"/rest/validateDiskToken?format=xml&netToken=net-1",
                                        "/rest/transfer.open?format=xml&torrentId=t1&netToken=net-1",
                                        "/rest/getToken?format=xml&ClientID=PMB_Client",
                                        "/rest/validateDiskToken?format=xml&netToken=net-2",
                                        "/rest/validateDiskToken?format=xml&netToken=net-2",
                                        "/rest/transfer.open?format=xml&torrentId=t1&netToken=net-2"}));
    // Without the token asked for, an empty one is left out altogether.
    rig.booster.ClearLog();
    std::unique_ptr<StatusResp> third(PMB_Lib_OpenTransfer(code, L"t1", false));
    EXPECT_EQ(rig.booster.Requests(), std::vector<std::string>{"/rest/transfer.open?format=xml&torrentId=t1"});
}
