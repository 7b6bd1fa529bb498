#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/settings/CredentialManager.h"
#include "core/settings/Prefs.h"
#include "core/settings/ProtectedValues.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/FakeClock.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/RenameWatch.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

const char kKey[] = "SOFTWARE\\Brindlemoor\\Quor!\\Preferences";
constexpr int64_t kLifetime = 7776000;

struct CredentialWorld {
    TestEnvironment env;
    FakeClock clock;
    RecordingPageCallSink page;
    CredentialManager credentials{clock};

    size_t SessionChecks() const { return page.CallsOf("checkForValidSession").size(); }
};

TEST(CredentialManager, TokenIsValidForNinetyDaysFromItsSaving) {
    // Today, the last seconds before 2^31 (January 2038), a token saved in October
    // 2037 whose expiry lies past 2^31, and times after 2038.
    const int64_t starts[] = {1700000000, 2138400000, 2147483647 - kLifetime + 1, 2147483647,
                              2147483648, 3000000000, 4294967295 - kLifetime - 1};
    for (int64_t t : starts) {
        SCOPED_TRACE(t);
        CredentialWorld world;
        world.clock.Set(t);
        world.credentials.SaveAuthToken("token-1");
        EXPECT_EQ(Prefs::GetNumber("Launcher Date"), static_cast<uint32_t>(t + kLifetime));

        world.clock.Set(t + 1);
        EXPECT_EQ(world.credentials.GetAuthToken(), "token-1");
        world.clock.Set(t + kLifetime - 1);
        EXPECT_EQ(world.credentials.GetAuthToken(), "token-1");
        world.clock.Set(t + kLifetime);
        EXPECT_EQ(world.credentials.GetAuthToken(), "");
        world.clock.Set(t + kLifetime + 1);
        EXPECT_EQ(world.credentials.GetAuthToken(), "");
        // An expired token stays stored; it is only never handed out.
        EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Saved Data"), "token-1");
    }
}

TEST(CredentialManager, ClearingTheTokenStoresAnEmptyTokenAndDateZero) {
    CredentialWorld world;
    world.credentials.SaveAuthToken("token-2");
    world.credentials.ClearAuthToken();
    EXPECT_EQ(Prefs::GetNumber("Launcher Date"), 0u);
    auto stored = platform::RegistryStore::ForHive(platform::Hive::CurrentUser).ReadValue(kKey, "Launcher Saved Data");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(LoadProtectedValue(kKey, "Launcher Saved Data"), "");
    EXPECT_EQ(world.credentials.GetAuthToken(), "");
}

TEST(CredentialManager, AbsentDateMeansNoToken) {
    CredentialWorld world;
    ASSERT_EQ(SaveProtectedValue(kKey, "Launcher Saved Data", "orphan"), 0);  // a token without its date
    EXPECT_EQ(world.credentials.GetAuthToken(), "");
}

TEST(CredentialManager, CheckSessionAsksThePageOnlyWithAValidToken) {
    CredentialWorld world;
    world.credentials.CheckSession();
    EXPECT_EQ(world.SessionChecks(), 0u);  // nothing saved

    world.credentials.SaveAuthToken("token-3");
    world.clock.Advance(60);
    world.credentials.CheckSession();
    EXPECT_EQ(world.SessionChecks(), 1u);

    world.clock.Advance(kLifetime);
    world.credentials.CheckSession();
    EXPECT_EQ(world.SessionChecks(), 1u);  // expired

    world.credentials.SaveAuthToken("");
    world.credentials.CheckSession();
    EXPECT_EQ(world.SessionChecks(), 1u);  // a valid date, but an empty token

    world.credentials.SaveAuthToken("token-4");
    world.credentials.ClearAuthToken();
    world.credentials.CheckSession();
    EXPECT_EQ(world.SessionChecks(), 1u);  // cleared
    EXPECT_EQ(world.page.Calls().size(), 1u);
}

TEST(CredentialManager, FailedTokenWriteLeavesTheDateAsItWas) {
    CredentialWorld world;
    world.credentials.SaveAuthToken("token-5");
    const uint32_t date = Prefs::GetNumber("Launcher Date");
    // The protection key cannot be created below a plain file: the protected write fails.
    const std::string file = world.env.WriteFile("not-a-folder", "x");
    const std::string dataHome = getenv("XDG_DATA_HOME");
    setenv("XDG_DATA_HOME", (file + "/share").c_str(), 1);
    ASSERT_NE(SaveProtectedValue(kKey, "probe", "x"), 0);
    world.clock.Advance(1000);
    world.credentials.SaveAuthToken("token-6");
    world.credentials.ClearAuthToken();
    EXPECT_EQ(Prefs::GetNumber("Launcher Date"), date);
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    EXPECT_EQ(world.credentials.GetAuthToken(), "token-5");
}

TEST(CredentialManager, LoginIsSavedProtectedAndCleared) {
    CredentialWorld world;
    EXPECT_EQ(world.credentials.GetLoginName(), "");
    EXPECT_EQ(world.credentials.GetLoginSecret(), "");

    world.credentials.SaveLogin("pl\xC3\xA4yer@example.org", "s3cr\xC3\xABt-pass");
    world.credentials.SaveAuthToken("token-unique-7");
    EXPECT_EQ(world.credentials.GetLoginName(), "pl\xC3\xA4yer@example.org");
    EXPECT_EQ(world.credentials.GetLoginSecret(), "s3cr\xC3\xABt-pass");
    const std::string hive = TestEnvironment::ReadFile(world.env.HkcuFile());
    ASSERT_FALSE(hive.empty());
    EXPECT_EQ(hive.find("s3cr"), std::string::npos);
    EXPECT_EQ(hive.find("example.org"), std::string::npos);
    EXPECT_EQ(hive.find("token-unique-7"), std::string::npos);

    world.credentials.SaveLogin("player2", "");  // an empty password is stored as empty text
    EXPECT_EQ(world.credentials.GetLoginName(), "player2");
    EXPECT_EQ(world.credentials.GetLoginSecret(), "");
    EXPECT_TRUE(platform::RegistryStore::ForHive(platform::Hive::CurrentUser)
                    .ReadValue(kKey, "Launcher Extra Data")
                    .has_value());

    world.credentials.ClearLogin();
    EXPECT_EQ(world.credentials.GetLoginName(), "");
    EXPECT_EQ(world.credentials.GetLoginSecret(), "");
    EXPECT_EQ(world.credentials.GetAuthToken(), "token-unique-7");  // the token is kept apart
}

TEST(CredentialManager, SingletonPointerFollowsTheManager) {
    TestEnvironment env;
    EXPECT_EQ(CredentialManager::Instance(), nullptr);
    {
        CredentialManager credentials;
        EXPECT_EQ(CredentialManager::Instance(), &credentials);
    }
    EXPECT_EQ(CredentialManager::Instance(), nullptr);
}

// The name and the password go into the hive in one write: a kill between two
// writes once left a name with the password of the login before.
TEST(CredentialManager, TheNameAndThePasswordAreOneWrite) {
    CredentialWorld world;
    world.credentials.SaveLogin("first", "first secret");
    RenameWatch renames(world.env.Root(), "hkcu.reg");
    world.credentials.SaveLogin("second", "second secret");
    EXPECT_EQ(renames.Renames(), 1);
    world.credentials.ClearLogin();
    EXPECT_EQ(renames.Renames(), 1);
    EXPECT_EQ(world.credentials.GetLoginName(), "");
    EXPECT_EQ(world.credentials.GetLoginSecret(), "");
}

}  // namespace
