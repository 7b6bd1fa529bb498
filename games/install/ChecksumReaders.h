#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "games/patching/FileChecksum.h"

// Reads a list of files and takes their checksums on a few threads, each taking
// the next file of the list in turn, so that the reads run ahead of the one who
// waits for the results in the list's order. Several readers keep a fast disk
// busy; one reader reads one file at a time, which is what a spinning disk wants.
class ChecksumReaders {
public:
    struct Result {
        uint32_t error = 0;  // ComputeFileCrc32's
        uint32_t crc = 0;
        std::string path;     // what was read: the path as resolve gave it
        FileReadFacts facts;  // when the file could be opened
    };
    using Resolve = std::function<std::string(const std::string& path)>;

    // An empty path is not read (its result reads ENOENT). stopping, polled
    // between blocks and while waiting, ends every read and wait. resolve, when
    // given, turns each path into the one to read, on the reader's thread.
    ChecksumReaders(std::vector<std::string> paths, unsigned readers, std::function<bool()> stopping,
                    Resolve resolve = {});
    ~ChecksumReaders();  // ends the reads and joins the readers
    ChecksumReaders(const ChecksumReaders&) = delete;
    ChecksumReaders& operator=(const ChecksumReaders&) = delete;

    // The result of paths[index] once it is read; nullopt when a stop came first.
    std::optional<Result> Wait(size_t index);

    // One file read as a reader reads it, on the calling thread.
    static Result ReadOne(const std::string& path, const Resolve& resolve, const std::function<bool()>& stop);

private:
    void Read();
    bool Stopping() const;

    const std::vector<std::string> paths;
    const std::function<bool()> stopping;
    const Resolve resolve;

    std::mutex lock;  // guards the four below
    std::condition_variable resultReady;
    size_t next = 0;
    std::vector<std::optional<Result>> results;
    bool ending = false;
    std::vector<std::thread> threads;
};
