#pragma once

// What keeps a script from taking the client down with it: a cap on the memory of a Lua state
// and an instruction budget per call from the client.

#include <cstddef>
#include <cstdint>

#include <lua.hpp>

// 512 MiB: far beyond what a client's scripts need, far below what would stall the machine.
constexpr std::size_t kLuaMemoryCap = std::size_t{512} << 20;
// The count hook runs every this many instructions, so the check costs next to nothing.
constexpr int kLuaHookInterval = 10000;
// About a few tenths of a second of plain Lua: a call that runs longer is a runaway loop.
constexpr std::uint64_t kLuaInstructionBudget = 100'000'000;

struct LuaLimits {
    std::size_t memoryUsed = 0;
    std::size_t memoryCap = kLuaMemoryCap;
    std::uint64_t instructionsRun = 0;
    std::uint64_t instructionBudget = kLuaInstructionBudget;
};

// A state whose allocations count against limits->memoryCap (a refused allocation is a Lua
// memory error) and whose threads reach limits through their extra space. Null when even the
// state could not be had.
lua_State* NewLimitedState(LuaLimits* limits);

// Starts a fresh budget for an outermost call: every call nested in it shares the same one.
// The hook is installed again each time, so a script that removed it cannot run unchecked.
void StartInstructionBudget(lua_State* L, LuaLimits* limits);
