#include <gtest/gtest.h>

#include "platform/RegistryStore.h"
#include "plugins/common/InstallDirLookup.h"
#include "tests/plugins/LaunchRig.h"

namespace {

TEST(InstallDirLookup, ReadsInstallDirUnderItsOwnProductKey) {
    LaunchRig rig;
    rig.SetInstallDir("Orrinmere", "/opt/orrinmere");
    InstallDirLookup plugin("Orrinmere");
    InstallDirLookup control("Quor!");
    EXPECT_EQ(plugin.GetInstallDir(), "/opt/orrinmere");
    EXPECT_EQ(control.GetInstallDir(), "");
}

TEST(InstallDirLookup, WrongTypeOrTooLongEmptiesAMissingValueKeepsTheLastFolder) {
    LaunchRig rig;
    InstallDirLookup lookup("Quor!");
    EXPECT_EQ(lookup.GetInstallDir(), "");
    rig.SetInstallDir("Quor!", "/opt/quor");
    EXPECT_EQ(lookup.GetInstallDir(), "/opt/quor");

    platform::RegistryStore store(rig.Env().HklmFile(), platform::Hive::LocalMachine);
    store.DeleteValue("SOFTWARE\\Brindlemoor\\Quor!", "Install_Dir");
    EXPECT_EQ(lookup.GetInstallDir(), "/opt/quor") << "a failed query keeps the last folder";

    rig.SetInstallDir("Quor!", "/opt/quor", 2);
    EXPECT_EQ(lookup.GetInstallDir(), "") << "REG_EXPAND_SZ";

    rig.SetInstallDir("Quor!", "/" + std::string(2046, 'a'));
    EXPECT_EQ(lookup.GetInstallDir(), "") << "2047 bytes and the terminator do not fit";
    rig.SetInstallDir("Quor!", "/" + std::string(2045, 'a'));
    EXPECT_EQ(lookup.GetInstallDir().size(), 2046u);
}

}  // namespace
