#include "booster/PmbInstallation.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "booster/PmbInstallState.h"
#include "booster/PmbLib.h"
#include "booster/PmbLibraryState.h"
#include "booster/PmbRecovery.h"
#include "core/system/ProgramLauncher.h"
#include "tests/booster/BoosterRig.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/fixtures/WaitUntil.h"

namespace fs = std::filesystem;

TEST(PmbInstallation, VersionsCompareByNumberAsFarAsTheShorterReaches) {
    struct Case {
        const wchar_t* installed;
        const wchar_t* minimum;
        bool below;
    };
    const Case cases[] = {
        {L"2.10.0.0", L"2.3.0.0", false}, {L"2.2.9.9", L"2.3.0.0", true}, {L"2.3", L"2.3.0.0", false},
        {L"2.3.0.0", L"2.3.0.0", false},  {L"3", L"2.3.0.0", false},      {L"2.3.0.", L"2.3.0.1", false},
        {L"", L"2.3.0.0", false},         {L"1.99", L"2", true},          {L"2.3.0.0", L"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PmbVersionBelow(c.installed, c.minimum), c.below)
            << std::string(c.installed, c.installed + wcslen(c.installed));
}

TEST(PmbInstallation, TheLoginWaitChecksThirteenTimesAndPausesTwelve) {
    BoosterRig rig;
    rig.booster.SetLoginAfterChecks(-1);
    EXPECT_FALSE(PmbWaitForLogin());
    EXPECT_EQ(rig.booster.Methods(), std::vector<std::string>(13, "loginStatus"));
    EXPECT_EQ(rig.sleeps, std::vector<int64_t>(12, 5000));

    rig.booster.ClearLog();
    rig.sleeps.clear();
    rig.booster.SetLoginAfterChecks(3);  // the fourth check succeeds
    EXPECT_TRUE(PmbWaitForLogin());
    EXPECT_EQ(rig.booster.Methods().size(), 4u);
    EXPECT_EQ(rig.sleeps.size(), 2u);

    rig.booster.ClearLog();
    rig.sleeps.clear();
    rig.booster.SetLoginAfterChecks(0);
    EXPECT_TRUE(PmbWaitForLogin());
    EXPECT_EQ(rig.booster.Methods().size(), 1u);
    EXPECT_TRUE(rig.sleeps.empty());
}

TEST(PmbInstallation, PresenceCopiesTheValuesIntoTheBuffers) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster("2.4.1.0");
    std::vector<wchar_t> version(1024, L'x'), dir(1024, L'x');
    wchar_t* v = version.data();
    wchar_t* d = dir.data();
    EXPECT_TRUE(PMB_Lib_CheckIsPMBPresent(&v, &d));
    EXPECT_EQ(std::wstring(v), L"2.4.1.0");
    EXPECT_EQ(std::wstring(d), std::wstring(folder.begin(), folder.end()));
    EXPECT_TRUE(PMB_Lib_CheckIsPMBPresent(nullptr, nullptr));
    wchar_t* none = nullptr;
    EXPECT_TRUE(PMB_Lib_CheckIsPMBPresent(&none, &none));

    // The folder as stored, its trailing "/" included.
    auto& store = platform::RegistryStore::ForHive(platform::Hive::CurrentUser);
    store.WriteValue(kPmbKey, "Program Directory", platform::RegistryValue::Text(folder + "/"));
    EXPECT_TRUE(PMB_Lib_CheckIsPMBPresent(&v, &d));
    EXPECT_EQ(std::wstring(d), std::wstring(folder.begin(), folder.end()) + L"/");
    store.WriteValue(kPmbKey, "Program Directory", platform::RegistryValue::Text(folder));

    // A version of 1024 characters or more does not fit: that buffer stays.
    store.WriteValue(kPmbKey, "Version Number", platform::RegistryValue::Text(std::string(1024, '9')));
    std::vector<wchar_t> kept(1024, L'\0');
    kept[0] = L'k';
    wchar_t* k = kept.data();
    EXPECT_TRUE(PMB_Lib_CheckIsPMBPresent(&k, nullptr));
    EXPECT_EQ(std::wstring(k), L"k");
    store.WriteValue(kPmbKey, "Version Number", platform::RegistryValue::Text(std::string(1023, '9')));
    EXPECT_TRUE(PMB_Lib_CheckIsPMBPresent(&k, nullptr));
    EXPECT_EQ(std::wstring(k).size(), 1023u);

    // Nor does such a folder: one that cannot be handed over is not there.
    for (size_t length : {1023u, 1024u}) {
        std::string longFolder = rig.env.Path("long") + "/";
        while (length - longFolder.size() > 200)
            longFolder += std::string(199, 'd') + "/";
        longFolder += std::string(length - longFolder.size(), 'e');
        fs::create_directories(longFolder);
        rig.env.WriteFile(longFolder.substr(rig.env.Root().size() + 1) + "/PMB.exe", "MZ");
        store.WriteValue(kPmbKey, "Program Directory", platform::RegistryValue::Text(longFolder));
        std::fill(dir.begin(), dir.end(), L'x');
        dir.back() = L'\0';
        EXPECT_EQ(PMB_Lib_CheckIsPMBPresent(nullptr, &d), length < 1024) << length;
        EXPECT_EQ(std::wstring(d),
                  length < 1024 ? std::wstring(longFolder.begin(), longFolder.end()) : std::wstring(1023, L'x'))
            << length;
        EXPECT_EQ(PmbInstalledFolder().size(), length < 1024 ? length : 0u) << length;
    }
    store.WriteValue(kPmbKey, "Program Directory", platform::RegistryValue::Text(folder));

    // Without PMB.exe, or with a folder that is not absolute, it is not there.
    fs::remove(folder + "/PMB.exe");
    EXPECT_FALSE(PMB_Lib_CheckIsPMBPresent(nullptr, nullptr));
    for (const char* relative : {"", "Pando/PMB"}) {
        store.WriteValue(kPmbKey, "Program Directory", platform::RegistryValue::Text(relative));
        EXPECT_FALSE(PMB_Lib_CheckIsPMBPresent(nullptr, nullptr)) << relative;
        PDLibCode code = PD_LIB_OK;
        EXPECT_FALSE(PMB_Lib_CheckAndReStartPMB(code));
        EXPECT_EQ(code, PD_LIB_NOT_INSTALLED);
        EXPECT_FALSE(PMB_Lib_LaunchPMBApplication(std::wstring(relative, relative + strlen(relative))));
    }
}

TEST(PmbInstallation, ABoosterInstalledThroughWineIsFoundInThePrefix) {
    BoosterRig rig;
    const std::string prefix = rig.env.Path("wineprefix");
    setenv("WINEPREFIX", prefix.c_str(), 1);
    fs::create_directories(prefix + "/drive_c/Program Files/Pando Networks/Media Booster");
    fs::create_directories(prefix + "/dosdevices");
    fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
    rig.env.WriteFile("wineprefix/drive_c/Program Files/Pando Networks/Media Booster/PMB.exe", "MZ");
    rig.env.WriteFile("wineprefix/user.reg",
                      "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                      "[Software\\\\Pando Networks\\\\PMB] 1700000000\n"
                      "\"Program Directory\"=\"C:\\\\Program Files\\\\Pando Networks\\\\Media Booster\"\n"
                      "\"Version Number\"=\"2.5.0.0\"\n");
    const PmbInstalled installed = PmbFindInstalled();
    EXPECT_TRUE(installed.found);
    EXPECT_EQ(installed.version, "2.5.0.0");
    EXPECT_EQ(installed.folder, prefix + "/dosdevices/c:/Program Files/Pando Networks/Media Booster");
    EXPECT_EQ(PmbMapBoosterPath(installed, "C:\\Program Files\\Pando Networks\\Media Booster\\t.dat"),
              installed.folder + "/t.dat");
    // The disk token lands there through the drive link.
    rig.booster.SetTokenFile("C:\\Program Files\\Pando Networks\\Media Booster\\t.dat");
    std::unique_ptr<StatusResp> reply(PMB_Lib_ShutDown());
    EXPECT_TRUE(reply);
    EXPECT_EQ(TestEnvironment::ReadFile(prefix + "/drive_c/Program Files/Pando Networks/Media Booster/t.dat"),
              "disk-1");
    // The program itself by its drive-letter path, in any spelling, stays as it is.
    for (const char* program : {"C:\\Program Files\\Pando Networks\\Media Booster\\PMB.exe",
                                "c:\\program files\\Pando Networks\\Media Booster\\pmb.exe"}) {
        rig.booster.SetTokenFile(program);
        reply.reset(PMB_Lib_ShutDown());
        EXPECT_TRUE(reply) << program;
        EXPECT_EQ(TestEnvironment::ReadFile(prefix + "/drive_c/Program Files/Pando Networks/Media Booster/PMB.exe"),
                  "MZ")
            << program;
    }
}

TEST(PmbInstallation, StartLaunchesTheBoosterEvenWhenItRuns) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster("2.10.0.0");
    PDLibCode code = PD_LIB_BAD_REPLY;
    EXPECT_TRUE(PMB_Lib_StartPMB(code, L"Acme"));
    EXPECT_EQ(code, PD_LIB_OK);
    EXPECT_EQ(rig.booster.Methods(), std::vector<std::string>{"loginStatus"});
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(folder + "/started"); }));
}

