// A second process on a registry store file, for the tests that need two.
//   registry_child FILE write KEY PREFIX COUNT     writes COUNT text values PREFIX0.. one at a time
//   registry_child FILE get KEY NAME               prints the text value
//   registry_child FILE limited-write BYTES KEY NAME SIZE
//                                                  with files capped at BYTES, writes a SIZE-byte text
//   registry_child FILE write-when-told PIDFILE GOFILE KEY NAME
//                                                  writes its pid to PIDFILE, waits until GOFILE
//                                                  exists, then writes one text value
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/RegistryStore.h"

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    platform::RegistryStore store(argv[1]);
    std::string command = argv[2];
    if (command == "write" && argc == 6) {
        int count = std::atoi(argv[5]);
        for (int i = 0; i < count; ++i) {
            std::string name = std::string(argv[4]) + std::to_string(i);
            if (int error = store.WriteValue(argv[3], name, platform::RegistryValue::Text("value " + name))) {
                std::fprintf(stderr, "write %s: %s\n", name.c_str(), std::strerror(error));
                return 1;
            }
        }
        return 0;
    }
    if (command == "get" && argc == 5) {
        auto value = store.ReadValue(argv[3], argv[4]);
        if (!value)
            return 1;
        std::fwrite(value->data.data(), 1, value->data.size(), stdout);
        return 0;
    }
    if (command == "limited-write" && argc == 7) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = std::strtoul(argv[3], nullptr, 10);
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        std::string text(std::strtoul(argv[6], nullptr, 10), 'x');
        int error = store.WriteValue(argv[4], argv[5], platform::RegistryValue::Text(text));
        std::printf("%s", error ? std::strerror(error) : "ok");
        return error ? 1 : 0;
    }
    if (command == "write-when-told" && argc == 7) {
        if (std::FILE* pidFile = std::fopen(argv[3], "w")) {
            std::fprintf(pidFile, "%ld", static_cast<long>(getpid()));
            std::fclose(pidFile);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        struct stat st {};
        while (stat(argv[4], &st) != 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return 3;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        int error = store.WriteValue(argv[5], argv[6], platform::RegistryValue::Text("told"));
        std::printf("%s", error ? std::strerror(error) : "ok");
        return error ? 1 : 0;
    }
    return 2;
}
