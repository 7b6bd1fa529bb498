#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/RegFileFormat.h"
#include "platform/RegistryStore.h"
#include "platform/RegistryTree.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/RenameWatch.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using platform::Hive;
using platform::RegistryStore;
using platform::RegistryTree;
using platform::RegistryValue;
using platform::ValueType;
using Edit = platform::RegistryStore::Edit;
using namespace std::string_literals;

const std::string kChild = QUOR_BINARY_DIR "/tests/programs/registry_child";
const std::string kKey = "Software\\Brindlemoor\\Quor!\\Preferences";

class RegistryStoreTest : public testing::Test {
protected:
    TestEnvironment env;
    RegistryStore& Hkcu() { return RegistryStore::ForHive(Hive::CurrentUser); }
    // A store object of its own on the same file: it knows only what the file holds.
    RegistryStore Fresh() { return RegistryStore(env.HkcuFile()); }
};

std::string Text(RegistryStore& store, const std::string& key, const std::string& name) {
    auto v = store.ReadValue(key, name);
    return v && v->type == ValueType::String ? v->data : "<none>";
}

// A key path of `depth` parts, each `length` characters long.
std::string DeepPath(size_t depth, size_t length) {
    std::string path;
    for (size_t i = 0; i < depth; ++i)
        path += (i ? "\\" : "") + std::string(length, static_cast<char>('a' + i % 26));
    return path;
}

TEST_F(RegistryStoreTest, ValueNamesOfAnyCharactersRoundTripThroughTheFile) {
    const std::vector<std::string> names = {"http://cdn.example.com/games/setup.exe?x=1&y=2,http://mirror/b",
                                            "a/b",
                                            "c:d",
                                            "what?",
                                            "this&that",
                                            "one,two",
                                            "say \"hi\"",
                                            "back\\slash",
                                            "trailing\\",
                                            "a=b",
                                            "[section]",
                                            "]",
                                            "[",
                                            "line\nbreak",
                                            "cr\rlf",
                                            "tab\there",
                                            "\x01\x7f control",
                                            "Ölçü \xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80",
                                            "@x",
                                            "x@",
                                            " spaced ",
                                            ";comment",
                                            "\"",
                                            "\\\"",
                                            "nul\0inside"s,
                                            "-"};
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_EQ(Hkcu().WriteValue(kKey, names[i], RegistryValue::Text("v" + std::to_string(i))), 0) << names[i];

    RegistryStore fresh = Fresh();
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(Text(fresh, kKey, names[i]), "v" + std::to_string(i)) << names[i];
    auto listed = fresh.ValueNames(kKey);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), std::set<std::string>(names.begin(), names.end()));
    // Still one value per line: a name never breaks the file's structure.
    EXPECT_TRUE(platform::ParseRegFile(TestEnvironment::ReadFile(env.HkcuFile()), "HKEY_CURRENT_USER").errors.empty());
}

TEST_F(RegistryStoreTest, EveryTypeRoundTripsThroughTheFile) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    const std::string longText(100000, 'q');
    const std::string awkwardText = "C:\\Games\\\"Quor\"\nline two\r\x01 \xc3\xbc";
    ASSERT_EQ(Hkcu().WriteValue(kKey, "text", RegistryValue::Text(awkwardText)), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "empty", RegistryValue::Text("")), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "long", RegistryValue::Text(longText)), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "expand", {ValueType::ExpandString, "%HOME%\\x", 0}), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "number", RegistryValue::Number(0xfedcba98)), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "zero", RegistryValue::Number(0)), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "bytes", RegistryValue::Bytes(allBytes)), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "nobytes", RegistryValue::Bytes("")), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "multi", {static_cast<ValueType>(7), "a\0\0\0"s, 0}), 0);

    RegistryStore fresh = Fresh();
    auto expect = [&](const char* name, ValueType type, const std::string& data, uint32_t dword = 0) {
        auto v = fresh.ReadValue(kKey, name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->type, type) << name;
        EXPECT_EQ(v->data, data) << name;
        EXPECT_EQ(v->dword, dword) << name;
    };
    expect("text", ValueType::String, awkwardText);
    expect("empty", ValueType::String, "");
    expect("long", ValueType::String, longText);
    expect("expand", ValueType::ExpandString, "%HOME%\\x");
    expect("number", ValueType::Dword, "", 0xfedcba98);
    expect("zero", ValueType::Dword, "", 0);
    expect("bytes", ValueType::Binary, allBytes);
    expect("nobytes", ValueType::Binary, "");
    expect("multi", static_cast<ValueType>(7), "a\0\0\0"s);

    std::string file = TestEnvironment::ReadFile(env.HkcuFile());
    EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(file.find("\"number\"=dword:fedcba98\n"), std::string::npos);
    EXPECT_NE(file.find("\"empty\"=\"\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"bytes\"=hex:00,01,02,"), std::string::npos);
    EXPECT_NE(file.find("\"multi\"=hex(7):61,00,00,00\n"), std::string::npos);
}

