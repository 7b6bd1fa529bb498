#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/system/MachineSerial.h"
#include "tests/fixtures/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

const char kCpuInfoCore[] =
    "vendor_id\t: GenuineIntel\n"
    "cpu family\t: 6\n"
    "model\t\t: 58\n"
    "model name\t: Intel(R) Core(TM) i7-3770 CPU @ 3.40GHz\n"
    "stepping\t: 9\n"
    "microcode\t: 0x21\n";

std::string CpuInfo(const std::string& mhz0, const std::string& mhz1) {
    return std::string("processor\t: 0\n") + kCpuInfoCore + "cpu MHz\t\t: " + mhz0 +
           "\nbogomips\t: 6784.57\n\nprocessor\t: 1\n" + kCpuInfoCore + "cpu MHz\t\t: " + mhz1 + "\n\n";
}

// VPD page 0x80 as a SCSI or SATA disk reports it.
std::string UnitSerialPage(const std::string& serial) {
    std::string page = {0x00, static_cast<char>(0x80), 0x00, static_cast<char>(serial.size())};
    return page + serial;
}

// A tree standing for "/": processors, disks and network interfaces as sysfs
// shows them, with the devices that must not count among them.
class SerialSources {
public:
    SerialSources() : root(env.Path("root")) {
        Write("proc/cpuinfo", CpuInfo("3400.000", "1600.000"));

        Disk("loop0", "", "0", false);  // no hardware behind it
        Disk("nvme0n1", "nvme0", "0", true);
        Write("sys/devices/nvme0/serial", "S4EWNX0R123456      \n");
        Disk("sda", "ata1", "0", true);
        Write("sys/devices/ata1/vpd_pg80", UnitSerialPage("     WD-WCC4E1234567"));
        Disk("sdb", "usb1", "1", true);  // a stick: removable
        Write("sys/devices/usb1/serial", "USBSTICK0001\n");
        Disk("sr0", "ata2", "1", true);  // an optical drive

        Nic("eth0", true, "00:1a:2b:3c:4d:5e", "1", "0");
        Nic("wlan0", true, "f0:de:f1:12:34:56", "1", "0");
        Nic("wlan1", true, "fe:11:22:33:44:55", "1", "1");   // random address
        Nic("enp3s0", true, "fa:00:00:00:00:01", "1", "3");  // address set at run time
        Nic("ib0", true, "ff:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00", "32", "0");
        Nic("docker0", false, "ff:42:ac:11:00:01", "1", "3");  // no hardware behind it
        Nic("lo", false, "00:00:00:00:00:00", "772", "0");
    }

    MachineSerialSources Sources() const {
        MachineSerialSources s;
        s.root = root;
        s.readCpuid = [] { return std::optional<CpuIdentity>(CpuIdentity{0x000306A9, 0xBFEBFBFF}); };
        return s;
    }

    std::string Write(const std::string& relative, const std::string& bytes) const {
        return env.WriteFile("root/" + relative, bytes);
    }
    void Remove(const std::string& relative) const { fs::remove_all(root + "/" + relative); }

    TestEnvironment env;
    std::string root;

private:
    void Disk(const std::string& name, const std::string& device, const std::string& removable, bool linked) {
        Write("sys/block/" + name + "/removable", removable + "\n");
        if (linked) {
            fs::create_directories(root + "/sys/devices/" + device);
            fs::create_directory_symlink("../../devices/" + device, root + "/sys/block/" + name + "/device");
        }
    }
    void Nic(const std::string& name, bool linked, const std::string& address, const std::string& type,
             const std::string& assignType) {
        const std::string dir = "sys/class/net/" + name + "/";
        Write(dir + "address", address + "\n");
        Write(dir + "type", type + "\n");
        Write(dir + "addr_assign_type", assignType + "\n");
        if (linked) {
            fs::create_directories(root + "/sys/devices/pci/" + name);
            fs::create_directory_symlink("../../../devices/pci/" + name, root + "/" + dir + "device");
        }
    }
};

const std::vector<std::string> kFixtureValues = {
    "BFEBFBFF000306A9",                         // CPUID leaf 1: EDX, then EAX
    "9",                                        // stepping
    "GenuineIntel",                             // vendor
    "Intel(R) Core(TM) i7-3770 CPU @ 3.40GHz",  // model name
    "WD-WCC4E1234567",                          // serial of the last fixed disk
    "sda",                                      // its name
    "F0:DE:F1:12:34:56",                        // the greatest permanent Ethernet address
};

// SHA-512 of a file as the system's own tool computes it (lower-case hex).
std::string Sha512Sum(const std::string& path) {
    FILE* pipe = popen(("sha512sum '" + path + "'").c_str(), "r");
    if (!pipe)
        return {};
    char hex[129] = {};
    const size_t got = fread(hex, 1, 128, pipe);
    pclose(pipe);
    return std::string(hex, got);
}

