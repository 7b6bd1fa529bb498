// quor-reg: the registry hives of Quor from the command line, on the store's own
// code (so locking, atomic replacement and the file format are the program's).
//
//   quor-reg [--hklm] set-string KEY NAME TEXT
//   quor-reg [--hklm] set-dword  KEY NAME N        N decimal, or hexadecimal after "0x"
//   quor-reg [--hklm] get        KEY NAME
//   quor-reg [--hklm] delete     KEY NAME
//
// KEY is a path below the hive with "\" between its parts ("Software\Brindlemoor\Quor!");
// NAME "@" is the key's default value. The hive is HKEY_CURRENT_USER unless --hklm
// is given; QUOR_HKCU_FILE and QUOR_HKLM_FILE point them elsewhere.
// Exit status: 0 done, 1 failed (or no such value), 2 wrong use.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/StringUtils.h"
#include "platform/RegistryStore.h"

namespace {

int Usage() {
    std::fputs(
        "usage: quor-reg [--hklm] set-string KEY NAME TEXT\n"
        "       quor-reg [--hklm] set-dword KEY NAME N\n"
        "       quor-reg [--hklm] get KEY NAME\n"
        "       quor-reg [--hklm] delete KEY NAME\n",
        stderr);
    return 2;
}

int Failed(const char* what, const std::string& key, const std::string& name, int error) {
    std::fprintf(stderr, "quor-reg: %s \"%s\" in \"%s\": %s\n", what, name.c_str(), key.c_str(), std::strerror(error));
    return 1;
}

bool ParseNumber(std::string_view text, uint32_t& number) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

void PrintValue(const platform::RegistryValue& value) {
    switch (value.type) {
    case platform::ValueType::String:
    case platform::ValueType::ExpandString: std::fwrite(value.data.data(), 1, value.data.size(), stdout); break;
    case platform::ValueType::Dword: std::printf("%u", value.dword); break;
    default:  // bytes as the file writes them
        for (size_t i = 0; i < value.data.size(); ++i)
            std::printf(i ? ",%02x" : "%02x", static_cast<unsigned char>(value.data[i]));
        break;
    }
    std::fputc('\n', stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    platform::Hive hive = platform::Hive::CurrentUser;
    if (!args.empty() && args[0] == "--hklm") {
        hive = platform::Hive::LocalMachine;
        args.erase(args.begin());
    }
    if (args.size() < 3)
        return Usage();
    const std::string& command = args[0];
    const std::string& key = args[1];
    // The program reads "@" as the default value, which the store names "".
    const std::string name = args[2] == "@" ? std::string() : args[2];
    for (const std::string& arg : args)
        if (!IsValidUtf8(arg) || arg.find('\0') != std::string::npos) {
            std::fputs("quor-reg: arguments must be UTF-8 text\n", stderr);
            return 2;
        }
    platform::RegistryStore& store = platform::RegistryStore::ForHive(hive);

    if (command == "set-string" && args.size() == 4) {
        int error = store.WriteValue(key, name, platform::RegistryValue::Text(args[3]));
        return error ? Failed("cannot set", key, args[2], error) : 0;
    }
    if (command == "set-dword" && args.size() == 4) {
        uint32_t number = 0;
        if (!ParseNumber(args[3], number)) {
            std::fprintf(stderr, "quor-reg: \"%s\" is not a number from 0 to 4294967295\n", args[3].c_str());
            return 2;
        }
        int error = store.WriteValue(key, name, platform::RegistryValue::Number(number));
        return error ? Failed("cannot set", key, args[2], error) : 0;
    }
    if (command == "get" && args.size() == 3) {
        auto value = store.ReadValue(key, name);
        if (!value)
            return Failed("no value", key, args[2], ENOENT);
        PrintValue(*value);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "delete" && args.size() == 3) {
        int error = store.DeleteValue(key, name);
        return error ? Failed("cannot delete", key, args[2], error) : 0;
    }
    return Usage();
}
