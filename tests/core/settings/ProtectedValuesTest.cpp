#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/settings/ProtectedValues.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using platform::Hive;
using platform::RegistryStore;
using platform::RegistryValue;
using platform::ValueType;

const std::string kKey = "SOFTWARE\\Brindlemoor\\Quor!\\Preferences";

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 15];
        hex += ',';
    }
    hex.pop_back();
    return hex;
}

class ProtectedValuesTest : public testing::Test {
protected:
    TestEnvironment env;
    RegistryStore& Hkcu() { return RegistryStore::ForHive(Hive::CurrentUser); }
};

TEST_F(ProtectedValuesTest, RoundTripsAsABinaryValueWithoutThePlainText) {
    const std::string password = "Pa55word-of-the-user";
    EXPECT_FALSE(Hkcu().KeyExists(kKey));
    ASSERT_EQ(SaveProtectedValue(kKey, "Launcher Extra Data", password), 0);  // creates the key path
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Extra Data"), password);
    auto stored = Hkcu().ReadValue("Software\\Brindlemoor\\Quor!\\Preferences", "launcher extra data");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, ValueType::Binary);
    const std::string file = TestEnvironment::ReadFile(env.HkcuFile());
    EXPECT_EQ(file.find(password), std::string::npos);
    EXPECT_EQ(file.find(Hex(password)), std::string::npos);
    EXPECT_EQ(stored->data.find(password), std::string::npos);
}

TEST_F(ProtectedValuesTest, EmptyPlainTextRoundTrips) {
    ASSERT_EQ(SaveProtectedValue(kKey, "Launcher Data", ""), 0);
    auto stored = Hkcu().ReadValue(kKey, "Launcher Data");
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->data.empty());  // the protected form of nothing
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Data"), "");
}

TEST_F(ProtectedValuesTest, AnythingButAnUntouchedValueOfOursReadsAsEmpty) {
    ASSERT_EQ(SaveProtectedValue(kKey, "Launcher Saved Data", "token"), 0);
    std::string blob = Hkcu().ReadValue(kKey, "Launcher Saved Data")->data;
    blob[blob.size() / 2] = static_cast<char>(blob[blob.size() / 2] ^ 0x80);
    Hkcu().WriteValue(kKey, "Flipped", RegistryValue::Bytes(blob));
    Hkcu().WriteValue(kKey, "Plain", RegistryValue::Bytes("token"));
    Hkcu().WriteValue(kKey, "Text", RegistryValue::Text("token"));
    Hkcu().WriteValue(kKey, "Number", RegistryValue::Number(7));
    for (const char* name : {"Flipped", "Plain", "Text", "Number", "Missing"})
        EXPECT_EQ(LoadProtectedValue(kKey, name), "") << name;
    EXPECT_EQ(LoadProtectedValue("Software\\Missing", "Launcher Saved Data"), "");
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Saved Data"), "token");
}

TEST_F(ProtectedValuesTest, AValueCopiedFromAnotherUsersStoreReadsAsEmpty) {
    // Another user: another data folder (so another key) and another hive.
    setenv("XDG_DATA_HOME", env.Path("other/share").c_str(), 1);
    setenv("QUOR_HKCU_FILE", env.Path("other/hkcu.reg").c_str(), 1);
    ASSERT_EQ(SaveProtectedValue(kKey, "Launcher Extra Data", "their password"), 0);
    std::string theirs = Hkcu().ReadValue(kKey, "Launcher Extra Data")->data;

    setenv("XDG_DATA_HOME", env.Path("home/.local/share").c_str(), 1);
    setenv("QUOR_HKCU_FILE", env.HkcuFile().c_str(), 1);
    ASSERT_EQ(SaveProtectedValue(kKey, "Launcher Data", "mine"), 0);
    Hkcu().WriteValue(kKey, "Launcher Extra Data", RegistryValue::Bytes(theirs));
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Extra Data"), "");
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Data"), "mine");
}

TEST_F(ProtectedValuesTest, ADifferentKeyFileReadsAsEmpty) {
    ASSERT_EQ(SaveProtectedValue(kKey, "Launcher Data", "login"), 0);
    std::string keyFile = env.Path("home/.local/share/Brindlemoor/protection.key");
    std::string key = TestEnvironment::ReadFile(keyFile);
    key[0] = static_cast<char>(key[0] ^ 1);
    env.WriteFile("home/.local/share/Brindlemoor/protection.key", key);
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Data"), "");
}

TEST_F(ProtectedValuesTest, NoDataFolderMeansNothingIsSaved) {
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_NE(SaveProtectedValue(kKey, "Launcher Data", "login"), 0);
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Data"), "");
    EXPECT_FALSE(Hkcu().ReadValue(kKey, "Launcher Data"));
    EXPECT_NE(SaveProtectedValue(kKey, "bad \xff name", "login"), 0);
}

}  // namespace
