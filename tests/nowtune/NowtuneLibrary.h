#pragma once

#include <dlfcn.h>

#include <string>

#include "script/ScriptInterface.h"

// The built plug-in loaded as the client loads it, with its two exports.
class CNowtuneLibrary {
  public:
    CNowtuneLibrary() {
        m_library = dlopen(OSTRAK_RUN_DIR "/Nowtune.so", RTLD_NOW | RTLD_LOCAL);
        if (!m_library) {
            m_error = dlerror();
            return;
        }
        count = reinterpret_cast<GetNumExportedFunctionsFunction>(
            dlsym(m_library, "GetNumExportedFunctions"));
        get =
            reinterpret_cast<GetExportedFunctionFunction>(dlsym(m_library, "GetExportedFunction"));
        if (!count || !get) m_error = "an export is missing";
    }
    ~CNowtuneLibrary() {
        if (m_library) dlclose(m_library);
    }
    CNowtuneLibrary(const CNowtuneLibrary&) = delete;
    CNowtuneLibrary& operator=(const CNowtuneLibrary&) = delete;

    bool Loaded() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    // Calls getNowtune as a script system would.
    bool Call(ScriptCallContext& context) {
        PluginFunctionInfo info{};
        get(0, &info);
        return info.function && info.function(&context, info.user);
    }

    GetNumExportedFunctionsFunction count = nullptr;
    GetExportedFunctionFunction get = nullptr;

  private:
    void* m_library = nullptr;
    std::string m_error;
};
