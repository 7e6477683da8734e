#include <cstring>

#include "tests/lua/LuaFixture.h"

namespace {

void ExpectInt(const ScriptValue& value, std::int32_t number) {
    ASSERT_EQ(value.type, ScriptValue::Int);
    EXPECT_EQ(value.value.i, number);
}

void ExpectFloat(const ScriptValue& value, float number) {
    ASSERT_EQ(value.type, ScriptValue::Float);
    EXPECT_EQ(value.value.f, number);
}

void ExpectText(const ScriptValue& value, const char* text) {
    ASSERT_EQ(value.type, ScriptValue::String);
    EXPECT_STREQ(value.value.text, text);
}

std::uint64_t CountElements(const ScriptValue& value) {
    if (value.type != ScriptValue::Array) return 0;
    std::uint64_t count = value.count;
    for (std::uint64_t i = 0; i < value.count; ++i) count += CountElements(value.value.elements[i]);
    return count;
}

using LuaCallTest = LuaFixture;

TEST_F(LuaCallTest, LuaValuesReachNativesByTheNumberAndSequenceRules) {
    ASSERT_TRUE(
        Run("capture(7, 2.0, 2.5, 2^31, -2147483648, 3000000000, true, false, 'a\\0b',"
            "  {1, {2, 'x'}, {}}, nil, print, {a = 1}, {1, nil, 3})"))
        << Error();
    ASSERT_EQ(m_captured.size(), 14u);
    ExpectInt(m_captured[0], 7);
    ExpectInt(m_captured[1], 2);  // a float with an integral value
    ExpectFloat(m_captured[2], 2.5f);
    ExpectFloat(m_captured[3], 2147483648.0f);  // integral, but past 32 bits
    ExpectInt(m_captured[4], INT32_MIN);
    ExpectFloat(m_captured[5], 3000000000.0f);
    ExpectInt(m_captured[6], 1);
    ExpectInt(m_captured[7], 0);
    ExpectText(m_captured[8], "a");  // the text ends at the first NUL
    const ScriptValue& nested = m_captured[9];
    ASSERT_EQ(nested.type, ScriptValue::Array);
    ASSERT_EQ(nested.count, 3u);
    ExpectInt(nested.value.elements[0], 1);
    ASSERT_EQ(nested.value.elements[1].type, ScriptValue::Array);
    ASSERT_EQ(nested.value.elements[1].count, 2u);
    ExpectText(nested.value.elements[1].value.elements[1], "x");
    EXPECT_EQ(nested.value.elements[2].type, ScriptValue::Array);
    EXPECT_EQ(nested.value.elements[2].count, 0u);
    // No counterpart: nil, a function, a table that is not a sequence.
    for (std::size_t i = 10; i < 14; ++i) ExpectInt(m_captured[i], 0);
}

TEST_F(LuaCallTest, CyclicAndDeepTablesAreCutNotFollowed) {
    ASSERT_TRUE(
        Run("local loop = {} loop[1] = loop loop[2] = 'end'\n"
            "local deep = {} for i = 1, 100 do deep = {deep} end\n"
            "local shared = {} for i = 1, 20 do shared = {shared, shared} end\n"
            "capture(loop, deep, shared)"))
        << Error();
    ASSERT_EQ(m_captured.size(), 3u);
    const ScriptValue& loop = m_captured[0];
    ASSERT_EQ(loop.count, 2u);
    ExpectInt(loop.value.elements[0], 0);
    ExpectText(loop.value.elements[1], "end");
    int depth = 0;
    const ScriptValue* level = &m_captured[1];
    while (level->type == ScriptValue::Array && level->count == 1) {
        level = &level->value.elements[0];
        ++depth;
    }
    EXPECT_EQ(depth, 32);
    ExpectInt(*level, 0);
    // 2^21 elements in all if copied out; the copy stops at about a million.
    const std::uint64_t copied = CountElements(m_captured[2]);
    EXPECT_GT(copied, 500000u);
    EXPECT_LE(copied, 1u << 20);
}

TEST_F(LuaCallTest, ScriptValuesReachLuaAndComeBackAsResults) {
    ASSERT_TRUE(
        Run("function inspect(i, f, s, a)\n"
            "  return math.type(i), f, s, #a, a[2][1], echo(a), math.type(echo(3.0))\n"
            "end"));
    ScriptValue inner = MakeArrayValue(1);
    DestroyScriptValue(&inner.value.elements[0]);
    inner.value.elements[0] = MakeTextValue("deep");
    ScriptValue array = MakeArrayValue(2);
    AssignScriptValue(&array.value.elements[1], inner);
    ScriptValue arguments[] = {MakeIntValue(-5), MakeFloatValue(1.5f), MakeTextValue("hi"), array};
    const ScriptValue* results = nullptr;
    std::uint64_t count = 0;
    ASSERT_TRUE(m_lua->CallFunction("inspect", 4, arguments, &results, &count)) << Error();
    ASSERT_EQ(count, 7u);
    ExpectText(results[0], "integer");
    ExpectFloat(results[1], 1.5f);
    ExpectText(results[2], "hi");
    ExpectInt(results[3], 2);
    ExpectText(results[4], "deep");
    EXPECT_TRUE(Equals(results[5], array));  // through a native's results and back
    ExpectText(results[6], "integer");       // Int results are Lua integers
    for (ScriptValue& value : arguments) DestroyScriptValue(&value);
    DestroyScriptValue(&inner);
}

TEST_F(LuaCallTest, FailingNativesRaiseLuaErrorsWithPosition) {
    ASSERT_TRUE(m_lua->RegisterFunction(
        [](ScriptCallContext* context, void*) {
            context->SetError("fail expects 1 parameter");
            return false;
        },
        nullptr, "fail"));
    ASSERT_TRUE(
        m_lua->RegisterFunction([](ScriptCallContext*, void*) { return false; }, nullptr, "quiet"));
    ASSERT_TRUE(m_lua->RegisterFunction(
        [](ScriptCallContext* context, void*) {
            context->SetError("only a warning");
            ScriptValue value = MakeTextValue(context->GetExtension());
            context->ReturnValue(&value);
            DestroyScriptValue(&value);
            return true;
        },
        nullptr, "warn"));
    WriteScript("scripts/broken.lua", "local x = 1\nfail()\n");
    EXPECT_EQ(m_lua->LoadScript("broken.lua"), 2);
    EXPECT_EQ(Error(), "scripts/broken.lua:2: fail expects 1 parameter");
    EXPECT_FALSE(Run("quiet()"));
    EXPECT_EQ(Error(), "(command):1: quiet failed");
    // Lua code can catch it like any error; a message on success is no error at all.
    ASSERT_TRUE(Run("local ok, message = pcall(fail)\nrecord(tostring(ok), message, warn())"))
        << Error();
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"false", "fail expects 1 parameter", "lua"}));
}

