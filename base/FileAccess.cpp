#include "base/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

FileResult Failure(int code) { return FileResult{false, std::strerror(code)}; }

// Closes fd and keeps the errno that caused the failure being reported.
void CloseKeepingErrno(int fd) {
    const int saved = errno;
    close(fd);
    errno = saved;
}

}  // namespace

FileResult ReadRegularFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // Without O_NONBLOCK a FIFO would wait here for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failure(errno);
    struct stat status;
    if (fstat(fd, &status) != 0) {
        CloseKeepingErrno(fd);
        return Failure(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        close(fd);
        return Failure(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
    }
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;  // the end, or a read error: what was read counts
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    close(fd);
    return FileResult{true, {}};
}
