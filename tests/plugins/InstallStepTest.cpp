#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/RegistryStore.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

ChildProcess::Result Install(const std::string& prefix) {
    return ChildProcess::Run({"/usr/bin/cmake", "--install", QUOR_BINARY_DIR, "--prefix", prefix});
}

TEST(InstallStep, WritesInstallDirForBothAddOnsAndShipsThePlugInsBesideQuor) {
    TestEnvironment env;
    const std::string prefix = env.Path("Quor Games");
    const auto result = Install(prefix);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    platform::RegistryStore store(env.HklmFile(), platform::Hive::LocalMachine);
    for (const char* product : {"Quor!", "Orrinmere"}) {
        SCOPED_TRACE(product);
        const auto value = store.ReadValue(std::string("SOFTWARE\\Brindlemoor\\") + product, "Install_Dir");
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, platform::ValueType::String);
        EXPECT_EQ(value->data, prefix);
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix + "/browser-plugins/libnpmirovane.so"));
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix + "/browser-plugins/libtessaline.so"));
}

TEST(InstallStep, AHiveThatCannotBeWrittenIsReportedAndTheInstallStillSucceeds) {
    TestEnvironment env;
    const std::string blocker = env.WriteFile("not-a-folder", "x");
    setenv("QUOR_HKLM_FILE", (blocker + "/hklm.reg").c_str(), 1);
    const auto result = Install(env.Path("Quor Games"));
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE((result.out + result.err).find("Install_Dir of Orrinmere not written"), std::string::npos)
        << result.out << result.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(env.Path("Quor Games/Quor")));
}

}  // namespace
