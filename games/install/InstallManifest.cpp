#include "games/install/InstallManifest.h"

#include "core/text/StringUtils.h"

uint32_t ParseManifestChecksum(const std::string& text, bool* readable) {
    size_t end = text.find('\r');
    std::string digits = text.substr(0, end);
    size_t i = 0;
    while (i < digits.size() && (digits[i] == ' ' || digits[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-'))
        negative = digits[i++] == '-';
    uint64_t value = 0;
    size_t first = i;
    for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint64_t>(digits[i] - '0');
    if (readable)
        *readable = i > first;
    uint32_t low = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - low) : low;
}

std::vector<InstallManifestLine> ParseInstallManifest(const std::string& text) {
    std::vector<InstallManifestLine> lines;
    for (const std::string& raw : SplitString(text, '\n')) {
        InstallManifestLine line;
        size_t comma = raw.find(',');
        if (comma == std::string::npos) {
            line.path = raw;
            if (!line.path.empty() && line.path.back() == '\r')
                line.path.pop_back();
        } else {
            line.path = raw.substr(0, comma);
            size_t second = raw.find(',', comma + 1);
            std::string checksum =
                raw.substr(comma + 1, second == std::string::npos ? std::string::npos : second - comma - 1);
            line.checksum = ParseManifestChecksum(checksum, &line.hasChecksum);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}
