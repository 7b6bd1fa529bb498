#include "games/XmlReading.h"

#include <algorithm>
#include <cstring>
#include <tinyxml.h>

namespace xmlread {

namespace {

bool StartsWith(const std::string& text, size_t at, const char* prefix) {
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

// Index just past the terminator searched from `from`, or npos.
size_t SkipPast(const std::string& text, size_t from, const char* terminator) {
    size_t end = text.find(terminator, from);
    return end == std::string::npos ? end : end + std::strlen(terminator);
}

bool IsNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
        return 1;
    size_t length;
    uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        unsigned char t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (t & 0x3F);
    }
    bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF)
        return 0;
    return length;
}

}  // namespace

int NestingDepth(const std::string& text) {
    int depth = 0;
    int deepest = 0;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        i = text.find('<', i);
        if (i == std::string::npos || i + 1 >= n)
            break;
        if (StartsWith(text, i, "<!--")) {
            i = SkipPast(text, i + 4, "-->");
        } else if (StartsWith(text, i, "<![CDATA[")) {
            i = SkipPast(text, i + 9, "]]>");
        } else if (text[i + 1] == '/') {
            if (depth > 0)
                --depth;
            i = SkipPast(text, i + 2, ">");
        } else if (text[i + 1] == '?' || text[i + 1] == '!') {
            i = SkipPast(text, i + 2, ">");
        } else if (IsNameStart(static_cast<unsigned char>(text[i + 1]))) {
            size_t j = i + 1;
            while (j < n && text[j] != '>') {
                if (text[j] == '"' || text[j] == '\'') {
                    j = text.find(text[j], j + 1);
                    if (j == std::string::npos)
                        break;
                }
                ++j;
            }
            if (j == std::string::npos || j >= n) {
                // An unfinished tag still opens a level for the parser.
                ++depth;
                deepest = std::max(deepest, depth);
                break;
            }
            if (text[j - 1] != '/') {
                ++depth;
                deepest = std::max(deepest, depth);
            }
            i = j + 1;
        } else {
            ++i;
        }
        if (i == std::string::npos)
            break;
    }
    return deepest;
}

bool ParseDocument(const std::string& text, TiXmlDocument& document) {
    if (text.empty() || NestingDepth(text) > kMaxDepth)
        return false;
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !document.Error();
}

std::string ValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t length = Utf8SequenceLength(text, i);
        if (length == 0)
            break;
        i += length;
    }
    if (i == text.size())
        return text;
    std::string repaired = text.substr(0, i);
    repaired.reserve(text.size() + 8);
    while (i < text.size()) {
        size_t length = Utf8SequenceLength(text, i);
        if (length > 0) {
            repaired.append(text, i, length);
            i += length;
        } else {
            unsigned char c = static_cast<unsigned char>(text[i++]);
            repaired += static_cast<char>(0xC0 | (c >> 6));
            repaired += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return repaired;
}

std::string ValidUtf8(const char* text) {
    return text ? ValidUtf8(std::string(text)) : std::string();
}

std::optional<std::string> Attribute(const TiXmlElement* element, const char* name) {
    if (!element)
        return std::nullopt;
    const char* value = element->Attribute(name);
    if (!value)
        return std::nullopt;
    return ValidUtf8(value);
}

std::string AttributeText(const TiXmlElement* element, const char* name) {
    return Attribute(element, name).value_or(std::string());
}

std::string ElementText(const TiXmlElement* element) {
    if (!element)
        return {};
    // As TinyXML's GetText: only a text (or CDATA) first child counts.
    return ValidUtf8(element->GetText());
}

}  // namespace xmlread
