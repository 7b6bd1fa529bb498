#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/XdgPaths.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

// The toolkit's variable gets the system folders it lacks; Quor's own lookups
// keep the user's value.
TEST(XdgPaths, TheToolkitsDataDirsGetTheSystemFoldersTheUsersStayAsTheyWere) {
    TestEnvironment env;
    struct Case {
        const char* user;     // nullptr: unset
        const char* toolkit;  // nullptr: unset
        const char* lookups;
    } cases[] = {
        {"/opt/a:/opt/b", "/opt/a:/opt/b:/usr/local/share:/usr/share", "/opt/a:/opt/b"},
        {"/opt/a:/usr/share/", "/opt/a:/usr/share/:/usr/local/share", "/opt/a:/usr/share/"},
        {"/usr/local/share:/usr/share", "/usr/local/share:/usr/share", "/usr/local/share:/usr/share"},
        {"", "", "/usr/local/share:/usr/share"},
        {nullptr, nullptr, "/usr/local/share:/usr/share"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user ? c.user : "unset");
        if (c.user)
            setenv("XDG_DATA_DIRS", c.user, 1);
        else
            unsetenv("XDG_DATA_DIRS");
        platform::AugmentDataDirsForToolkit();
        const char* now = std::getenv("XDG_DATA_DIRS");
        EXPECT_EQ(now ? std::string(now) : "<unset>", c.toolkit ? std::string(c.toolkit) : "<unset>");
        EXPECT_EQ(platform::XdgDataDirs(), c.lookups);
        std::string inherited = "<unset>";
        for (const std::string& e : platform::UserEnvironment())
            if (e.rfind("XDG_DATA_DIRS=", 0) == 0)
                inherited = e.substr(14);
        EXPECT_EQ(inherited, c.user ? std::string(c.user) : "<unset>");
        platform::RestoreUserDataDirs();
        now = std::getenv("XDG_DATA_DIRS");
        EXPECT_EQ(now ? std::string(now) : "<unset>", c.user ? std::string(c.user) : "<unset>");
    }
}

}  // namespace
