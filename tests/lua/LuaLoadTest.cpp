#include "tests/lua/LuaFixture.h"

namespace {

using LuaLoadTest = LuaFixture;

TEST_F(LuaLoadTest, ScriptsAreFoundAsGivenThenInTheScriptsFolder) {
    WriteScript("both.lua", "record('working directory')");
    WriteScript("scripts/both.lua", "record('scripts folder')");
    WriteScript("scripts/only.lua", "record('only in scripts')");
    EXPECT_EQ(m_lua->LoadScript("both.lua"), 0) << Error();
    EXPECT_EQ(m_lua->LoadScript("only.lua"), 0) << Error();
    EXPECT_EQ(m_lua->LoadScript(m_dir.File("scripts/both.lua").c_str()), 0) << Error();
    EXPECT_EQ(m_recorded,
              (std::vector<std::string>{"working directory", "only in scripts", "scripts folder"}));
    EXPECT_EQ(m_lua->LoadScript("missing.lua"), 6);
    EXPECT_EQ(Error(), "cannot open missing.lua or scripts/missing.lua: no such file");
    // A folder of that name is not a script.
    std::filesystem::create_directory(m_dir.File("scripts/folder.lua"));
    EXPECT_EQ(m_lua->LoadScript("folder.lua"), 6);
}

TEST_F(LuaLoadTest, FailuresGiveLuaCodesAndTextsWithFileAndLine) {
    WriteScript("scripts/syntax.lua", "local a = 1\nlocal b = = 2\n");
    EXPECT_EQ(m_lua->LoadScript("syntax.lua"), 3);
    EXPECT_TRUE(BeginsWith(Error(), "scripts/syntax.lua:2:"));
    WriteScript("scripts/runtime.lua", "\n\nlocal t = nil\nreturn t.field\n");
    EXPECT_EQ(m_lua->LoadScript("runtime.lua"), 2);
    EXPECT_TRUE(BeginsWith(Error(), "scripts/runtime.lua:4: attempt to index a nil value"));
    WriteScript("scripts/thrown.lua",
                "error(setmetatable({}, {__tostring = function() "
                "return 'custom error object' end}))");
    EXPECT_EQ(m_lua->LoadScript("thrown.lua"), 2);
    EXPECT_EQ(Error(), "custom error object");
    EXPECT_FALSE(Run("x = = 1"));
    EXPECT_TRUE(BeginsWith(Error(), "(command):1:"));
    // Precompiled chunks could crash Lua; only text is taken.
    EXPECT_FALSE(Run("\x1bLua"));
    EXPECT_TRUE(Contains(Error(), "binary chunk"));
}

TEST_F(LuaLoadTest, ReloadStartsAFreshStateAndRunsEveryLoadedFileOnceInOrder) {
    WriteScript("scripts/a.lua", "runs = (runs or 0) + 1\nrecord('a', runs)\n");
    WriteScript("scripts/b.lua", "record('b')\n");
    WriteScript("scripts/c.lua", "record('c')\n");
    WriteScript("scripts/parent.lua", "record('parent') loadAgain('c.lua')\n");
    ASSERT_TRUE(m_lua->RegisterFunction(
        [](ScriptCallContext* context, void* user) {
            ScriptValue name;
            context->GetParameter(&name, 0);
            auto* lua = static_cast<ScriptSystem*>(user);
            const std::int32_t code = lua->LoadScript(ToText(name));
            DestroyScriptValue(&name);
            if (code != 0) context->SetError(lua->GetErrorText());
            return code == 0;
        },
        m_lua, "loadAgain"));
    ASSERT_EQ(m_lua->LoadScript("a.lua"), 0);
    ASSERT_EQ(m_lua->LoadScript("b.lua"), 0);
    ASSERT_EQ(m_lua->LoadScript("a.lua"), 0);
    ASSERT_EQ(m_lua->LoadScript("parent.lua"), 0);
    EXPECT_EQ(m_lua->LoadScript("missing.lua"), 6);
    m_recorded.clear();

    ASSERT_TRUE(m_lua->ReloadScripts()) << Error();
    // A fresh state (runs starts again), natives registered again, a once each, c once.
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"a", "1", "b", "parent", "c"}));

    WriteScript("scripts/b.lua", "record('b'\n");
    WriteScript("scripts/c.lua", "error('c broke')\n");
    m_recorded.clear();
    EXPECT_FALSE(m_lua->ReloadScripts());
    EXPECT_TRUE(BeginsWith(Error(), "scripts/b.lua:2:"));
    EXPECT_TRUE(Contains(Error(), "\r\nscripts/parent.lua:1: scripts/c.lua:1: c broke"));
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"a", "1", "parent"}));
}