TEST(PmbInstallation, StartRefusesAnOldBoosterAndTimesOutWithoutLogin) {
    BoosterRig rig;
    rig.RegisterRecordingBooster("2.2.9.9");
    PDLibCode code = PD_LIB_OK;
    EXPECT_FALSE(PMB_Lib_StartPMB(code, L"Acme"));
    EXPECT_EQ(code, PD_LIB_VERSION_TOO_OLD);
    EXPECT_TRUE(rig.booster.Requests().empty());

    PMB_Lib_SetMinimumRequiredVersion(L"2.2");
    EXPECT_EQ(PMB_Lib_GetMinimumRequiredVersion(), L"2.2");
    rig.booster.SetLoginAfterChecks(-1);
    EXPECT_FALSE(PMB_Lib_StartPMB(code, L"Acme"));
    EXPECT_EQ(code, PD_LIB_LOGIN_TIMEOUT);
    EXPECT_EQ(rig.sleeps.size(), 12u);
}

TEST(PmbInstallation, RestartShutsTheBoosterDownAndStartsItAgain) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster();
    PDLibCode code = PD_LIB_BAD_REPLY;
    EXPECT_TRUE(PMB_Lib_CheckAndReStartPMB(code));
    EXPECT_EQ(code, PD_LIB_OK);
    EXPECT_TRUE(rig.booster.ShutdownRequested());
    EXPECT_EQ(rig.sleeps.front(), 5000);
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(folder + "/started"); }));
}

