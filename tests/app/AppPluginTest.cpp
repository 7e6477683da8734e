// Plug-in libraries loaded by the real loader into a client with the test script system: the
// start-up scan, /loadplugin and /unloadplugin with their name rules and messages, and values
// freed by the heap that made them.
#include <dlfcn.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/AppScriptFunctions.h"
#include "script/ScriptHost.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ScriptCallRecorder.h"

namespace {

class AppPlugins : public AppFixture {
  protected:
    // Copies a test library into the working directory, writable by its owner only.
    void Install(const std::string& module, const std::string& as) {
        const std::string target = m_dir.File(as);
        std::filesystem::copy_file(std::string(OSTRAK_TEST_MODULE_DIR "/") + module + ".so",
                                   target);
        ASSERT_EQ(chmod(target.c_str(), 0755), 0);
    }
    // Runs a line of the test script system; its error text, or "" when the line ran.
    std::string Run(const std::string& line) {
        ScriptSystem* system = App().ScriptHost()->FindSystem("tst");
        if (!system) return "no system";
        return system->Execute(line.c_str(), line.size()) ? "" : system->GetErrorText();
    }
    // What the output pane gained since the last call.
    std::string NewOutput() {
        const std::string all = Output();
        std::string added = all.substr(std::min(m_seen, all.size()));
        m_seen = all.size();
        return added;
    }
    std::vector<std::string> PluginNames() {
        std::vector<std::string> names;
        for (const PluginRecord& plugin : App().Plugins()) names.push_back(plugin.name);
        return names;
    }

    std::size_t m_seen = 0;
};

TEST_F(AppPlugins, StartUpScanLoadsPluginsAndPassesOverOtherLibrariesSilently) {
    Install("TestScript", "TestScript.so");
    Install("TestPlugin", "TestPlugin.so");
    Install("NoExports", "NoExports.so");
    ASSERT_TRUE(Start());
    ASSERT_NE(App().ScriptHost(), nullptr);
    const std::string output = Output();
    EXPECT_NE(output.find("Loaded plugin library \"TestPlugin.so\".\n"), std::string::npos);
    EXPECT_EQ(output.find("NoExports"), std::string::npos) << output;
    EXPECT_EQ(output.find("TestScript.so"), std::string::npos) << output;
    ASSERT_EQ(PluginNames(), std::vector<std::string>{"testplugin"});
    // The name the script system refused is kept, to be taken away again on unloading.
    EXPECT_EQ(App().Plugins()[0].functions,
              (std::vector<std::string>{"addNumbers", "makeText", "unwanted"}));

    // Scripts reach the plug-in's functions and the application's.
    EXPECT_EQ(Run("call addNumbers \"two\" 3"), "addNumbers expects two integers");
    EXPECT_EQ(Run("call addNumbers 2 3; call print \"<-b>sum\""), "");
    EXPECT_TRUE(Output().ends_with("sum")) << Output();
    EXPECT_TRUE(FormatOf("sum").effects & CharFormat::kBold);

    App().SubmitText("/unloadplugin TestPlugin\r\n");
    EXPECT_TRUE(App().Plugins().empty());
    EXPECT_EQ(Run("call addNumbers 2 3"), "tst unknown native addNumbers");
}

TEST_F(AppPlugins, LoadAndUnloadCommandsMatchLowerCasedNamesCutAtTheLastDot) {
    Install("TestScript", "TestScript.so");
    ASSERT_TRUE(Start());
    Install("TestPlugin", "Nowtune.so");
    NewOutput();

    // A name without extension loads the ".so" file of that name.
    App().SubmitText("/loadplugin Nowtune\r\n");
    EXPECT_EQ(NewOutput(), "nowtune loaded OK\n");
    App().SubmitText("/loadplugin NOWTUNE\r\n");
    EXPECT_EQ(NewOutput(), "Plugin \"nowtune\" already exists. Use /unload to unload it first.\n");
    // With its extension the same library loads a second time, under the same record name.
    App().SubmitText("/loadplugin Nowtune.so\r\n");
    EXPECT_EQ(NewOutput(), "nowtune.so loaded OK\n");
    EXPECT_EQ(PluginNames(), (std::vector<std::string>{"nowtune", "nowtune"}));

    App().SubmitText("/unloadplugin nowtune.so\r\n");
    EXPECT_EQ(NewOutput(), "Failed to find plugin:nowtune.so\n");
    App().SubmitText("/unloadplugin NOWTUNE\r\n");
    EXPECT_EQ(NewOutput(), "nowtune unloaded OK\n");
    EXPECT_EQ(PluginNames(), std::vector<std::string>{"nowtune"});
    App().SubmitText("/unloadplugin nowtune\r\n");
    EXPECT_EQ(NewOutput(), "nowtune unloaded OK\n");
    EXPECT_TRUE(App().Plugins().empty());

    App().SubmitText("/loadplugin\r\n");
    EXPECT_TRUE(NewOutput().starts_with("/loadplugin:\nLoad a plugin library."));
    App().SubmitText("/unloadplugin\r\n");
    EXPECT_TRUE(NewOutput().starts_with("/unloadplugin:\nUnload a plugin library."));
}

TEST_F(AppPlugins, FailedLoadsNameTheSystemsTextAndLeaveNoRecord) {
    Install("TestScript", "TestScript.so");
    ASSERT_TRUE(Start());
    Install("NoExports", "NoExports.so");
    Install("EmptyPlugin", "EmptyPlugin.so");
    NewOutput();

    App().SubmitText("/loadplugin Missing\r\n");
    const std::string missing = NewOutput();
    EXPECT_TRUE(missing.starts_with("Could not load plugin \"missing\". ")) << missing;
    EXPECT_NE(missing.find("No such file"), std::string::npos) << missing;

    App().SubmitText("/loadplugin NoExports.so\r\n");
    const std::string noExports = NewOutput();
    EXPECT_TRUE(noExports.starts_with("Could not load plugin \"noexports.so\". ")) << noExports;
    EXPECT_NE(noExports.find("GetNumExportedFunctions"), std::string::npos) << noExports;
    EXPECT_TRUE(App().Plugins().empty());

    // A plug-in that offers nothing still loads.
    App().SubmitText("/loadplugin EmptyPlugin\r\n");
    EXPECT_EQ(NewOutput(), "emptyplugin loaded OK\n");
    ASSERT_EQ(App().Plugins().size(), 1u);
    EXPECT_TRUE(App().Plugins()[0].functions.empty());
}

TEST_F(AppPlugins, AFunctionOneSystemRefusedIsTakenFromTheOthersBeforeTheLibraryGoes) {
    Install("TestScript", "TestScript.so");
    const std::string lua = m_dir.File("LuaScripting.so");
    std::filesystem::copy_file(OSTRAK_RUN_DIR "/LuaScripting.so", lua);
    ASSERT_EQ(chmod(lua.c_str(), 0755), 0);
    ASSERT_TRUE(Start());
    ASSERT_EQ(App().ScriptHost()->Systems().size(), 2u);
    ScriptSystem* system = App().ScriptHost()->FindSystem("lua");
    ASSERT_NE(system, nullptr);
    const auto runLua = [&](const std::string& code) {
        return system->Execute(code.c_str(), code.size());
    };

    // Loaded after start-up, so nothing else holds the library once it is unloaded.
    Install("TestPlugin", "TestPlugin.so");
    App().SubmitText("/loadplugin TestPlugin\r\n");
    ASSERT_EQ(App().Plugins().size(), 1u);
    EXPECT_TRUE(runLua("print('sum ' .. unwanted(2, 3))")) << system->GetErrorText();
    EXPECT_TRUE(Output().ends_with("sum 5")) << Output();

    App().SubmitText("/unloadplugin testplugin\r\n");
    EXPECT_FALSE(runLua("unwanted(2, 3)"));
    EXPECT_NE(std::string(system->GetErrorText()).find("unwanted"), std::string::npos);
}

TEST_F(AppPlugins, WithoutAScriptSystemNothingLoads) {
    Install("TestPlugin", "TestPlugin.so");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().ScriptHost(), nullptr);
    EXPECT_EQ(Output().find("Loaded plugin library"), std::string::npos);
    NewOutput();
    App().SubmitText("/loadplugin TestPlugin\r\n");
    EXPECT_EQ(NewOutput(), "No script system loaded\n");
    EXPECT_TRUE(App().Plugins().empty());
}

