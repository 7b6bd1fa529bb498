#include <gtest/gtest.h>

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

// The page is the application: a right click on it opens no browser menu.
TEST(MainWindow, ARightClickOnThePageOpensNoMenu) {
    TestEnvironment env;
    ProgramRig rig(env);
    auto program = rig.StartFirst();
    ASSERT_TRUE(program->IsRunning()) << program->Output();
    std::string window = Xdotool({"search", "--onlyvisible", "--name", "^Brindlemoor Quor!$"});
    ASSERT_FALSE(window.empty());
    std::string before = Xdotool({"search", "--onlyvisible", "--name", ""});
    std::string geometry = Xdotool({"getwindowgeometry", "--shell", window.substr(0, window.find('\n'))});
    auto field = [&](const std::string& name) {
        return std::stoi(geometry.substr(geometry.find(name + "=") + name.size() + 1));
    };
    Xdotool({"mousemove", std::to_string(field("X") + 450), std::to_string(field("Y") + 400), "click", "3"});
    // A menu would be a new window on the screen; none comes.
    EXPECT_FALSE(WaitUntil([&] { return Xdotool({"search", "--onlyvisible", "--name", ""}) != before; }, 1000));
    EXPECT_TRUE(program->IsRunning());
}

}  // namespace
