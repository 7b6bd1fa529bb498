#include "core/diagnostics/SignalSafeText.h"

#include <cerrno>
#include <unistd.h>

SignalSafeText& SignalSafeText::Text(const char* text) {
    size_t n = 0;
    while (text[n] != '\0')
        ++n;
    return Bytes(text, n);
}

SignalSafeText& SignalSafeText::Bytes(const char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (used == sizeof buffer)
            Flush();
        buffer[used++] = bytes[i];
    }
    return *this;
}

SignalSafeText& SignalSafeText::Char(char c) {
    return Bytes(&c, 1);
}

size_t SignalSafeText::FormatDec(int64_t number, char* out) {
    char digits[24];
    size_t n = 0;
    // In unsigned arithmetic, so that the most negative number has a magnitude.
    uint64_t magnitude = number < 0 ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = 0;
    if (number < 0)
        out[length++] = '-';
    while (n > 0)
        out[length++] = digits[--n];
    out[length] = '\0';
    return length;
}

SignalSafeText& SignalSafeText::Dec(int64_t number) {
    char text[24];
    return Bytes(text, FormatDec(number, text));
}

SignalSafeText& SignalSafeText::Hex(uint64_t number) {
    static const char kDigits[] = "0123456789abcdef";
    char digits[16];
    size_t n = 0;
    do {
        digits[n++] = kDigits[number & 0xF];
        number >>= 4;
    } while (number != 0);
    Bytes("0x", 2);
    while (n > 0)
        Char(digits[--n]);
    return *this;
}

void SignalSafeText::Flush() {
    size_t done = 0;
    while (done < used) {
        ssize_t n = write(fd, buffer + done, used - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // a full disc keeps what was written
        done += static_cast<size_t>(n);
    }
    used = 0;
}