TEST_F(RegistryStoreTest, ValueNamedAtStaysApartFromTheDefaultValue) {
    ASSERT_EQ(Hkcu().WriteValue(kKey, "", RegistryValue::Text("default")), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "@", RegistryValue::Text("at sign")), 0);
    RegistryStore fresh = Fresh();
    EXPECT_EQ(Text(fresh, kKey, ""), "default");
    EXPECT_EQ(Text(fresh, kKey, "@"), "at sign");
    std::string file = TestEnvironment::ReadFile(env.HkcuFile());
    EXPECT_NE(file.find("\n@=\"default\"\n"), std::string::npos);
    EXPECT_NE(file.find("\n\"@\"=\"at sign\"\n"), std::string::npos);
    EXPECT_EQ(fresh.DeleteValue(kKey, "@"), 0);
    EXPECT_EQ(Text(fresh, kKey, ""), "default");
}

TEST_F(RegistryStoreTest, NamesDifferingInAsciiCaseAreOneAndKeepTheirFirstCase) {
    ASSERT_EQ(Hkcu().WriteValue("Software\\Maker", "Install_Dir", RegistryValue::Text("one")), 0);
    ASSERT_EQ(Hkcu().WriteValue("SOFTWARE\\maker", "INSTALL_DIR", RegistryValue::Text("two")), 0);
    RegistryStore fresh = Fresh();
    EXPECT_EQ(fresh.SubkeyNames(""), std::vector<std::string>{"Software"});
    EXPECT_EQ(fresh.SubkeyNames("software"), std::vector<std::string>{"Maker"});
    EXPECT_EQ(fresh.ValueNames("software\\MAKER"), std::vector<std::string>{"Install_Dir"});
    EXPECT_EQ(Text(fresh, "sOfTwArE\\mAkEr", "install_dir"), "two");
    EXPECT_NE(TestEnvironment::ReadFile(env.HkcuFile()).find("[HKEY_CURRENT_USER\\Software\\Maker]"),
              std::string::npos);
}

TEST_F(RegistryStoreTest, FoldingIsAsciiOnlyWhateverTheLocale) {
    // Turkish dotted and dotless i are letters of their own, not "i" and "I".
    if (!std::setlocale(LC_ALL, "tr_TR.UTF-8"))
        std::setlocale(LC_ALL, "de_DE.UTF-8");  // a locale of other rules, where Turkish is not installed
    ASSERT_EQ(Hkcu().WriteValue(kKey, "TITLE", RegistryValue::Text("ascii")), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "t\xc4\xb1tle", RegistryValue::Text("dotless")), 0);  // tıtle
    ASSERT_EQ(Hkcu().WriteValue(kKey, "T\xc4\xb0TLE", RegistryValue::Text("dotted")), 0);   // TİTLE
    ASSERT_EQ(Hkcu().WriteValue(kKey, "\xc3\x84pfel", RegistryValue::Text("upper")), 0);    // Äpfel
    ASSERT_EQ(Hkcu().WriteValue(kKey, "\xc3\xa4pfel", RegistryValue::Text("lower")), 0);    // äpfel
    EXPECT_EQ(Text(Hkcu(), kKey, "title"), "ascii");
    EXPECT_EQ(Text(Hkcu(), kKey, "t\xc4\xb1tle"), "dotless");
    EXPECT_EQ(Text(Hkcu(), kKey, "T\xc4\xb0TLE"), "dotted");
    EXPECT_EQ(Text(Hkcu(), kKey, "\xc3\x84pfel"), "upper");
    EXPECT_EQ(Text(Hkcu(), kKey, "\xc3\xa4pfel"), "lower");
    std::setlocale(LC_ALL, "C");
}

