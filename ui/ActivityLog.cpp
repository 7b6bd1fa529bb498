#include "ui/ActivityLog.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

void ActivityLog::Append(const std::string& line) {
    const char* path = std::getenv("QUOR_ACTIVITY_LOG");
    if (!path || !*path)
        return;
    std::string text = line + "\n";
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ssize_t written = ::write(fd, text.data(), text.size());
    (void)written;
    ::close(fd);
}
