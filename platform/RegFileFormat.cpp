#include "platform/RegFileFormat.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/HexDigit.h"

namespace platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr char kHexDigits[] = "0123456789abcdef";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

// Reads a quoted text at the start of s (which begins with '"'); moves s past it.
std::optional<std::string> TakeQuoted(std::string_view& s) {
    std::string text;
    size_t i = 1;
    for (; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] != '\\') {
            text += s[i];
            continue;
        }
        if (++i == s.size())
            return std::nullopt;
        switch (s[i]) {
        case '\\': text += '\\'; break;
        case '"': text += '"'; break;
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case 'x': {
            int high = i + 2 < s.size() ? HexDigitValue(s[i + 1]) : -1;
            int low = high >= 0 ? HexDigitValue(s[i + 2]) : -1;
            if (low < 0)
                return std::nullopt;
            text += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    if (i == s.size())
        return std::nullopt;
    s.remove_prefix(i + 1);
    return text;
}

std::optional<std::string> ParseHexBytes(std::string_view list) {
    std::string bytes;
    list = Trim(list);
    if (list.empty())
        return bytes;
    for (;;) {
        size_t comma = list.find(',');
        std::string_view item = Trim(list.substr(0, comma));
        if (item.empty() || item.size() > 2)
            return std::nullopt;
        int value = 0;
        for (char c : item) {
            int digit = HexDigitValue(c);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
        if (comma == std::string_view::npos)
            return bytes;
        list.remove_prefix(comma + 1);
    }
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

// REG_SZ / REG_EXPAND_SZ data as Windows stores it (UTF-16LE, ending at the first zero).
std::optional<std::string> Utf16LeText(const std::string& bytes) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (unit == 0)
            break;
        if (unit >= 0xdc00 && unit <= 0xdfff)
            return std::nullopt;
        if (unit >= 0xd800 && unit <= 0xdbff) {
            if (i + 3 >= bytes.size())
                return std::nullopt;
            uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
            if (low < 0xdc00 || low > 0xdfff)
                return std::nullopt;
            unit = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
            i += 2;
        }
        AppendUtf8(text, unit);
    }
    return text;
}

// A value of type `type` from its raw bytes (hex(N): form).
std::optional<RegistryValue> TypedBytes(uint32_t type, const std::string& bytes) {
    if (type == static_cast<uint32_t>(ValueType::String) || type == static_cast<uint32_t>(ValueType::ExpandString)) {
        auto text = Utf16LeText(bytes);
        if (!text)
            return std::nullopt;
        return RegistryValue{static_cast<ValueType>(type), std::move(*text), 0};
    }
    if (type == static_cast<uint32_t>(ValueType::Dword)) {
        if (bytes.size() != 4)
            return std::nullopt;
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = n << 8 | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
        return RegistryValue::Number(n);
    }
    return RegistryValue{static_cast<ValueType>(type), bytes, 0};
}

std::optional<uint32_t> ParseHexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    uint32_t n = 0;
    for (char c : digits) {
        int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        n = n << 4 | static_cast<uint32_t>(digit);
    }
    return n;
}

// "(N):" after "hex" or "str"; moves s past it. Plain "hex:" gives REG_BINARY.
std::optional<uint32_t> TakeTypeSuffix(std::string_view& s, bool plainAllowed) {
    if (plainAllowed && StartsWith(s, ":")) {
        s.remove_prefix(1);
        return static_cast<uint32_t>(ValueType::Binary);
    }
    size_t close = s.find("):");
    if (!StartsWith(s, "(") || close == std::string_view::npos)
        return std::nullopt;
    auto type = ParseHexNumber(s.substr(1, close - 1));
    s.remove_prefix(close + 2);
    return type;
}

class Parser {
public:
    Parser(std::string_view text, std::string_view rootName) : rootName(rootName) {
        if (StartsWith(text, "\xef\xbb\xbf"))
            text.remove_prefix(3);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lines.push_back(line);
            start = end + 1;
        }
        // Every file written here ends with a line break: a last line without one
        // was cut short, and a cut value ("dword:00" of "dword:0000002a") must not
        // pass for a whole one.
        truncated = !text.empty() && text.back() != '\n';
        if (truncated)
            lines.pop_back();
    }

    RegFileContents Run() {
        bool headerSeen = false;
        for (index = 0; index < lines.size(); ++index) {
            std::string_view line = Trim(lines[index]);
            if (line.empty() || line.front() == ';')
                continue;
            if (!headerSeen) {
                headerSeen = true;
                if (line == kHeader)
                    continue;
                Error("not a registry file (no \"" + std::string(kHeader) + "\" line)");
            }
            if (line.front() == '[')
                Section(line);
            else if (line.front() == '"' || line.front() == '@')
                Value(line);
            else
                Error("unreadable line");
        }
        if (truncated) {
            index = lines.size();
            Error("the file ends inside a line");
        }
        return std::move(result);
    }