TEST_F(RegistryStoreTest, KeysAreCreatedListedAndDeleted) {
    EXPECT_FALSE(Hkcu().KeyExists("Software"));
    EXPECT_TRUE(Hkcu().KeyExists(""));  // the hive itself
    ASSERT_EQ(Hkcu().CreateKey("Software\\a\\deep"), 0);
    ASSERT_EQ(Hkcu().WriteValue("Software\\a b", "x", RegistryValue::Number(1)), 0);
    ASSERT_EQ(Hkcu().WriteValue("Software\\a\\deep\\er", "y", RegistryValue::Number(2)), 0);
    ASSERT_EQ(Hkcu().WriteValue("Software\\a0", "z", RegistryValue::Number(3)), 0);
    RegistryStore fresh = Fresh();
    EXPECT_TRUE(fresh.KeyExists("Software\\a\\deep"));  // empty keys are kept
    EXPECT_TRUE(fresh.KeyExists("\\Software\\\\a\\"));  // empty parts are skipped
    EXPECT_EQ(fresh.SubkeyNames("Software"), (std::vector<std::string>{"a", "a b", "a0"}));

    EXPECT_EQ(fresh.DeleteKey("software\\A"), 0);
    EXPECT_FALSE(Hkcu().KeyExists("Software\\a"));
    EXPECT_FALSE(Hkcu().KeyExists("Software\\a\\deep\\er"));
    EXPECT_TRUE(Hkcu().KeyExists("Software\\a b"));  // sorts between "a" and "a\deep": kept
    EXPECT_TRUE(Hkcu().KeyExists("Software\\a0"));
    EXPECT_EQ(Hkcu().DeleteKey("Software\\a"), ENOENT);
    EXPECT_EQ(Hkcu().DeleteValue("Software\\a b", "missing"), ENOENT);
    EXPECT_EQ(Hkcu().DeleteKey(""), EINVAL);
    EXPECT_EQ(Hkcu().CreateKey("Software\\bad\nname"), EINVAL);
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    ChildProcess first({kChild, env.HkcuFile(), "write", "Software\\Race", "first", "200"});
    ChildProcess second({kChild, env.HkcuFile(), "write", "Software\\Race", "second", "200"});
    auto a = first.Wait();
    auto b = second.Wait();
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    RegistryStore fresh = Fresh();
    EXPECT_EQ(fresh.ValueNames("Software\\Race").size(), 400u);
    for (int i = 0; i < 200; ++i)
        for (std::string prefix : {"first", "second"}) {
            std::string name = prefix + std::to_string(i);
            EXPECT_EQ(Text(fresh, "Software\\Race", name), "value " + name);
        }
    // The lock file stays; no temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(env.Root()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    EXPECT_TRUE(fs::exists(env.HkcuFile() + ".lock"));
}

TEST_F(RegistryStoreTest, AWriteOfOneProcessIsSeenByTheNextReadOfAnother) {
    ASSERT_EQ(Hkcu().WriteValue(kKey, "here", RegistryValue::Text("before")), 0);
    EXPECT_EQ(Text(Hkcu(), kKey, "there"), "<none>");  // read (and held) before the other writes
    for (int round = 0; round < 3; ++round) {
        std::string count = std::to_string(round + 1);
        auto child = ChildProcess::Run({kChild, env.HkcuFile(), "write", kKey, "there", count});
        ASSERT_EQ(child.exitCode, 0) << child.err;
        EXPECT_EQ(Text(Hkcu(), kKey, "there" + std::to_string(round)), "value there" + std::to_string(round));
    }
    ASSERT_EQ(Hkcu().WriteValue(kKey, "here", RegistryValue::Text("after")), 0);
    auto child = ChildProcess::Run({kChild, env.HkcuFile(), "get", kKey, "here"});
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(child.out, "after");
    EXPECT_EQ(Text(Hkcu(), kKey, "there0"), "value there0");  // our write kept the other's values
}

