#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/system/DiscSearch.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

// A mount table and a udev label folder as the machine would have them.
class DiscSearchTest : public ::testing::Test {
protected:
    TestEnvironment env;
    DiscSources sources{env.Path("mounts"), env.Path("by-label")};

    void Mounts(const std::string& table) { env.WriteFile("mounts", table); }
    void Label(const std::string& escapedName, const std::string& device) {
        fs::create_directories(env.Path("by-label"));
        fs::create_symlink("../../" + device, env.Path("by-label/" + escapedName));
    }
};

TEST_F(DiscSearchTest, OpticalDiscWithTheLabelInAnyCaseIsTheGameDisc) {
    Mounts(
        "/dev/sda1 / ext4 rw,relatime 0 0\n"
        "/dev/sr0 /media/user/BRINDLEMOOR_1 iso9660 ro,nosuid 0 0\n"
        "/dev/sdb1 /media/user/usb vfat rw 0 0\n");
    Label("BRINDLEMOOR_1", "sr0");
    Label("root", "sda1");
    EXPECT_EQ(FindGameDisc({}, sources), "/media/user/BRINDLEMOOR_1/");
    EXPECT_EQ(FindGameDisc({"unrelated"}, sources), "/media/user/BRINDLEMOOR_1/");
}

TEST_F(DiscSearchTest, HardDiskWithTheLabelDoesNotCount) {
    Mounts(
        "/dev/sda2 /mnt/image udf rw 0 0\n"
        "/dev/sdb1 /media/user/Brindlemoor vfat rw 0 0\n");
    Label("brindlemoor", "sda2");
    Label("Brindlemoor", "sdb1");
    EXPECT_EQ(FindGameDisc({"brindlemoor"}, sources), "");
}

TEST_F(DiscSearchTest, LongerLabelContainingTheWantedOneMatchesAndTheLastDiscWins) {
    // udev writes the blanks of a label as \x20; the mount table as \040.
    Mounts(
        "/dev/sr0 /media/user/BRINDLEMOOR iso9660 ro 0 0\n"
        "/dev/sr1 /media/user/Space\\040Game udf ro 0 0\n"
        "/dev/sr1 /mnt/again udf ro 0 0\n"
        "/dev/sr2 /media/user/other iso9660 ro 0 0\n");
    Label("BRINDLEMOOR", "sr0");
    Label("SPACE\\x20GAME\\x20DISC\\x202", "sr1");
    Label("OTHER", "sr2");
    EXPECT_EQ(FindGameDisc({"space game disc"}, sources), "/media/user/Space Game/");
    EXPECT_EQ(FindGameDisc({"game disc"}, sources), "/media/user/Space Game/");
    EXPECT_EQ(FindGameDisc({"space  game"}, sources), "/media/user/BRINDLEMOOR/");
}

TEST_F(DiscSearchTest, DiscWithoutLabelOrEmptyWantedLabelDoesNotCount) {
    Mounts(
        "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
        "/dev/sr1 /media/user/DATA iso9660 ro 0 0\n");
    Label("DATA", "sr1");
    EXPECT_EQ(FindGameDisc({""}, sources), "");
    EXPECT_EQ(FindGameDisc({"", "data"}, sources), "/media/user/DATA/");
}

TEST_F(DiscSearchTest, MissingSourcesFindNothing) {
    EXPECT_EQ(FindGameDisc({"x"}, sources), "");
    EXPECT_EQ(FindDiscInstall({"*"}, {"x"}, sources), "");
}

TEST_F(DiscSearchTest, InstallerIsTheFirstPatternThatMatchesOnTheDisc) {
    const std::string disc = env.Path("disc");
    for (const char* name : {"AUTORUN.INF", "SETUP.EXE", ".install.exe", "setup2.exe"})
        env.WriteFile(std::string("disc/") + name, "x");
    Mounts("/dev/sr0 " + disc + " iso9660 ro 0 0\n");
    Label("Space_Game", "sr0");
    EXPECT_EQ(FindDiscInstall({"install*.exe", "setup*.exe"}, {"space_game"}, sources), disc + "/SETUP.EXE");
    EXPECT_EQ(FindDiscInstall({"autorun.inf", "setup*.exe"}, {"space_game"}, sources), disc + "/AUTORUN.INF");
    EXPECT_EQ(FindDiscInstall({"install*.exe"}, {"space_game"}, sources), "");
    EXPECT_EQ(FindDiscInstall({"setup*.exe"}, {"another game"}, sources), "");
}

// Searches one after another see each change of the table and of the labels,
// including a label that udev writes only after the disc was mounted.
TEST_F(DiscSearchTest, EachSearchSeesTheTableAndLabelsAsTheyAreNow) {
    EXPECT_EQ(FindGameDisc({"space"}, sources), "");
    Mounts("/dev/sr0 /media/user/SPACE iso9660 ro 0 0\n");
    EXPECT_EQ(FindGameDisc({"space"}, sources), "");
    Label("SPACE", "sr0");
    EXPECT_EQ(FindGameDisc({"space"}, sources), "/media/user/SPACE/");
    Mounts("/dev/sda1 / ext4 rw 0 0\n");
    EXPECT_EQ(FindGameDisc({"space"}, sources), "");
}

TEST(DiscSources, TheMachinesOwnByDefault) {
    EXPECT_EQ(DiscSources::Current().mountsFile, "/proc/self/mounts");
    EXPECT_EQ(DiscSources::Current().labelFolder, "/dev/disk/by-label");
}

}  // namespace
