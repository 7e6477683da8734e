#pragma once

// The binary contract between the client, its script-system libraries and its plug-ins. Each
// of them is built on its own, links its own C runtime and sees only this header, so every
// layout and call slot here is fixed: records keep their offsets and sizes, interfaces keep
// their virtual slots (Itanium C++ ABI: one slot per virtual, in declaration order).
//
// The interfaces have no virtual destructor, which would take two slots; an object is ended
// through its Destroy slot. Slots that the client never calls are placeholders a library may
// fill as it likes.
//
// The ScriptValue operations below are inline, so every module that uses them carries its own
// copy and allocates (and frees) with its own runtime.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Frees the storage of a value; always the free of the module that allocated it.
using ScriptDeallocator = void (*)(void*);

// The tagged value in which every argument, parameter and result travels.
struct ScriptValue {
    enum Type : std::uint32_t { Float = 0, Int = 1, String = 2, Array = 3 };

    std::uint32_t type;
    std::uint32_t reserved;
    // Float and Int hold their 32-bit number in the low four bytes; String points to
    // NUL-terminated text, Array to the first of count values.
    union {
        float f;
        std::int32_t i;
        char* text;
        ScriptValue* elements;
        std::uint64_t bits;
    } value;
    std::uint64_t count;
    ScriptDeallocator deallocator;
};

static_assert(sizeof(ScriptValue) == 32);
static_assert(offsetof(ScriptValue, type) == 0);
static_assert(offsetof(ScriptValue, value) == 8);
static_assert(offsetof(ScriptValue, count) == 16);
static_assert(offsetof(ScriptValue, deallocator) == 24);

class ScriptCallContext;

// A native function that scripts call. Returns false after SetError when the call failed.
using ScriptFunction = bool (*)(ScriptCallContext* context, void* user);

// What a native function sees of the call that reached it; valid only during that call.
class ScriptCallContext {
  public:
    virtual void Reserved0() {}
    virtual std::uint64_t GetParameterCount() = 0;
    // Constructs a copy of parameter index in *value (old contents are not destroyed); the
    // caller destroys it.
    virtual void GetParameter(ScriptValue* value, std::uint64_t index) = 0;
    // Appends a copy of the value to the call's results; the caller keeps its own.
    virtual void ReturnValue(const ScriptValue* value) = 0;
    virtual void SetError(const char* text) = 0;
    // The extension of the script system that made the call.
    virtual const char* GetExtension() = 0;

  protected:
    ~ScriptCallContext() = default;
};

// A script system: runs the script files of one extension.
class ScriptSystem {
  public:
    virtual void Reserved0() {}
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual void Reserved3() {}
    virtual void Reserved4() {}
    // Lower case, without a dot.
    virtual const char* GetExtension() = 0;
    virtual void Reserved6() {}
    // Ends the object; the client unloads its library right after.
    virtual void Destroy() = 0;
    virtual bool Execute(const char* code, std::uint64_t length) = 0;
    // 0 when the script was loaded; otherwise GetErrorText says why.
    virtual std::int32_t LoadScript(const char* fileName) = 0;
    virtual bool ReloadScripts() = 0;
    virtual bool RegisterFunction(ScriptFunction function, void* user, const char* name) = 0;
    virtual bool UnregisterFunction(const char* name) = 0;
    // On success *results points to *resultCount values that the system owns until it is
    // called again.
    virtual bool CallFunction(const char* name, std::uint64_t argumentCount,
                              const ScriptValue* arguments, const ScriptValue** results,
                              std::uint64_t* resultCount) = 0;
    virtual const char* GetErrorText() = 0;

  protected:
    ~ScriptSystem() = default;
};

// A function a plug-in offers, and the record through which every native function is
// registered.
struct PluginFunctionInfo {
    ScriptFunction function;
    void* user;
    char name[256];
};

static_assert(sizeof(PluginFunctionInfo) == 272);
static_assert(offsetof(PluginFunctionInfo, function) == 0);
static_assert(offsetof(PluginFunctionInfo, user) == 8);
static_assert(offsetof(PluginFunctionInfo, name) == 16);

// The interface versions the client asks for.
constexpr std::int32_t kScriptInterfaceVersion = 1;
constexpr std::int32_t kPluginInterfaceVersion = 2;

// Exports. A script system exports CreateScriptInterface; a plug-in exports the other two.
#define OSTRAK_EXPORT extern "C" __attribute__((visibility("default")))
using CreateScriptInterfaceFunction = ScriptSystem* (*)(std::int32_t version);
using GetNumExportedFunctionsFunction = std::uint64_t (*)(std::int32_t version);
using GetExportedFunctionFunction = void (*)(std::uint64_t index, PluginFunctionInfo* info);

// ---- ScriptValue operations -------------------------------------------------------------

inline ScriptValue MakeIntValue(std::int32_t number) {
    ScriptValue value{};
    value.type = ScriptValue::Int;
    value.value.i = number;
    value.deallocator = &std::free;
    return value;
}