namespace {

// A "#!" installer padded to exactly `size` bytes, as the booster's installer
// behaves: it notes its arguments, waits for <folder>/go when told to (for a
// minute at most, so a failed test leaves nothing running), then
// copies the stand-in booster in as PMB.exe and writes the registry entries
// (with quor-reg, into the hive the test points at).
std::string Installer(const std::string& folder, size_t size, bool waitForGo) {
    const std::string reg = std::string(QUOR_BINARY_DIR) + "/tools/quor-reg/quor-reg";
    const std::string key = "'Software\\Pando Networks\\PMB'";
    std::string script = "#!/bin/sh\nmkdir -p '" + folder + "'\nprintf '%s\\n' \"$@\" > '" + folder + "/args'\n";
    if (waitForGo)
        script += "n=0; while [ ! -e '" + folder +
                  "/go' ] && [ $n -lt 3000 ]; do sleep 0.02; n=$((n+1)); done\n"
                  "[ -e '" +
                  folder + "/go' ] || exit 1\n";
    script += "cp '" + BoosterRig::StandInProgram() + "' '" + folder + "/PMB.exe'\n";
    script += "'" + reg + "' set-string " + key + " 'Version Number' 2.3.0.0\n";
    script += "'" + reg + "' set-string " + key + " 'Program Directory' '" + folder + "'\nexit 0\n#";
    script.resize(size, '#');
    return script;
}

struct InstallRig : BoosterRig {
    TestHttpServer server;
    std::string folder;
    InstallRig() {
        folder = env.Path("Pando/PMB");  // made by the installer
        setenv("QUOR_BOOSTER_INSTALLER_URL", server.Url("/booster/PMB_Setup.exe").c_str(), 1);
    }
};

}  // namespace

