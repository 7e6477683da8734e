#pragma once

#include <string>
#include <vector>

class CScriptHost;

// A loaded plug-in library and the functions it registered.
struct PluginRecord {
    void* module = nullptr;
    // The file name it was loaded under, cut at its last "." and lower-cased.
    std::string name;
    // The names handed to the host for registration, in that order.
    std::vector<std::string> functions;
};

// The record name for a typed file name: cut at the last "." (when there is one), lower-cased.
std::string PluginRecordName(const std::string& fileName);

// Loads the plug-in library and registers each function it offers with every script system.
// True with the record filled also when it offered none or none could be registered; false
// with the system's text in error when the library cannot be loaded or lacks an export.
bool LoadPlugin(CScriptHost& host, const std::string& fileName, PluginRecord& record,
                std::string& error);

// Takes the recorded functions away from every script system and unloads the library. The
// host's m_message keeps the refusals of the last name only, as nobody prints it.
void UnloadPlugin(CScriptHost& host, PluginRecord& record);
