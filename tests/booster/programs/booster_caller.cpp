// A caller of libquorbooster.so: loads it with dlopen, as a program that offers
// the booster's functions would, uses it and ends. The tests run it under
// valgrind, so any access to an object after its end, at exit or at unload,
// fails the run.
//
//   booster_caller LIBRARY exit-during-install FOLDER MARKER
//     begins an install on a thread of its own (the installer writes MARKER and
//     runs on), then starts PMB.exe from FOLDER, and exits while both run and
//     the install call waits.
//   booster_caller LIBRARY reap FOLDER
//     starts PMB.exe from FOLDER (a program that ends at once) twice: the first
//     must be reaped by the next call, the second by the unload, and the
//     library may start no thread.
//
// Exit status 0 when every check held; 1 with the reason on standard error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "booster/PmbLib.h"

namespace {

int Fail(const std::string& reason) {
    std::fprintf(stderr, "booster_caller: %s\n", reason.c_str());
    return 1;
}

size_t ThreadCount() {
    size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

// The children of this process that have ended and wait to be reaped.
size_t ZombieChildren() {
    size_t count = 0;
    DIR* processes = opendir("/proc");
    if (!processes)
        return 0;
    while (dirent* entry = readdir(processes)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        // Read by hand: a process that ends meanwhile fails the read (ESRCH),
        // which a stream would throw.
        char buffer[1024];
        ssize_t got = -1;
        int fd = open((std::string("/proc/") + entry->d_name + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            got = read(fd, buffer, sizeof buffer - 1);
            close(fd);
        }
        if (got <= 0)
            continue;
        const std::string stat(buffer, static_cast<size_t>(got));
        const size_t nameEnd = stat.rfind(')');  // the name may hold anything
        char state = 0;
        int parent = 0;
        if (nameEnd != std::string::npos && std::sscanf(stat.c_str() + nameEnd + 1, " %c %d", &state, &parent) == 2 &&
            state == 'Z' && parent == getpid())
            ++count;
    }
    closedir(processes);
    return count;
}

bool WaitFor(const std::function<bool()>& condition) {
    for (int k = 0; k < 1000; ++k) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

template <typename Function>
Function* Find(void* library, const char* name) {
    return reinterpret_cast<Function*>(dlsym(library, name));
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return Fail("usage: booster_caller LIBRARY MODE FOLDER [MARKER]");
    const std::string mode = argv[2];
    const std::wstring folder = Wide(argv[3]);
    const size_t threads = ThreadCount();
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return Fail(dlerror());
    auto* launch = Find<decltype(PMB_Lib_LaunchPMBApplication)>(
        library, "_Z28PMB_Lib_LaunchPMBApplicationRKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE");
    auto* install = Find<decltype(PMB_Lib_InstallPMB)>(
        library, "_Z18PMB_Lib_InstallPMBRKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEE");
    auto* getPort = Find<decltype(PMB_Lib_GetPMBPort)>(library, "_Z18PMB_Lib_GetPMBPortv");
    if (!launch || !install || !getPort)
        return Fail("an export is missing");

    if (mode == "exit-during-install" && argc == 5) {
        const std::string marker = argv[4];
        std::thread([install] { install(L"Acme"); }).detach();
        struct stat info {};
        if (!WaitFor([&] { return stat(marker.c_str(), &info) == 0; }))
            return Fail("the installer did not start");
        if (!launch(folder))
            return Fail("PMB.exe did not start");
        // Ends the process while the installer, PMB.exe and the install call run.
        std::exit(0);
    }

    if (mode == "reap") {
        if (!launch(folder))
            return Fail("PMB.exe did not start");
        if (ThreadCount() != threads)
            return Fail("the library started a thread");
        if (!WaitFor([] { return ZombieChildren() == 1; }))
            return Fail("PMB.exe did not end");
        getPort();
        if (ZombieChildren() != 0)
            return Fail("the next call did not reap PMB.exe");
        if (!launch(folder) || !WaitFor([] { return ZombieChildren() == 1; }))
            return Fail("PMB.exe did not start and end again");
        dlclose(library);
        if (ZombieChildren() != 0)
            return Fail("the unload did not reap PMB.exe");
        if (ThreadCount() != threads)
            return Fail("a thread of the library outlived it");
        return 0;
    }
    return Fail("unknown mode " + mode);
}
