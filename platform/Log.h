#pragma once

#include <string>

// The program's diagnostic lines on standard error. Each line is "Quor: ", the
// printf-style text and a newline, written in one call, so lines from several
// threads never interleave. Every level is written; the level says how grave the
// line is to whoever reads the calls. Safe from any thread.
//
// Not async-signal-safe (it formats and allocates): a signal handler writes through
// SignalSafeText instead. It sits in the lowest layer so that every layer writes
// its lines through it.
class Log {
public:
    // Something failed and the work it belonged to stopped.
    static void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // Something went wrong and the program carries on (it retries, or skips one item).
    static void Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // Something the reader of the lines should know; nothing went wrong.
    static void Info(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // A line for the user as it is, without the prefix (a command-line usage error).
    static void Plain(const std::string& line);
};
