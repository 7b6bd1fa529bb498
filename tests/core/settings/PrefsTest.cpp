#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/Prefs.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/RecordingPageCallSink.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using platform::Hive;
using platform::RegistryStore;
using platform::RegistryValue;
using platform::ValueType;

const std::string kPreferences = "Software\\Brindlemoor\\Quor!\\Preferences";

// The texts shown in the page.
std::vector<std::string> ShownTexts(const RecordingPageCallSink& page) {
    std::vector<std::string> texts;
    for (const auto& call : page.CallsOf("showMessage"))
        texts.push_back(call.args.at(0));
    return texts;
}

class PrefsTest : public testing::Test {
protected:
    TestEnvironment env;
    RecordingPageCallSink page;
    RegistryStore& Hkcu() { return RegistryStore::ForHive(Hive::CurrentUser); }
};

TEST_F(PrefsTest, FirstSettingCreatesTheProductKeyAndStoresADword) {
    EXPECT_FALSE(Hkcu().KeyExists("Software\\Brindlemoor"));
    EXPECT_EQ(Prefs::GetNumber("Language"), 0u);
    EXPECT_EQ(Prefs::GetString("CurrentSerialNumber"), "");
    EXPECT_FALSE(Hkcu().KeyExists("Software\\Brindlemoor"));  // reading creates nothing
    Prefs::SetNumber("Language", 3);
    auto stored = Hkcu().ReadValue(kPreferences, "Language");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, ValueType::Dword);
    EXPECT_EQ(stored->dword, 3u);
    EXPECT_EQ(Prefs::GetNumber("Language"), 3u);
    EXPECT_EQ(Prefs::ReadNumber("Preferences", "Language"), 3u);
    EXPECT_TRUE(ShownTexts(page).empty());
}

TEST_F(PrefsTest, ValuesOfTheWrongTypeReadAsNothing) {
    Prefs::SetString("Language", "3");
    EXPECT_EQ(Prefs::GetNumber("Language"), 0u);
    Prefs::SetNumber("AutoStartGame", 7);
    EXPECT_EQ(Prefs::GetString("AutoStartGame"), "");
    Hkcu().WriteValue(kPreferences, "Launcher Data", RegistryValue::Bytes("secret"));
    EXPECT_EQ(Prefs::GetString("Launcher Data"), "");
    Hkcu().WriteValue(kPreferences, "Expand", {ValueType::ExpandString, "%HOME%", 0});
    EXPECT_EQ(Prefs::GetString("Expand"), "%HOME%");  // read, not expanded
}

TEST_F(PrefsTest, EmptyTextIsStoredAsAnEmptyString) {
    Prefs::SetString("AutoStartGame", "Duskmarch");
    Prefs::SetString("AutoStartGame", "");
    auto stored = Hkcu().ReadValue(kPreferences, "AutoStartGame");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, ValueType::String);
    EXPECT_EQ(stored->data, "");
    EXPECT_EQ(Prefs::GetString("AutoStartGame"), "");
}

TEST_F(PrefsTest, LongTextsReadBackWhole) {
    // Far past the 2048 bytes a fixed read buffer would hold.
    for (size_t length : {2047u, 2048u, 2049u, 5000u, 100000u}) {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += static_cast<char>('a' + i % 26);
        Prefs::WriteString("Downloads", "long", text);
        EXPECT_EQ(Prefs::ReadString("Downloads", "long"), text) << length;
    }
    const std::string umlauts(3000, 'x');
    Prefs::SetString("CurrentSerialNumber", umlauts + "\xc3\xbc\xe2\x82\xac");
    EXPECT_EQ(Prefs::GetString("CurrentSerialNumber"), umlauts + "\xc3\xbc\xe2\x82\xac");
}

TEST_F(PrefsTest, CampaignUrlsHoldOneValuePerDistinctAddress) {
    const std::string first = "http://127.0.0.1/campaign?id=1&src=mail";
    const std::string second = "http://127.0.0.1/campaign?id=2";
    Prefs::WriteCampaignUrl(first);
    Prefs::WriteCampaignUrl(first);
    Prefs::WriteCampaignUrl(second);
    const std::string key = "Software\\Brindlemoor\\Quor!\\CampaignUrls";
    EXPECT_EQ(Hkcu().ValueNames(key), (std::vector<std::string>{first, second}));
    EXPECT_EQ(Hkcu().ReadValue(key, first)->type, ValueType::Dword);
    EXPECT_EQ(Prefs::ReadNumber("CampaignUrls", first), 1u);
    EXPECT_EQ(Prefs::ReadNumber("CampaignUrls", second), 1u);
}

