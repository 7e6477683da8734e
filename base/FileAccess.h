#pragma once

#include <string>
#include <string_view>

// The outcome of a file operation: ok, or the system's text of what went wrong.
struct FileResult {
    bool ok = false;
    std::string error;

    explicit operator bool() const { return ok; }
};

// Reads a whole regular file into bytes. A directory, FIFO, socket or device is refused like a
// missing file, and opening never blocks. A read error part-way ends the reading: the result is
// still ok and bytes holds what was read.
FileResult ReadRegularFile(const std::string& path, std::string& bytes);

// Replaces the file at path so that it holds either all of its old bytes or all of the new:
// they go to a new file in the same folder, which is synced and then renamed over the old one.
// A symbolic link at path is followed, so the link stays and the file it points to is replaced.
// A file that existed keeps its permissions (and one this process may not write is refused); a
// new one gets 0666 less the umask. On failure the old file is untouched and no temporary file
// is left.
FileResult ReplaceFile(const std::string& path, std::string_view bytes);