TEST(PmbInstallation, AnInstallerBelowOneMebibyteIsNotRun) {
    InstallRig rig;
    rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, 1048575, false));
    EXPECT_FALSE(PMB_Lib_InstallPMB(L"Acme Games"));
    EXPECT_FALSE(fs::exists(rig.folder + "/args"));
    EXPECT_TRUE(rig.sleeps.empty());
    EXPECT_EQ(PmbLibraryState::Get().installer.Poll(), PmbInstallerState::Idle);
    const std::string downloaded = rig.env.Path("home/.local/share/Pando_Temp/PMB_Setup.exe");
    EXPECT_EQ(fs::file_size(downloaded), 1048575u);
    EXPECT_EQ(fs::status(rig.env.Path("home/.local/share/Pando_Temp")).permissions() & fs::perms::all,
              fs::perms::owner_all);
}

TEST(PmbInstallation, AnInstallerOfOneMebibyteRunsWithThePartner) {
    InstallRig rig;
    rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, 1048576, false));
    EXPECT_TRUE(PMB_Lib_InstallPMB(L"Acme Games"));
    EXPECT_EQ(TestEnvironment::ReadFile(rig.folder + "/args"), "/S\n--partner=Acme Games\n");
    EXPECT_EQ(PmbLibraryState::Get().installer.Poll(), PmbInstallerState::Finished);
    EXPECT_TRUE(PMB_Lib_CheckIsPMBPresent(nullptr, nullptr));
    EXPECT_EQ(PmbInstalledFolder(), rig.folder);
}

TEST(PmbInstallation, TheInstallerStateGoesFromIdleToRunningToFinished) {
    InstallRig rig;
    rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, 1048576 + 10, true));
    PmbInstallState& state = PmbLibraryState::Get().installer;
    EXPECT_EQ(state.Poll(), PmbInstallerState::Idle);
    EXPECT_TRUE(state.Begin("Acme"));
    EXPECT_EQ(state.Poll(), PmbInstallerState::Running);
    EXPECT_TRUE(state.Begin("Acme"));  // already running: nothing more
    EXPECT_EQ(rig.server.RequestCount(), 1u);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(rig.folder + "/args"); }));
    rig.env.WriteFile("Pando/PMB/go", "");
    EXPECT_TRUE(WaitUntil([&] { return state.Poll() == PmbInstallerState::Finished; }));
    // Finished, but the booster gone again: idle, and the next install runs anew.
    fs::remove(rig.folder + "/PMB.exe");
    EXPECT_EQ(state.Poll(), PmbInstallerState::Idle);
}

TEST(PmbInstallation, StartInstallsAMissingBoosterAndFailsWithSixWithoutInstaller) {
    InstallRig rig;
    PDLibCode code = PD_LIB_OK;
    EXPECT_FALSE(PMB_Lib_StartPMB(code, L"Acme"));  // nothing served: 404
    EXPECT_EQ(code, PD_LIB_INSTALL_FAILED);
    rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, 1048576, false));
    EXPECT_TRUE(PMB_Lib_StartPMB(code, L"Acme"));
    EXPECT_EQ(code, PD_LIB_OK);
}

TEST(PmbInstallation, NoApplicationDataFolderDownloadsNothing) {
    InstallRig rig;
    rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, 1048576, false));
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_FALSE(PmbLibraryState::Get().installer.Begin("Acme"));
    EXPECT_EQ(rig.server.RequestCount(), 0u);
}

