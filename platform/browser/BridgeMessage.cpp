#include "platform/browser/BridgeMessage.h"

#include <cstdint>

#include "platform/HexDigit.h"

namespace browser {

namespace {

class Reader {
public:
    explicit Reader(const std::string& text) : s(text) {}

    std::optional<std::vector<std::u16string>> Array() {
        std::vector<std::u16string> items;
        SkipBlanks();
        if (!Take('['))
            return std::nullopt;
        SkipBlanks();
        if (!Take(']')) {
            for (;;) {
                SkipBlanks();
                std::u16string item;
                if (!String(item))
                    return std::nullopt;
                items.push_back(std::move(item));
                SkipBlanks();
                if (Take(']'))
                    break;
                if (!Take(','))
                    return std::nullopt;
            }
        }
        SkipBlanks();
        if (pos != s.size())
            return std::nullopt;
        return items;
    }

private:
    bool Take(char c) {
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }

    void SkipBlanks() {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\n' || s[pos] == '\r'))
            ++pos;
    }

    bool String(std::u16string& out) {
        if (!Take('"'))
            return false;
        while (pos < s.size()) {
            unsigned char c = static_cast<unsigned char>(s[pos]);
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (++pos >= s.size())
                    return false;
                char e = s[pos++];
                switch (e) {
                case '"': out += u'"'; break;
                case '\\': out += u'\\'; break;
                case '/': out += u'/'; break;
                case 'b': out += u'\b'; break;
                case 'f': out += u'\f'; break;
                case 'n': out += u'\n'; break;
                case 'r': out += u'\r'; break;
                case 't': out += u'\t'; break;
                case 'u': {
                    if (pos + 4 > s.size())
                        return false;
                    unsigned unit = 0;
                    for (int i = 0; i < 4; ++i) {
                        int h = platform::HexDigitValue(s[pos + i]);
                        if (h < 0)
                            return false;
                        unit = unit * 16 + static_cast<unsigned>(h);
                    }
                    pos += 4;
                    out += static_cast<char16_t>(unit);
                    break;
                }
                default: return false;
                }
                continue;
            }
            AppendUtf8Character(out);
        }
        return false;
    }

    // One character of raw UTF-8 (a malformed sequence gives U+FFFD for its first byte).
    void AppendUtf8Character(std::u16string& out) {
        unsigned char c = static_cast<unsigned char>(s[pos]);
        if (c < 0x80) {
            out += static_cast<char16_t>(c);
            ++pos;
            return;
        }
        int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        uint32_t code = length == 4 ? (c & 0x07u) : length == 3 ? (c & 0x0Fu) : (c & 0x1Fu);
        bool good = length != 0 && c < 0xF5 && pos + static_cast<size_t>(length) <= s.size();
        for (int i = 1; good && i < length; ++i) {
            unsigned char k = static_cast<unsigned char>(s[pos + i]);
            if ((k & 0xC0) != 0x80)
                good = false;
            code = (code << 6) | (k & 0x3Fu);
        }
        static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (good && (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            good = false;
        if (!good) {
            out += u'\uFFFD';
            ++pos;
            return;
        }
        pos += static_cast<size_t>(length);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }

    const std::string& s;
    size_t pos = 0;
};

}  // namespace

std::optional<std::vector<std::u16string>> ParseBridgeMessage(const std::string& json) {
    return Reader(json).Array();
}

}  // namespace browser

namespace browser {

std::string Utf16ToUtf8Lenient(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace browser
