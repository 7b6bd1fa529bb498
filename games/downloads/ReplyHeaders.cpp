#include "games/downloads/ReplyHeaders.h"

#include <cstring>

#include "core/text/StringUtils.h"

std::string ReplyHeaders::Value(const char* data, size_t length) {
    size_t start = 0;
    while (start < length && (data[start] == ' ' || data[start] == '\t'))
        ++start;
    size_t end = length;
    while (end > start &&
           (data[end - 1] == '\r' || data[end - 1] == '\n' || data[end - 1] == ' ' || data[end - 1] == '\t'))
        --end;
    return std::string(data + start, end - start);
}

int64_t ReplyHeaders::ParseLength(const std::string& value) {
    int64_t n = 0;
    size_t i = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        if (n > (INT64_MAX - 9) / 10)
            return 0;
        n = n * 10 + (value[i] - '0');
    }
    return i == 0 ? 0 : n;
}

void ReplyHeaders::Take(const char* data, size_t length) {
    if (length >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        contentRange.clear();
        etag.clear();
        lastModified.clear();
        contentLength = -1;
        probedLength = 0;
        return;
    }
    const char* colon = static_cast<const char*>(std::memchr(data, ':', length));
    if (!colon || colon == data)
        return;
    std::string name = LowerAscii(std::string(data, static_cast<size_t>(colon - data)));
    std::string value = Value(colon + 1, length - static_cast<size_t>(colon - data) - 1);
    if (name == "content-range") {
        contentRange = value;
    } else if (name == "etag") {
        etag = value;
    } else if (name == "last-modified") {
        lastModified = value;
    } else if (name == "content-length") {
        if (!value.empty())
            contentLength = ParseLength(value);
        probedLength = ParseLength(value);
    }
}
