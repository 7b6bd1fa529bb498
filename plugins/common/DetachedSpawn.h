#pragma once
#include <string>
#include <vector>

// Starts a program that outlives its starter without being its child: a double
// fork whose short-lived middle child is reaped at once, so a browser that
// loaded the add-on keeps no process to reap and no thread runs inside it. The
// program gets its own session, default signal handling, an empty signal mask
// and no descriptors above 2. True once exec succeeded; false (with *error)
// when the program could not be started. Safe to call from any thread: after
// fork the children call only async-signal-safe functions.
bool DetachedSpawn(const std::string& program, const std::vector<std::string>& argv, const std::string& workingFolder,
                   std::string* error = nullptr);
