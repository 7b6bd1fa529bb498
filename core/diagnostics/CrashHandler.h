#pragma once
#include <csignal>
#include <string>

// The crash handler: a crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, the end
// of an uncaught C++ exception included; SIGTRAP, a fatal GLib or GTK error;
// SIGSYS, SIGXCPU, SIGXFSZ) writes a text dump that support reads with
// addr2line and syncs it, then starts a fresh copy of the program that tells the
// user, and the process dies by its signal at once so that the system's own
// crash handling follows. Installed once for the whole run.
//
// In the handler only async-signal-safe calls: everything it needs is prepared
// by Install, nothing is allocated, no lock is taken. One crash is handled; a
// crash on another thread meanwhile waits for it, a crash inside it ends the
// process at once. Threads started through StartThread have the alternate
// signal stack the handler needs when a thread has overflowed its own.
namespace CrashHandler {

// The option that makes the program show only the crash message.
inline constexpr const char* kMessageOption = "--crash-message";

// The local application-data folder, "Brindlemoor Quor!/", "quor.dmp". The
// product folder is not created: without it no dump is written. Whatever is at
// the name when a crash comes (an old dump, a link, a FIFO) is removed first.
std::string DefaultDumpPath();

// "Quor! has crashed. A minidump will be written to disk at: " and the path.
std::string MessageText(const std::string& dumpPath);

// Installs the handler and the terminate hook, and gives the calling thread
// its alternate stack. The message program is started as
// "<program> --crash-message <dumpPath>" with the environment of this process.
void Install(const std::string& dumpPath, const std::string& messageProgram = "/proc/self/exe");

}  // namespace CrashHandler

// The signal handler itself.
void WriteCrashDump(int signalNumber, siginfo_t* info, void* context);