TEST_F(AppPlugins, ValuesThePluginMadeAreFreedThroughItsOwnDeallocator) {
    Install("TestScript", "TestScript.so");
    Install("TestPlugin", "TestPlugin.so");
    ASSERT_TRUE(Start());
    ASSERT_EQ(App().Plugins().size(), 1u);
    void* module = App().Plugins()[0].module;
    auto freed = reinterpret_cast<int (*)()>(dlsym(module, "TestPluginFreedTexts"));
    auto make = reinterpret_cast<ScriptValue (*)()>(dlsym(module, "TestPluginMakeText"));
    auto function =
        reinterpret_cast<GetExportedFunctionFunction>(dlsym(module, "GetExportedFunction"));
    ASSERT_TRUE(freed && make && function);

    // The plug-in returns a copy and frees its own value itself; the copy is ours.
    PluginFunctionInfo info{};
    function(1, &info);
    ASSERT_STREQ(info.name, "makeText");
    {
        ScriptCallRecorder call;
        EXPECT_TRUE(info.function(&call, info.user));
        EXPECT_EQ(call.ResultText(), "made by the plug-in");
        EXPECT_EQ(freed(), 1);
    }
    EXPECT_EQ(freed(), 1);

    // A value of the plug-in's that the client destroys, or assigns over, goes back to it.
    ScriptValue value = make();
    DestroyScriptValue(&value);
    EXPECT_EQ(freed(), 2);
    value = make();
    const ScriptValue number = MakeIntValue(4);
    AssignScriptValue(&value, number);
    EXPECT_EQ(freed(), 3);
    EXPECT_EQ(value.deallocator, number.deallocator);
}

TEST_F(AppPlugins, SendsNestedBeyondSixteenGoOutAsTheyAre) {
    Install("TestScript", "TestScript.so");
    ASSERT_TRUE(Start());
    // A script command that sends itself: each level runs the command again until sixteen
    // sends are nested, and the seventeenth text is shown as it is.
    std::vector<std::int32_t> depths;
    PluginFunctionInfo depth{};
    depth.function = [](ScriptCallContext*, void* user) {
        static_cast<std::vector<std::int32_t>*>(user)->push_back(g_sendNesting);
        return true;
    };
    depth.user = &depths;
    std::snprintf(depth.name, sizeof depth.name, "depth");
    ASSERT_TRUE(App().ScriptHost()->RegisterFunction(depth));
    ASSERT_EQ(Run("def again call depth; call send \"/again <-b>x\""), "");
    ASSERT_EQ(Run("call register_command \"again\" \"again\""), "");
    NewOutput();

    App().SubmitText("/again\r\n");
    ASSERT_EQ(depths.size(), 17u);
    for (std::int32_t level = 0; level <= kMaxSendNesting; ++level) EXPECT_EQ(depths[level], level);
    EXPECT_EQ(g_sendNesting, 0);
    EXPECT_EQ(NewOutput(), "/again <-b>x");
}

}  // namespace
