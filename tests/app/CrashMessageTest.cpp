// The program started with the crash handler's option: only the message box,
// before the single-instance rule and without any manager, hive or lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/WaitUntil.h"
#include "tests/ui/ProgramRig.h"

namespace {

std::string Xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{"/usr/bin/xdotool"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess::Run(argv).out;
}

// The visible windows titled with the product caption.
std::vector<std::string> CaptionWindows() {
    std::vector<std::string> ids;
    std::string out = Xdotool({"search", "--onlyvisible", "--name", "^Brindlemoor Quor!$"});
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        ids.push_back(out.substr(start, end - start));
    return ids;
}

size_t EntriesIn(const std::string& folder) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        ++n;
    return n;
}

// Whether the process has ended (a zombie not yet waited for counts as ended),
// without waiting for it: QuorProcess's wait would end the box with it.
bool HasEnded(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = stat.rfind(')');
    return close == std::string::npos || stat.compare(close, 4, ") Z ") == 0;
}

// The box that was not there before, once it shows.
std::string NewCaptionWindow(const std::vector<std::string>& before) {
    std::string window;
    WaitUntil(
        [&] {
            for (const std::string& id : CaptionWindows())
                if (std::find(before.begin(), before.end(), id) == before.end())
                    window = id;
            return !window.empty();
        },
        20000);
    return window;
}

// Answers the box as a user does, through the server's input (XTEST), which a
// grab of another client takes: a click on it, then Return. True once it has gone.
bool AnswerWithRealInput(const std::string& window) {
    Xdotool({"mousemove", "--window", window, "20", "20", "click", "1"});
    Xdotool({"windowfocus", "--sync", window});
    Xdotool({"key", "Return"});
    return WaitUntil(
        [&] {
            std::vector<std::string> now = CaptionWindows();
            return std::find(now.begin(), now.end(), window) == now.end();
        },
        10000);
}

// Shows the box, checks its text through its size alone (a one-line dialog),
// presses OK and waits for the end.
void AnswerTheBox(QuorProcess& box, const std::vector<std::string>& before) {
    std::string window;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const std::string& id : CaptionWindows())
                if (std::find(before.begin(), before.end(), id) == before.end())
                    window = id;
            return !window.empty();
        },
        20000))
        << box.Output();
    std::string name = Xdotool({"getwindowname", window});
    EXPECT_EQ(name, "Brindlemoor Quor!\n");
    EXPECT_TRUE(box.IsRunning());  // it waits for the user
    Xdotool({"windowfocus", "--sync", window});
    Xdotool({"key", "--window", window, "Return"});
    EXPECT_EQ(box.WaitForExit(), 0) << box.Output();
}

TEST(CrashMessage, ShowsOnlyTheBoxAndTouchesNoHiveAndNoLock) {
    TestEnvironment env;
    ProgramRig rig(env);
    std::vector<std::string> before = CaptionWindows();  // an earlier test's window may still show
    auto box = rig.Start({"--crash-message", env.Path("quor.dmp")});
    AnswerTheBox(*box, before);
    EXPECT_FALSE(std::filesystem::exists(rig.hive));
    EXPECT_EQ(EntriesIn(rig.runtime), 0u);
    EXPECT_TRUE(rig.Activity().empty());
    EXPECT_TRUE(rig.PageCalls().empty());
}

TEST(CrashMessage, IsShownWhileAnotherInstanceRuns) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto first = rig.StartFirst({"/silent"});
    ASSERT_TRUE(first->IsRunning()) << first->Output();
    std::vector<std::string> before = CaptionWindows();
    size_t activity = rig.Activity().size();
    auto box = rig.Start({"--crash-message", env.Path("quor.dmp")});
    AnswerTheBox(*box, before);
    // Nothing was handed to the running instance.
    EXPECT_EQ(rig.Activity().size(), activity);
    EXPECT_TRUE(first->IsRunning());
}

TEST(CrashMessage, ACrashedProgramWritesItsDumpThenTellsTheUserThenDiesByItsSignal) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto program = rig.StartFirst({"/silent"});
    ASSERT_TRUE(program->IsRunning()) << program->Output();
    const std::string dump = rig.home + "/.local/share/Brindlemoor Quor!/quor.dmp";
    ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(dump).parent_path()));
    std::vector<std::string> before = CaptionWindows();
    kill(program->Pid(), SIGSEGV);
    // The dump is complete before the box is up.
    std::string box = NewCaptionWindow(before);
    ASSERT_FALSE(box.empty());
    std::string text = TestEnvironment::ReadFile(dump);
    EXPECT_EQ(text.rfind("Quor! crash dump\n", 0), 0u) << text;
    EXPECT_NE(text.find("Signal: 11 SIGSEGV, code 0 SI_USER\n"), std::string::npos);
    EXPECT_NE(text.find("Modules:\n"), std::string::npos);
    EXPECT_NE(text.find("/Quor\n"), std::string::npos);  // the program's own mapping
    // The program has ended without waiting for the user; the box waits.
    EXPECT_TRUE(WaitUntil([&] { return HasEnded(program->Pid()); }));
    EXPECT_TRUE(AnswerWithRealInput(box));
    EXPECT_EQ(program->WaitForExit(), 128 + SIGSEGV) << program->Output();
}

// A crash while a popup menu holds the pointer and keyboard grab: on the
// window's own thread nothing would give the grab back while the crashed
// process lived, and no click or key would reach the box. On a worker the
// window's thread still runs and the click closes the menu.
TEST(CrashMessage, TheBoxCanBeAnsweredAfterACrashWithAnOpenMenu) {
    const std::string child = std::string(QUOR_BINARY_DIR) + "/tests/programs/quor_menu_crash_child";
    for (const char* thread : {"gui", "worker"}) {
        SCOPED_TRACE(thread);
        TestEnvironment env;
        ProgramRig rig(env);
        const std::string dump = env.Path("quor.dmp");
        std::vector<std::string> before = CaptionWindows();
        QuorProcess program({thread, dump, QuorProcess::ProgramPath()}, rig.Environment(), child);
        ASSERT_TRUE(
            WaitUntil([&] { return program.Output().find("menu open, grabbed: ") != std::string::npos; }, 20000))
            << program.Output();
        ASSERT_NE(program.Output().find("menu open, grabbed: yes\n"), std::string::npos) << program.Output();
        std::string box = NewCaptionWindow(before);
        ASSERT_FALSE(box.empty()) << program.Output();
        EXPECT_EQ(TestEnvironment::ReadFile(dump).rfind("Quor! crash dump\n", 0), 0u);
        EXPECT_TRUE(AnswerWithRealInput(box));
        EXPECT_EQ(program.WaitForExit(), 128 + SIGSEGV) << program.Output();
    }
}

}  // namespace
