#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <typeinfo>
#include <utility>

#include "script/ScriptInterface.h"

namespace {

// ---- Call slots: a library built elsewhere sees only the table its object points to. ------

int g_slot = -1;

template <int Index>
std::uint64_t RecordSlot(void*) {
    g_slot = Index;
    return 0;
}

// An object laid out as the Itanium ABI lays out one with a virtual table: its first word
// points to the table's address point, preceded by the offset to top and the type information.
template <typename Interface, typename Real, int... Indices>
struct HandMadeObject {
    void* table[2 + sizeof...(Indices)];
    void** vptr;

    explicit HandMadeObject(std::integer_sequence<int, Indices...>)
        : table{nullptr, const_cast<std::type_info*>(&typeid(Real)),
                reinterpret_cast<void*>(&RecordSlot<Indices>)...},
          vptr(&table[2]) {}
    Interface* Get() { return reinterpret_cast<Interface*>(&vptr); }
};

// Real implementations, only for their type information.
class RealSystem final : public ScriptSystem {
    const char* GetExtension() override { return ""; }
    void Destroy() override {}
    bool Execute(const char*, std::uint64_t) override { return false; }
    std::int32_t LoadScript(const char*) override { return 0; }
    bool ReloadScripts() override { return false; }
    bool RegisterFunction(ScriptFunction, void*, const char*) override { return false; }
    bool UnregisterFunction(const char*) override { return false; }
    bool CallFunction(const char*, std::uint64_t, const ScriptValue*, const ScriptValue**,
                      std::uint64_t*) override {
        return false;
    }
    const char* GetErrorText() override { return ""; }
};

class RealContext final : public ScriptCallContext {
    std::uint64_t GetParameterCount() override { return 0; }
    void GetParameter(ScriptValue*, std::uint64_t) override {}
    void ReturnValue(const ScriptValue*) override {}
    void SetError(const char*) override {}
    const char* GetExtension() override { return ""; }
};

template <typename Call>
int SlotOf(Call call) {
    g_slot = -1;
    call();
    return g_slot;
}

TEST(ScriptContract, EveryOperationSitsInItsSlot) {
    HandMadeObject<ScriptSystem, RealSystem, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14>
        systemObject(std::make_integer_sequence<int, 15>{});
    ScriptSystem* system = systemObject.Get();
    const ScriptValue* results = nullptr;
    std::uint64_t count = 0;
    EXPECT_EQ(SlotOf([&] { system->Reserved0(); }), 0);
    EXPECT_EQ(SlotOf([&] { system->Reserved4(); }), 4);
    EXPECT_EQ(SlotOf([&] { system->GetExtension(); }), 5);
    EXPECT_EQ(SlotOf([&] { system->Reserved6(); }), 6);
    EXPECT_EQ(SlotOf([&] { system->Destroy(); }), 7);
    EXPECT_EQ(SlotOf([&] { system->Execute("x", 1); }), 8);
    EXPECT_EQ(SlotOf([&] { system->LoadScript("x"); }), 9);
    EXPECT_EQ(SlotOf([&] { system->ReloadScripts(); }), 10);
    EXPECT_EQ(SlotOf([&] { system->RegisterFunction(nullptr, nullptr, "x"); }), 11);
    EXPECT_EQ(SlotOf([&] { system->UnregisterFunction("x"); }), 12);
    EXPECT_EQ(SlotOf([&] { system->CallFunction("x", 0, nullptr, &results, &count); }), 13);
    EXPECT_EQ(SlotOf([&] { system->GetErrorText(); }), 14);

    HandMadeObject<ScriptCallContext, RealContext, 0, 1, 2, 3, 4, 5> contextObject(
        std::make_integer_sequence<int, 6>{});
    ScriptCallContext* context = contextObject.Get();
    ScriptValue value = MakeIntValue(0);
    EXPECT_EQ(SlotOf([&] { context->Reserved0(); }), 0);
    EXPECT_EQ(SlotOf([&] { context->GetParameterCount(); }), 1);
    EXPECT_EQ(SlotOf([&] { context->GetParameter(&value, 0); }), 2);
    EXPECT_EQ(SlotOf([&] { context->ReturnValue(&value); }), 3);
    EXPECT_EQ(SlotOf([&] { context->SetError("x"); }), 4);
    EXPECT_EQ(SlotOf([&] { context->GetExtension(); }), 5);
}

// ---- Values -------------------------------------------------------------------------------

int g_freed = 0;
void CountingFree(void* block) {
    ++g_freed;
    std::free(block);
}

ScriptValue FloatWithBits(std::uint32_t bits) {
    ScriptValue value = MakeFloatValue(0.0f);
    std::memcpy(&value.value, &bits, sizeof bits);
    return value;
}

TEST(ScriptContract, ToTextFormatsNumbersIntoOneSharedBuffer) {
    const ScriptValue minusFive = MakeIntValue(-5);
    const ScriptValue oneAndAHalf = MakeFloatValue(1.5f);
    ScriptValue array = MakeArrayValue(2);
    ScriptValue text = MakeTextValue(nullptr);
    const char* first = ToText(minusFive);
    EXPECT_STREQ(first, "-5");
    const char* second = ToText(oneAndAHalf);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "1.500000");
    EXPECT_STREQ(ToText(array), "");
    EXPECT_STREQ(ToText(text), "");
    EXPECT_EQ(ToText(text), text.value.text);
    DestroyScriptValue(&array);
    DestroyScriptValue(&text);
}

