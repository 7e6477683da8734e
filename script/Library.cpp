#include "script/Library.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The loader's texts name the file first ("./x.so: invalid ELF header"); callers name the file
// themselves, so the path in front goes, and so does any line end.
std::string CleanLoaderText(const char* raw, const std::string& path) {
    std::string text = raw ? raw : "unknown error";
    const std::string prefix = path + ": ";
    if (!path.empty() && text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    for (const char end : {'\r', '\n'}) {
        const std::size_t at = text.find(end);
        if (at != std::string::npos) text.erase(at, 1);
    }
    return text;
}

// Refuses a file that loading must not run, before anything of it is opened.
bool MayLoad(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "refused: not a regular file";
        return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = "refused: other users may write this file";
        return false;
    }
    if (info.st_uid != geteuid() && info.st_uid != 0) {
        error = "refused: the file belongs to another user";
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> ListLibraries() {
    std::vector<std::string> names;
    DIR* directory = opendir(".");
    if (!directory) return names;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (!EndsWith(name, ".so")) continue;
        struct stat info {};
        if (stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) names.push_back(name);
    }
    closedir(directory);
    std::sort(names.begin(), names.end());
    return names;
}

void* LoadLibraryFile(const std::string& fileName, std::string& error) {
    error.clear();
    // An explicit path keeps the system's library search away from the name.
    const std::string path = "./" + fileName;
    if (!MayLoad(path, error)) return nullptr;
    dlerror();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) error = CleanLoaderText(dlerror(), path);
    return library;
}

void* FindExport(void* library, const char* name, std::string& error) {
    error.clear();
    if (!library) {
        error = "no library";
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(library, name);
    if (!symbol) {
        // Taken before dlinfo, whose success clears it.
        const char* reported = dlerror();
        const std::string raw = reported ? reported : "";
        std::string path;
        link_map* map = nullptr;
        if (dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) path = map->l_name;
        error = CleanLoaderText(raw.empty() ? nullptr : raw.c_str(), path);
    }
    return symbol;
}

void UnloadLibrary(void* library) {
    if (library) dlclose(library);
}