TEST(PmbInstallation, TheStartRuleKeepsThePathWholeAndGivesMsiNoParameters) {
    EXPECT_EQ(PmbQuoteParameter("--partner=Acme"), "--partner=Acme");
    EXPECT_EQ(PmbQuoteParameter("--partner=A \"B\"\\"), "\"--partner=A \\\"B\\\"\\\\\"");
    EXPECT_EQ(SplitWindowsParameters("/S " + PmbQuoteParameter("--partner=A \"B\"\\")),
              (std::vector<std::string>{"/S", "--partner=A \"B\"\\"}));
    EXPECT_EQ(PmbStartProcess("relative/PMB.exe", ""), nullptr);
    BoosterRig rig;
    struct Case {
        const char* name;
        const char* args;
    };
    // Only a name ending exactly in "msi" loses its parameters.
    const Case cases[] = {
        {"setup.msi.sh", "/S\n--partner=X\n"}, {"setup.msi", "\n"}, {"setup.MSI", "/S\n--partner=X\n"}};
    for (const Case& c : cases) {
        const std::string script = rig.env.WriteFile(std::string("dir with blank/") + c.name,
                                                     "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\n");
        auto process = PmbStartProcess(script, "/S --partner=X");
        ASSERT_TRUE(process) << c.name;
        process->Wait();
        EXPECT_EQ(TestEnvironment::ReadFile(rig.env.Path("dir with blank/args")), c.args) << c.name;
    }
}

TEST(PmbInstallation, AnInstallerThatRunsOnIsWaitedForSixtySeconds) {
    InstallRig rig;
    rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, 1048576, true));
    EXPECT_FALSE(PMB_Lib_InstallPMB(L"Acme"));
    EXPECT_EQ(rig.sleeps, std::vector<int64_t>(12, 5000));
    EXPECT_EQ(PmbLibraryState::Get().installer.Poll(), PmbInstallerState::Running);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(rig.folder + "/args"); }));
    rig.env.WriteFile("Pando/PMB/go", "");
    // A later install finds it finished, downloads nothing more, and succeeds.
    ASSERT_TRUE(
        WaitUntil([&] { return fs::exists(rig.folder + "/PMB.exe") && PMB_Lib_CheckIsPMBPresent(nullptr, nullptr); }));
    EXPECT_TRUE(WaitUntil([&] { return PMB_Lib_InstallPMB(L"Acme"); }));
    EXPECT_EQ(rig.server.RequestCount(), 1u);
}

TEST(PmbInstallation, TheHandlerActsOnlyOnNoReplyRejectedTokenAndNoLogin) {
    BoosterRig rig;
    for (PDLibCode code : {PD_LIB_OK, PD_LIB_BAD_REPLY, PD_LIB_VERSION_TOO_OLD, PD_LIB_LOGGED_IN, PD_LIB_TOKEN_RENEWED})
        EXPECT_EQ(ErrorHandlerForTransfer(code), PD_LIB_OK) << code;
    EXPECT_TRUE(rig.booster.Requests().empty());
    EXPECT_EQ(ErrorHandlerForTransfer(PD_LIB_NOT_LOGGED_IN), PD_LIB_LOGGED_IN);
    EXPECT_EQ(ErrorHandlerForTransfer(PD_LIB_TOKEN_REJECTED), PD_LIB_TOKEN_RENEWED);
    rig.booster.SetValidates(false);
    EXPECT_EQ(ErrorHandlerForTransfer(PD_LIB_TOKEN_REJECTED), PD_LIB_TOKEN_NOT_VALIDATED);
    EXPECT_EQ(ErrorHandlerForTransfer(PD_LIB_NO_REPLY), PD_LIB_NOT_INSTALLED);  // answers, but nothing registered
    EXPECT_TRUE(rig.booster.ShutdownRequested());
}