TEST_F(RegistryStoreTest, AFileEditedInPlaceIsReadAgain) {
    ASSERT_EQ(Hkcu().WriteValue(kKey, "n", RegistryValue::Number(1)), 0);
    EXPECT_EQ(Hkcu().ReadValue(kKey, "n")->dword, 1u);
    std::string file = TestEnvironment::ReadFile(env.HkcuFile());
    size_t at = file.find("dword:00000001");
    ASSERT_NE(at, std::string::npos);
    file.replace(at, 14, "dword:00000002");  // same size, same inode
    env.WriteFile("hkcu.reg", file);
    timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, env.HkcuFile().c_str(), times, 0), 0);
    EXPECT_EQ(Hkcu().ReadValue(kKey, "n")->dword, 2u);
}

TEST_F(RegistryStoreTest, DamagedFileKeepsItsReadablePartAndIsSavedAsBad) {
    const std::string damaged =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; edited by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Good]\r\n"
        "\"kept\"=\"yes\"\r\n"
        "\"number\"=dword:0000002a\r\n"
        "\"broken\"=dword:zz\r\n"
        "\"strange\"=qword:1\r\n"
        "garbage line\r\n"
        "\"unterminated=\"x\r\n"
        "[HKEY_CLASSES_ROOT\\Elsewhere]\r\n"
        "\"lost\"=\"no\"\r\n"
        "[HKEY_CURRENT_USER\\Software\\Later]\r\n"
        "\"also\"=\"kept\"\r\n"
        "\"cut\"=dword:00";  // the file ends inside a line
    env.WriteFile("hkcu.reg", damaged);

    testing::internal::CaptureStderr();
    EXPECT_EQ(Text(Hkcu(), "Software\\Good", "kept"), "yes");
    EXPECT_EQ(Hkcu().ReadValue("Software\\Good", "number")->dword, 42u);
    EXPECT_EQ(Text(Hkcu(), "Software\\Later", "also"), "kept");
    EXPECT_FALSE(Hkcu().ReadValue("Software\\Later", "cut"));
    EXPECT_FALSE(Hkcu().ReadValue("Software\\Good", "broken"));
    EXPECT_FALSE(Hkcu().KeyExists("Elsewhere"));
    std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_NE(reported.find(env.HkcuFile()), std::string::npos);
    EXPECT_NE(reported.find("damaged"), std::string::npos);
    EXPECT_EQ(reported.find('\n'), reported.size() - 1) << "reported once: " << reported;
    EXPECT_FALSE(fs::exists(env.HkcuFile() + ".bad"));  // reading alone changes nothing

    testing::internal::CaptureStderr();
    ASSERT_EQ(Hkcu().WriteValue("Software\\Good", "new", RegistryValue::Text("value")), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile() + ".bad"), damaged);

    RegistryStore fresh = Fresh();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Text(fresh, "Software\\Good", "kept"), "yes");
    EXPECT_EQ(Text(fresh, "Software\\Good", "new"), "value");
    EXPECT_EQ(Text(fresh, "Software\\Later", "also"), "kept");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the rewritten file is whole
    // Later writes do not touch the saved copy.
    ASSERT_EQ(fresh.WriteValue("Software\\Good", "newer", RegistryValue::Text("value")), 0);
    EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile() + ".bad"), damaged);
}

TEST_F(RegistryStoreTest, ReadsFilesExportedOnWindows) {
    // UTF-8 with a byte-order mark, CRLF, hex(2) in UTF-16LE, lines continued with "\".
    env.WriteFile("hkcu.reg",
                  "\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Ironvale]\r\n"
                  "@=\"C:\\\\Games\\\\Ironvale\"\r\n"
                  "\"Path\"=hex(2):25,00,41,00,50,00,50,00,44,00,41,00,54,00,41,00,25,00,5c,00,\\\r\n"
                  "  fc,00,00,00\r\n"
                  "\"Size\"=hex(4):2a,00,00,00\r\n"
                  "\"Small\"=dword:1\r\n"
                  "\"Blob\"=hex:de,ad,\\\r\n"
                  "  be,ef\r\n\r\n");
    EXPECT_EQ(Text(Hkcu(), "Software\\Ironvale", ""), "C:\\Games\\Ironvale");
    auto path = Hkcu().ReadValue("Software\\Ironvale", "Path");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->type, ValueType::ExpandString);
    EXPECT_EQ(path->data, "%APPDATA%\\\xc3\xbc");
    EXPECT_EQ(Hkcu().ReadValue("Software\\Ironvale", "Size")->dword, 42u);
    EXPECT_EQ(Hkcu().ReadValue("Software\\Ironvale", "Small")->dword, 1u);
    EXPECT_EQ(Hkcu().ReadValue("Software\\Ironvale", "Blob")->data, "\xde\xad\xbe\xef");
}