std::string HexToBytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// ASCII text as UTF-16LE, written out by hand.
std::string AsciiUtf16Le(const std::string& text) {
    std::string bytes;
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

TEST(MachineSerial, FixtureTreeGivesAnExactSerial) {
    SerialSources tree;
    EXPECT_EQ(CollectSerialValues(tree.Sources()), kFixtureValues);
    EXPECT_EQ(ComputeMachineSerial(tree.Sources()), "3085750651371306246");

    // The same from the system's sha512sum over the UTF-16LE bytes of the values.
    std::string bytes;
    for (const std::string& v : kFixtureValues)
        bytes += AsciiUtf16Le(v);
    const std::string digest = HexToBytes(Sha512Sum(tree.env.WriteFile("values.utf16le", bytes)));
    ASSERT_EQ(digest.size(), 64u);
    EXPECT_EQ(SerialFromDigest(digest), "3085750651371306246");
}

TEST(MachineSerial, ValuesThatChangeWhileRunningAreNotRead) {
    SerialSources tree;
    const std::string before = ComputeMachineSerial(tree.Sources());
    tree.Write("proc/cpuinfo", CpuInfo("800.022", "4391.506"));
    tree.Write("sys/class/net/wlan1/address", "de:ad:be:ef:00:01\n");  // re-randomised
    EXPECT_EQ(ComputeMachineSerial(tree.Sources()), before);
}

TEST(MachineSerial, DigestWordsGiveTheDecimalText) {
    struct Case {
        std::string first8Hex;
        const char* serial;
    };
    const Case cases[] = {
        {"010000000a000000", "101"},  // b = 10, then a = 1
        {"0000000000000000", "00"},
        {"ffffffffffffffff", "42949672954294967295"},
        {"78563412f0debc9a", "2596069104305419896"},  // little-endian words
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first8Hex);
        const std::string digest = HexToBytes(c.first8Hex) + std::string(56, '\x5a');
        EXPECT_EQ(SerialFromDigest(digest), c.serial);
    }
}

TEST(MachineSerial, HashIsOverUtf16LittleEndianUnits) {
    TestEnvironment env;
    // "Ünïcode ✓" then U+1F600 (a surrogate pair), as UTF-16LE written out by hand.
    const std::string bytes = HexToBytes("dc006e00ef0063006f0064006500200013273dd800de");
    const std::string digest = HexToBytes(Sha512Sum(env.WriteFile("wide.bin", bytes)));
    ASSERT_EQ(digest.size(), 64u);
    const std::vector<std::string> values = {
        "\xC3\x9Cn\xC3\xAF"
        "code \xE2\x9C\x93",
        "\xF0\x9F\x98\x80"};
    EXPECT_EQ(SerialFromValues(values), SerialFromDigest(digest));
    EXPECT_EQ(SerialFromValues(values), "41727792831906518978");
    // Values are hashed one after the other without separators.
    EXPECT_EQ(SerialFromValues({"\xC3\x9Cn",
                                "\xC3\xAF"
                                "code \xE2\x9C\x93\xF0\x9F\x98\x80"}),
              SerialFromValues(values));
}

TEST(MachineSerial, NoSourcesHashesNothing) {
    TestEnvironment env;
    MachineSerialSources none;
    none.root = env.Path("empty");
    none.readCpuid = [] { return std::optional<CpuIdentity>(); };
    EXPECT_TRUE(CollectSerialValues(none).empty());
    EXPECT_EQ(ComputeMachineSerial(none), "3183013758903971791");  // SHA-512 of no data
}

TEST(MachineSerial, MissingOrUnreadableSourcesAddNothing) {
    SerialSources tree;
    MachineSerialSources s = tree.Sources();

    s.readCpuid = [] { return std::optional<CpuIdentity>(); };  // a processor without CPUID
    std::vector<std::string> expected(kFixtureValues.begin() + 1, kFixtureValues.end());
    EXPECT_EQ(CollectSerialValues(s), expected);

    tree.Write("proc/cpuinfo", "processor\t: 0\nvendor_id\t: GenuineIntel\n");
    expected = {"GenuineIntel", "WD-WCC4E1234567", "sda", "F0:DE:F1:12:34:56"};
    EXPECT_EQ(CollectSerialValues(s), expected);

    // A serial that is not text counts as none: the earlier disk's serial is the last one found.
    tree.Write("sys/devices/ata1/vpd_pg80", UnitSerialPage("\xFF\xFE bad"));
    expected = {"GenuineIntel", "S4EWNX0R123456", "sda", "F0:DE:F1:12:34:56"};
    EXPECT_EQ(CollectSerialValues(s), expected);

    tree.Remove("sys/devices/nvme0/serial");
    expected = {"GenuineIntel", "sda", "F0:DE:F1:12:34:56"};
    EXPECT_EQ(CollectSerialValues(s), expected);

    tree.Remove("sys/class/net");
    tree.Remove("proc");
    expected = {"sda"};
    EXPECT_EQ(CollectSerialValues(s), expected);
    EXPECT_EQ(ComputeMachineSerial(s), ComputeMachineSerial(s));
}

