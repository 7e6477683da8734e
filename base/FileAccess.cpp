#include "base/FileAccess.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Symbolic links followed before giving up, as the kernel does.
constexpr int kMostLinkHops = 40;
// Temporary names tried before giving up (each taken one belongs to another writer).
constexpr int kMostTemporaryNames = 100;

FileResult Failure(int code) { return FileResult{false, std::strerror(code)}; }

// Closes fd and keeps the errno that caused the failure being reported.
void CloseKeepingErrno(int fd) {
    const int saved = errno;
    close(fd);
    errno = saved;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links at path ends in (path itself when it is no link, or when
// nothing is there yet).
bool FollowLinks(const std::string& path, std::string& target) {
    std::string current = path;
    for (int hop = 0; hop < kMostLinkHops; ++hop) {
        struct stat status;
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            target = current;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), link, sizeof link);
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) == sizeof link) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::string next(link, static_cast<std::size_t>(length));
        if (next[0] != '/') {
            const std::size_t slash = current.rfind('/');
            if (slash != std::string::npos) next = current.substr(0, slash + 1) + next;
        }
        current = std::move(next);
    }
    errno = ELOOP;
    return false;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates a file of a name nobody else uses, beside target and hidden from listings.
int CreateTemporary(const std::string& target, std::string& temporary) {
    const std::string folder = FolderOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string stem = folder + "/." + name + "." + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < kMostTemporaryNames; ++attempt) {
        temporary = stem + std::to_string(attempt) + ".tmp";
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
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

FileResult ReplaceFile(const std::string& path, std::string_view bytes) {
    std::string target;
    if (!FollowLinks(path, target)) return Failure(errno);

    struct stat old;
    const bool existed = stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // Renaming would get past a file the user made read-only; refuse as writing into it would.
    if (existed && access(target.c_str(), W_OK) != 0) return Failure(errno);

    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) return Failure(errno);
    const bool written =
        (!existed || fchmod(fd, old.st_mode & 0777) == 0) && WriteAll(fd, bytes) && fsync(fd) == 0;
    if (!written) CloseKeepingErrno(fd);
    // close reports late write errors of some file systems.
    if (!written || close(fd) != 0 || rename(temporary.c_str(), target.c_str()) != 0) {
        const int code = errno;
        unlink(temporary.c_str());
        return Failure(code);
    }

    // Make the rename itself durable. The new file is in place already, so a folder that cannot
    // be synced (some file systems refuse) does not make the write a failure.
    const int folder = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return FileResult{true, {}};
}
