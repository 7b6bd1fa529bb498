// The order of the durability barriers when settings are written: a first write
// of the hive into a folder not made yet, and a saved login with its key file.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "platform/RegFileFormat.h"
#include "tests/fixtures/BarrierChecker.h"
#include "tests/fixtures/FsRecording.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

const std::string kChild = std::string(QUOR_BINARY_DIR) + "/tests/programs/quor_settings_child";

std::string Canonical(const std::string& path) {
    return std::filesystem::weakly_canonical(path).string();
}

std::vector<FsCall> Records(const std::vector<FsCall>& calls) {
    std::vector<FsCall> records;
    for (const FsCall& call : calls)
        if (call.isRecord)
            records.push_back(call);
    return records;
}

bool Logged(const std::vector<FsCall>& calls, const std::string& name, const std::string& key,
            const std::string& value) {
    for (const FsCall& call : calls)
        if (call.name == name && call.Ok() && call.Field(key) == value)
            return true;
    return false;
}

std::optional<platform::RegistryValue> ValueIn(const std::string& hive, const std::string& key,
                                               const std::string& name) {
    platform::RegFileContents contents = platform::ParseRegFile(hive, "HKEY_CURRENT_USER");
    const platform::RegistryTree::Key* found = contents.tree.Find(key);
    if (!found)
        return std::nullopt;
    auto it = found->values.find(platform::FoldName(name));
    if (it == found->values.end())
        return std::nullopt;
    return it->second.second;
}

TEST(SettingsBarriers, FirstHiveWriteMakesItsNewFolderDurableBeforeTheHive) {
    TestEnvironment env;
    const std::string folder = Canonical(env.Path("home/.config/Brindlemoor"));
    FsRecording recording(env.Path("log"), folder + "/hkcu.reg");
    // The hive where the user's has it: no file named by the environment.
    ChildProcess::Result run = recording.Run({kChild, "prefs", "Skin", "dark"}, {"QUOR_HKCU_FILE"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "dark\n");

    std::vector<FsCall> calls = recording.Calls();
    EXPECT_TRUE(Logged(calls, "mkdir", "path", folder)) << "the folder was made by this write";
    std::vector<FsCall> records = Records(calls);
    ASSERT_FALSE(records.empty());
    std::optional<platform::RegistryValue> skin =
        ValueIn(records.back().recordBytes, "Software\\Brindlemoor\\Quor!\\Preferences", "Skin");
    ASSERT_TRUE(skin);
    EXPECT_EQ(skin->data, "dark");
    std::vector<BarrierFault> faults = BarrierChecker().Check(calls);
    EXPECT_TRUE(faults.empty()) << BarrierChecker::Describe(faults, calls);
}

TEST(SettingsBarriers, SavedLoginReachesTheHiveInOneWriteAfterItsKeyIsDurable) {
    TestEnvironment env;
    FsRecording recording(env.Path("log"), env.HkcuFile());
    ChildProcess::Result first = recording.Run({kChild, "login", "alice", "first secret"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "alice\nfirst secret\n");
    ChildProcess::Result second = recording.Run({kChild, "login", "bob", "second secret"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "bob\nsecond secret\n");

    std::vector<FsCall> calls = recording.Calls();
    // The key file in a folder of its own, made by the first login.
    const std::string keyFolder = Canonical(env.Path("home/.local/share/Brindlemoor"));
    EXPECT_TRUE(Logged(calls, "mkdir", "path", keyFolder));
    EXPECT_TRUE(Logged(calls, "link", "to", keyFolder + "/protection.key"));
    std::vector<BarrierFault> faults = BarrierChecker().Check(calls);
    EXPECT_TRUE(faults.empty()) << BarrierChecker::Describe(faults, calls);

    // A power cut after any record leaves the name and the secret of one login:
    // from one record to the next, both change or neither does.
    const std::string key = "SOFTWARE\\Brindlemoor\\Quor!\\Preferences";
    std::optional<platform::RegistryValue> name, secret;
    size_t logins = 0;
    for (const FsCall& record : Records(calls)) {
        auto nowName = ValueIn(record.recordBytes, key, "Launcher Data");
        auto nowSecret = ValueIn(record.recordBytes, key, "Launcher Extra Data");
        bool nameChanged = nowName.has_value() != name.has_value() || (nowName && nowName->data != name->data);
        bool secretChanged =
            nowSecret.has_value() != secret.has_value() || (nowSecret && nowSecret->data != secret->data);
        EXPECT_EQ(nameChanged, secretChanged)
            << "the record " << BarrierChecker::Summary(record) << " changed only the "
            << (nameChanged ? "name" : "secret") << " of the login";
        logins += nameChanged && secretChanged;
        name = nowName;
        secret = nowSecret;
    }
    EXPECT_EQ(logins, 2u) << "each login is one record";
}

}  // namespace
