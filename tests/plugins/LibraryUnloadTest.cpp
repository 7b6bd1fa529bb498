#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/RegistryStore.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/plugins/LaunchRig.h"

namespace {

const std::string kCycles = QUOR_BINARY_DIR "/tests/programs/library_cycles";

// A browser loads and unloads a plug-in with every page. Each cycle of loading,
// one registry lookup and unloading once left the library's stores behind
// (about 2 KB of heap and an open file each time); now nothing stays.
TEST(LibraryUnload, AThousandCyclesOfEachLibraryLeaveNothingBehind) {
    LaunchRig rig;
    // Folders without Quor or the booster in them: each lookup finds them, nothing is started.
    const std::string empty = rig.Env().Path("empty");
    std::filesystem::create_directories(empty);
    rig.SetInstallDir("Orrinmere", empty);
    rig.SetInstallDir("Quor!", empty);
    auto& user = platform::RegistryStore::ForHive(platform::Hive::CurrentUser);
    ASSERT_EQ(user.WriteValue("Software\\Pando Networks\\PMB", "Version Number", platform::RegistryValue::Text("2.5")),
              0);
    ASSERT_EQ(
        user.WriteValue("Software\\Pando Networks\\PMB", "Program Directory", platform::RegistryValue::Text(empty)), 0);

    const struct {
        const char* kind;
        const char* library;
    } libraries[] = {
        {"npapi", QUOR_MIROVANE_LIBRARY},
        {"activex", QUOR_TESSALINE_LIBRARY},
        {"booster", QUOR_BOOSTER_LIBRARY},
    };
    for (const auto& l : libraries) {
        SCOPED_TRACE(l.library);
        auto result = ChildProcess::Run({kCycles, l.kind, l.library, "1000"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        long heap = -1, descriptors = -1;
        int unloaded = 0;
        ASSERT_EQ(
            std::sscanf(result.out.c_str(), "heap=%ld descriptors=%ld unloaded=%d", &heap, &descriptors, &unloaded), 3)
            << result.out;
        EXPECT_EQ(unloaded, 1) << "the library must really be unloaded for the count to mean anything";
        EXPECT_EQ(descriptors, 0);
        // The dynamic loader and the libraries below keep a few kilobytes of their
        // own, the same after a thousand cycles as after ten.
        EXPECT_LT(heap, 64 * 1024) << heap << " bytes after 1000 cycles";
        EXPECT_TRUE(rig.Launches().empty());
    }
}

}  // namespace