TEST_F(PrefsTest, GroupsAndNamesIgnoreAsciiCase) {
    Prefs::WriteNumber("TimesPlayed", "1234", 5);
    EXPECT_EQ(Prefs::ReadNumber("TIMESPLAYED", "1234"), 5u);
    Prefs::SetString("autostartgame", "x");
    EXPECT_EQ(Prefs::GetString("AutoStartGame"), "x");
    EXPECT_EQ(Hkcu().SubkeyNames("Software\\Brindlemoor\\Quor!"),
              (std::vector<std::string>{"Preferences", "TimesPlayed"}));
}

TEST_F(PrefsTest, DeleteProductValueRemovesOnlyTheValueDirectlyUnderTheProductKey) {
    const std::string address = "http://127.0.0.1/g/setup.exe";
    Hkcu().WriteValue(Prefs::kProductKey, address, RegistryValue::Text("1"));
    Hkcu().WriteValue(Prefs::kProductKey, "Install_Dir", RegistryValue::Text("/opt/quor"));
    Prefs::WriteString("Downloads", address, "in a group");
    DeleteProductValue(address);
    EXPECT_FALSE(Hkcu().ReadValue(Prefs::kProductKey, address));
    EXPECT_TRUE(Hkcu().ReadValue(Prefs::kProductKey, "Install_Dir"));
    EXPECT_EQ(Prefs::ReadString("Downloads", address), "in a group");
    DeleteProductValue(address);  // nothing there: nothing reported
    Prefs::DeleteValue("Downloads", address);
    EXPECT_EQ(Prefs::ReadString("Downloads", address), "");
    EXPECT_TRUE(ShownTexts(page).empty());
}

TEST_F(PrefsTest, AFailedWriteIsShownWithTheSystemText) {
    env.WriteFile("plain", "x");  // a file where the store's folder should be
    setenv("QUOR_HKCU_FILE", env.Path("plain/hkcu.reg").c_str(), 1);
    Prefs::SetNumber("Language", 3);
    EXPECT_EQ(ShownTexts(page), std::vector<std::string>{std::strerror(ENOTDIR)});
    EXPECT_EQ(Prefs::GetNumber("Language"), 0u);
}

TEST_F(PrefsTest, TextThatIsNotUtf8IsNotStoredAndTheFailureShown) {
    Prefs::SetString("AutoStartGame", "kept");
    Prefs::SetString("AutoStartGame", "bad \xc0\xaf overlong");
    Prefs::WriteNumber("Downloads", "bad name \xff", 1);
    EXPECT_EQ(Prefs::GetString("AutoStartGame"), "kept");
    EXPECT_TRUE(Hkcu().ValueNames("Software\\Brindlemoor\\Quor!\\Downloads").empty());
    EXPECT_EQ(ShownTexts(page), (std::vector<std::string>(2, std::strerror(EILSEQ))));
    // Text ends at its first zero, as a wide string does.
    Prefs::SetString("AutoStartGame", std::string("game\0rest", 9));
    EXPECT_EQ(Hkcu().ReadValue(kPreferences, "AutoStartGame")->data, "game");
}

TEST_F(PrefsTest, ThreadsWritingAtOnceLoseNothing) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                Prefs::WriteNumber("TimesPlayed", std::to_string(t * 100 + i), static_cast<uint32_t>(i + 1));
        });
    for (auto& thread : threads)
        thread.join();
    RegistryStore fresh(env.HkcuFile());
    EXPECT_EQ(fresh.ValueNames("Software\\Brindlemoor\\Quor!\\TimesPlayed").size(), 200u);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(Prefs::ReadNumber("TimesPlayed", std::to_string(t * 100 + i)), static_cast<uint32_t>(i + 1));
}

}  // namespace
