#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The machine's serial number: SHA-512 over stable hardware values, each hashed
// as its UTF-16LE units, written as the decimal text of the digest's second
// 32-bit little-endian word followed by that of its first.

// EAX and EDX of CPUID leaf 1 (signature and feature flags).
struct CpuIdentity {
    uint32_t eax = 0;
    uint32_t edx = 0;
};

// Where the values come from. The root folder stands for "/" (tests point it at
// a fixture tree); the CPUID reader gives nothing where the processor has none.
struct MachineSerialSources {
    std::string root = "/";
    std::function<std::optional<CpuIdentity>()> readCpuid = ReadCpuid;

    static std::optional<CpuIdentity> ReadCpuid();
};

// The values hashed, in order: processor id ("%08X%08X" of EDX, EAX), stepping,
// vendor and model name (/proc/cpuinfo); each memory module's capacity in
// bytes, in module order (udev's record of the firmware tables,
// /run/udev/data/+dmi:id); serial and name of the last fixed block device; the
// greatest permanent Ethernet address. A value without a
// source, unreadable or not valid UTF-8, is left out; nothing that changes
// between boots is read.
std::vector<std::string> CollectSerialValues(const MachineSerialSources& sources);

// The capacities in an udev database entry ("E:MEMORY_DEVICE_<n>_SIZE=<bytes>"),
// as decimal texts in ascending n. Lines of another form, numbers that are not
// plain decimals or do not fit 64 bits, and a repeated n are passed over.
std::vector<std::string> MemoryCapacitiesFromUdev(const std::string& entry);

// The serial of the given values (UTF-8 texts, hashed as UTF-16LE); throws
// ConversionError for a value that is not valid UTF-8.
std::string SerialFromValues(const std::vector<std::string>& values);

// The decimal text of a SHA-512 digest's first 8 bytes (b then a); digest holds
// at least 8 bytes.
std::string SerialFromDigest(const std::string& digest);

// The serial of this machine.
std::string ComputeMachineSerial(const MachineSerialSources& sources = {});
