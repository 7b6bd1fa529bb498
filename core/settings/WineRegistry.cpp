#include "core/settings/WineRegistry.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sys/stat.h>

#include "core/settings/RegistryReference.h"
#include "core/text/StringUtils.h"
#include "platform/AtomicFile.h"
#include "platform/HexDigit.h"
#include "platform/Log.h"
#include "platform/XdgPaths.h"

namespace WineRegistry {

namespace {

// Reads an escaped text up to the unescaped `close` at text[i...]; i ends past it.
// The units are UTF-16; plain bytes are taken as UTF-8.
std::optional<std::string> ReadEscaped(std::string_view text, size_t& i, char close) {
    std::u16string units;
    std::string plain;  // raw bytes waiting to be decoded as UTF-8
    auto flushPlain = [&] {
        if (plain.empty())
            return true;
        try {
            units += Utf8ToWide(plain);
        } catch (const ConversionError&) {
            return false;
        }
        plain.clear();
        return true;
    };
    while (i < text.size() && text[i] != close) {
        char c = text[i++];
        if (c != '\\' || i >= text.size()) {
            plain += c;
            continue;
        }
        if (!flushPlain())
            return std::nullopt;
        char e = text[i++];
        switch (e) {
        case 'n': units += u'\n'; break;
        case 'r': units += u'\r'; break;
        case 't': units += u'\t'; break;
        case 'a': units += u'\a'; break;
        case 'b': units += u'\b'; break;
        case 'v': units += u'\v'; break;
        case 'f': units += u'\f'; break;
        case 'e': units += u'\x1b'; break;
        case 'x': {
            uint32_t unit = 0;
            int digits = 0;
            while (digits < 4 && i < text.size() && platform::HexDigitValue(text[i]) >= 0) {
                unit = unit * 16 + static_cast<uint32_t>(platform::HexDigitValue(text[i++]));
                ++digits;
            }
            if (digits == 0)
                return std::nullopt;
            units += static_cast<char16_t>(unit);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                uint32_t unit = static_cast<uint32_t>(e - '0');
                for (int k = 0; k < 2 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++k)
                    unit = unit * 8 + static_cast<uint32_t>(text[i++] - '0');
                units += static_cast<char16_t>(unit);
            } else {
                units += static_cast<char16_t>(static_cast<unsigned char>(e));  // \\ \" \] and the like
            }
        }
    }
    if (i >= text.size() || !flushPlain())
        return std::nullopt;
    ++i;  // the closing character
    try {
        return WideToUtf8(units);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

std::optional<std::string> HexBytes(std::string_view data) {
    std::string bytes;
    int high = -1;
    for (char c : data) {
        if (c == ',' || c == ' ' || c == '\t' || c == '\\' || c == '\r' || c == '\n')
            continue;
        int digit = platform::HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes += static_cast<char>(high * 16 + digit);
            high = -1;
        }
    }
    return bytes;
}

std::optional<std::string> Utf16LeText(const std::string& bytes) {
    std::u16string units;
    for (size_t k = 0; k + 1 < bytes.size(); k += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                       (static_cast<unsigned char>(bytes[k + 1]) << 8));
    while (!units.empty() && units.back() == 0)
        units.pop_back();
    try {
        return WideToUtf8(units);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

std::optional<platform::RegistryValue> ReadData(std::string_view data) {
    using platform::RegistryValue;
    size_t i = 0;
    if (data.substr(0, 1) == "\"") {
        i = 1;
        auto text = ReadEscaped(data, i, '"');
        return text ? std::optional(RegistryValue::Text(*text)) : std::nullopt;
    }
    if (data.substr(0, 8) == "str(2):\"") {
        i = 8;
        auto text = ReadEscaped(data, i, '"');
        if (!text)
            return std::nullopt;
        return RegistryValue{platform::ValueType::ExpandString, *text, 0};
    }
    if (data.substr(0, 6) == "dword:") {
        std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8)
            return std::nullopt;
        uint32_t number = 0;
        for (char c : digits) {
            if (platform::HexDigitValue(c) < 0)
                return std::nullopt;
            number = number * 16 + static_cast<uint32_t>(platform::HexDigitValue(c));
        }
        return RegistryValue::Number(number);
    }
    if (data.substr(0, 4) == "hex:") {
        auto bytes = HexBytes(data.substr(4));
        return bytes ? std::optional(RegistryValue::Bytes(*bytes)) : std::nullopt;
    }
    if (data.substr(0, 6) == "hex(1)" || data.substr(0, 6) == "hex(2)") {
        size_t colon = data.find(':');
        auto bytes = colon == std::string_view::npos ? std::nullopt : HexBytes(data.substr(colon + 1));
        auto text = bytes ? Utf16LeText(*bytes) : std::nullopt;
        if (!text)
            return std::nullopt;
        return RegistryValue{data[4] == '1' ? platform::ValueType::String : platform::ValueType::ExpandString, *text,
                             0};
    }
    return std::nullopt;  // other types play no part in finding a game
}

std::string_view TrimEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

std::string HivePath(const std::string& prefix, platform::Hive hive) {
    return prefix + (hive == platform::Hive::LocalMachine ? "/system.reg" : "/user.reg");
}

struct CachedHive {
    struct timespec modified {};
    off_t size = -1;
    ino_t inode = 0;
    std::shared_ptr<const platform::RegistryTree> tree;
};

// The key itself, else its 32-bit view under Software\Wow6432Node.
const platform::RegistryTree::Key* FindKey(const platform::RegistryTree& tree, const std::string& keyPath) {
    if (const auto* key = tree.Find(keyPath))
        return key;
    std::vector<std::string> parts = platform::SplitKeyPath(keyPath);
    if (parts.size() < 2 || platform::FoldName(parts[0]) != platform::FoldName("Software"))
        return nullptr;
    std::string redirected = parts[0] + "\\Wow6432Node";
    for (size_t k = 1; k < parts.size(); ++k)
        redirected += "\\" + parts[k];
    return tree.Find(redirected);
}

}  // namespace

std::string DefaultPrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix && prefix[0] == '/')
        return prefix;
    std::string home = platform::HomeFolder();
    return home.empty() ? home : home + "/.wine";
}

std::optional<platform::RegistryTree> Parse(std::string_view text, size_t* keysTooDeep) {
    size_t start = 0;
    auto nextLine = [&](std::string_view& line) {
        if (start >= text.size())
            return false;
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        line = TrimEnd(text.substr(start, end - start));
        start = end + 1;
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != "WINE REGISTRY Version 2")
        return std::nullopt;

    platform::RegistryTree tree;
    platform::RegistryTree::Key* key = nullptr;  // the section's key, while its values follow
    size_t tooDeep = 0;
    while (nextLine(line)) {
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            size_t i = 1;
            auto name = ReadEscaped(line, i, ']');
            key = name ? tree.Ensure(*name) : nullptr;
            if (name && !key)
                ++tooDeep;
            continue;
        }
        if (!key)
            continue;
        // A hex value may go on over lines that end with "\".
        std::string joined(line);
        while (!joined.empty() && joined.back() == '\\' && nextLine(line)) {
            joined.pop_back();
            joined += line;
        }
        std::string_view entry = joined;
        std::string name;
        size_t i;
        if (entry.substr(0, 2) == "@=") {
            i = 2;
        } else if (entry.substr(0, 1) == "\"") {
            i = 1;
            auto quoted = ReadEscaped(entry, i, '"');
            if (!quoted || i >= entry.size() || entry[i] != '=')
                continue;
            name = *quoted;
            ++i;
        } else {
            continue;
        }
        if (auto value = ReadData(entry.substr(i)))
            key->SetValue(name, *value);
    }
    if (keysTooDeep)
        *keysTooDeep = tooDeep;
    return tree;
}

