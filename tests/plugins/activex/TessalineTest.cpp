#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

#include "platform/RegistryStore.h"
#include "tests/fixtures/RenameWatch.h"
#include "tests/plugins/LaunchRig.h"
#include "tests/plugins/activex/ComHost.h"

namespace {

using platform::RegistryStore;

const std::string kClasses = "SOFTWARE\\Classes";
const std::string kClassKey = kClasses + "\\CLSID\\{BBD4C71D-71F5-11D2-8BB0-000000001235}";
const std::string kInitializing = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
const std::string kScripting = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

// Every key under root as "path" -> {value name -> text} ("@" for the default value).
using Tree = std::map<std::string, std::map<std::string, std::string>>;

void Collect(RegistryStore& store, const std::string& key, const std::string& shown, Tree& tree) {
    auto& values = tree[shown];
    for (const auto& name : store.ValueNames(key))
        values[name.empty() ? "@" : name] = store.ReadValue(key, name)->data;
    for (const auto& sub : store.SubkeyNames(key))
        Collect(store, key + "\\" + sub, shown + "\\" + sub, tree);
}

Tree Dump(const std::string& hive) {
    RegistryStore store(hive, platform::Hive::LocalMachine);
    Tree tree;
    for (const auto& sub : store.SubkeyNames(kClasses))
        Collect(store, kClasses + "\\" + sub, sub, tree);
    return tree;
}

TEST(Tessaline, RegisterWritesTheClassKeysAndBothSafetyCategories) {
    LaunchRig rig;
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    EXPECT_EQ(host.RegisterServer(), S_OK);
    const std::string cls = "CLSID\\{BBD4C71D-71F5-11D2-8BB0-000000001235}";
    const Tree expected = {
        {"Tessaline.LauncherCtl.1", {{"@", "LauncherCtl Class"}}},
        {"Tessaline.LauncherCtl.1\\CLSID", {{"@", "{BBD4C71D-71F5-11D2-8BB0-000000001235}"}}},
        {"Tessaline.LauncherCtl", {{"@", "LauncherCtl Class"}}},
        {"Tessaline.LauncherCtl\\CLSID", {{"@", "{BBD4C71D-71F5-11D2-8BB0-000000001235}"}}},
        {"Tessaline.LauncherCtl\\CurVer", {{"@", "Tessaline.LauncherCtl.1"}}},
        {"CLSID", {}},
        {cls, {{"@", "LauncherCtl Class"}}},
        {cls + "\\ProgID", {{"@", "Tessaline.LauncherCtl.1"}}},
        {cls + "\\VersionIndependentProgID", {{"@", "Tessaline.LauncherCtl"}}},
        {cls + "\\Programmable", {}},
        {cls + "\\Control", {}},
        {cls + "\\Insertable", {}},
        {cls + "\\InprocServer32", {{"@", QUOR_TESSALINE_LIBRARY}, {"ThreadingModel", "Apartment"}}},
        {cls + "\\MiscStatus", {{"@", "0"}}},
        {cls + "\\MiscStatus\\1", {{"@", "131473"}}},
        {cls + "\\TypeLib", {{"@", "{BBD4C710-71F5-11D2-8BB0-000000001235}"}}},
        {cls + "\\Version", {{"@", "1.0"}}},
        {cls + "\\Implemented Categories", {}},
        {cls + "\\Implemented Categories\\" + kInitializing, {}},
        {cls + "\\Implemented Categories\\" + kScripting, {}},
        {"Component Categories", {}},
        {"Component Categories\\" + kInitializing, {{"409", "Controls safely initializable from persistent data!"}}},
        {"Component Categories\\" + kScripting, {{"409", "Controls safely scriptable!"}}},
    };
    EXPECT_EQ(Dump(rig.Env().HklmFile()), expected);
}

TEST(Tessaline, RegisterWritesTheClassKeyAfresh) {
    LaunchRig rig;
    RegistryStore store(rig.Env().HklmFile(), platform::Hive::LocalMachine);
    store.WriteValue(kClassKey + "\\Stale", "", platform::RegistryValue::Text("old"));
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    EXPECT_EQ(host.RegisterServer(), S_OK);
    EXPECT_FALSE(store.KeyExists(kClassKey + "\\Stale"));
    EXPECT_TRUE(store.KeyExists(kClassKey + "\\InprocServer32"));
}

TEST(Tessaline, UnregisterRemovesTheClassButKeepsTheCategoriesAndSucceedsTwice) {
    LaunchRig rig;
    RegistryStore store(rig.Env().HklmFile(), platform::Hive::LocalMachine);
    const std::string other = kClasses + "\\CLSID\\{00000000-1111-2222-3333-444444444444}";
    store.WriteValue(other, "", platform::RegistryValue::Text("Another Class"));
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    ASSERT_EQ(host.RegisterServer(), S_OK);
    EXPECT_EQ(host.UnregisterServer(), S_OK);
    EXPECT_FALSE(store.KeyExists(kClasses + "\\Tessaline.LauncherCtl.1"));
    EXPECT_FALSE(store.KeyExists(kClasses + "\\Tessaline.LauncherCtl"));
    EXPECT_FALSE(store.KeyExists(kClassKey));
    EXPECT_TRUE(store.KeyExists(other)) << "CLSID itself and other classes stay";
    EXPECT_EQ(store.ReadValue(kClasses + "\\Component Categories\\" + kInitializing, "409")->data,
              "Controls safely initializable from persistent data!");
    EXPECT_EQ(store.ReadValue(kClasses + "\\Component Categories\\" + kScripting, "409")->data,
              "Controls safely scriptable!");
    EXPECT_EQ(host.UnregisterServer(), S_OK) << "what is gone counts as removed";
}

// Registering or unregistering is one write of the hive: a kill or a power cut
// leaves the control registered whole or not at all, never a ProgID naming a
// class that is not there.
TEST(Tessaline, RegisteringAndUnregisteringAreOneWriteEach) {
    LaunchRig rig;
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    RenameWatch renames(rig.Env().Root(), "hklm.reg");
    EXPECT_EQ(host.RegisterServer(), S_OK);
    EXPECT_EQ(renames.Renames(), 1);
    EXPECT_EQ(host.UnregisterServer(), S_OK);
    EXPECT_EQ(renames.Renames(), 1);
    EXPECT_EQ(host.UnregisterServer(), S_OK);
    EXPECT_EQ(renames.Renames(), 0) << "nothing left to remove: nothing written";
}

TEST(Tessaline, RegistrationFailureIsReturned) {
    LaunchRig rig;
    const std::string blocker = rig.Env().WriteFile("not-a-folder", "x");
    setenv("QUOR_HKLM_FILE", (blocker + "/hklm.reg").c_str(), 1);
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    EXPECT_NE(host.RegisterServer(), S_OK);
}

TEST(Tessaline, ClassObjectOnlyForTheControlAndTheLockCountFollowsObjectsAndLocks) {
    LaunchRig rig;
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    void* object = &host;
    const CLSID other = {0x12345678, 0x1, 0x2, {0, 1, 2, 3, 4, 5, 6, 7}};
    EXPECT_EQ(host.GetClassObject(&other, &IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(host.GetClassObject(&CLSID_LauncherCtl, &IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(host.GetClassObject(&CLSID_LauncherCtl, &IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(host.CanUnloadNow(), S_OK);

    void* factory = nullptr;
    ASSERT_EQ(host.GetClassObject(&CLSID_LauncherCtl, &IID_IClassFactory, &factory), S_OK);
    auto* cf = static_cast<IClassFactory*>(factory);
    EXPECT_EQ(host.CanUnloadNow(), S_FALSE) << "the class object is held";
    void* control = nullptr;
    int outer = 0;
    EXPECT_EQ(cf->lpVtbl->CreateInstance(cf, &outer, &IID_IUnknown, &control), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(cf->lpVtbl->CreateInstance(cf, nullptr, &IID_IClassFactory, &control), E_NOINTERFACE);
    ASSERT_EQ(cf->lpVtbl->CreateInstance(cf, nullptr, &IID_IUnknown, &control), S_OK);
    EXPECT_EQ(cf->lpVtbl->LockServer(cf, 1), S_OK);
    cf->lpVtbl->Release(cf);
    cf->lpVtbl->Release(cf);  // one too many: it must not unbalance the count
    EXPECT_EQ(host.CanUnloadNow(), S_FALSE) << "an object and a lock exist";
    auto* unknown = static_cast<IUnknown*>(control);
    EXPECT_EQ(unknown->lpVtbl->Release(unknown), 0u);
    EXPECT_EQ(host.CanUnloadNow(), S_FALSE) << "a lock exists";
    EXPECT_EQ(cf->lpVtbl->LockServer(cf, 0), S_OK);
    EXPECT_EQ(host.CanUnloadNow(), S_OK);
    EXPECT_EQ(cf->lpVtbl->LockServer(cf, 0), S_OK);
    EXPECT_EQ(host.CanUnloadNow(), S_OK) << "an unlock without a lock changes nothing";
}

TEST(Tessaline, ControlAnswersItsInterfacesAndStockMembers) {
    LaunchRig rig;
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    ILauncherCtl* control = host.CreateControl();
    ASSERT_NE(control, nullptr);
    void* same = nullptr;
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_ILauncherCtl}) {
        EXPECT_EQ(control->lpVtbl->QueryInterface(control, iid, &same), S_OK);
        EXPECT_EQ(same, control);
        control->lpVtbl->Release(control);
    }
    EXPECT_EQ(control->lpVtbl->QueryInterface(control, &IID_IClassFactory, &same), E_NOINTERFACE);
    EXPECT_EQ(same, nullptr);
    int32_t hwnd = -1;
    EXPECT_EQ(control->lpVtbl->get_Window(control, &hwnd), S_OK);
    EXPECT_EQ(hwnd, 0);
    uint32_t count = 7;
    EXPECT_EQ(control->lpVtbl->GetTypeInfoCount(control, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(control->lpVtbl->Release(control), 0u);
    EXPECT_EQ(host.CanUnloadNow(), S_OK);
}

TEST(Tessaline, LaunchStartsQuorForAWellFormedNameAndAlwaysAnswersOk) {
    struct Case {
        const char* why;
        const char* product;
        std::u16string name;
        int32_t announcedBytes;  // -1: the true length; -2: a null BSTR
        const char* argument;
    };
    const Case cases[] = {
        {"plain name", "Quor!", u"Ironvale", -1, "/game:\"\"\"Ironvale\"\"\""},
        {"blanks and accents", "Quor!", u"Mon Jeu é", -1, "/game:\"\"\"Mon Jeu é\"\"\""},
        {"null BSTR", "Quor!", u"", -2, nullptr},
        {"empty", "Quor!", u"", -1, nullptr},
        {"unpaired surrogate", "Quor!", u"Iron\xD800vale", -1, nullptr},
        {"odd byte length", "Quor!", u"Ironvale", 15, nullptr},
        {"double quote", "Quor!", u"Iron\" /silent \"vale", -1, nullptr},
        {"embedded terminator", "Quor!", std::u16string(u"Iron\0vale", 9), -1, nullptr},
        {"only the plug-in's product key", "Orrinmere", u"Ironvale", -1, nullptr},
        {"no install folder", nullptr, u"Ironvale", -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        LaunchRig rig;
        if (c.product)
            rig.SetInstallDir(c.product, rig.Folder());
        ComHost host;
        ASSERT_TRUE(host.Loaded());
        ILauncherCtl* control = host.CreateControl();
        ASSERT_NE(control, nullptr);
        TestBstr text(c.name, c.announcedBytes >= 0 ? c.announcedBytes : c.name.size() * 2);
        EXPECT_EQ(control->lpVtbl->Launch(control, c.announcedBytes == -2 ? nullptr : text.get()), S_OK);
        const auto launches = rig.WaitForLaunches(c.argument ? 1 : 0);
        if (c.argument) {
            ASSERT_EQ(launches.size(), 1u);
            EXPECT_EQ(launches[0].workingFolder, rig.Folder());
            EXPECT_EQ(launches[0].argv, (std::vector<std::string>{rig.Folder() + "/Quor", c.argument}));
        } else {
            EXPECT_TRUE(launches.empty()) << (launches.empty() ? "" : launches[0].argv.back());
        }
        control->lpVtbl->Release(control);
    }
}

TEST(Tessaline, LaunchReadsNoMoreThanTheLaunchTextCanHold) {
    LaunchRig rig;
    rig.SetInstallDir("Quor!", rig.Folder());
    ComHost host;
    ASSERT_TRUE(host.Loaded());
    ILauncherCtl* control = host.CreateControl();
    ASSERT_NE(control, nullptr);
    // An announced length of 4 GiB over an 8-unit text: refused before reading.
    TestBstr text(u"Ironvale", 0xFFFFFFFE);
    EXPECT_EQ(control->lpVtbl->Launch(control, text.get()), S_OK);
    EXPECT_TRUE(rig.WaitForLaunches(0).empty());
    control->lpVtbl->Release(control);
}

}  // namespace
