#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/system/ProcessLauncher.h"
#include "core/system/ProgramLauncher.h"
#include "core/system/SystemPaths.h"
#include "tests/core/system/ProcessTestHelpers.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

using Args = std::vector<std::string>;

struct SplitCase {
    const char* parameters;
    Args expected;
};

TEST(IsNativeProgramStart, ElfBinariesAndScripts) {
    const struct {
        std::string head;
        bool program;
    } cases[] = {
        {std::string("\177ELF", 4), true},
        {"#!/b", true},
        {"#!", true},
        {std::string("\177EL", 3), false},
        {"MZ\x90", false},
        {"#", false},
        {"\n#!/", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNativeProgramStart(c.head), c.program) << c.head;
}

TEST(SplitWindowsParameters, SplitsAsWindowsProgramsDo) {
    const SplitCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"silent", {"silent"}},
        {"  a   b\tc  ", {"a", "b", "c"}},
        {"-auth_token=abc -windowed", {"-auth_token=abc", "-windowed"}},
        {"\"C:\\Program Files\\Game\" -x", {"C:\\Program Files\\Game", "-x"}},
        {"/game:\"Space Game\"", {"/game:Space Game"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        // Backslashes are literal unless they come before a quote.
        {"C:\\dir\\ \\\\server\\share", {"C:\\dir\\", "\\\\server\\share"}},
        {"a\\\\b", {"a\\\\b"}},
        // 2n backslashes and a quote: n backslashes, the quote groups.
        {"\"C:\\dir\\\\\" next", {"C:\\dir\\", "next"}},
        // 2n+1 backslashes and a quote: n backslashes and a literal quote.
        {"a\\\"b", {"a\"b"}},
        {"a\\\\\\\"b", {"a\\\"b"}},
        {"\"say \\\"hi\\\"\"", {"say \"hi\""}},
        // Inside a group, "" is a literal quote and ends the group.
        {"\"a\"\"b c\"", {"a\"b", "c"}},
        {"\"a\"\"\"b c\"", {"a\"b c"}},
        {"\"\"\"Space Game\"\"\"", {"\"Space", "Game\""}},
        // An open group runs to the end.
        {"\"unterminated group  ", {"unterminated group  "}},
        {"tail\\", {"tail\\"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(SplitWindowsParameters(c.parameters), c.expected) << "parameters: " << c.parameters;
}

class LaunchProgramTest : public ::testing::Test {
protected:
    TestEnvironment env;

    // A script (without execute bit, as a download arrives) that writes its
    // working folder and arguments into the environment's "out" folder.
    std::string WriteRecorder(const std::string& relative) {
        std::string out = env.Path("out");
        env.WriteFile("out/.keep", "");
        return WriteWithMode(env, relative,
                             "#!/bin/sh\n"
                             "pwd > '" +
                                 out + "/pwd.tmp' && mv '" + out + "/pwd.tmp' '" + out +
                                 "/pwd'\n"
                                 "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" +
                                 out + "/args'\n",
                             0644);
    }
    std::string Out(const std::string& name) { return TestEnvironment::ReadFile(env.Path("out/" + name)); }
};

TEST_F(LaunchProgramTest, DownloadedScriptRunsInItsOwnFolderWithTheSplitParameters) {
    std::string script = WriteRecorder("games/Space Game/run installer.sh");
    auto child = LaunchProgram(script, "silent \"/dir=C:\\Games\\Space Game\" -x", false);
    ASSERT_TRUE(child);
    ASSERT_TRUE(child->WaitFor(10000));
    EXPECT_EQ(child->ExitCode(), 0);
    EXPECT_EQ(Out("pwd"), env.Path("games/Space Game") + "\n");
    EXPECT_EQ(Out("args"), "[silent]\n[/dir=C:\\Games\\Space Game]\n[-x]\n");
    // Only the owner's execute bit was added.
    struct stat st;
    ASSERT_EQ(stat(script.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0744u);
}

TEST_F(LaunchProgramTest, ScriptNamedLikeAWindowsProgramRunsDirectly) {
    // The demo service's installer stubs are scripts named ".exe"; the content decides.
    ScopedPath noWine(env.Path("empty-bin"));
    std::string script = WriteRecorder("dl/SpaceGameSetup.exe");
    auto child = LaunchProgram(script, "silent", true);
    ASSERT_TRUE(child);
    ASSERT_TRUE(child->WaitFor(10000));
    EXPECT_EQ(Out("args"), "[silent]\n");
}

TEST_F(LaunchProgramTest, RelativePathIsTakenFromTheCurrentFolder) {
    WriteRecorder("sub/run.sh");
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(env.Root().c_str()), 0);
    auto child = LaunchProgram("sub/run.sh", "", false);
    ASSERT_EQ(chdir(old), 0);
    ASSERT_TRUE(child);
    ASSERT_TRUE(child->WaitFor(10000));
    EXPECT_EQ(Out("pwd"), env.Path("sub") + "\n");
}

TEST_F(LaunchProgramTest, BareNameIsStartedFromTheProgramFolder) {
    const std::string folder = GetProgramDirectory();
    ASSERT_FALSE(folder.empty());
    const std::string name = "quor-launch-probe-" + std::to_string(getpid()) + ".sh";
    std::string out = env.Path("pwd");
    {
        FILE* f = std::fopen((folder + name).c_str(), "w");
        ASSERT_TRUE(f);
        std::fputs(("#!/bin/sh\npwd > '" + out + ".tmp' && mv '" + out + ".tmp' '" + out + "'\n").c_str(), f);
        std::fclose(f);
    }
    auto child = LaunchProgram(name, "", false);
    bool ended = child && child->WaitFor(10000);
    std::remove((folder + name).c_str());
    ASSERT_TRUE(child);
    ASSERT_TRUE(ended);
    EXPECT_EQ(TestEnvironment::ReadFile(out), folder.substr(0, folder.size() - 1) + "\n");
}

struct CannotStartCase {
    const char* name;
    const char* relative;  // nullptr: the file is not created
    const char* content;
};

TEST_F(LaunchProgramTest, ProgramThatCannotStartGivesNullAndLeavesNoChild) {
    ScopedPath noWine(env.Path("empty-bin"));
    const CannotStartCase cases[] = {
        {"missing file", nullptr, nullptr},
        {"a folder", "folder/inner.txt", "x"},
        {"text that is no program", "readme.txt", "hello"},
        {"interpreter that does not exist", "broken.sh", "#!/nonexistent/interpreter\necho hi\n"},
        {"Windows program without wine", "setup.exe", "MZ\x90\x00"},
        {"Windows installer without wine", "setup.msi", "\xd0\xcf\x11\xe0"},
    };
    for (const CannotStartCase& c : cases) {
        std::string path = env.Path(std::string("nothing/") + c.name);
        if (c.relative) {
            path = WriteWithMode(env, c.relative, c.content, 0644);
            if (std::string(c.name) == "a folder")
                path = env.Path("folder");
        }
        // Decided beforehand, without a start, except what only the start can find out.
        std::string why;
        bool onlyTheStartTells = std::string(c.name) == "interpreter that does not exist";
        EXPECT_EQ(CanLaunchProgram(path, &why), onlyTheStartTells) << c.name;
        std::string failure;
        auto child = LaunchProgram(path, "a b", false, &failure);
        EXPECT_FALSE(child) << c.name;
        EXPECT_FALSE(failure.empty()) << c.name;
        if (!onlyTheStartTells) {
            EXPECT_EQ(why, failure) << c.name;
        }
        EXPECT_FALSE(HasAnyChild()) << c.name;
    }
}

class WineLaunchTest : public LaunchProgramTest {
protected:
    void SetUp() override {
        // A stand-in wine that records what it was asked to run, and where.
        std::string out = env.Path("out");
        env.WriteFile("out/.keep", "");
        WriteWithMode(env, "fake-bin/wine",
                      "#!/bin/sh\n"
                      "pwd > '" +
                          out +
                          "/pwd'\n"
                          "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" +
                          out +
                          "/args.tmp'\n"
                          "mv '" +
                          out + "/args.tmp' '" + out + "/args'\n",
                      0755);
        path = std::make_unique<ScopedPath>(ScopedPath::WithFirst(env.Path("fake-bin")));
    }
    std::unique_ptr<ScopedPath> path;
};

TEST_F(WineLaunchTest, WindowsProgramRunsThroughWine) {
    std::string program = WriteWithMode(env, "games/Game/Game.EXE", std::string("MZ\x90\x00", 4), 0644);
    EXPECT_TRUE(CanLaunchProgram(program));
    auto child = LaunchProgram(program, "-auth_token=t \"two words\"", false);
    ASSERT_TRUE(child);
    ASSERT_TRUE(child->WaitFor(10000));
    EXPECT_EQ(Out("args"), "[" + program + "]\n[-auth_token=t]\n[two words]\n");
    EXPECT_EQ(Out("pwd"), env.Path("games/Game") + "\n");
}

TEST_F(WineLaunchTest, WindowsInstallerRunsThroughMsiexec) {
    std::string package = WriteWithMode(env, "dl/Space Setup.msi", "\xd0\xcf\x11\xe0", 0644);
    EXPECT_TRUE(CanLaunchProgram(package));
    auto child = LaunchProgram(package, "/quiet", false);
    ASSERT_TRUE(child);
    ASSERT_TRUE(child->WaitFor(10000));
    EXPECT_EQ(Out("args"), "[msiexec]\n[/i]\n[Space Setup.msi]\n[/quiet]\n");
    EXPECT_EQ(Out("pwd"), env.Path("dl") + "\n");
}

TEST(FindOnPath, FindsOnlyExecutableFilesInAbsoluteFolders) {
    TestEnvironment env;
    WriteWithMode(env, "a/tool", "#!/bin/sh\n", 0644);  // not executable
    WriteWithMode(env, "b/tool", "#!/bin/sh\n", 0755);
    env.WriteFile("c/tool/inner", "");  // a folder named tool
    ScopedPath path(env.Path("a") + "::relative:" + env.Path("c") + ":" + env.Path("b"));
    EXPECT_EQ(FindOnPath("tool"), env.Path("b/tool"));
    EXPECT_EQ(FindOnPath("missing"), "");
    EXPECT_EQ(FindOnPath("b/tool"), "");
    EXPECT_EQ(FindOnPath(""), "");
}

class RecordingLauncher : public ProcessLauncher {
public:
    std::unique_ptr<ProcessHandle> Launch(const std::string& path, const std::string& parameters,
                                          bool plainOpen) override {
        calls.push_back(path + "|" + parameters + "|" + (plainOpen ? "open" : "runas"));
        return nullptr;
    }
    std::vector<std::string> calls;
};

TEST(ProcessLauncher, InstalledLauncherTakesThePlaceOfTheSystemOne) {
    EXPECT_EQ(&ProcessLauncher::Current(), &ProcessLauncher::System());
    RecordingLauncher fake;
    ProcessLauncher::Install(&fake);
    EXPECT_FALSE(ProcessLauncher::Current().Launch("/games/x.exe", "silent", true));
    ProcessLauncher::Install(nullptr);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"/games/x.exe|silent|open"});
    EXPECT_EQ(&ProcessLauncher::Current(), &ProcessLauncher::System());
}

}  // namespace
