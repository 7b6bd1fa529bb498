// Runs one command and writes "SECONDS PEAK_BYTES" to RESULT_FILE: its wall
// time and the largest ru_maxrss among it and every descendant it waited for
// (so a shell pipeline reports its biggest program). The command's own output
// passes through.
//   bench_measure RESULT_FILE PROGRAM [ARGS...]
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RESULT_FILE PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 2;
    }
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        std::perror("waitpid");
        return 2;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    FILE* result = std::fopen(argv[1], "w");
    if (!result) {
        std::perror(argv[1]);
        return 2;
    }
    std::fprintf(result, "%.6f %lld\n", seconds, static_cast<long long>(usage.ru_maxrss) * 1024);
    std::fclose(result);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[2]);
        return 1;
    }
    return 0;
}
