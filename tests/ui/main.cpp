// The UI tests' own entry: windows need the toolkit and a display, which
// GuiSession sets up on first use. The process ends without static destructors
// (the web view's processes need no orderly goodbye).
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/ui/GuiSession.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    GuiSession::End();
    std::fflush(nullptr);
    std::_Exit(result);
}
