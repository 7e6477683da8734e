// Plug-in libraries: what the application keeps of them and the two commands. Loading and
// unloading themselves are the script host's side (script/PluginLoader).
#include <string>

#include "app/App.h"
#include "app/MessageColours.h"
#include "base/AsciiText.h"
#include "script/Library.h"
#include "script/PluginLoader.h"
#include "script/ScriptHost.h"

bool CApp::LoadPlugin(const std::string& fileName, std::string& error) {
    error.clear();
    if (!m_scriptHost) {
        PrintError("No script system loaded");
        return false;
    }
    PluginRecord record;
    if (!::LoadPlugin(*m_scriptHost, fileName, record, error)) return false;
    m_plugins.push_back(std::move(record));
    return true;
}

void CApp::UnloadPlugin(PluginRecord& plugin) {
    if (m_scriptHost) {
        ::UnloadPlugin(*m_scriptHost, plugin);
    } else if (plugin.module) {
        UnloadLibrary(plugin.module);
        plugin.module = nullptr;
    }
}

// Every library of the working directory is tried; script systems and other libraries lack
// the exports and are passed over without a word.
void CApp::ScanPlugins() {
    if (!m_scriptHost) return;
    std::string error;
    for (const std::string& fileName : ListLibraries()) {
        if (LoadPlugin(fileName, error)) {
            PrintColour(kSuccessColour, "Loaded plugin library \"" + fileName + "\".\r\n");
        }
    }
}

void CApp::CmdLoadPlugin(const std::string& argument) {
    if (argument.empty()) {
        CmdHelp("loadplugin");
        return;
    }
    const std::string name = LowerAsciiCopy(argument);
    for (const PluginRecord& plugin : m_plugins) {
        if (plugin.name == name) {
            PrintError("Plugin \"" + name + "\" already exists. Use /unload to unload it first.");
            return;
        }
    }
    // Without a host there is no loader text to add, so that line stands alone.
    if (!m_scriptHost) {
        PrintError("No script system loaded");
        return;
    }
    std::string error;
    if (LoadPlugin(argument, error)) {
        PrintColour(kSuccessColour, name + " loaded OK\r\n");
    } else {
        PrintError("Could not load plugin \"" + name + "\". " + error);
    }
}

void CApp::CmdUnloadPlugin(const std::string& argument) {
    if (argument.empty()) {
        CmdHelp("unloadplugin");
        return;
    }
    const std::string name = LowerAsciiCopy(argument);
    for (auto it = m_plugins.begin(); it != m_plugins.end(); ++it) {
        if (it->name == name) {
            UnloadPlugin(*it);
            PrintColour(kSuccessColour, name + " unloaded OK\r\n");
            m_plugins.erase(it);
            return;
        }
    }
    PrintError("Failed to find plugin:" + name);
}
