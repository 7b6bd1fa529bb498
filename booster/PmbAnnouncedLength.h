#pragma once
#include <cstdint>
#include <string>

// The body length a reply's headers announce, read one header line at a time
// as they arrive. A status line begins a new reply (one after a redirect or an
// interim reply). A length that is not a plain decimal number, or a second one
// that differs from the first, makes the reply contradictory: its body cannot
// be checked, so it is refused.
class PmbAnnouncedLength {
public:
    void ReadHeaderLine(const std::string& line);

    int64_t Length() const { return length; }  // -1: none announced
    bool Contradictory() const { return contradictory; }

private:
    int64_t length = -1;
    bool contradictory = false;
};
