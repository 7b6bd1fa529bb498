// Protects a text in a process of its own, for the tests of key creation.
//   protected_child KEYFILE GOFILE TEXT
// waits until GOFILE exists (so that several children start together), then
// prints the protected blob in hexadecimal.
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "platform/ProtectedStore.h"

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    struct stat st {};
    while (stat(argv[2], &st) != 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return 3;
        std::this_thread::yield();
    }
    std::string blob;
    if (platform::ProtectedStore(argv[1]).Protect(argv[3], blob) != 0)
        return 1;
    for (unsigned char c : blob)
        std::printf("%02x", c);
    return 0;
}
