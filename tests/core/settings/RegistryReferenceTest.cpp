#include <gtest/gtest.h>

#include <string>

#include "core/settings/RegistryReference.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using platform::Hive;
using platform::RegistryStore;
using platform::RegistryValue;
using platform::ValueType;

class RegistryReferenceTest : public testing::Test {
protected:
    void SetUp() override {
        auto& hkcu = RegistryStore::ForHive(Hive::CurrentUser);
        hkcu.WriteValue("Software\\Ironvale", "", RegistryValue::Text("default text"));
        hkcu.WriteValue("Software\\Ironvale", "@", RegistryValue::Text("named at"));
        hkcu.WriteValue("Software\\Ironvale", "Path", RegistryValue::Text("C:\\Games\\Ironvale"));
        hkcu.WriteValue("Software\\Ironvale", "Build", RegistryValue::Number(1042));
        hkcu.WriteValue("Software\\Ironvale", "Expand", {ValueType::ExpandString, "%APPDATA%\\x", 0});
        hkcu.WriteValue("Software\\Ironvale", "Blob", RegistryValue::Bytes("abc"));
        hkcu.WriteValue("Software\\Ironvale", "Long", RegistryValue::Text(std::string(100000, 'L')));
        hkcu.WriteValue("Software\\Ironvale", "Latin1", RegistryValue::Text("caf\xe9"));
        RegistryStore::ForHive(Hive::LocalMachine)
            .WriteValue("SOFTWARE\\Duskmarch", "Install_Dir", RegistryValue::Text("/opt/dm"));
    }
    TestEnvironment env;
};

TEST_F(RegistryReferenceTest, ReadsBothRootsWithoutRegardToKeyCase) {
    EXPECT_TRUE(KeyExists("HKEY_CURRENT_USER\\Software\\Ironvale"));
    EXPECT_TRUE(KeyExists("HKEY_CURRENT_USER\\SOFTWARE\\ironvale"));
    EXPECT_TRUE(KeyExists("HKEY_CURRENT_USER"));
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\Ironvale", "PATH"), "C:\\Games\\Ironvale");
    EXPECT_EQ(ReadRegistryDword("HKEY_CURRENT_USER\\Software\\Ironvale", "Build"), 1042u);
    EXPECT_EQ(ReadRegistryString("HKEY_LOCAL_MACHINE\\Software\\Duskmarch", "Install_Dir"), "/opt/dm");
    // The hives are apart.
    EXPECT_FALSE(KeyExists("HKEY_LOCAL_MACHINE\\Software\\Ironvale"));
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\Duskmarch", "Install_Dir"), "");
}

TEST_F(RegistryReferenceTest, OnlyTheTwoRootsSpelledExactlyAreFound) {
    for (const char* reference : {"hkey_current_user\\Software\\Ironvale", "HKEY_Current_User\\Software\\Ironvale",
                                  "HKEY_CLASSES_ROOT\\Software\\Ironvale", "HKCU\\Software\\Ironvale",
                                  "\\Software\\Ironvale", "Software\\Ironvale", ""}) {
        EXPECT_FALSE(KeyExists(reference)) << reference;
        EXPECT_EQ(ReadRegistryString(reference, "Path"), "") << reference;
        EXPECT_EQ(ReadRegistryDword(reference, "Build"), 0u) << reference;
    }
}

TEST_F(RegistryReferenceTest, AtReadsTheDefaultValue) {
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\Ironvale", "@"), "default text");
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\Ironvale", ""), "default text");
}

TEST_F(RegistryReferenceTest, AMissingLastKeyGivesNothing) {
    const std::string missing = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Duskmarch\\Missing";
    EXPECT_FALSE(KeyExists(missing));
    EXPECT_EQ(ReadRegistryString(missing, "Install_Dir"), "");
    EXPECT_EQ(ReadRegistryDword(missing, "Install_Dir"), 0u);
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\Ironvale", "Missing"), "");
    EXPECT_EQ(ReadRegistryDword("HKEY_CURRENT_USER\\Software\\Ironvale", "Missing"), 0u);
    // Nothing was created by looking.
    EXPECT_FALSE(RegistryStore::ForHive(Hive::LocalMachine).KeyExists("SOFTWARE\\Duskmarch\\Missing"));
}

TEST_F(RegistryReferenceTest, EachReaderTakesOnlyItsOwnTypes) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Ironvale";
    EXPECT_EQ(ReadRegistryString(key, "Build"), "");
    EXPECT_EQ(ReadRegistryDword(key, "Path"), 0u);
    EXPECT_EQ(ReadRegistryString(key, "Blob"), "");
    EXPECT_EQ(ReadRegistryDword(key, "Blob"), 0u);
    EXPECT_EQ(ReadRegistryString(key, "Expand"), "%APPDATA%\\x");  // not expanded
}

TEST_F(RegistryReferenceTest, StringsHaveNoLengthLimitButMustBeText) {
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\Ironvale", "Long"), std::string(100000, 'L'));
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\Ironvale", "Latin1"), "");
}

TEST_F(RegistryReferenceTest, ShortcutMarkersAlwaysExistAndEmptyPartsAreSkipped) {
    EXPECT_TRUE(KeyExists(kDuskmarchMarker));
    EXPECT_TRUE(KeyExists(kIronvaleMarker));
    EXPECT_TRUE(KeyExists("HKEY_CURRENT_USER\\\\Software\\Ironvale\\"));
    EXPECT_EQ(ReadRegistryString("HKEY_CURRENT_USER\\Software\\\\Ironvale\\", "Path"), "C:\\Games\\Ironvale");
}

}  // namespace
