#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/RegistryStore.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using platform::Hive;
using platform::RegistryStore;
using platform::RegistryValue;
using platform::ValueType;

const std::string kTool = QUOR_BINARY_DIR "/tools/quor-reg/quor-reg";
const std::string kKey = "Software\\Brindlemoor\\Quor!";

ChildProcess::Result QuorReg(std::vector<std::string> args) {
    args.insert(args.begin(), kTool);
    return ChildProcess::Run(args);
}

TEST(QuorRegTool, SetsGetsAndDeletesValuesOfBothHives) {
    TestEnvironment env;
    // An installer's writes, seen by the program's own store.
    EXPECT_EQ(QuorReg({"set-string", kKey, "Install_Dir", "/opt/Brindlemoor Quor!"}).exitCode, 0);
    EXPECT_EQ(QuorReg({"set-dword", kKey + "\\Preferences", "Language", "3"}).exitCode, 0);
    EXPECT_EQ(QuorReg({"set-dword", kKey + "\\Preferences", "Skin", "0x2"}).exitCode, 0);
    EXPECT_EQ(QuorReg({"set-string", "Software\\Ironvale", "@", "default \xc3\xbc"}).exitCode, 0);
    EXPECT_EQ(QuorReg({"--hklm", "set-string", "SOFTWARE\\Duskmarch", "Path", "/opt/dm"}).exitCode, 0);
    RegistryStore& hkcu = RegistryStore::ForHive(Hive::CurrentUser);
    EXPECT_EQ(hkcu.ReadValue(kKey, "install_dir")->data, "/opt/Brindlemoor Quor!");
    auto language = hkcu.ReadValue(kKey + "\\Preferences", "Language");
    ASSERT_TRUE(language);
    EXPECT_EQ(language->type, ValueType::Dword);
    EXPECT_EQ(language->dword, 3u);
    EXPECT_EQ(hkcu.ReadValue(kKey + "\\Preferences", "Skin")->dword, 2u);
    EXPECT_EQ(hkcu.ReadValue("Software\\Ironvale", "")->data, "default \xc3\xbc");
    EXPECT_EQ(RegistryStore::ForHive(Hive::LocalMachine).ReadValue("Software\\Duskmarch", "Path")->data, "/opt/dm");
    EXPECT_FALSE(hkcu.KeyExists("Software\\Duskmarch"));

    // Reading back what the program wrote.
    hkcu.WriteValue(kKey + "\\Downloads", "http://127.0.0.1/g.exe_downloadState", RegistryValue::Number(206));
    auto got = QuorReg({"get", kKey + "\\downloads", "http://127.0.0.1/g.exe_downloadState"});
    EXPECT_EQ(got.exitCode, 0);
    EXPECT_EQ(got.out, "206\n");
    EXPECT_EQ(QuorReg({"get", kKey, "Install_Dir"}).out, "/opt/Brindlemoor Quor!\n");
    EXPECT_EQ(QuorReg({"--hklm", "get", "Software\\Duskmarch", "Path"}).out, "/opt/dm\n");

    EXPECT_EQ(QuorReg({"delete", kKey, "Install_Dir"}).exitCode, 0);
    EXPECT_FALSE(hkcu.ReadValue(kKey, "Install_Dir"));
    auto missing = QuorReg({"get", kKey, "Install_Dir"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Install_Dir"), std::string::npos);
    EXPECT_EQ(QuorReg({"delete", kKey, "Install_Dir"}).exitCode, 1);

    // Wrong use changes nothing.
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{},
                                                  {"get", kKey},
                                                  {"set-dword", kKey, "N", "-1"},
                                                  {"set-dword", kKey, "N", "4294967296"},
                                                  {"set-dword", kKey, "N", "12abc"},
                                                  {"set-string", kKey, "N", "\xff"},
                                                  {"frobnicate", kKey, "N"}}) {
        EXPECT_EQ(QuorReg(wrong).exitCode, 2) << (wrong.empty() ? "" : wrong[0]);
    }
    EXPECT_FALSE(hkcu.ReadValue(kKey, "N"));
}

}  // namespace