TEST(ScriptContract, CopiesAreDeepAndAssignKeepsEqualStorage) {
    ScriptValue source = MakeArrayValue(2);
    source.value.elements[0] = MakeTextValue("hello");
    ScriptValue inner = MakeArrayValue(1);
    inner.value.elements[0] = MakeIntValue(7);
    source.value.elements[1] = inner;
    ScriptValue copy = CopyScriptValue(source);
    DestroyScriptValue(&source);
    ASSERT_EQ(copy.count, 2u);
    EXPECT_STREQ(copy.value.elements[0].value.text, "hello");
    ASSERT_EQ(copy.value.elements[1].count, 1u);
    EXPECT_EQ(copy.value.elements[1].value.elements[0].value.i, 7);

    // An equal value keeps the target's own block and deallocator; a different one is freed
    // through the target's deallocator and replaced.
    ScriptValue target = MakeTextValue("same");
    target.deallocator = &CountingFree;
    char* storage = target.value.text;
    ScriptValue same = MakeTextValue("same");
    AssignScriptValue(&target, same);
    EXPECT_EQ(target.value.text, storage);
    EXPECT_EQ(target.deallocator, &CountingFree);
    g_freed = 0;
    AssignScriptValue(&target, copy);
    EXPECT_EQ(g_freed, 1);
    EXPECT_TRUE(Equals(target, copy));
    EXPECT_EQ(target.deallocator, &std::free);

    // A null element block copies as an empty array; a null text as empty text.
    ScriptValue hollow{};
    hollow.type = ScriptValue::Array;
    hollow.count = 3;
    ScriptValue hollowCopy = CopyScriptValue(hollow);
    EXPECT_EQ(hollowCopy.count, 0u);
    ScriptValue nullText{};
    nullText.type = ScriptValue::String;
    ScriptValue nullTextCopy = CopyScriptValue(nullText);
    EXPECT_STREQ(nullTextCopy.value.text, "");
    EXPECT_TRUE(Equals(nullText, nullTextCopy));

    for (ScriptValue* value : {&copy, &target, &same, &hollowCopy, &nullTextCopy}) {
        DestroyScriptValue(value);
    }
}

TEST(ScriptContract, EqualsComparesNumberBitsAndWholeArrays) {
    EXPECT_FALSE(Equals(MakeFloatValue(0.0f), MakeFloatValue(-0.0f)));
    const ScriptValue quietNaN = FloatWithBits(0x7FC00000u);
    EXPECT_TRUE(std::isnan(quietNaN.value.f));
    EXPECT_TRUE(Equals(quietNaN, FloatWithBits(0x7FC00000u)));
    EXPECT_FALSE(Equals(quietNaN, FloatWithBits(0x7FC00001u)));
    EXPECT_FALSE(Equals(MakeIntValue(1), MakeFloatValue(1.0f)));

    ScriptValue shorter = MakeArrayValue(1);
    ScriptValue longer = MakeArrayValue(2);
    EXPECT_FALSE(Equals(shorter, longer));
    ScriptValue twin = CopyScriptValue(longer);
    EXPECT_TRUE(Equals(longer, twin));
    AssignScriptValue(&twin.value.elements[1], MakeFloatValue(2.0f));
    EXPECT_FALSE(Equals(longer, twin));
    for (ScriptValue* value : {&shorter, &longer, &twin}) DestroyScriptValue(value);
}

}  // namespace
