#include "platform/SafePath.h"

namespace platform {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::optional<std::string> SafeJoin(const std::string& base, const std::string& relative) {
    if (base.empty() || base.find('\0') != std::string::npos || relative.find('\0') != std::string::npos)
        return std::nullopt;

    // Formats that put one separator in front of their paths mean the base itself.
    std::string_view rest = relative;
    if (!rest.empty() && IsSeparator(rest.front()))
        rest.remove_prefix(1);
    // What is left must be relative: no second leading separator ("\\server",
    // "//etc") and no drive prefix ("C:x" is relative to a drive's current folder).
    if (!rest.empty() && IsSeparator(rest.front()))
        return std::nullopt;
    if (rest.size() >= 2 && IsAsciiLetter(rest[0]) && rest[1] == ':')
        return std::nullopt;

    std::string result = base;
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();

    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = start;
        while (end < rest.size() && !IsSeparator(rest[end]))
            ++end;
        std::string_view part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;  // doubled or trailing separators, "." parts
        if (part == "..")
            return std::nullopt;  // refused outright, even where it would stay inside
        if (result.back() != '/')
            result += '/';
        result += part;
    }
    return result;
}

}  // namespace platform