std::shared_ptr<const platform::RegistryTree> LoadHive(const std::string& prefix, platform::Hive hive) {
    static std::mutex lock;
    static std::map<std::string, CachedHive> cache;
    std::string path = HivePath(prefix, hive);
    struct stat info;
    if (prefix.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    CachedHive& cached = cache[path];
    if (cached.size == info.st_size && cached.inode == info.st_ino && cached.modified.tv_sec == info.st_mtim.tv_sec &&
        cached.modified.tv_nsec == info.st_mtim.tv_nsec)
        return cached.tree;
    std::string text;
    std::shared_ptr<const platform::RegistryTree> tree;
    size_t tooDeep = 0;
    if (platform::ReadWholeFile(path, text))
        if (auto parsed = Parse(text, &tooDeep))
            tree = std::make_shared<const platform::RegistryTree>(std::move(*parsed));
    if (tooDeep > 0)
        Log::Warning("the wine registry \"%s\" has %zu keys deeper than %zu levels; they are passed over", path.c_str(),
                     tooDeep, platform::RegistryTree::kMaxDepth);
    cached = {info.st_mtim, info.st_size, info.st_ino, tree};
    return tree;
}

std::optional<platform::RegistryValue> ReadValue(const std::string& prefix, const std::string& reference,
                                                 const std::string& valueName) {
    platform::Hive hive;
    std::string keyPath;
    if (!SplitRegistryReference(reference, EmptyKeyParts::Keep, hive, keyPath))
        return std::nullopt;
    auto tree = LoadHive(prefix, hive);
    const auto* key = tree ? FindKey(*tree, keyPath) : nullptr;
    if (!key)
        return std::nullopt;
    auto it = key->values.find(platform::FoldName(valueName == "@" ? "" : valueName));
    if (it == key->values.end())
        return std::nullopt;
    return it->second.second;
}

bool KeyExists(const std::string& prefix, const std::string& reference) {
    platform::Hive hive;
    std::string keyPath;
    if (!SplitRegistryReference(reference, EmptyKeyParts::Keep, hive, keyPath))
        return false;
    auto tree = LoadHive(prefix, hive);
    return tree && FindKey(*tree, keyPath);
}

std::string ToUnixPath(const std::string& prefix, const std::string& windowsPath) {
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || !std::isalpha(static_cast<unsigned char>(windowsPath[0])))
        return windowsPath;
    std::string rest = windowsPath.substr(2);
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    if (!rest.empty() && rest[0] != '/')
        rest = "/" + rest;
    char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    return prefix + "/dosdevices/" + drive + ":" + rest;
}

}  // namespace WineRegistry
