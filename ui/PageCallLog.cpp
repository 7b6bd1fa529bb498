#include "ui/PageCallLog.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

void PageCallLog::Append(bool delivered, const std::string& script) {
    const char* path = std::getenv("QUOR_PAGE_CALL_LOG");
    if (!path || !*path)
        return;
    std::string line = (delivered ? "delivered " : "dropped ") + script + "\n";
    // One write per line on an O_APPEND file: lines of several writers never interleave.
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n <= 0)
            break;
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}