inline ScriptValue MakeFloatValue(float number) {
    ScriptValue value{};
    value.type = ScriptValue::Float;
    value.value.f = number;
    value.deallocator = &std::free;
    return value;
}

// A null text counts as empty text. A failed allocation leaves a null text, which every
// operation reads as empty.
inline ScriptValue MakeTextValue(const char* text) {
    if (!text) text = "";
    ScriptValue value{};
    value.type = ScriptValue::String;
    const std::size_t size = std::strlen(text) + 1;
    value.value.text = static_cast<char*>(std::malloc(size));
    if (value.value.text) std::memcpy(value.value.text, text, size);
    value.deallocator = &std::free;
    return value;
}

// An Array of count Int 0 elements, or an empty Array when the block cannot be had.
inline ScriptValue MakeArrayValue(std::uint64_t count) {
    ScriptValue value{};
    value.type = ScriptValue::Array;
    value.deallocator = &std::free;
    if (count == 0 || count > SIZE_MAX / sizeof(ScriptValue)) return value;
    value.value.elements = static_cast<ScriptValue*>(std::malloc(count * sizeof(ScriptValue)));
    if (!value.value.elements) return value;
    for (std::uint64_t i = 0; i < count; ++i) value.value.elements[i] = MakeIntValue(0);
    value.count = count;
    return value;
}

inline void DestroyScriptValue(ScriptValue* value) {
    if (value->type == ScriptValue::String) {
        if (value->value.text && value->deallocator) value->deallocator(value->value.text);
    } else if (value->type == ScriptValue::Array) {
        ScriptValue* elements = value->value.elements;
        if (elements) {
            for (std::uint64_t i = 0; i < value->count; ++i) DestroyScriptValue(&elements[i]);
            if (value->deallocator) value->deallocator(elements);
        }
    }
    value->value.bits = 0;
    value->count = 0;
}

inline bool Equals(const ScriptValue& a, const ScriptValue& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case ScriptValue::Float:
        case ScriptValue::Int: {
            std::uint32_t left = 0;
            std::uint32_t right = 0;
            std::memcpy(&left, &a.value, sizeof left);
            std::memcpy(&right, &b.value, sizeof right);
            return left == right;
        }
        case ScriptValue::String:
            return std::strcmp(a.value.text ? a.value.text : "",
                               b.value.text ? b.value.text : "") == 0;
        case ScriptValue::Array:
            if (a.count != b.count) return false;
            if (!a.value.elements || !b.value.elements) return a.value.elements == b.value.elements;
            for (std::uint64_t i = 0; i < a.count; ++i) {
                if (!Equals(a.value.elements[i], b.value.elements[i])) return false;
            }
            return true;
        default:
            return a.value.bits == b.value.bits;
    }
}

void AssignScriptValue(ScriptValue* target, const ScriptValue& source);

// Takes the storage of source into a target whose old contents are already gone.
inline void CopyScriptStorage(ScriptValue* target, const ScriptValue& source) {
    target->type = source.type;
    target->count = source.count;
    target->deallocator = &std::free;
    if (source.type == ScriptValue::String) {
        const char* text = source.value.text ? source.value.text : "";
        const std::size_t size = std::strlen(text) + 1;
        target->value.text = static_cast<char*>(std::malloc(size));
        if (target->value.text) std::memcpy(target->value.text, text, size);
    } else if (source.type == ScriptValue::Array) {
        target->value.elements = nullptr;
        if (!source.value.elements || source.count == 0 ||
            source.count > SIZE_MAX / sizeof(ScriptValue)) {
            target->count = 0;
            return;
        }
        auto* elements = static_cast<ScriptValue*>(std::malloc(source.count * sizeof(ScriptValue)));
        if (!elements) {
            target->count = 0;
            return;
        }
        for (std::uint64_t i = 0; i < source.count; ++i) {
            elements[i] = MakeIntValue(0);
            AssignScriptValue(&elements[i], source.value.elements[i]);
        }
        target->value.elements = elements;
    } else {
        target->value.bits = source.value.bits;
    }
}

// A deep copy into a record whose old contents are not destroyed.
inline ScriptValue CopyScriptValue(const ScriptValue& source) {
    ScriptValue value{};
    CopyScriptStorage(&value, source);
    return value;
}

// A target that already equals the source keeps its own storage.
inline void AssignScriptValue(ScriptValue* target, const ScriptValue& source) {
    if (Equals(*target, source)) return;
    DestroyScriptValue(target);
    CopyScriptStorage(target, source);
}

// Numbers are formatted into one buffer that every call of this module shares: the text of a
// number stays valid only until the next number is formatted.
inline const char* ToText(const ScriptValue& value) {
    static char buffer[512];
    switch (value.type) {
        case ScriptValue::Float:
            std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value.value.f));
            return buffer;
        case ScriptValue::Int:
            std::snprintf(buffer, sizeof buffer, "%d", value.value.i);
            return buffer;
        case ScriptValue::String:
            return value.value.text ? value.value.text : "";
        default:
            return "";
    }
}