// udev's entry for the firmware tables, as systemd writes it at boot.
const char kUdevDmiEntry[] =
    "I:4001234\n"
    "E:MEMORY_ARRAY_LOCATION=System Board Or Motherboard\n"
    "E:MEMORY_ARRAY_NUM_DEVICES=12\n"
    "E:MEMORY_DEVICE_0_SIZE=8589934592\n"
    "E:MEMORY_DEVICE_0_PRESENT=1\n"
    "E:MEMORY_DEVICE_10_SIZE=4294967296\n"
    "E:MEMORY_DEVICE_1_PRESENT=0\n"  // an empty slot has no size
    "E:MEMORY_DEVICE_2_SIZE=17179869184\r\n"
    "E:MEMORY_DEVICE_3_SIZE=0008589934592\n"  // the number, not its spelling
    "E:MEMORY_DEVICE_4_SIZE=8 GB\n"
    "E:MEMORY_DEVICE_5_SIZE=99999999999999999999\n"
    "E:MEMORY_DEVICE_6_SIZE=\n"
    "E:MEMORY_DEVICE_X_SIZE=1024\n"
    "E:MEMORY_DEVICE_-7_SIZE=1024\n"
    "E:MEMORY_DEVICE_2_SIZE=1\n"  // a repeated module keeps its first size
    "MEMORY_DEVICE_8_SIZE=1024\n"
    "E:MEMORY_DEVICE_9_SIZE_MAX=1024\n"
    "G:systemd\n";

TEST(MachineSerial, MemoryCapacitiesFromTheUdevEntryInModuleOrder) {
    SerialSources tree;
    const std::vector<std::string> capacities = {"8589934592", "17179869184", "8589934592", "4294967296"};
    EXPECT_EQ(MemoryCapacitiesFromUdev(kUdevDmiEntry), capacities);
    EXPECT_TRUE(MemoryCapacitiesFromUdev("").empty());
    EXPECT_TRUE(MemoryCapacitiesFromUdev("E:MEMORY_DEVICE_").empty());

    // Without the entry (no udev): nothing between the processor and the disk.
    const std::string without = ComputeMachineSerial(tree.Sources());
    EXPECT_EQ(CollectSerialValues(tree.Sources()), kFixtureValues);

    tree.Write("run/udev/data/+dmi:id", kUdevDmiEntry);
    std::vector<std::string> expected(kFixtureValues.begin(), kFixtureValues.begin() + 4);
    expected.insert(expected.end(), capacities.begin(), capacities.end());
    expected.insert(expected.end(), kFixtureValues.begin() + 4, kFixtureValues.end());
    EXPECT_EQ(CollectSerialValues(tree.Sources()), expected);
    EXPECT_EQ(ComputeMachineSerial(tree.Sources()), SerialFromValues(expected));
    EXPECT_NE(ComputeMachineSerial(tree.Sources()), without);

    // An entry without memory lines adds nothing.
    tree.Write("run/udev/data/+dmi:id", "E:ID_VENDOR=Example\n");
    EXPECT_EQ(ComputeMachineSerial(tree.Sources()), without);

    // An entry longer than is read (1 MiB) could be cut inside a size: it adds nothing.
    const std::string lastLine = "E:MEMORY_DEVICE_11_SIZE=8589934592\n";
    std::string huge = kUdevDmiEntry;
    huge += std::string((1 << 20) - huge.size() - lastLine.size() + 4, 'x') + "\n";
    huge += lastLine;  // the limit falls within its number
    tree.Write("run/udev/data/+dmi:id", huge);
    EXPECT_EQ(ComputeMachineSerial(tree.Sources()), without);
}

TEST(MachineSerial, LastDiskSerialFoundIsTaken) {
    SerialSources tree;
    tree.Remove("sys/devices/ata1/vpd_pg80");  // sda has no serial: nvme0n1's is the last one found
    std::vector<std::string> expected = kFixtureValues;
    expected[4] = "S4EWNX0R123456";
    EXPECT_EQ(CollectSerialValues(tree.Sources()), expected);

    tree.Write("sys/block/sda/serial", "virtio-serial-1");  // a serial kept by the block layer
    expected[4] = "virtio-serial-1";
    EXPECT_EQ(CollectSerialValues(tree.Sources()), expected);
}

TEST(MachineSerial, ThisMachineGivesAStableDecimalSerial) {
    const std::string serial = ComputeMachineSerial();
    ASSERT_GE(serial.size(), 2u);
    ASSERT_LE(serial.size(), 20u);
    EXPECT_EQ(serial.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(ComputeMachineSerial(), serial);
}

}  // namespace
