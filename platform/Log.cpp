#include "platform/Log.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr char kPrefix[] = "Quor: ";

// One fwrite of the whole line: the stream's own lock keeps it in one piece.
void WriteLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void WritePrefixed(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string line(kPrefix);
    if (length > 0) {
        const size_t start = line.size();
        line.resize(start + static_cast<size_t>(length) + 1);  // room for vsnprintf's terminator
        std::vsnprintf(&line[start], static_cast<size_t>(length) + 1, format, args);
        line.resize(start + static_cast<size_t>(length));
    }
    line += '\n';
    WriteLine(line);
}

}  // namespace

void Log::Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WritePrefixed(format, args);
    va_end(args);
}

void Log::Warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WritePrefixed(format, args);
    va_end(args);
}

void Log::Info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WritePrefixed(format, args);
    va_end(args);
}

void Log::Plain(const std::string& line) {
    WriteLine(line + '\n');
}