TEST_F(LuaCallTest, CallFunctionWalksDottedNamesAndReportsWhatIsMissing) {
    ASSERT_TRUE(
        Run("triggers = {onLine = function(line) return line .. '!' end}\n"
            "notAFunction = 5\n"
            "function boom() error('exploded') end"));
    ScriptValue line = MakeTextValue("hello");
    const ScriptValue* results = nullptr;
    std::uint64_t count = 0;
    ASSERT_TRUE(m_lua->CallFunction("triggers.onLine", 1, &line, &results, &count)) << Error();
    ASSERT_EQ(count, 1u);
    const ScriptValue* kept = results;
    // Other work does not touch the results; the next call replaces them.
    ASSERT_TRUE(Run("local t = {} for i = 1, 10000 do t[i] = tostring(i) end collectgarbage()"));
    ExpectText(kept[0], "hello!");

    EXPECT_FALSE(m_lua->CallFunction("triggers.missing", 0, nullptr, &results, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Error(), "function 'triggers.missing' is not defined");
    EXPECT_FALSE(m_lua->CallFunction("nothing.at.all", 0, nullptr, &results, &count));
    EXPECT_EQ(Error(), "function 'nothing.at.all' is not defined");
    EXPECT_FALSE(m_lua->CallFunction("notAFunction", 0, nullptr, &results, &count));
    EXPECT_EQ(Error(), "'notAFunction' is a number value, not a function");
    EXPECT_FALSE(m_lua->CallFunction("boom", 0, nullptr, &results, &count));
    EXPECT_EQ(Error(), "(command):3: exploded");
    DestroyScriptValue(&line);
}

// A native that makes the client call back into Lua, as a command sent from a script does.
struct Reentry {
    ScriptSystem* lua = nullptr;
    std::string innerResult;
};

TEST_F(LuaCallTest, NativesCanCallBackIntoLuaWithoutDisturbingTheOuterCall) {
    Reentry reentry{m_lua, {}};
    ASSERT_TRUE(m_lua->RegisterFunction(
        [](ScriptCallContext* context, void* user) {
            auto* self = static_cast<Reentry*>(user);
            ScriptValue argument;
            context->GetParameter(&argument, 0);
            const ScriptValue* results = nullptr;
            std::uint64_t count = 0;
            const bool called = self->lua->CallFunction("inner", 1, &argument, &results, &count);
            DestroyScriptValue(&argument);
            if (!called || count != 1) {
                context->SetError(self->lua->GetErrorText());
                return false;
            }
            self->innerResult = ToText(results[0]);
            context->ReturnValue(&results[0]);
            return true;
        },
        &reentry, "callInner"));
    ASSERT_TRUE(
        Run("function inner(x) return x .. '!' end\n"
            "function outer(x) local y = callInner(x) return y .. '?', callInner('b') end\n"
            "function broken() return callInner({}) end"));
    ScriptValue argument = MakeTextValue("a");
    const ScriptValue* results = nullptr;
    std::uint64_t count = 0;
    ASSERT_TRUE(m_lua->CallFunction("outer", 1, &argument, &results, &count)) << Error();
    ASSERT_EQ(count, 2u);
    ExpectText(results[0], "a!?");
    ExpectText(results[1], "b!");
    EXPECT_EQ(reentry.innerResult, "b!");
    // An inner failure becomes the outer call's error, with the inner position in it.
    EXPECT_FALSE(m_lua->CallFunction("broken", 0, nullptr, &results, &count));
    EXPECT_TRUE(Contains(Error(), "(command):1: attempt to concatenate"));
    DestroyScriptValue(&argument);
}

TEST_F(LuaCallTest, RegistrationReplacesGlobalsAndUnregisteringRemovesThem) {
    ASSERT_TRUE(m_lua->RegisterFunction(&Record, this, "print"));
    ASSERT_TRUE(Run("print('through the client', 5) kept = record"));
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"through the client", "5"}));

    ASSERT_TRUE(m_lua->UnregisterFunction("print"));
    EXPECT_FALSE(Run("print('gone')"));
    EXPECT_TRUE(Contains(Error(), "global 'print'"));
    EXPECT_FALSE(m_lua->UnregisterFunction("print"));
    EXPECT_EQ(Error(), "no native function named 'print' is registered");

    // A reference kept by a script no longer reaches the function.
    ASSERT_TRUE(m_lua->UnregisterFunction("record"));
    EXPECT_FALSE(Run("kept('late')"));
    EXPECT_EQ(Error(), "(command):1: record is no longer available");
    EXPECT_EQ(m_recorded.size(), 2u);
    EXPECT_EQ(m_create(2), nullptr);  // only interface version 1 is offered
}

}  // namespace
