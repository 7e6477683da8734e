#pragma once

#include <cstdint>
#include <string>

// What a Windows system reports of itself, as the name of its version is built from it.
struct WindowsVersionInfo {
    static constexpr std::uint32_t kPlatformWindows = 1;  // the Win32 layer on Windows 9x
    static constexpr std::uint32_t kPlatformNt = 2;
    static constexpr std::uint32_t kWorkstation = 1;
    static constexpr std::uint16_t kArchitectureX86 = 0;
    static constexpr std::uint16_t kArchitectureItanium = 6;
    static constexpr std::uint16_t kArchitectureX64 = 9;

    bool queried = true;  // false when the version could not be read
    std::uint32_t platform = kPlatformNt;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint8_t productType = kWorkstation;
    std::uint16_t suiteMask = 0;
    std::uint16_t architecture = kArchitectureX64;
    bool serverR2 = false;
    // The product type of version 6 and later; absent where the system cannot say.
    bool hasProductInfo = true;
    std::uint32_t productInfo = 0;
    std::string servicePack;
};

// The name of a Windows version, service pack text included.
std::string WindowsOsName(const WindowsVersionInfo& info);

// The name of a Linux system: the PRETTY_NAME of its os-release text (else its NAME), followed
// by " 64-bit" or " 32-bit" after the machine's architecture (uname's machine field).
std::string LinuxOsName(const std::string& osRelease, const std::string& machine);

// The name of the system the client runs on.
std::string CurrentOsName();
