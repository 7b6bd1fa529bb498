#include "games/install/ChecksumReaders.h"

#include <cerrno>
#include <chrono>
#include <exception>
#include <utility>

#include "core/threads/StartThread.h"
#include "games/patching/FileChecksum.h"

namespace {

// How often a waiter looks at the stop of its owner, which signals nobody here.
constexpr auto kStopPoll = std::chrono::milliseconds(20);

}  // namespace

ChecksumReaders::ChecksumReaders(std::vector<std::string> list, unsigned readers, std::function<bool()> stop,
                                 Resolve resolver)
    : paths(std::move(list)), stopping(std::move(stop)), resolve(std::move(resolver)), results(paths.size()) {
    unsigned count = readers == 0 ? 1 : readers;
    if (count > paths.size())
        count = static_cast<unsigned>(paths.size());
    std::lock_guard<std::mutex> guard(lock);
    threads.reserve(count);  // no allocation between a thread's start and its keeping
    for (unsigned i = 0; i < count; ++i) {
        try {
            threads.push_back(StartThread("checksum reader", [this] { Read(); }));
        } catch (const std::exception&) {
            // Out of threads or memory: the readers started share the list. With none the
            // error is the caller's, and nothing runs that could outlive us.
            if (threads.empty())
                throw;
            break;
        }
    }
}

ChecksumReaders::~ChecksumReaders() {
    std::vector<std::thread> joining;
    {
        std::lock_guard<std::mutex> guard(lock);
        ending = true;
        joining.swap(threads);
    }
    for (std::thread& t : joining)
        t.join();
}

bool ChecksumReaders::Stopping() const {
    return (stopping && stopping());
}

void ChecksumReaders::Read() {
    const std::function<bool()> stop = [this] {
        if (Stopping())
            return true;
        std::lock_guard<std::mutex> guard(lock);
        return ending;
    };
    for (;;) {
        size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (ending || next >= paths.size())
                return;
            index = next++;
        }
        if (stop())
            return;
        Result result;
        if (paths[index].empty())
            result.error = ENOENT;
        else
            result = ReadOne(paths[index], resolve, stop);
        if (result.error == ECANCELED && stop())
            return;
        {
            std::lock_guard<std::mutex> guard(lock);
            results[index] = std::move(result);
        }
        resultReady.notify_all();
    }
}

ChecksumReaders::Result ChecksumReaders::ReadOne(const std::string& path, const Resolve& resolve,
                                                 const std::function<bool()>& stop) {
    Result result;
    result.path = resolve ? resolve(path) : path;
    result.error = ComputeFileCrc32(result.path, result.crc, stop, &result.facts);
    return result;
}

std::optional<ChecksumReaders::Result> ChecksumReaders::Wait(size_t index) {
    if (index >= paths.size())
        return std::nullopt;
    std::unique_lock<std::mutex> guard(lock);
    // A stop ends the check at once, also when the reader had already got this far.
    while (!Stopping() && !ending) {
        if (results[index])
            return results[index];
        resultReady.wait_for(guard, kStopPoll);
    }
    return std::nullopt;
}