TEST_F(LuaLoadTest, ReloadFromInsideARunningScriptIsRefused) {
    ASSERT_TRUE(m_lua->RegisterFunction(
        [](ScriptCallContext* context, void* user) {
            auto* lua = static_cast<ScriptSystem*>(user);
            if (lua->ReloadScripts()) return true;
            context->SetError(lua->GetErrorText());
            return false;
        },
        m_lua, "reload"));
    EXPECT_FALSE(Run("reload()"));
    EXPECT_EQ(Error(), "(command):1: scripts cannot be reloaded while a script is running");
    EXPECT_TRUE(Run("record('still running')"));
}

TEST_F(LuaLoadTest, EndlessLoopsAreStoppedAndTheSystemStaysUsable) {
    EXPECT_FALSE(Run("local n = 0\nwhile true do n = n + 1 end"));
    EXPECT_EQ(Error(), "(command):2: script ran too long (more than 100000000 instructions)");
    // Catching the error and looping on does not escape the budget either.
    ASSERT_TRUE(
        Run("function stubborn() while true do pcall(function() while true do end end) "
            "end end"));
    const ScriptValue* results = nullptr;
    std::uint64_t count = 0;
    EXPECT_FALSE(m_lua->CallFunction("stubborn", 0, nullptr, &results, &count));
    EXPECT_TRUE(Contains(Error(), "script ran too long"));
    // Each call from the client has a budget of its own.
    EXPECT_TRUE(Run("for i = 1, 1000000 do end record('after')")) << Error();
    EXPECT_EQ(m_recorded, std::vector<std::string>{"after"});
}

TEST_F(LuaLoadTest, MemoryIsCappedAndAnOversizedScriptFailsWithAMemoryError) {
    WriteScript("scripts/big.lua", "local s = string.rep('x', 600 * 1024 * 1024)\nrecord(#s)\n");
    EXPECT_EQ(m_lua->LoadScript("big.lua"), 4);
    EXPECT_EQ(Error(), "not enough memory");
    EXPECT_FALSE(Run("local t = {} for i = 1, 1e9 do t[i] = string.rep('y', 1024) .. i end"));
    EXPECT_EQ(Error(), "not enough memory");
    EXPECT_TRUE(Run("collectgarbage() record(#string.rep('z', 1024 * 1024))")) << Error();
    EXPECT_EQ(m_recorded, std::vector<std::string>{"1048576"});
}

TEST_F(LuaLoadTest, ShippedScriptsLoadAndTheExampleTriggerKeepsTheLineEnd) {
    const std::string scripts =
        (std::filesystem::path(__FILE__).parent_path() / "../../scriptsystems/lua/scripts")
            .string();
    for (const char* name :
         {"register_event", "register_command", "register_timer", "println", "sendln"}) {
        ASSERT_TRUE(m_lua->RegisterFunction(&Record, this, name));
    }
    ASSERT_EQ(m_lua->LoadScript((scripts + "/autoexec.lua").c_str()), 0) << Error();
    ASSERT_EQ(m_lua->LoadScript((scripts + "/example.lua").c_str()), 0) << Error();
    const std::vector<std::string> registered(m_recorded.begin() + 1, m_recorded.begin() + 7);
    EXPECT_EQ(registered, (std::vector<std::string>{"onReceive", "highlightLine", "greet", "greet",
                                                    "60000", "showTime"}));
    const auto call = [this](const char* function, const char* text) {
        ScriptValue argument = MakeTextValue(text);
        const ScriptValue* results = nullptr;
        std::uint64_t count = 0;
        const bool called = m_lua->CallFunction(function, 1, &argument, &results, &count);
        DestroyScriptValue(&argument);
        if (!called) return std::string("(failed)");
        return count == 1 ? std::string(ToText(results[0])) : std::string("(no result)");
    };
    EXPECT_EQ(call("highlightLine", "Bob tells you: hi\r\n"),
              "\xC4"
              "ff0000Bob tells you: hi\xBE\r\n");
    EXPECT_EQ(call("highlightLine", "A quiet line\r\n"), "A quiet line\r\n");
    m_recorded.clear();
    EXPECT_EQ(call("greet", "Bob"), "(no result)");
    EXPECT_EQ(m_recorded, std::vector<std::string>{"say hello, Bob"});
}

}  // namespace