private:
    void Error(const std::string& what) { result.errors.push_back("line " + std::to_string(index + 1) + ": " + what); }

    void Section(std::string_view line) {
        key = nullptr;
        if (line.back() != ']' || StartsWith(line, "[-")) {
            Error("unreadable key line");
            return;
        }
        std::string_view path = line.substr(1, line.size() - 2);
        std::string_view root = path.substr(0, path.find('\\'));
        if (FoldName(root) != FoldName(rootName)) {
            Error("key outside " + std::string(rootName));
            return;
        }
        key = result.tree.Ensure(path.substr(std::min(path.size(), root.size() + 1)));
        if (!key)
            Error("key deeper than " + std::to_string(RegistryTree::kMaxDepth) + " levels");
    }

    void Value(std::string_view line) {
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            auto quoted = TakeQuoted(line);
            if (!quoted) {
                Error("unreadable value name");
                return;
            }
            name = std::move(*quoted);
        }
        line = Trim(line);
        if (!StartsWith(line, "=")) {
            Error("no \"=\" after the value name");
            return;
        }
        line = Trim(line.substr(1));
        std::optional<RegistryValue> value = Data(line);
        if (!value) {
            Error("unreadable data of value \"" + name + "\"");
            return;
        }
        if (!key) {
            Error("value outside a key");
            return;
        }
        key->SetValue(name, *value);
    }

    std::optional<RegistryValue> Data(std::string_view data) {
        if (StartsWith(data, "\"")) {
            auto text = TakeQuoted(data);
            if (!text || !Trim(data).empty())
                return std::nullopt;
            return RegistryValue::Text(std::move(*text));
        }
        if (StartsWith(data, "dword:")) {
            auto n = ParseHexNumber(data.substr(6));
            if (!n)
                return std::nullopt;
            return RegistryValue::Number(*n);
        }
        if (StartsWith(data, "str")) {
            data.remove_prefix(3);
            auto type = TakeTypeSuffix(data, false);
            if (!type || !StartsWith(data, "\""))
                return std::nullopt;
            auto text = TakeQuoted(data);
            if (!text || !Trim(data).empty())
                return std::nullopt;
            return RegistryValue{static_cast<ValueType>(*type), std::move(*text), 0};
        }
        if (StartsWith(data, "hex")) {
            data.remove_prefix(3);
            auto type = TakeTypeSuffix(data, true);
            if (!type)
                return std::nullopt;
            // Long lists go on over lines that end with "\".
            std::string list(Trim(data));
            while (!list.empty() && list.back() == '\\' && index + 1 < lines.size()) {
                list.pop_back();
                list += Trim(lines[++index]);
            }
            auto bytes = ParseHexBytes(list);
            if (!bytes)
                return std::nullopt;
            return TypedBytes(*type, *bytes);
        }
        return std::nullopt;
    }

    std::string_view rootName;
    std::vector<std::string_view> lines;
    size_t index = 0;
    bool truncated = false;
    RegistryTree::Key* key = nullptr;  // the section's key, while its values follow
    RegFileContents result;
};

void AppendHex(std::string& out, const std::string& bytes) {
    size_t lineLength = out.size() - out.rfind('\n') - 1;
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 15];
        lineLength += 2;
        if (i + 1 == bytes.size())
            break;
        out += ',';
        ++lineLength;
        if (lineLength >= 76) {
            out += "\\\n  ";
            lineLength = 2;
        }
    }
}

void AppendTypeNumber(std::string& out, uint32_t type) {
    char digits[9];
    int n = 0;
    do {
        digits[n++] = kHexDigits[type & 15];
        type >>= 4;
    } while (type != 0);
    out += '(';
    while (n > 0)
        out += digits[--n];
    out += ')';
}

void AppendValue(std::string& out, const std::string& name, const RegistryValue& value) {
    if (name.empty())
        out += '@';
    else
        AppendQuoted(out, name);
    out += '=';
    switch (value.type) {
    case ValueType::String: AppendQuoted(out, value.data); break;
    case ValueType::ExpandString:
        out += "str(2):";
        AppendQuoted(out, value.data);
        break;
    case ValueType::Dword:
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4)
            out += kHexDigits[(value.dword >> shift) & 15];
        break;
    case ValueType::Binary:
        out += "hex:";
        AppendHex(out, value.data);
        break;
    default:
        out += "hex";
        AppendTypeNumber(out, static_cast<uint32_t>(value.type));
        out += ':';
        AppendHex(out, value.data);
        break;
    }
    out += '\n';
}

}  // namespace

RegFileContents ParseRegFile(std::string_view text, std::string_view rootName) {
    return Parser(text, rootName).Run();
}

std::string FormatRegFile(const RegistryTree& tree, std::string_view rootName) {
    std::string out(kHeader);
    out += "\n\n";
    // A key without values that has subkeys needs no section: reading a subkey's
    // section makes it again. So each section's path was written once by whoever
    // made the key, and the file grows with the hive, not with the square of its depth.
    tree.ForEachKey([&](const std::string& path, const RegistryTree::Key& key) {
        if (key.values.empty() && (!key.subkeys.empty() || path.empty()))
            return;
        out += '[';
        out += rootName;
        if (!path.empty()) {
            out += '\\';
            out += path;
        }
        out += "]\n";
        for (const auto& [folded, entry] : key.values)
            AppendValue(out, entry.first, entry.second);
        out += '\n';
    });
    return out;
}

}  // namespace platform