TEST(PmbInstallation, TheInstallerDownloadIsBoundedByItsLengthTheCapAndTheFreeSpace) {
    constexpr size_t kSize = 1048576 + 100;
    constexpr uint64_t kReserve = kFreeSpaceReserveBytes;
    struct Case {
        const char* name;
        FaultMode mode;
        uint64_t freeBytes;  // on the installer's disk
        bool runs;
    };
    const Case cases[] = {
        {"announced, with room for it and the reserve", {}, kReserve + kSize, true},
        {"unannounced, with room above the reserve", {.chunked = true}, kReserve + 1, true},
        {"shorter than announced", {.dropAfterBytes = kSize - 10}, UINT64_MAX, false},
        {"longer than announced",
         {.noLength = true, .extraHeaders = {{"Content-Length", "1048576"}}},
         UINT64_MAX,
         false},
        {"announced past the cap", {}, UINT64_MAX, false},
        {"unannounced past the cap", {.chunked = true}, UINT64_MAX, false},
        {"announced, and the reserve would not stay free", {}, kReserve + kSize - 1, false},
        {"unannounced, and the disk at the reserve", {.chunked = true}, kReserve - 1, false},
    };
    for (const Case& c : cases) {
        InstallRig rig;
        const bool pastTheCap = std::string(c.name).find("cap") != std::string::npos;
        PmbSettings::Get().installerCap = pastTheCap ? kSize - 1 : 512ull << 20;
        std::vector<std::string> asked;
        PmbSettings::Get().freeSpace = [&](const std::string& folder) {
            asked.push_back(folder);
            return std::optional<DiskFreeBytes>(DiskFreeBytes{c.freeBytes, 0, 0});
        };
        rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, kSize, false), c.mode);
        const std::string temp = rig.env.Path("home/.local/share/Pando_Temp");
        EXPECT_EQ(PmbLibraryState::Get().installer.Begin("Acme"), c.runs) << c.name;
        EXPECT_EQ(fs::exists(temp + "/PMB_Setup.exe"), c.runs) << c.name;
        EXPECT_FALSE(fs::exists(temp + "/PMB_Setup.exe.part")) << c.name;
        if (c.runs) {
            EXPECT_EQ(fs::file_size(temp + "/PMB_Setup.exe"), kSize) << c.name;
            EXPECT_TRUE(WaitUntil([&] { return fs::exists(rig.folder + "/args"); })) << c.name;
        }
        if (!pastTheCap) {
            ASSERT_FALSE(asked.empty()) << c.name;
            EXPECT_EQ(asked.front(), temp) << c.name;
        }
    }
}

TEST(PmbInstallation, AnInstallerThatTricklesInIsGivenUpAtItsOverallLimit) {
    InstallRig rig;
    PmbSettings::Get().installerSeconds = 1;
    rig.server.Serve("/booster/PMB_Setup.exe", Installer(rig.folder, 1048576, false),
                     FaultMode{.trickleBytesPerSecond = 100000});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(PmbLibraryState::Get().installer.Begin("Acme"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(fs::exists(rig.env.Path("home/.local/share/Pando_Temp/PMB_Setup.exe")));
    EXPECT_FALSE(fs::exists(rig.env.Path("home/.local/share/Pando_Temp/PMB_Setup.exe.part")));
}

TEST(PmbInstallation, WhatAPowerCutLeftOfAnInstallerIsReplacedByAWholeDownload) {
    InstallRig rig;
    // A part that never got its rename, and an earlier installer cut short.
    rig.env.WriteFile("home/.local/share/Pando_Temp/PMB_Setup.exe.part", "#!/bin/sh\nexit 3\n");
    rig.env.WriteFile("home/.local/share/Pando_Temp/PMB_Setup.exe", "#!/bin/sh\nexit 4\n");
    const std::string installer = Installer(rig.folder, 1048576, false);
    rig.server.Serve("/booster/PMB_Setup.exe", installer);
    EXPECT_TRUE(PMB_Lib_InstallPMB(L"Acme"));
    EXPECT_EQ(TestEnvironment::ReadFile(rig.env.Path("home/.local/share/Pando_Temp/PMB_Setup.exe")), installer);
    EXPECT_FALSE(fs::exists(rig.env.Path("home/.local/share/Pando_Temp/PMB_Setup.exe.part")));
}