TEST_F(RegistryStoreTest, MissingStoreAndFoldersAreCreatedPrivateOnFirstWrite) {
    std::string file = env.Path("new/deeper/hkcu.reg");
    setenv("QUOR_HKCU_FILE", file.c_str(), 1);
    EXPECT_FALSE(Hkcu().ReadValue(kKey, "x"));
    EXPECT_FALSE(fs::exists(env.Path("new")));  // reading creates nothing
    ASSERT_EQ(Hkcu().WriteValue(kKey, "x", RegistryValue::Number(5)), 0);
    EXPECT_EQ(Hkcu().ReadValue(kKey, "x")->dword, 5u);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(env.Path("new/deeper").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(RegistryStoreTest, HivesComeFromTheEnvironmentAtEachCall) {
    unsetenv("QUOR_HKCU_FILE");
    ASSERT_EQ(Hkcu().WriteValue(kKey, "where", RegistryValue::Text("default place")), 0);
    EXPECT_TRUE(fs::exists(env.Path("home/.config/Brindlemoor/hkcu.reg")));
    setenv("QUOR_HKCU_FILE", env.HkcuFile().c_str(), 1);
    EXPECT_EQ(Text(Hkcu(), kKey, "where"), "<none>");
    ASSERT_EQ(RegistryStore::ForHive(Hive::LocalMachine).WriteValue("Software\\M", "v", RegistryValue::Number(1)), 0);
    std::string machine = TestEnvironment::ReadFile(env.HklmFile());
    EXPECT_NE(machine.find("[HKEY_LOCAL_MACHINE\\Software\\M]"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(env.HklmFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // every user reads the machine-wide hive
    EXPECT_EQ(RegistryStore::ForHive(Hive::LocalMachine).FilePath(), env.HklmFile());
    unsetenv("QUOR_HKLM_FILE");
    EXPECT_EQ(RegistryStore::ForHive(Hive::LocalMachine).FilePath(), "/etc/xdg/Brindlemoor/hklm.reg");
}

TEST_F(RegistryStoreTest, AFailedWriteLeavesTheOldFileWhole) {
    ASSERT_EQ(Hkcu().WriteValue(kKey, "old", RegistryValue::Text("kept")), 0);
    std::string before = TestEnvironment::ReadFile(env.HkcuFile());
    // The child may write files of 4096 bytes at most: the new store does not fit.
    auto child = ChildProcess::Run({kChild, env.HkcuFile(), "limited-write", "4096", kKey, "big", "10000"});
    EXPECT_EQ(child.exitCode, 1);
    EXPECT_EQ(child.out, std::strerror(EFBIG));
    EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile()), before);
    for (const auto& entry : fs::directory_iterator(env.Root()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(RegistryStoreTest, AStoreThatCannotBeReadIsNotOverwritten) {
    // The store's place is taken by a folder; a path through a plain file has no folder at all.
    fs::create_directories(env.Path("taken.reg"));
    setenv("QUOR_HKCU_FILE", env.Path("taken.reg").c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Hkcu().ReadValue(kKey, "x"));
    EXPECT_NE(Hkcu().WriteValue(kKey, "x", RegistryValue::Number(1)), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot be read"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(env.Path("taken.reg")));

    // Read or written, a FIFO (or a link to one, or to a device) is answered at once.
    for (const char* name : {"fifo.reg", "fifo-link.reg", "zero-link.reg"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(mkfifo(env.Path("fifo.reg").c_str(), 0600) == 0 || errno == EEXIST, true);
        if (std::string(name) == "fifo-link.reg")
            fs::create_symlink(env.Path("fifo.reg"), env.Path(name));
        if (std::string(name) == "zero-link.reg")
            fs::create_symlink("/dev/zero", env.Path(name));
        RegistryStore store(env.Path(name));
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.ReadValue(kKey, "x"));
        EXPECT_NE(store.WriteValue(kKey, "x", RegistryValue::Number(1)), 0);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot be read: it is not a regular file"),
                  std::string::npos);
        EXPECT_EQ(fs::status(env.Path("fifo.reg")).type(), fs::file_type::fifo);
    }
    // A link to a real store file is still read through.
    RegistryStore real(env.Path("real.reg"));
    ASSERT_EQ(real.WriteValue(kKey, "x", RegistryValue::Text("through")), 0);
    fs::create_symlink(env.Path("real.reg"), env.Path("real-link.reg"));
    RegistryStore linked(env.Path("real-link.reg"));
    EXPECT_EQ(Text(linked, kKey, "x"), "through");

    env.WriteFile("plain", "x");
    setenv("QUOR_HKCU_FILE", env.Path("plain/hkcu.reg").c_str(), 1);
    EXPECT_NE(Hkcu().WriteValue(kKey, "x", RegistryValue::Number(1)), 0);
    EXPECT_EQ(TestEnvironment::ReadFile(env.Path("plain")), "x");
}

// The deepest key the store holds (512 levels of 255 characters) is written as
// one section, its path once, and held in memory about as large as its names; a
// level more is refused and changes nothing.
TEST_F(RegistryStoreTest, DeepKeysTakeFileAndMemoryInProportionToTheirNames) {
    const std::string deepest = DeepPath(RegistryTree::kMaxDepth, 255);
    ASSERT_EQ(Hkcu().WriteValue(deepest, "v", RegistryValue::Text("bottom")), 0);
    ASSERT_EQ(Hkcu().WriteValue(kKey, "n", RegistryValue::Number(1)), 0);
    const std::string file = TestEnvironment::ReadFile(env.HkcuFile());
    EXPECT_LT(file.size(), deepest.size() + 200);

    RegistryStore fresh = Fresh();
    EXPECT_EQ(Text(fresh, deepest, "v"), "bottom");
    EXPECT_TRUE(fresh.KeyExists(DeepPath(100, 255)));  // every level above it exists
    EXPECT_EQ(fresh.SubkeyNames(DeepPath(511, 255)), std::vector<std::string>{std::string(255, 'r')});
    EXPECT_EQ(fresh.ReadValue(kKey, "n")->dword, 1u);

    for (const std::string& tooDeep : {deepest + "\\x", DeepPath(10000, 1)}) {
        EXPECT_EQ(Hkcu().WriteValue(tooDeep, "v", RegistryValue::Text("x")), EINVAL);
        EXPECT_EQ(Hkcu().CreateKey(tooDeep), EINVAL);
        EXPECT_EQ(Hkcu().Write({Edit::WriteValue(kKey, "m", RegistryValue::Number(2)), Edit::CreateKey(tooDeep)}),
                  EINVAL);
    }
    EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile()), file);

    // Every prefix holding its whole path took 67 MB here.
    const size_t before = mallinfo2().uordblks;
    platform::RegFileContents contents = platform::ParseRegFile(file, "HKEY_CURRENT_USER");
    const size_t held = mallinfo2().uordblks - before;
    ASSERT_TRUE(contents.errors.empty());
    EXPECT_LT(held, 8 * file.size()) << held << " bytes for " << file.size();
}

// A 20 KB hive of 10 000 levels was once written back as 100 MB. The key is
// refused as damage, said in one line; the rest is kept and the file kept whole
// as ".bad" when it is written again.
TEST_F(RegistryStoreTest, AHiveWithAKeyTooDeepKeepsTheRestAndIsWrittenBackSmall) {
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + DeepPath(10000, 1) +
                                "]\n\"lost\"=\"deep\"\n\n[HKEY_CURRENT_USER\\Software\\Kept]\n\"kept\"=\"yes\"\n\n";
    env.WriteFile("hkcu.reg", damaged);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Text(Hkcu(), "Software\\Kept", "kept"), "yes");
    EXPECT_FALSE(Hkcu().KeyExists("a"));  // nothing of the refused path is made
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("deeper than 512 levels"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;

    ASSERT_EQ(Hkcu().WriteValue("Software\\Kept", "more", RegistryValue::Text("too")), 0);
    EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile() + ".bad"), damaged);
    const std::string written = TestEnvironment::ReadFile(env.HkcuFile());
    EXPECT_LT(written.size(), 200u) << written.size();
    RegistryStore fresh = Fresh();
    EXPECT_EQ(Text(fresh, "Software\\Kept", "more"), "too");
    EXPECT_FALSE(fresh.KeyExists("a"));
}

// Files written before keys without values were left out (a section for every
// level) read as they always did; written again, only the keys that need a
// section get one, and reading that gives the same keys and values.
TEST_F(RegistryStoreTest, HivesWithASectionForEveryLevelReadTheSameWhenWrittenAgain) {
    env.WriteFile("hkcu.reg",
                  "Windows Registry Editor Version 5.00\n\n"
                  "[HKEY_CURRENT_USER\\Software]\n\n"
                  "[HKEY_CURRENT_USER\\Software\\Brindlemoor]\n\n"
                  "[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Quor!]\n\"Install_Dir\"=\"/opt/Quor\"\n\n"
                  "[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Quor!\\Preferences]\n\"Language\"=dword:00000003\n\n"
                  "[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Quor!\\Empty]\n\n");
    ASSERT_EQ(Hkcu().WriteValue("Software\\Brindlemoor\\Quor!\\Preferences", "Skin", RegistryValue::Number(2)), 0);
    const std::string written = TestEnvironment::ReadFile(env.HkcuFile());
    EXPECT_EQ(written,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Quor!]\n\"Install_Dir\"=\"/opt/Quor\"\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Quor!\\Empty]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Quor!\\Preferences]\n\"Language\"=dword:00000003\n"
              "\"Skin\"=dword:00000002\n\n");
    RegistryStore fresh = Fresh();
    EXPECT_EQ(fresh.SubkeyNames(""), std::vector<std::string>{"Software"});
    EXPECT_EQ(fresh.SubkeyNames("Software\\Brindlemoor\\Quor!"), (std::vector<std::string>{"Empty", "Preferences"}));
    EXPECT_EQ(Text(fresh, "Software\\Brindlemoor\\Quor!", "Install_Dir"), "/opt/Quor");
    EXPECT_EQ(fresh.ReadValue("Software\\Brindlemoor\\Quor!\\Preferences", "Language")->dword, 3u);
}

// Edits written together reach the file in one rename: all of them or none.
TEST_F(RegistryStoreTest, SeveralEditsAreOneWrite) {
    ASSERT_EQ(Hkcu().WriteValue(kKey, "gone", RegistryValue::Text("x")), 0);
    ASSERT_EQ(Hkcu().CreateKey("Software\\Old\\Sub"), 0);
    RenameWatch renames(env.Root(), "hkcu.reg");
    ASSERT_EQ(Hkcu().Write({Edit::WriteValue(kKey, "a", RegistryValue::Text("1")),
                            Edit::WriteValue(kKey, "b", RegistryValue::Number(2)), Edit::DeleteValue(kKey, "gone"),
                            Edit::DeleteKey("Software\\Old"), Edit::CreateKey("Software\\New"),
                            Edit::DeleteValue(kKey, "never there")}),
              0);
    EXPECT_EQ(renames.Renames(), 1);
    RegistryStore fresh = Fresh();
    EXPECT_EQ(Text(fresh, kKey, "a"), "1");
    EXPECT_EQ(fresh.ReadValue(kKey, "b")->dword, 2u);
    EXPECT_FALSE(fresh.ReadValue(kKey, "gone"));
    EXPECT_FALSE(fresh.KeyExists("Software\\Old"));
    EXPECT_TRUE(fresh.KeyExists("Software\\New"));

    // One edit that cannot be made, and none is; edits that change nothing write nothing.
    const std::string file = TestEnvironment::ReadFile(env.HkcuFile());
    EXPECT_EQ(Hkcu().Write({Edit::WriteValue(kKey, "c", RegistryValue::Text("3")), Edit::CreateKey("bad\nname")}),
              EINVAL);
    EXPECT_EQ(Hkcu().Write({Edit::WriteValue(kKey, "c", RegistryValue::Text("3")), Edit::DeleteKey("\\")}), EINVAL);
    EXPECT_EQ(Hkcu().Write({Edit::WriteValue(kKey, "a", RegistryValue::Text("1")), Edit::DeleteKey("Software\\Old")}),
              0);
    EXPECT_EQ(renames.Renames(), 0);
    EXPECT_EQ(TestEnvironment::ReadFile(env.HkcuFile()), file);
}

// A write killed before its rename leaves its temporary file; the next write
// removes those of ended processes, and only those.
TEST_F(RegistryStoreTest, TemporaryFilesOfKilledWritesAreRemovedByTheNextWrite) {
    ASSERT_EQ(Hkcu().WriteValue(kKey, "before", RegistryValue::Text("kept")), 0);
    const std::string ended = std::to_string(ChildProcess::EndedPid());
    const std::vector<std::string> leftovers = {"hkcu.reg.tmp-" + ended + "-0", "hkcu.reg.bad.tmp-" + ended + "-7"};
    const std::vector<std::string> others = {
        "hkcu.reg.tmp-1-3",                                      // a process that runs
        "hkcu.reg.tmp-" + std::to_string(getpid()) + "-999999",  // this one's
        "other.reg.tmp-" + ended + "-0",                         // another file's
        "hkcu.reg.tmp-" + ended,                                 // not of the form
    };
    for (const std::string& name : leftovers)
        env.WriteFile(name, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Cut");
    for (const std::string& name : others)
        env.WriteFile(name, "x");
    fs::create_directory(env.Path("hkcu.reg.tmp-" + ended + "-1"));  // a folder is nobody's leftover

    ASSERT_EQ(Hkcu().WriteValue(kKey, "after", RegistryValue::Text("written")), 0);
    for (const std::string& name : leftovers)
        EXPECT_FALSE(fs::exists(env.Path(name))) << name;
    for (const std::string& name : others)
        EXPECT_TRUE(fs::exists(env.Path(name))) << name;
    EXPECT_TRUE(fs::is_directory(env.Path("hkcu.reg.tmp-" + ended + "-1")));
    RegistryStore fresh = Fresh();
    EXPECT_EQ(Text(fresh, kKey, "before"), "kept");

    // A process given the id of a killed writer finds its names taken and writes all the same.
    ChildProcess child({kChild, env.HkcuFile(), "write-when-told", env.Path("pid"), env.Path("go"), kKey, "told"});
    ASSERT_TRUE(WaitUntil([&] { return !TestEnvironment::ReadFile(env.Path("pid")).empty(); }));
    const std::string pid = TestEnvironment::ReadFile(env.Path("pid"));
    for (int n = 0; n < 10; ++n)
        env.WriteFile("hkcu.reg.tmp-" + pid + "-" + std::to_string(n), "x");
    env.WriteFile("go", "");
    auto result = child.Wait();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(Text(fresh, kKey, "told"), "told");
    ASSERT_EQ(Hkcu().WriteValue(kKey, "later", RegistryValue::Text("x")), 0);  // that process has ended now
    for (int n = 0; n < 10; ++n)
        EXPECT_FALSE(fs::exists(env.Path("hkcu.reg.tmp-" + pid + "-" + std::to_string(n)))) << n;
}

// A shared library frees its stores when it is unloaded; what asks afterwards gets them anew.
TEST_F(RegistryStoreTest, ReleasedStoresAreMadeAgainOnTheNextUse) {
    ASSERT_EQ(Hkcu().WriteValue(kKey, "x", RegistryValue::Text("kept")), 0);
    RegistryStore::ReleaseAll();
    EXPECT_EQ(Text(Hkcu(), kKey, "x"), "kept");
    ASSERT_EQ(Hkcu().WriteValue(kKey, "y", RegistryValue::Text("again")), 0);
    RegistryStore fresh = Fresh();
    EXPECT_EQ(Text(fresh, kKey, "y"), "again");
}

}  // namespace
