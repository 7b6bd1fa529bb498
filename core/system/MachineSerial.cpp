#include "core/system/MachineSerial.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>

#include <cryptopp/sha.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "core/text/StringUtils.h"

namespace fs = std::filesystem;

namespace {

// sysfs files are small; a cap keeps a strange file from being read whole.
constexpr std::streamsize kMaxSourceBytes = 1 << 20;

std::optional<std::string> ReadSmallFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(kMaxSourceBytes), '\0');
    in.read(bytes.data(), kMaxSourceBytes);
    if (in.bad())
        return std::nullopt;
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// Sysfs and firmware values may end in NUL padding as well as white space.
constexpr std::string_view kBlanks(" \t\n\r\v\f\0", 7);

std::optional<std::string> ReadTrimmed(const fs::path& path) {
    std::optional<std::string> bytes = ReadSmallFile(path);
    if (!bytes)
        return std::nullopt;
    std::string value = Trim(*bytes, kBlanks);
    // Hardware names and serials are not always text; such a value counts as absent.
    if (value.empty() || !IsValidUtf8(value))
        return std::nullopt;
    return value;
}

// The entries of a folder in byte order of their names; none when it cannot be read.
std::vector<std::string> SortedEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool HasDeviceLink(const fs::path& entry) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(entry / "device", ec));
}

// Stepping, vendor and model name of the last processor listed ("cpu MHz" and
// the other values that change while running are never read).
void CollectCpuInfo(const fs::path& root, std::vector<std::string>& values) {
    std::optional<std::string> text = ReadSmallFile(root / "proc/cpuinfo");
    if (!text)
        return;
    std::map<std::string, std::string> last;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, colon), kBlanks);
        const std::string value = Trim(line.substr(colon + 1), kBlanks);
        if (!value.empty() && IsValidUtf8(value) && (key == "stepping" || key == "vendor_id" || key == "model name"))
            last[key] = value;
    }
    for (const char* key : {"stepping", "vendor_id", "model name"}) {
        auto found = last.find(key);
        if (found != last.end())
            values.push_back(found->second);
    }
}

// A plain decimal number of at most maxDigits digits that fits 64 bits.
std::optional<uint64_t> ParseDecimal(const std::string& text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// The memory modules as udev recorded them from the firmware tables at boot;
// the entry is readable without root. None without udev.
void CollectMemory(const fs::path& root, std::vector<std::string>& values) {
    std::optional<std::string> entry = ReadSmallFile(root / "run/udev/data/+dmi:id");
    // An entry that fills the read limit may be cut inside a number: none then.
    if (!entry || entry->size() >= static_cast<size_t>(kMaxSourceBytes))
        return;
    for (const std::string& capacity : MemoryCapacitiesFromUdev(*entry))
        values.push_back(capacity);
}

// A disk's serial: the device's own (NVMe, MMC), the block layer's (virtio),
// or the unit serial number page of a SCSI or SATA disk.
std::optional<std::string> DiskSerial(const fs::path& disk) {
    if (auto serial = ReadTrimmed(disk / "device/serial"))
        return serial;
    if (auto serial = ReadTrimmed(disk / "serial"))
        return serial;
    // VPD page 0x80: byte 1 the page code, bytes 2-3 the length, then the serial.
    if (auto page = ReadSmallFile(disk / "device/vpd_pg80");
        page && page->size() > 4 && static_cast<unsigned char>((*page)[1]) == 0x80) {
        const size_t length = (static_cast<unsigned char>((*page)[2]) << 8) | static_cast<unsigned char>((*page)[3]);
        std::string serial = Trim(page->substr(4, length), kBlanks);
        if (!serial.empty() && IsValidUtf8(serial))
            return serial;
    }
    return std::nullopt;
}

// Of the fixed block devices backed by hardware (a "device" link; loop, RAM and
// mapper devices have none; removable media come and go), in name order: the
// last serial found and the last name.
void CollectDisk(const fs::path& root, std::vector<std::string>& values) {
    const fs::path block = root / "sys/block";
    std::optional<std::string> serial, name;
    for (const std::string& entry : SortedEntries(block)) {
        const fs::path disk = block / entry;
        if (!HasDeviceLink(disk) || ReadTrimmed(disk / "removable").value_or("0") == "1")
            continue;
        if (auto s = DiskSerial(disk))
            serial = s;
        name = entry;
    }
    if (serial)
        values.push_back(*serial);
    if (name)
        values.push_back(*name);
}

// The greatest Ethernet address of the network interfaces backed by hardware,
// upper case with colons. Addresses assigned at random or set at run time
// change between boots and are left out.
void CollectEthernet(const fs::path& root, std::vector<std::string>& values) {
    const fs::path net = root / "sys/class/net";
    std::vector<std::string> addresses;
    for (const std::string& entry : SortedEntries(net)) {
        const fs::path nic = net / entry;
        if (!HasDeviceLink(nic))
            continue;
        if (ReadTrimmed(nic / "type").value_or("1") != "1")  // ARPHRD_ETHER
            continue;
        const std::string assigned = ReadTrimmed(nic / "addr_assign_type").value_or("0");
        if (assigned == "1" || assigned == "3")  // NET_ADDR_RANDOM, NET_ADDR_SET
            continue;
        std::optional<std::string> address = ReadTrimmed(nic / "address");
        if (!address)
            continue;
        for (char& c : *address)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        addresses.push_back(*address);
    }
    if (!addresses.empty())
        values.push_back(*std::max_element(addresses.begin(), addresses.end()));
}

}  // namespace

