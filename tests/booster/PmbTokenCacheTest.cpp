#include "booster/PmbTokenCache.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

#include "booster/PmbLibraryState.h"
#include "tests/booster/BoosterRig.h"

TEST(PmbTokenCache, TheFirstTokenIsFetchedWrittenAndValidatedBeforeUse) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster();
    const std::string file = folder + "/token.dat";
    rig.booster.SetTokenFile(file);
    PmbTokenCache& cache = PmbLibraryState::Get().tokens;
    EXPECT_EQ(cache.Current(), L"net-1");
    EXPECT_EQ(cache.Current(), L"net-1");  // held: validated again, not fetched again
    EXPECT_EQ(rig.booster.Methods(), (std::vector<std::string>{"getToken", "validateDiskToken", "validateDiskToken"}));
    // Written before each validation (and again after it).
    EXPECT_EQ(rig.booster.TokenFileAtValidation(), (std::vector<std::string>{"disk-1", "disk-1"}));
    EXPECT_EQ(TestEnvironment::ReadFile(file), "disk-1");
}

TEST(PmbTokenCache, ARefusedTokenIsForgottenButItsNetTokenKept) {
    BoosterRig rig;
    rig.RegisterRecordingBooster();
    rig.booster.SetValidates(false);
    PmbTokenCache& cache = PmbLibraryState::Get().tokens;
    EXPECT_EQ(cache.Current(), L"net-1");
    EXPECT_FALSE(cache.Validate());  // nothing held any more: no request
    EXPECT_EQ(rig.booster.Methods(), (std::vector<std::string>{"getToken", "validateDiskToken"}));
    EXPECT_EQ(cache.Current(), L"net-2");  // asked for anew
}

TEST(PmbTokenCache, RefreshReplacesTheTokenAndEmptiesTheNetTokenWithoutReply) {
    BoosterRig rig;
    const std::string folder = rig.RegisterRecordingBooster();
    rig.booster.SetTokenFile(folder + "/token.dat");
    PmbTokenCache& cache = PmbLibraryState::Get().tokens;
    EXPECT_EQ(cache.Current(), L"net-1");
    EXPECT_EQ(cache.Refresh(), L"net-2");
    EXPECT_EQ(TestEnvironment::ReadFile(folder + "/token.dat"), "disk-2");
    rig.booster.SetFault(BoosterFault::EmptyBody);
    EXPECT_EQ(cache.Refresh(), L"");
    EXPECT_FALSE(cache.Validate());
    EXPECT_EQ(cache.Current(), L"");  // no token could be had: the last net token, now empty
}

TEST(PmbTokenCache, WithoutAnInstalledBoosterNoTokenFileIsWritten) {
    BoosterRig rig;
    const std::string file = rig.env.Path("token.dat");
    rig.booster.SetTokenFile(file);
    EXPECT_EQ(PmbLibraryState::Get().tokens.Current(), L"net-1");
    EXPECT_EQ(rig.booster.TokenFileAtValidation(), std::vector<std::string>{"<missing>"});
}

TEST(PmbTokenCache, ThreadsAskingAtOnceShareOneFetch) {
    BoosterRig rig;
    std::vector<std::thread> threads;
    std::vector<std::wstring> tokens(4);
    for (size_t k = 0; k < tokens.size(); ++k)
        threads.emplace_back([&, k] { tokens[k] = PmbLibraryState::Get().tokens.Current(); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(tokens, std::vector<std::wstring>(4, L"net-1"));
    const std::vector<std::string> methods = rig.booster.Methods();
    EXPECT_EQ(std::count(methods.begin(), methods.end(), "getToken"), 1);
    EXPECT_EQ(methods.front(), "getToken");
}
