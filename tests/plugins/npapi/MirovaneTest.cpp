#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cstring>
#include <ostream>
#include <sys/wait.h>

#include "platform/RegistryStore.h"
#include "tests/plugins/LaunchRig.h"
#include "tests/plugins/npapi/NpapiBrowser.h"

namespace {

TEST(Mirovane, NamesItselfAndItsMimeType) {
    NpapiBrowser browser(QUOR_MIROVANE_LIBRARY);
    ASSERT_TRUE(browser.Loaded());
    EXPECT_STREQ(browser.Symbol<const char* (*)()>("NP_GetMIMEDescription")(),
                 "application/quorlauncher-plugin:scr:Mirovane");
    auto getValue = browser.Symbol<NPError (*)(void*, NPPVariable, void*)>("NP_GetValue");
    const char* text = nullptr;
    EXPECT_EQ(getValue(nullptr, NPPVpluginNameString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Mirovane");
    EXPECT_EQ(getValue(nullptr, NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Brindlemoor Quor! Web Launcher");
    EXPECT_EQ(getValue(nullptr, NPPVpluginWindowBool, &text), NPERR_INVALID_PARAM);
    EXPECT_EQ(getValue(nullptr, NPPVpluginNameString, nullptr), NPERR_INVALID_PARAM);
}

TEST(Mirovane, GetEntryPointsFillsOnlyATableLargeEnough) {
    NpapiBrowser browser(QUOR_MIROVANE_LIBRARY);
    ASSERT_TRUE(browser.Loaded());
    EXPECT_EQ(browser.GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);

    NPPluginFuncs shortTable{};
    shortTable.size = sizeof(NPPluginFuncs) - 1;
    EXPECT_EQ(browser.GetEntryPoints(&shortTable), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(shortTable.version, 0);
    EXPECT_EQ(shortTable.newp, nullptr);

    NPPluginFuncs table{};
    table.size = 200;  // a browser may offer more
    int marker = 0;
    table.javaClass = &marker;
    EXPECT_EQ(browser.GetEntryPoints(&table), NPERR_NO_ERROR);
    EXPECT_EQ(table.size, 200);
    EXPECT_EQ(table.version, 16);
    EXPECT_EQ(table.javaClass, &marker);
    for (auto entry :
         {(void*)table.newp, (void*)table.destroy, (void*)table.setwindow, (void*)table.newstream,
          (void*)table.destroystream, (void*)table.asfile, (void*)table.writeready, (void*)table.write,
          (void*)table.print, (void*)table.event, (void*)table.urlnotify, (void*)table.getvalue, (void*)table.setvalue})
        EXPECT_NE(entry, nullptr);
}

TEST(Mirovane, InitializeChecksTheTablesInOrderAndWritesNothingOnFailure) {
    NpapiBrowser browser(QUOR_MIROVANE_LIBRARY);
    ASSERT_TRUE(browser.Loaded());
    struct Case {
        const char* why;
        bool nullBrowser;
        uint16_t browserVersion;
        uint16_t browserSize;
        bool nullPlugin;
        uint16_t pluginSize;
        NPError expected;
    };
    const uint16_t full = sizeof(NPNetscapeFuncs), plugin = sizeof(NPPluginFuncs);
    const Case cases[] = {
        {"null browser table", true, 27, full, false, plugin, NPERR_INVALID_FUNCTABLE_ERROR},
        {"major version 1", false, 0x0100 | 27, full, false, plugin, NPERR_INCOMPATIBLE_VERSION_ERROR},
        {"major version 1 of a short table", false, 0x0100, 100, false, plugin, NPERR_INCOMPATIBLE_VERSION_ERROR},
        {"100-byte table", false, 27, 100, false, plugin, NPERR_INVALID_FUNCTABLE_ERROR},
        {"the 32-bit 172 bytes", false, 27, 172, false, plugin, NPERR_INVALID_FUNCTABLE_ERROR},
        {"one byte short", false, 27, static_cast<uint16_t>(full - 1), false, plugin, NPERR_INVALID_FUNCTABLE_ERROR},
        {"null plug-in table", false, 27, full, true, plugin, NPERR_INVALID_FUNCTABLE_ERROR},
        {"short plug-in table", false, 27, full, false, static_cast<uint16_t>(plugin - 8),
         NPERR_INVALID_FUNCTABLE_ERROR},
        {"both tables sound", false, 27, full, false, plugin, NPERR_NO_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        NPNetscapeFuncs b = browser.browserTable;
        b.version = c.browserVersion;
        b.size = c.browserSize;
        NPPluginFuncs p{};
        p.size = c.pluginSize;
        EXPECT_EQ(browser.Initialize(c.nullBrowser ? nullptr : &b, c.nullPlugin ? nullptr : &p), c.expected);
        EXPECT_EQ(p.newp != nullptr, c.expected == NPERR_NO_ERROR);
        EXPECT_EQ(p.version, c.expected == NPERR_NO_ERROR ? 16 : 0);
    }
    EXPECT_EQ(browser.Shutdown(), NPERR_NO_ERROR);
}

struct LaunchCase {
    const char* why;
    const char* product;  // where Install_Dir is written; null: nowhere
    int type;
    std::vector<std::string> names;
    std::vector<std::string> values;
    const char* argument;  // the argument Quor gets; null: not started
};

void PrintTo(const LaunchCase& c, std::ostream* out) {
    *out << c.why;
}

std::string CaseName(const testing::TestParamInfo<LaunchCase>& info) {
    std::string name;
    for (char c : std::string(info.param.why))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

class MirovaneLaunch : public testing::TestWithParam<LaunchCase> {};

TEST_P(MirovaneLaunch, CreatingTheInstanceStartsQuorForTheNamedGameOnly) {
    const auto& c = GetParam();
    LaunchRig rig;
    if (c.product)
        rig.SetInstallDir(c.product, rig.Folder(), c.type);
    NpapiBrowser browser(QUOR_MIROVANE_LIBRARY);
    ASSERT_TRUE(browser.Loaded());
    ASSERT_EQ(browser.Start(), NPERR_NO_ERROR);

    NPP_t instance{};
    EXPECT_EQ(browser.New(instance, c.names, c.values), NPERR_NO_ERROR) << "a page never sees a failure";
    EXPECT_NE(instance.pdata, nullptr);
    ASSERT_EQ(NpapiBrowser::setValueCalls.size(), 1u);
    EXPECT_EQ(NpapiBrowser::setValueCalls[0].instance, &instance);
    EXPECT_EQ(NpapiBrowser::setValueCalls[0].variable, NPPVpluginWindowBool);
    EXPECT_EQ(NpapiBrowser::setValueCalls[0].value, nullptr) << "windowless: false";

    const auto launches = rig.WaitForLaunches(c.argument ? 1 : 0);
    if (!c.argument) {
        EXPECT_TRUE(launches.empty());
    } else {
        ASSERT_EQ(launches.size(), 1u);
        EXPECT_EQ(launches[0].workingFolder, rig.Folder());
        EXPECT_EQ(launches[0].argv, (std::vector<std::string>{rig.Folder() + "/Quor", c.argument}));
    }
    EXPECT_EQ(browser.plugin.destroy(&instance, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(browser.Shutdown(), NPERR_NO_ERROR);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, MirovaneLaunch,
    testing::Values(LaunchCase{"plain name", "Orrinmere", 1, {"game"}, {"Ironvale"}, "/game:\"\"\"Ironvale\"\"\""},
                    LaunchCase{"name with blanks", "Orrinmere", 1, {"game"}, {"My Game"}, "/game:\"\"\"My Game\"\"\""},
                    LaunchCase{"upper case", "Orrinmere", 1, {"GAME"}, {"Ironvale"}, "/game:\"\"\"Ironvale\"\"\""},
                    LaunchCase{"mixed case", "Orrinmere", 1, {"Game"}, {"Ironvale"}, "/game:\"\"\"Ironvale\"\"\""},
                    LaunchCase{"two game parameters",
                               "Orrinmere",
                               1,
                               {"src", "game", "game"},
                               {"x.scr", "First", "Second"},
                               "/game:\"\"\"First\"\"\""},
                    LaunchCase{"REG_EXPAND_SZ", "Orrinmere", 2, {"game"}, {"Ironvale"}, nullptr},
                    LaunchCase{"no Install_Dir", nullptr, 1, {"game"}, {"Ironvale"}, nullptr},
                    LaunchCase{"only the control's product key", "Quor!", 1, {"game"}, {"Ironvale"}, nullptr},
                    LaunchCase{"double quote", "Orrinmere", 1, {"game"}, {"Iron\" /uninstall \"vale"}, nullptr},
                    LaunchCase{"2047-byte value", "Orrinmere", 1, {"game"}, {std::string(2047, 'g')}, nullptr},
                    LaunchCase{"no game parameter", "Orrinmere", 1, {"src"}, {"x.scr"}, nullptr}),
    CaseName);

TEST(Mirovane, TwoInstancesStartTwiceAndASecondDestroyIsHarmless) {
    LaunchRig rig;
    rig.SetInstallDir("Orrinmere", rig.Folder());
    NpapiBrowser browser(QUOR_MIROVANE_LIBRARY);
    ASSERT_TRUE(browser.Loaded());
    ASSERT_EQ(browser.Start(), NPERR_NO_ERROR);
    NPP_t first{}, second{};
    EXPECT_EQ(browser.New(first, {"game"}, {"Ironvale"}), NPERR_NO_ERROR);
    EXPECT_EQ(browser.New(second, {"game"}, {"Ironvale"}), NPERR_NO_ERROR);
    EXPECT_EQ(rig.WaitForLaunches(2).size(), 2u);

    EXPECT_EQ(browser.plugin.destroy(&first, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(first.pdata, nullptr);
    EXPECT_EQ(browser.plugin.destroy(&first, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(browser.plugin.destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(browser.plugin.destroy(&second, nullptr), NPERR_NO_ERROR);
}

TEST(Mirovane, EntryLayerAnswersForMissingInstancesAndObjects) {
    LaunchRig rig;
    NpapiBrowser browser(QUOR_MIROVANE_LIBRARY);
    ASSERT_TRUE(browser.Loaded());
    ASSERT_EQ(browser.Start(), NPERR_NO_ERROR);
    auto& p = browser.plugin;
    char mime[] = "x";
    EXPECT_EQ(p.newp(mime, nullptr, 1, 0, nullptr, nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);

    NPP_t none{};  // an instance without a plug-in object
    NPP_t live{};
    ASSERT_EQ(browser.New(live, {}, {}), NPERR_NO_ERROR);
    NPWindow window{};
    int native = 0;

    EXPECT_EQ(p.setwindow(nullptr, &window), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(p.setwindow(&none, &window), NPERR_GENERIC_ERROR);
    EXPECT_EQ(p.setwindow(&live, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(p.setwindow(&live, &window), NPERR_NO_ERROR) << "no native handle";
    window.window = &native;
    EXPECT_EQ(p.setwindow(&live, &window), NPERR_NO_ERROR);
    EXPECT_EQ(p.setwindow(&live, &window), NPERR_NO_ERROR) << "already initialised";

    uint16_t stype = 0;
    for (NPP instance : {(NPP) nullptr, &none}) {
        const NPError missing = instance ? NPERR_GENERIC_ERROR : NPERR_INVALID_INSTANCE_ERROR;
        EXPECT_EQ(p.newstream(instance, mime, nullptr, 0, &stype), missing);
        EXPECT_EQ(p.destroystream(instance, nullptr, 0), missing);
        EXPECT_EQ(p.getvalue(instance, NPPVpluginNameString, nullptr), missing);
        EXPECT_EQ(p.setvalue(instance, 0, nullptr), missing);
        EXPECT_EQ(p.writeready(instance, nullptr), 0x0FFFFFFF);
        EXPECT_EQ(p.write(instance, nullptr, 0, 77, nullptr), 77);
        EXPECT_EQ(p.event(instance, nullptr), 0);
        p.asfile(instance, nullptr, "f");
        p.print(instance, nullptr);
        p.urlnotify(instance, "u", 0, nullptr);
    }
    EXPECT_EQ(p.newstream(&live, mime, nullptr, 0, &stype), NPERR_NO_ERROR);
    EXPECT_EQ(p.destroystream(&live, nullptr, 0), NPERR_NO_ERROR);
    EXPECT_EQ(p.writeready(&live, nullptr), 0x0FFFFFFF);
    EXPECT_EQ(p.write(&live, nullptr, 0, 12, nullptr), 12);
    EXPECT_EQ(p.event(&live, nullptr), 0);
    EXPECT_EQ(p.getvalue(&live, NPPVpluginNameString, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(p.destroy(&live, nullptr), NPERR_NO_ERROR);
}

TEST(Mirovane, UnloadingWhileQuorRunsLeavesItRunningAndNoChildBehind) {
    LaunchRig rig(3);
    rig.SetInstallDir("Orrinmere", rig.Folder());
    NpapiBrowser browser(QUOR_MIROVANE_LIBRARY);
    ASSERT_TRUE(browser.Loaded());
    ASSERT_EQ(browser.Start(), NPERR_NO_ERROR);
    NPP_t instance{};
    ASSERT_EQ(browser.New(instance, {"game"}, {"Ironvale"}), NPERR_NO_ERROR);
    EXPECT_EQ(browser.plugin.destroy(&instance, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(browser.Shutdown(), NPERR_NO_ERROR);
    browser.Unload();

    const auto launches = rig.WaitForLaunches(1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(kill(launches[0].pid, 0), 0) << "Quor still runs after the library is gone";
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "Quor is nobody's child here";
    EXPECT_EQ(errno, ECHILD);
}

}  // namespace
