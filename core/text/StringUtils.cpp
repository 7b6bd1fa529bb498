#include "core/text/StringUtils.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace {

// Decodes the whole input; a malformed or cut-off sequence anywhere throws, even
// after an embedded zero, and the result is then cut at the first zero.
std::u16string DecodeUtf8(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b0 = p[i];
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        size_t length;
        char32_t value;
        unsigned char low = 0x80, high = 0xBF;  // range of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            value = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            value = b0 & 0x0F;
            if (b0 == 0xE0)
                low = 0xA0;  // overlong
            else if (b0 == 0xED)
                high = 0x9F;  // surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            value = b0 & 0x07;
            if (b0 == 0xF0)
                low = 0x90;  // overlong
            else if (b0 == 0xF4)
                high = 0x8F;  // above U+10FFFF
        } else {
            throw ConversionError();  // continuation byte, C0/C1 or F5-FF
        }
        if (n - i < length)
            throw ConversionError();
        for (size_t k = 1; k < length; ++k) {
            const unsigned char b = p[i + k];
            const unsigned char lo = k == 1 ? low : 0x80;
            const unsigned char hi = k == 1 ? high : 0xBF;
            if (b < lo || b > hi)
                throw ConversionError();
            value = (value << 6) | (b & 0x3F);
        }
        if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            throw ConversionError();
        if (value < 0x10000) {
            out.push_back(static_cast<char16_t>(value));
        } else {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        }
        i += length;
    }
    const size_t zero = out.find(u'\0');
    if (zero != std::u16string::npos)
        out.resize(zero);
    return out;
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::u16string Utf8ToWide(const std::string& text) {
    return DecodeUtf8(text);
}

std::string WideToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size() * 3);
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        char32_t value = text[i];
        if (value >= 0xDC00 && value <= 0xDFFF)
            throw ConversionError();  // lone low surrogate
        if (value >= 0xD800 && value <= 0xDBFF) {
            if (i + 1 >= n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                throw ConversionError();  // high surrogate without its partner
            value = 0x10000 + ((value - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (value < 0x80) {
            out.push_back(static_cast<char>(value));
        } else if (value < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (value >> 6)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else if (value < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (value >> 12)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (value >> 18)));
            out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        }
    }
    const size_t zero = out.find('\0');
    if (zero != std::string::npos)
        out.resize(zero);
    return out;
}

std::wstring Utf8ToWString(const std::string& text) {
    static_assert(sizeof(wchar_t) == 4, "wchar_t holds one code point");
    const std::u16string units = DecodeUtf8(text);  // valid pairs only
    std::wstring out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t value = units[i];
        if (value >= 0xD800 && value <= 0xDBFF && i + 1 < units.size()) {
            value = 0x10000 + ((value - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(static_cast<wchar_t>(value));
    }
    return out;
}

std::string WStringToUtf8(const std::wstring& text) {
    std::u16string units;
    units.reserve(text.size());
    for (wchar_t c : text) {
        const uint32_t value = static_cast<uint32_t>(c);
        if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            throw ConversionError();
        if (value >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(value));
        }
    }
    return WideToUtf8(units);
}

bool IsValidUtf8(const std::string& text) {
    try {
        DecodeUtf8(text);
        return true;
    } catch (const ConversionError&) {
        return false;
    }
}

std::string Utf8ToUtf16LeBytes(const std::string& text) {
    const std::u16string wide = DecodeUtf8(text);
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string UrlEncode(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAsciiAlnum(c) || c == '\'' || c == '(' || c == ')' || c == '*' || c == '-' || c == '_' || c == '.') {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

std::string ReplaceAll(const std::string& text, const std::string& search, const std::string& replacement) {
    if (search.empty())
        return text;
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(search); at != std::string::npos; at = text.find(search, from)) {
        out.append(text, from, at - from);
        out += replacement;
        from = at + search.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::vector<std::string> SplitString(const std::string& text, char delimiter) {
    std::vector<std::string> pieces;
    size_t from = 0;
    while (from < text.size()) {
        const size_t at = text.find(delimiter, from);
        if (at == std::string::npos) {
            pieces.push_back(text.substr(from));
            break;
        }
        pieces.push_back(text.substr(from, at - from));
        from = at + 1;  // a delimiter at the very end leaves nothing to add
    }
    return pieces;
}

std::string GetUrlFileName(const std::string& text) {
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string GetDirectoryPart(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string Trim(const std::string& text, std::string_view blanks) {
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string NumberToString(uint32_t number) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

double StringToDouble(const std::string& text) {
    // Always the C locale's "." (from_chars ignores the user's locale), as the
    // texts come from servers and files, not from the user.
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && IsAsciiSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // A decimal number begins with a digit or a point and a digit; "inf", "nan"
    // and hexadecimal forms are not numbers here.
    if (p == end || !(IsAsciiDigit(*p) || (*p == '.' && p + 1 < end && IsAsciiDigit(p[1]))))
        return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow; strtod gives
        // HUGE_VAL or a number next to zero.
        const char* q = p;
        while (q < end && (IsAsciiDigit(*q) || *q == '.'))
            ++q;
        bool tiny = q < end && (*q == 'e' || *q == 'E') && q + 1 < end && q[1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

int32_t AtoiSaturating(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsAsciiSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated as a negative number so INT32_MIN needs no special case.
    int64_t value = 0;
    for (; i < text.size() && IsAsciiDigit(text[i]); ++i) {
        value = value * 10 - (text[i] - '0');
        if (value < INT32_MIN) {
            value = INT32_MIN - int64_t{1};  // saturated; keep it from growing
        }
    }
    if (negative)
        return value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
    if (value < -int64_t{INT32_MAX})
        return INT32_MAX;
    return static_cast<int32_t>(-value);
}
