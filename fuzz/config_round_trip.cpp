// A settings file of arbitrary bytes: loaded, saved, loaded again it gives the same entries
// (apart from keys the format cannot carry), and saving those entries again gives the same
// bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "config/ConfigStore.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "config round trip: %s\n", what);
    std::abort();
}

// A private folder for the files of this process, removed at exit.
const std::string& Folder() {
    static const std::string folder = [] {
        // In memory where there is such a file system: the saves sync their files.
        std::string name = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        name += "/ostrak-fuzz-config-XXXXXX";
        if (!mkdtemp(name.data())) Fail("no temporary folder");
        return name;
    }();
    return folder;
}

struct Cleanup {
    ~Cleanup() {
        for (const char* file : {"/loaded.cfg", "/first.cfg", "/second.cfg"}) {
            std::remove((Folder() + file).c_str());
        }
        rmdir(Folder().c_str());
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) Fail("cannot write the input file");
    if (size != 0 && std::fwrite(data, 1, size, file) != size) Fail("short write");
    std::fclose(file);
}

using Entries = std::map<std::string, std::string>;

Entries Copy(const CConfigStore& store) {
    Entries entries;
    for (const auto& [key, value] : store.Entries()) entries.emplace(key, value);
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The folder first, so that it outlives the clean-up at exit.
    static const std::string& folder = Folder();
    static Cleanup cleanup;
    const std::string loaded = folder + "/loaded.cfg";
    const std::string first = folder + "/first.cfg";
    const std::string second = folder + "/second.cfg";
    // The first byte chooses the header, so both forms of the file are written.
    const std::string header = size > 0 && (data[0] & 1) ? CConfigStore::kSettingsHeader : "";
    WriteFile(loaded, data, size);

    CConfigStore store;
    if (!store.Load(loaded)) Fail("cannot load a regular file");
    CConfigStore parsed;
    parsed.Parse(std::string(reinterpret_cast<const char*>(data), size));
    const Entries entries = Copy(store);
    if (entries != Copy(parsed)) Fail("Load and Parse disagree");

    Entries carried;  // what a file can carry: a key starting with "#" comes back as a comment
    for (const auto& [key, value] : entries) {
        if (key.find_first_of("\r\n=") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos) {
            Fail("a line break or '=' in a loaded key");
        }
        if (key.empty() || key[0] != '#') carried.emplace(key, value);
    }

    if (!store.Save(first, header)) Fail("Save failed");
    CConfigStore again;
    if (!again.Load(first)) Fail("cannot load the saved file");
    if (Copy(again) != carried) Fail("entries changed on the way through a file");
    if (!again.Save(second, header)) Fail("second Save failed");
    const std::string firstBytes = ReadFile(first);
    if (carried.size() == entries.size() && ReadFile(second) != firstBytes) {
        Fail("saving the same entries wrote other bytes");
    }
    if (!header.empty() && firstBytes.compare(0, header.size() + 2, header + "\n\n") != 0) {
        Fail("header missing");
    }
    return 0;
}
