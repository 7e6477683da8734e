#pragma once

#include <cstdint>

// Telnet command bytes and the options the engine acts on.
namespace Telnet {
constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;
// Two-byte commands that end a prompt.
constexpr std::uint8_t kGa = 249;
constexpr std::uint8_t kEor = 239;

constexpr std::uint8_t kEcho = 1;
constexpr std::uint8_t kTerminalType = 24;
constexpr std::uint8_t kEndOfRecord = 25;
constexpr std::uint8_t kNaws = 31;
constexpr std::uint8_t kCompress = 85;
constexpr std::uint8_t kCompress2 = 86;
constexpr std::uint8_t kCharset = 42;
constexpr std::uint8_t kGmcp = 201;
}  // namespace Telnet
