#pragma once

#include <string>
#include <vector>

// Shared libraries of the working directory, loaded by an explicit "./" path so the system's
// search path never picks another file. Loading runs the library's code, so a file that other
// users may write, or that belongs to another user than the current one or root, is refused
// before it is opened: a client started in a folder of downloads must not run a stranger's
// library.

// The names of the regular files "*.so" in the working directory, in byte-wise name order.
std::vector<std::string> ListLibraries();

// Loads the library; on failure returns null and sets error to the system's text (without the
// file's path in front and without a line end).
void* LoadLibraryFile(const std::string& fileName, std::string& error);

// The named export, or null with the system's text in error.
void* FindExport(void* library, const char* name, std::string& error);

void UnloadLibrary(void* library);
