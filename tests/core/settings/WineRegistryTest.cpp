#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <malloc.h>

#include "core/settings/WineRegistry.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using platform::RegistryValue;
using platform::ValueType;

// As wine writes it: escaped backslashes, wide characters as \x, a timestamp per key.
const char* const kSystemReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Duskmarch Games\\\\Duskmarch] 1700000000\n"
    "#time=1da0c2b3c4d5e6f\n"
    "\"InstallDir\"=\"C:\\\\Games\\\\Duskmarch\"\n"
    "\"Exe\"=\"bin\\\\dusk.exe\"\n"
    "\"Caf\\x00e9\"=\"na\\xefve \\\"q\\\" tab\\tend\"\n"
    "@=\"default\"\n"
    "\"Count\"=dword:0000002a\n"
    "\"Path\"=str(2):\"%ProgramFiles%\\\\Dusk\"\n"
    "\"Blob\"=hex:01,02,\\\n"
    "  03,ff\n"
    "\"Wide\"=hex(2):43,00,3a,00,5c,00,78,00,00,00\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\Ironvale] 1700000000\n"
    "\"Folder\"=\"D:\\\\Iron\"\n";

TEST(WineRegistry, ParsesWinesOwnFormat) {
    auto tree = WineRegistry::Parse(kSystemReg);
    ASSERT_TRUE(tree.has_value());
    const auto* key = tree->Find("SOFTWARE\\duskmarch games\\Duskmarch");
    ASSERT_NE(key, nullptr);
    auto value = [&](const std::string& name) { return key->values.at(platform::FoldName(name)).second; };
    EXPECT_EQ(value("InstallDir").data, "C:\\Games\\Duskmarch");
    EXPECT_EQ(value("InstallDir").type, ValueType::String);
    EXPECT_EQ(value("Exe").data, "bin\\dusk.exe");
    EXPECT_EQ(value("Caf\xC3\xA9").data, "na\xC3\xAFve \"q\" tab\tend");
    EXPECT_EQ(value("").data, "default");
    EXPECT_EQ(value("Count").type, ValueType::Dword);
    EXPECT_EQ(value("Count").dword, 42u);
    EXPECT_EQ(value("Path").type, ValueType::ExpandString);
    EXPECT_EQ(value("Path").data, "%ProgramFiles%\\Dusk");
    EXPECT_EQ(value("Blob").data, std::string("\x01\x02\x03\xff", 4));
    EXPECT_EQ(value("Wide").data, "C:\\x");
    EXPECT_EQ(key->values.count(platform::FoldName("Multi")), 0u);

    EXPECT_FALSE(WineRegistry::Parse("REGEDIT4\n[x]\n").has_value());
    EXPECT_FALSE(WineRegistry::Parse("").has_value());
    // Damaged lines are passed over; the rest stands.
    auto damaged = WineRegistry::Parse(
        "WINE REGISTRY Version 2\n[A] 1\n\"x\"=\"unterminated\n\"y\"=dword:zz\n"
        "\"z\"=\"ok\"\n[B\n\"w\"=\"lost\"\n");
    ASSERT_TRUE(damaged.has_value());
    ASSERT_NE(damaged->Find("A"), nullptr);
    EXPECT_EQ(damaged->Find("A")->values.size(), 1u);
    EXPECT_EQ(damaged->Find("B"), nullptr);
}

TEST(WineRegistry, ReadsAPrefixAndMapsItsDrives) {
    TestEnvironment env;
    std::string prefix = env.Path("wine");
    env.WriteFile("wine/system.reg", kSystemReg);
    auto value = WineRegistry::ReadValue(prefix, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Duskmarch Games\\Duskmarch", "@");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->data, "default");
    // A 32-bit program's key is found through its Wow6432Node view.
    EXPECT_TRUE(WineRegistry::KeyExists(prefix, "HKEY_LOCAL_MACHINE\\Software\\Ironvale"));
    EXPECT_FALSE(WineRegistry::KeyExists(prefix, "HKEY_CURRENT_USER\\Software\\Ironvale"));  // no user.reg
    EXPECT_FALSE(WineRegistry::KeyExists(prefix, "HKEY_CLASSES_ROOT\\Software\\Ironvale"));
    EXPECT_FALSE(WineRegistry::KeyExists(env.Path("no-prefix"), "HKEY_LOCAL_MACHINE\\Software\\Ironvale"));

    // A changed file is read again.
    env.WriteFile("wine/system.reg", "WINE REGISTRY Version 2\n[Software\\\\New] 1\n\"v\"=\"1\"\n");
    EXPECT_TRUE(WineRegistry::KeyExists(prefix, "HKEY_LOCAL_MACHINE\\Software\\New"));
    EXPECT_FALSE(WineRegistry::KeyExists(prefix, "HKEY_LOCAL_MACHINE\\Software\\Ironvale"));

    EXPECT_EQ(WineRegistry::ToUnixPath(prefix, "C:\\Games\\G"), prefix + "/dosdevices/c:/Games/G");
    EXPECT_EQ(WineRegistry::ToUnixPath(prefix, "d:"), prefix + "/dosdevices/d:");
    EXPECT_EQ(WineRegistry::ToUnixPath(prefix, "/already/unix"), "/already/unix");

    setenv("WINEPREFIX", prefix.c_str(), 1);
    EXPECT_EQ(WineRegistry::DefaultPrefix(), prefix);
    setenv("WINEPREFIX", "relative", 1);
    EXPECT_EQ(WineRegistry::DefaultPrefix(), env.Path("home/.wine"));
    unsetenv("WINEPREFIX");
    EXPECT_EQ(WineRegistry::DefaultPrefix(), env.Path("home/.wine"));
}

// One 90 KB line "[a\\a\\...]" in a prefix's user.reg once took 1.8 GB at every
// start. A key deeper than the tree holds is passed over, said in one line; the
// rest of the hive is read, in memory about the size of the file.
TEST(WineRegistry, AKeyTooDeepIsPassedOverAndTheRestRead) {
    TestEnvironment env;
    std::string deep = "[";
    while (deep.size() < 90000)
        deep += "a\\\\";
    const std::string text = "WINE REGISTRY Version 2\n\n" + deep + "a] 1700000000\n\"v\"=\"lost\"\n\n" +
                             "[Software\\\\Pando Networks\\\\PMB] 1700000000\n\"Version Number\"=\"2.5\"\n";
    env.WriteFile("wine/user.reg", text);

    const size_t before = mallinfo2().uordblks;
    testing::internal::CaptureStderr();
    auto hive = WineRegistry::LoadHive(env.Path("wine"), platform::Hive::CurrentUser);
    const std::string said = testing::internal::GetCapturedStderr();
    const size_t held = mallinfo2().uordblks - before;
    ASSERT_NE(hive, nullptr);
    EXPECT_LT(held, 4 * text.size()) << held;
    EXPECT_NE(hive->Find("Software\\Pando Networks\\PMB"), nullptr);
    EXPECT_EQ(hive->Find("a"), nullptr);
    EXPECT_NE(said.find("deeper than 512 levels"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;

    size_t tooDeep = 0;
    ASSERT_TRUE(WineRegistry::Parse(text, &tooDeep).has_value());
    EXPECT_EQ(tooDeep, 1u);
}

}  // namespace
