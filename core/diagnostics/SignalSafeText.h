#pragma once
#include <cstddef>
#include <cstdint>

// Text written to a file descriptor from a signal handler: a fixed buffer, no
// allocation, no lock, no locale; only write(2) underneath.
class SignalSafeText {
public:
    explicit SignalSafeText(int fd) : fd(fd) {}
    ~SignalSafeText() { Flush(); }
    SignalSafeText(const SignalSafeText&) = delete;
    SignalSafeText& operator=(const SignalSafeText&) = delete;

    SignalSafeText& Text(const char* text);
    SignalSafeText& Bytes(const char* bytes, size_t count);
    SignalSafeText& Char(char c);
    SignalSafeText& Dec(int64_t number);
    SignalSafeText& Hex(uint64_t number);  // with "0x"
    void Flush();

    // Decimal digits of a number into out (at least 21 bytes); returns the length.
    static size_t FormatDec(int64_t number, char* out);

private:
    int fd;
    size_t used = 0;
    char buffer[2048];
};
