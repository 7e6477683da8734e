#pragma once

#include <cstdint>
#include <string>

// Colours of the client's own messages, as 0xRRGGBB.
constexpr std::uint32_t kErrorColour = 0xff0000;
constexpr std::uint32_t kSuccessColour = 0x00ff00;
constexpr std::uint32_t kNoticeColour = 0xffff00;

// The format code that switches every effect off and returns to the default colour.
constexpr char kResetCode = static_cast<char>(0xBE);