std::optional<CpuIdentity> MachineSerialSources::ReadCpuid() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return CpuIdentity{eax, edx};
#endif
    return std::nullopt;
}

std::vector<std::string> CollectSerialValues(const MachineSerialSources& sources) {
    std::string rootText = sources.root.empty() ? std::string("/") : sources.root;
    const fs::path root(rootText);
    std::vector<std::string> values;
    if (sources.readCpuid) {
        if (std::optional<CpuIdentity> cpu = sources.readCpuid()) {
            char id[17];
            std::snprintf(id, sizeof id, "%08X%08X", cpu->edx, cpu->eax);
            values.push_back(id);
        }
    }
    CollectCpuInfo(root, values);
    CollectMemory(root, values);
    CollectDisk(root, values);
    CollectEthernet(root, values);
    return values;
}

std::vector<std::string> MemoryCapacitiesFromUdev(const std::string& entry) {
    static const std::string kPrefix = "E:MEMORY_DEVICE_";
    static const std::string kSuffix = "_SIZE=";
    std::map<uint64_t, uint64_t> byModule;
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, kPrefix.size(), kPrefix) != 0)
            continue;
        const size_t suffix = line.find(kSuffix, kPrefix.size());
        if (suffix == std::string::npos)
            continue;
        std::optional<uint64_t> module = ParseDecimal(line.substr(kPrefix.size(), suffix - kPrefix.size()), 9);
        std::optional<uint64_t> size = ParseDecimal(line.substr(suffix + kSuffix.size()), 20);
        if (module && size)
            byModule.emplace(*module, *size);  // the first line of a module counts
    }
    std::vector<std::string> capacities;
    for (const auto& [module, size] : byModule)
        capacities.push_back(std::to_string(size));
    return capacities;
}

std::string SerialFromDigest(const std::string& digest) {
    auto word = [&digest](size_t at) {
        uint32_t w = 0;
        for (size_t i = 0; i < 4; ++i)
            w |= static_cast<uint32_t>(static_cast<unsigned char>(digest.at(at + i))) << (8 * i);
        return w;
    };
    return NumberToString(word(4)) + NumberToString(word(0));
}

std::string SerialFromValues(const std::vector<std::string>& values) {
    CryptoPP::SHA512 hash;
    for (const std::string& value : values) {
        const std::string bytes = Utf8ToUtf16LeBytes(value);
        hash.Update(reinterpret_cast<const CryptoPP::byte*>(bytes.data()), bytes.size());
    }
    std::string digest(CryptoPP::SHA512::DIGESTSIZE, '\0');
    hash.Final(reinterpret_cast<CryptoPP::byte*>(digest.data()));
    return SerialFromDigest(digest);
}

std::string ComputeMachineSerial(const MachineSerialSources& sources) {
    return SerialFromValues(CollectSerialValues(sources));
}
