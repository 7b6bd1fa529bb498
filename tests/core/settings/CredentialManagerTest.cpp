#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "core/settings/CredentialManager.h"
#include "core/settings/Prefs.h"
#include "core/settings/ProtectedValues.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/ChildProcess.h"
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

// The first saved login goes: the key's folder, the key (a temporary file linked
// into place), the hive's folder, the hive (a temporary file renamed into place).
// Laid out as a power cut may leave them, each state reads as no login or the
// whole login, and the next save ends sound. A key that is gone leaves blobs
// that read as nothing, as tampered ones do; the next save makes a new key.
TEST(CredentialManager, TheFirstSavedLoginEndsSoundFromEveryPowerCutState) {
    const std::string ended = std::to_string(ChildProcess::EndedPid());
    const std::string keyTemp = "home/.local/share/Brindlemoor/protection.key.tmp-" + ended + "-0";
    const std::string hiveTemp = "home/.config/Brindlemoor/hkcu.reg.tmp-" + ended + "-0";
    const std::string someKey(32, 'k');
    struct State {
        const char* what;
        std::function<void(CredentialWorld&)> layOut;
        const char* name;  // what the login reads as in that state
    };
    const State states[] = {
        {"nothing reached the disk", [](CredentialWorld&) {}, ""},
        {"the key's folder only",
         [](CredentialWorld& w) { std::filesystem::create_directories(w.env.Path("home/.local/share/Brindlemoor")); },
         ""},
        {"the key's temporary file, not linked", [&](CredentialWorld& w) { w.env.WriteFile(keyTemp, someKey); }, ""},
        {"the key linked, its temporary file not yet removed",
         [&](CredentialWorld& w) {
             w.env.WriteFile(keyTemp, someKey);
             w.env.WriteFile("home/.local/share/Brindlemoor/protection.key", someKey);
         },
         ""},
        {"the key and the hive's folder",
         [&](CredentialWorld& w) {
             w.env.WriteFile("home/.local/share/Brindlemoor/protection.key", someKey);
             std::filesystem::create_directories(w.env.Path("home/.config/Brindlemoor"));
         },
         ""},
        {"the key and the hive's temporary file, not renamed",
         [&](CredentialWorld& w) {
             w.env.WriteFile("home/.local/share/Brindlemoor/protection.key", someKey);
             w.env.WriteFile(hiveTemp, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTW");
         },
         ""},
        {"the whole login, a later write's temporary file left",
         [&](CredentialWorld& w) {
             w.credentials.SaveLogin("earlier", "earlier secret");
             w.env.WriteFile(hiveTemp, "Windows Registry Editor Version 5.00\n");
         },
         "earlier"},
        {"the hive with the login and a token, the key gone",
         [](CredentialWorld& w) {
             w.credentials.SaveLogin("earlier", "earlier secret");
             w.credentials.SaveAuthToken("earlier token");
             std::filesystem::remove(w.env.Path("home/.local/share/Brindlemoor/protection.key"));
         },
         ""},
    };
    for (const State& state : states) {
        SCOPED_TRACE(state.what);
        CredentialWorld world;
        unsetenv("QUOR_HKCU_FILE");  // the hive in its own place: ~/.config/Brindlemoor/hkcu.reg
        state.layOut(world);
        const std::string key =
            TestEnvironment::ReadFile(world.env.Path("home/.local/share/Brindlemoor/protection.key"));

        EXPECT_EQ(world.credentials.GetLoginName(), state.name);
        EXPECT_EQ(world.credentials.GetLoginSecret(), *state.name ? "earlier secret" : "");
        EXPECT_EQ(world.credentials.GetAuthToken(), "");
        world.credentials.CheckSession();
        EXPECT_EQ(world.SessionChecks(), 0u);

        world.credentials.SaveLogin("player", "secret");
        EXPECT_EQ(world.credentials.GetLoginName(), "player");
        EXPECT_EQ(world.credentials.GetLoginSecret(), "secret");
        EXPECT_FALSE(std::filesystem::exists(world.env.Path(keyTemp)));
        EXPECT_FALSE(std::filesystem::exists(world.env.Path(hiveTemp)));
        // A key that was in place is the one used; the token protected with a key now gone stays unreadable.
        const std::string keyNow =
            TestEnvironment::ReadFile(world.env.Path("home/.local/share/Brindlemoor/protection.key"));
        EXPECT_EQ(keyNow.size(), 32u);
        if (key.size() == 32) {
            EXPECT_EQ(keyNow, key);
        }
        EXPECT_EQ(world.credentials.GetAuthToken(), "");
    }
}

}  // namespace
