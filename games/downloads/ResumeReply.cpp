#include "games/downloads/ResumeReply.h"

#include <cctype>

namespace {

// Reads "bytes" and blanks; returns the position after them or npos.
size_t AfterUnit(const std::string& v) {
    size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
        ++i;
    static const char unit[] = "bytes";
    for (size_t k = 0; k < 5; ++k, ++i)
        if (i >= v.size() || std::tolower(static_cast<unsigned char>(v[i])) != unit[k])
            return std::string::npos;
    if (i >= v.size() || (v[i] != ' ' && v[i] != '\t'))
        return std::string::npos;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
        ++i;
    return i;
}

// Digits at i; -1 when none (or too many for 63 bits).
int64_t Digits(const std::string& v, size_t& i) {
    size_t start = i;
    int64_t n = 0;
    while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) {
        if (n > (INT64_MAX - 9) / 10)
            return -1;
        n = n * 10 + (v[i] - '0');
        ++i;
    }
    return i == start ? -1 : n;
}

bool OnlyBlanksFrom(const std::string& v, size_t i) {
    for (; i < v.size(); ++i)
        if (v[i] != ' ' && v[i] != '\t' && v[i] != '\r' && v[i] != '\n')
            return false;
    return true;
}

// "bytes S-E/T" (T may be "*", given as -1); false when the text is not of that form.
bool ParseContentRange(const std::string& value, int64_t& first, int64_t& last, int64_t& total) {
    size_t i = AfterUnit(value);
    if (i == std::string::npos)
        return false;
    first = Digits(value, i);
    if (first < 0 || i >= value.size() || value[i] != '-')
        return false;
    ++i;
    last = Digits(value, i);
    if (last < first || i >= value.size() || value[i] != '/')
        return false;
    ++i;
    total = -1;
    if (i < value.size() && value[i] == '*')
        ++i;
    else if (total = Digits(value, i); total <= last)
        return false;
    return OnlyBlanksFrom(value, i);
}

}  // namespace

int64_t ContentRangeStart(const std::string& value) {
    int64_t first, last, total;
    return ParseContentRange(value, first, last, total) ? first : -1;
}

bool ContentRangeReachesTheEnd(const std::string& value) {
    int64_t first, last, total;
    return ParseContentRange(value, first, last, total) && (total < 0 || last + 1 == total);
}

int64_t ContentRangeTotal(const std::string& value) {
    int64_t first, last, total;
    return ParseContentRange(value, first, last, total) ? total : -1;
}

int64_t ContentRangeEnd(const std::string& value) {
    int64_t first, last, total;
    return ParseContentRange(value, first, last, total) ? last + 1 : -1;
}

int64_t UnsatisfiedRangeLength(const std::string& value) {
    size_t i = AfterUnit(value);
    if (i == std::string::npos || i + 1 >= value.size() || value[i] != '*' || value[i + 1] != '/')
        return -1;
    i += 2;
    int64_t total = Digits(value, i);
    return total >= 0 && OnlyBlanksFrom(value, i) ? total : -1;
}

std::string ValidatorOf(const std::string& etag, const std::string& lastModified) {
    if (!etag.empty() && etag.rfind("W/", 0) != 0)
        return "E:" + etag;
    if (!lastModified.empty())
        return "L:" + lastModified;
    return {};
}

ReplyVerdict JudgeReply(const ReplyFacts& reply, int64_t offset, const std::string& storedMark) {
    if (offset <= 0)
        return reply.status == 200 ? ReplyVerdict::Write : ReplyVerdict::Refuse;
    switch (reply.status) {
    case 200: return ReplyVerdict::WriteFromStart;
    case 206: {
        // A part that starts elsewhere, or stops short of the end, does not finish the file.
        if (ContentRangeStart(reply.contentRange) != offset || !ContentRangeReachesTheEnd(reply.contentRange))
            return ReplyVerdict::Restart;
        // A server that ignores If-Range still gives itself away by a new validator.
        bool sameKind =
            storedMark.size() > 2 && reply.validator.size() > 2 && storedMark.compare(0, 2, reply.validator, 0, 2) == 0;
        if (sameKind && storedMark != reply.validator)
            return ReplyVerdict::Restart;
        return ReplyVerdict::Write;
    }
    case 416: {
        // A "*/N" that only echoes the offset proves nothing when the probe saw a longer file.
        bool whole = UnsatisfiedRangeLength(reply.contentRange) == offset &&
                     (reply.probedLength <= 0 || reply.probedLength == offset);
        return whole ? ReplyVerdict::AlreadyComplete : ReplyVerdict::Restart;
    }
    default: return ReplyVerdict::Refuse;
    }
}
