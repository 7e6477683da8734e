#pragma once

#include <string>

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
