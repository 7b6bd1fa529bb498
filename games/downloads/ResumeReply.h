#pragma once
#include <cstdint>
#include <string>

// How a download treats the reply to its request for one file. A fresh request
// (offset 0) takes only 200. A resume (a Range from the offset, with If-Range
// when a validator is known) takes a 206 whose Content-Range starts at the
// offset and runs to the end of the file, and a 416 whose "bytes */N" is the
// offset and also the size probe's length when the probe gave one (the file
// was complete).
enum class ReplyVerdict {
    Write,            // append the body at the offset
    WriteFromStart,   // a whole file answered a resume: truncate, then write it
    AlreadyComplete,  // nothing to fetch
    Restart,          // the reply does not continue the file: truncate and fetch it once from 0
    Refuse,           // fail the file without writing its body
};

struct ReplyFacts {
    long status = 0;
    std::string contentRange;  // the header's value
    std::string validator;     // "E:" + ETag or "L:" + Last-Modified; "" when neither
    int64_t probedLength = 0;  // the size probe's length; 0 when it gave none
};

ReplyVerdict JudgeReply(const ReplyFacts& reply, int64_t offset, const std::string& storedMark);

// "E:" + a strong ETag, else "L:" + Last-Modified, else "" (a weak ETag cannot
// guard a range).
std::string ValidatorOf(const std::string& etag, const std::string& lastModified);

// The start of "bytes S-E/T"; -1 when the text is not of that form.
int64_t ContentRangeStart(const std::string& value);
// "bytes S-E/T" whose part ends with the last byte (E + 1 = T, or T is "*").
bool ContentRangeReachesTheEnd(const std::string& value);
// T of "bytes S-E/T"; -1 when T is "*" or the text is not of that form.
int64_t ContentRangeTotal(const std::string& value);
// E + 1 of "bytes S-E/T", where the part ends; -1 when the text is not of that form.
int64_t ContentRangeEnd(const std::string& value);
// N of "bytes */N"; -1 when the text is not of that form.
int64_t UnsatisfiedRangeLength(const std::string& value);
